#include "kad/requests/KADFilterElement.h"

#include <gtest/gtest.h>

#include <functional>

#include "kad/WireBytes.h"

namespace {

using Ptr = std::unique_ptr<KADFilterElement>;

Ptr Bool(uint32_t id) { return std::make_unique<KADFilterElementBool>(id); }

Ptr String(uint32_t id, const char* text)
{
    return std::make_unique<KADFilterElementString>(id, Nyx::PString(text));
}

Ptr AssetIDs(std::initializer_list<KUID> kuids)
{
    auto e = std::make_unique<KADFilterElementAssetID>(KADFilterElementAssetID::kAssetId);
    for (const KUID& k : kuids)
        e->AddKUID(k);
    return e;
}

std::string Record(const KADFilterElement* e)
{
    wire::Output out;
    WriteFilterElement(out.stream, e);
    return out.Str();
}

Ptr ReadBack(const std::string& bytes, uint32_t* error = nullptr)
{
    wire::Input in(bytes);
    Ptr e = ReadFilterElement(in.stream);
    if (error)
        *error = in.stream.GetError();
    return e;
}

TEST(FilterElementTest, ATreeIsWrittenTagBodyAndChildrenInOrder)
{
    KADFilterElementGroup root(Bool(KADFilterElementBool::kLocal));
    KADFilterElementGroup::AddGroup(root, Bool(KADFilterElementBool::kObsolete));

    const std::string expected = wire::Bytes()
                                     .U32(0x67727570)
                                     .U8(1)
                                     .U8(0)
                                     .U32(2)
                                     .U32(0x626F6F6C)
                                     .U32(0)
                                     .U32(0x67727570)
                                     .U8(1)
                                     .U8(1)
                                     .U32(1)
                                     .U32(0x626F6F6C)
                                     .U32(5)
                                     .Str();
    const std::string bytes = Record(&root);
    ASSERT_EQ(bytes, expected);
    EXPECT_EQ(bytes.substr(0, 4), "purg");
    EXPECT_EQ(bytes.size(), 36u);

    uint32_t error = 0;
    Ptr back = ReadBack(bytes, &error);
    ASSERT_TRUE(back);
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(FilterElementsEqual(back.get(), &root));
}

TEST(FilterElementTest, EveryKindSurvivesItsRecord)
{
    struct Case {
        const char* name;
        std::function<Ptr()> make;
        const char* letters;
        size_t bodySize;
    };
    const Case cases[] = {
        {"string", [] { return String(KADFilterElementString::kCategoryList, "TR;TV"); }, "nrts", 4 + 10 + 1},
        {"exact string", [] { return String(KADFilterElementString::kAssetName, "\"Blue\""); }, "nrts", 4 + 9 + 1},
        {"bool", [] { return Bool(KADFilterElementBool::kHasScriptSource); }, "loob", 4},
        {"int",
         [] { return Ptr(new KADFilterElementInt(KADFilterElementInt::kVersion, -3, 9, true, false)); },
         "etni", 14},
        {"timestamp",
         [] {
             return Ptr(new KADFilterElementTimestamp(KADFilterElementTimestamp::kModificationTimestamp,
                                                      0x100000005ull, ~0ull, false, true));
         },
         "emit", 22},
        {"asset ids", [] { return AssetIDs({KUID(5, 6, 0), KUID(-2, 900, 127), KUID(5, 6, 0)}); }, "tssa",
         8 + 2 * 8},
        {"empty asset ids", [] { return AssetIDs({}); }, "tssa", 8},
        {"empty group", [] { return Ptr(new KADFilterElementGroup); }, "purg", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Ptr e = c.make();
        const std::string bytes = Record(e.get());
        EXPECT_EQ(bytes.substr(0, 4), c.letters);
        EXPECT_EQ(bytes.size(), 4 + c.bodySize);
        uint32_t error = 0;
        Ptr back = ReadBack(bytes, &error);
        ASSERT_TRUE(back);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(back->GetKind(), e->GetKind());
        EXPECT_EQ(back->GetFieldName(), e->GetFieldName());
        EXPECT_EQ(back->GetValueText(), e->GetValueText());
        EXPECT_TRUE(FilterElementsEqual(back.get(), e.get()));
        EXPECT_EQ(Record(back.get()), bytes);
    }
}

TEST(FilterElementTest, OnlyAQuotedAssetNameAsksForTheWholeName)
{
    struct Case {
        uint32_t field;
        const char* text;
        const char* stored;
        uint8_t exact;
    };
    const Case cases[] = {
        {KADFilterElementString::kAssetName, "\"Blue Loco\"", "Blue Loco", 1},
        {KADFilterElementString::kAssetName, "\"\"", "", 1},
        {KADFilterElementString::kAssetName, "\"", "\"", 0},
        {KADFilterElementString::kAssetName, "\"Blue", "\"Blue", 0},
        {KADFilterElementString::kCategoryList, "\"TR\"", "\"TR\"", 0},
        {KADFilterElementString::kKeywordList, "\"\"", "\"\"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        KADFilterElementString e(c.field, Nyx::PString(c.text));
        EXPECT_EQ(e.GetText().View(), c.stored);
        EXPECT_EQ(e.GetValueText().View(), c.stored);
        EXPECT_EQ(e.GetExact(), c.exact);
    }
}

TEST(FilterElementTest, FieldNamesAndValueTexts)
{
    KADFilterElementGroup group(Bool(KADFilterElementBool::kLocal));
    group.AddChild(String(KADFilterElementString::kCategoryList, "CN"));

    struct Case {
        Ptr element;
        const char* field;
        const char* value;
    };
    Case cases[] = {
        {Bool(KADFilterElementBool::kHasScriptSource), "has-script-source", "true"},
        {Bool(19), "unknown", "true"},
        {String(KADFilterElementString::kRegionList, "UK"), "region-list", "UK"},
        {String(5, "x"), "unknown", "x"},
        {Ptr(new KADFilterElementInt(KADFilterElementInt::kLocalRating, 1, 5, true, false)), "local-rating",
         "[1,5)"},
        {Ptr(new KADFilterElementInt(3, -1, -7, false, true)), "unknown", "(-1,-7]"},
        {Ptr(new KADFilterElementTimestamp(KADFilterElementTimestamp::kInstallationTimestamp, (1ull << 32) + 5,
                                           0xFFFFFFFFull, true, true)),
         "installation-timestamp", "[5,-1]"},
        // Set order compares the user ids unsigned: -3 comes last.
        {AssetIDs({KUID(9, 1, 0), KUID(2, 7, 3), KUID(-3, 0, 127)}), "asset-id",
         "(<kuid2:2:7:3>,<kuid:9:1>,<kuid:-3:0>,)"},
        {Ptr(new KADFilterElementAssetID(KADFilterElementAssetID::kProfileMap)), "profile-map", "()"},
        {Ptr(new KADFilterElementAssetID(2)), "unknown", "()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(c.element->GetFieldName().View(), c.field);
        EXPECT_EQ(c.element->GetValueText().View(), c.value);
    }
    EXPECT_EQ(group.GetFieldName().View(), "group");
    EXPECT_EQ(group.GetValueText().View(), "(local:truecategory-list:CN)");
    EXPECT_EQ(KADFilterElementGroup().GetValueText().View(), "()");
}

TEST(FilterElementTest, EqualityRules)
{
    auto pair = [](Ptr a, Ptr b) {
        auto g = std::make_unique<KADFilterElementGroup>(std::move(a));
        g->AddChild(std::move(b));
        return g;
    };
    auto ab = pair(Bool(0), Bool(5));
    auto ba = pair(Bool(5), Bool(0));
    auto ab2 = pair(Bool(0), Bool(5));
    auto negated = pair(Bool(0), Bool(5));
    negated->SetNegated(true);
    KADFilterElementGroup oneChild(Bool(0));
    KADFilterElementBool local(0);

    struct Case {
        const char* name;
        const KADFilterElement* a;
        const KADFilterElement* b;
        bool equal;
    };
    Ptr ids1 = AssetIDs({KUID(1, 2, 0), KUID(3, 4, 0)});
    Ptr ids2 = AssetIDs({KUID(3, 4, 0), KUID(1, 2, 0)});
    Ptr ids3 = AssetIDs({KUID(3, 4, 0)});
    // Different leaf classes with the same field name and value text.
    Ptr unknownBool = Bool(99);
    Ptr unknownString = String(99, "true");
    Ptr int1 = Ptr(new KADFilterElementInt(1, 1, 5, true, false));
    Ptr int2 = Ptr(new KADFilterElementInt(1, 1, 5, true, true));
    const Case cases[] = {
        {"same children", ab.get(), ab2.get(), true},
        {"other order", ab.get(), ba.get(), false},
        {"negated", ab.get(), negated.get(), false},
        {"child count", ab.get(), &oneChild, false},
        {"group and leaf", &oneChild, &local, false},
        {"set order", ids1.get(), ids2.get(), true},
        {"smaller set", ids1.get(), ids3.get(), false},
        {"leaf classes", unknownBool.get(), unknownString.get(), true},
        {"inclusive bound", int1.get(), int2.get(), false},
        {"two nulls", nullptr, nullptr, true},
        {"one null", &local, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FilterElementsEqual(c.a, c.b), c.equal);
        EXPECT_EQ(FilterElementsEqual(c.b, c.a), c.equal);
    }
}

TEST(FilterElementTest, NullElementsAndUnknownTags)
{
    // A null element is the tag 0 alone, and ends its group's write.
    EXPECT_EQ(Record(nullptr), std::string(4, '\0'));
    wire::Output out;
    EXPECT_FALSE(WriteFilterElement(out.stream, nullptr));

    KADFilterElementGroup group(Bool(0));
    group.AddChild(nullptr);
    group.AddChild(Bool(5));
    wire::Output groupOut;
    EXPECT_FALSE(WriteFilterElement(groupOut.stream, &group));
    EXPECT_EQ(groupOut.Str(), wire::Bytes().U32(0x67727570).U8(1).U8(0).U32(3).U32(0x626F6F6C).U32(0).U32(0).Str());

    for (uint32_t tag : {0u, 0x12345678u, 0x70757267u}) {
        EXPECT_FALSE(CreateFilterElement(tag)) << tag;
        EXPECT_FALSE(ReadBack(wire::Bytes().U32(tag).U32(0).Str())) << tag;
    }
    // A group whose second child has an unknown tag does not read.
    EXPECT_FALSE(ReadBack(wire::Bytes().U32(0x67727570).U8(1).U8(0).U32(2).U32(0x626F6F6C).U32(0).U32(7).Str()));
}

TEST(FilterElementTest, ShortRecordsReadAsZeroButStillRead)
{
    // A bool record with two bytes of its field id.
    uint32_t error = 0;
    Ptr e = ReadBack(wire::Bytes().U32(0x626F6F6C).U8(5).U8(0).Str(), &error);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->GetFieldName().View(), "local");
    EXPECT_EQ(error, uint32_t(TStream::kErrShortRecord));

    // An int record cut after its lower bound.
    e = ReadBack(wire::Bytes().U32(0x696E7465).U32(2).U32(7).Str(), &error);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->GetValueText().View(), "(7,0)");
    EXPECT_EQ(error, uint32_t(TStream::kErrShortRecord));
}

TEST(FilterElementTest, CountsAreBoundedByTheBytesThatFollow)
{
    // An asset-id count of 0xFFFFFFFF with one whole KUID and half of
    // another: the whole one, the cut one and the null KUID, as reading
    // every missing entry would give, but at once.
    uint32_t error = 0;
    Ptr e = ReadBack(wire::Bytes().U32(0x61737374).U32(0).U32(0xFFFFFFFF).Kuid(KUID(5, 6, 0)).U32(77).Str(), &error);
    ASSERT_TRUE(e);
    const auto& ids = static_cast<KADFilterElementAssetID*>(e.get())->GetKUIDs();
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_TRUE(ids.count(KUID(5, 6, 0)));
    EXPECT_TRUE(ids.count(KUID::Null));
    EXPECT_EQ(error, uint32_t(TStream::kErrShortRecord));

    // A group count of 0xFFFFFFFF ends at the first missing child.
    EXPECT_FALSE(ReadBack(wire::Bytes().U32(0x67727570).U8(1).U8(0).U32(0xFFFFFFFF).U32(0x626F6F6C).U32(0).Str()));
}

TEST(FilterElementTest, NestingIsBounded)
{
    auto nested = [](int groups) {
        wire::Bytes b;
        for (int i = 0; i < groups; ++i)
            b.U32(0x67727570).U8(1).U8(0).U32(1);
        b.U32(0x626F6F6C).U32(0);
        return b.Str();
    };
    // The bool sits at level `groups`; levels up to kMaxFilterDepth - 1 read.
    EXPECT_TRUE(ReadBack(nested(kMaxFilterDepth - 1)));
    EXPECT_FALSE(ReadBack(nested(kMaxFilterDepth)));
    EXPECT_FALSE(ReadBack(nested(200000)));
    // The bound is per read: a refused read leaves none of it behind.
    EXPECT_TRUE(ReadBack(nested(3)));
}

}  // namespace
