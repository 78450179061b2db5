#include "config/tree/TDBContainerTag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "config/tree/TDBDataTag.h"

namespace {

using Tag = TDBContainerTag;

std::vector<std::string> Names(const ChunkRef& ref)
{
    std::vector<std::string> names;
    for (uint32_t i = 0; i < ref.ChildCount(); ++i)
        names.push_back(Tag::GetChildName(ref, i).Str());
    return names;
}

TEST(TDBContainerTagTest, GettersConvertWithExactSizes)
{
    ChunkRef root;
    Tag::SetString(root, "s42", "42");
    Tag::SetString(root, "s4x2", "4x2");
    Tag::SetFloat(root, "f", 2.5f);
    FloatArray list;
    list.Append(1.0f);
    list.Append(2.0f);
    Tag::SetNumberList(root, "list", list);
    Tag::SetInt(root, "i", 12);
    Tag::SetKUID(root, "k", KUID(5, 100, 3));
    Tag::SetString(root, "ktext", "<kuid:7:8>");
    Tag::SetBool(root, "yes", true);
    Tag::SetNone(root, "none");
    ChunkRef sub;
    Tag::SetChildContainer(root, "sub", sub);

    EXPECT_EQ(Tag::GetInt(root, "s42", -1), 42);
    EXPECT_EQ(Tag::GetInt(root, "s4x2", -1), -1);
    EXPECT_EQ(Tag::GetInt(root, "f", -1), 2);  // 2.5 -> "2.5" -> 2
    EXPECT_EQ(Tag::GetInt(root, "list", -1), -1);
    EXPECT_EQ(Tag::GetInt(root, "none", -1), -1);
    EXPECT_EQ(Tag::GetInt(root, "sub", -1), -1);
    EXPECT_EQ(Tag::GetInt(root, "missing", -1), -1);
    EXPECT_FLOAT_EQ(Tag::GetFloat(root, "i", 0.0f), 12.0f);
    EXPECT_FLOAT_EQ(Tag::GetFloat(root, "list", -3.0f), -3.0f);
    EXPECT_TRUE(Tag::GetBool(root, "yes", false));
    EXPECT_TRUE(Tag::GetBool(root, "missing", true));
    EXPECT_FALSE(Tag::GetBool(root, "missing", false));

    EXPECT_EQ(Tag::GetKUID(root, "k", KUID::Null), KUID(5, 100, 3));
    EXPECT_EQ(Tag::GetKUID(root, "ktext", KUID::Null), KUID(7, 8, 0));
    EXPECT_EQ(Tag::GetKUID(root, "i", KUID::Null), KUID(-1, 12, 127));
    EXPECT_EQ(Tag::GetKUID(root, "missing", KUID(1, 2, 3)), KUID(1, 2, 3));
    EXPECT_EQ(Tag::GetKUID(root, "sub", KUID(1, 2, 3)), KUID(1, 2, 3));

    EXPECT_EQ(Tag::GetString(root, "i").Str(), "12");
    EXPECT_EQ(Tag::GetString(root, "list").Str(), "1,2");
    EXPECT_EQ(Tag::GetString(root, "k").Str(), "<kuid2:5:100:3>");
    EXPECT_TRUE(Tag::GetString(root, "missing").Empty());
    EXPECT_TRUE(Tag::GetString(root, "sub").Empty());

    FloatArray out;
    out.Append(9.0f);
    EXPECT_TRUE(Tag::GetFloatArray(root, "list", out));
    ASSERT_EQ(out.Count(), 2u);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 2.0f);
    EXPECT_TRUE(Tag::GetFloatArray(root, "s42", out));
    EXPECT_EQ(out.Count(), 1u);
    EXPECT_FALSE(Tag::GetFloatArray(root, "missing", out));
    EXPECT_EQ(out.Count(), 0u);
}

TEST(TDBContainerTagTest, NullReferenceAnswersDefaults)
{
    ChunkRef none;
    EXPECT_EQ(Tag::GetInt(none, "a", 5), 5);
    EXPECT_EQ(Tag::GetChildType(none, "a"), ACS_TYPE_NONE);
    EXPECT_FALSE(Tag::HasChild(none, "a"));
    EXPECT_FALSE(Tag::GetChildContainer(none, "a"));
    EXPECT_FALSE(Tag::GetRawData(none, "a"));
    EXPECT_TRUE(Tag::GetChildName(none, 0).Empty());
    EXPECT_EQ(Tag::GetString(none, "a", "dflt").Str(), "dflt");
    Tag::RemoveChild(none, "a");
    EXPECT_FALSE(none);
}

TEST(TDBContainerTagTest, StringWithDefault)
{
    ChunkRef root;
    Tag::SetString(root, "empty", "");
    Tag::SetInt(root, "i", 3);
    Tag::SetNone(root, "none");
    ChunkRef sub;
    Tag::SetChildContainer(root, "sub", sub);
    Nyx::PString def("dflt");
    EXPECT_EQ(Tag::GetString(root, "missing", def), def);
    EXPECT_EQ(Tag::GetString(root, "none", def), def);
    EXPECT_EQ(Tag::GetString(root, "sub", def), def);
    EXPECT_TRUE(Tag::GetString(root, "empty", def).Empty());
    EXPECT_EQ(Tag::GetString(root, "i", def).Str(), "3");
}

TEST(TDBContainerTagTest, SettersReplaceTheFirstChildAndAppend)
{
    ChunkRef root;
    Tag::SetInt(root, "a", 0);
    Tag::SetInt(root, "b", 0);
    Tag::SetInt(root, "a", 1);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"b", "a"}));

    // Two children of one name: only the first is replaced, and lookups then
    // find the old second one.
    ChunkRef dup;
    dup.EnsureContainer();
    for (const char* v : {"first", "second"}) {
        ChunkRef tag = dup->CreateChunk(ACS_TYPE_STRING, ACSRawData::Copy(v, uint32_t(std::strlen(v) + 1)));
        dup->AddChild("a", tag);
    }
    Tag::SetString(dup, "a", "x");
    EXPECT_EQ(Names(dup), (std::vector<std::string>{"a", "a"}));
    EXPECT_EQ(Tag::GetString(dup, "a").Str(), "second");

    Tag::RemoveChild(dup, "a");
    EXPECT_EQ(Tag::GetString(dup, "a").Str(), "x");
    Tag::RemoveChild(dup, "nothing");
    EXPECT_EQ(dup.ChildCount(), 1u);
}

TEST(TDBContainerTagTest, EmptyValues)
{
    ChunkRef root;
    Tag::SetString(root, "s", "");
    EXPECT_TRUE(Tag::HasChild(root, "s"));
    EXPECT_EQ(Tag::GetChildType(root, "s"), ACS_TYPE_STRING);
    EXPECT_TRUE(Tag::GetString(root, "s").Empty());
    EXPECT_FALSE(Tag::GetRawData(root, "s"));

    Tag::SetNone(root, "n");
    EXPECT_EQ(root.ChildCount(), 2u);
    EXPECT_FALSE(Tag::HasChild(root, "n"));

    FloatArray list;
    list.Append(1.0f);
    Tag::SetNumberList(root, "l", list);
    EXPECT_TRUE(Tag::HasChild(root, "l"));
    Tag::SetNumberList(root, "l", FloatArray());
    EXPECT_FALSE(Tag::HasChild(root, "l"));
    EXPECT_EQ(root.ChildCount(), 2u);

    ChunkRef fresh;
    Tag::SetNumberList(fresh, "l", FloatArray());
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh.ChildCount(), 0u);
}

TEST(TDBContainerTagTest, SettersOnADataTagChangeNothing)
{
    ChunkRef tag(new TDBDataTag);
    Tag::SetInt(tag, "a", 1);
    ChunkRef sub;
    Tag::SetChildContainer(tag, "c", sub);
    EXPECT_EQ(tag->GetType(), ACS_TYPE_NONE);
    EXPECT_EQ(tag.ChildCount(), 0u);
    EXPECT_EQ(Tag::GetInt(tag, "a", 7), 7);
}

TEST(TDBContainerTagTest, ChildAccessByIndex)
{
    ChunkRef root;
    Tag::SetInt(root, "v", 1);
    ChunkRef sub;
    Tag::SetChildContainer(root, "c", sub);
    Tag::SetInt(sub, "inner", 2);

    Nyx::PString name;
    ChunkRef chunk;
    EXPECT_TRUE(root->GetChildAt(1, name, chunk));
    EXPECT_EQ(name.Str(), "c");
    EXPECT_EQ(chunk.Get(), sub.Get());
    EXPECT_FALSE(root->GetChildAt(2, name, chunk));
    EXPECT_TRUE(name.Empty());
    EXPECT_EQ(chunk.Get(), ACSChunk::SharedEmpty());
    EXPECT_FALSE(root->GetChildAt(UINT32_MAX, name, chunk));

    EXPECT_FALSE(Tag::GetChildContainerAt(root, 0));
    ChunkRef at = Tag::GetChildContainerAt(root, 1, name);
    EXPECT_EQ(at.Get(), sub.Get());
    EXPECT_EQ(name.Str(), "c");
    EXPECT_FALSE(Tag::GetChildContainerAt(root, 2, name));
    EXPECT_TRUE(name.Empty());

    EXPECT_EQ(Tag::GetChildContainer(root, "c").Get(), sub.Get());
    EXPECT_FALSE(Tag::GetChildContainer(root, "v"));
    EXPECT_FALSE(Tag::GetChildContainer(root, "missing"));
    EXPECT_EQ(Tag::GetInt(Tag::GetChildContainer(root, "c"), "inner", 0), 2);
    EXPECT_EQ(Tag::GetChildType(root, "c"), ACS_TYPE_CONTAINER);
}

TEST(TDBContainerTagTest, ChildrenLiveAcrossManyBlocks)
{
    ChunkRef root;
    for (int i = 0; i < 100; ++i)
        Tag::SetInt(root, Nyx::PString(std::to_string(i)), i);
    // Remove every third one, front to back, then check order and values.
    for (int i = 0; i < 100; i += 3)
        Tag::RemoveChild(root, Nyx::PString(std::to_string(i)));
    std::vector<std::string> expected;
    for (int i = 0; i < 100; ++i)
        if (i % 3)
            expected.push_back(std::to_string(i));
    EXPECT_EQ(Names(root), expected);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(Tag::GetInt(root, Nyx::PString(std::to_string(i)), -1), i % 3 ? i : -1);
}

TEST(TDBContainerTagTest, SortIsUnsignedByteOrder)
{
    ChunkRef root;
    for (const char* n : {"b", "a", "B"})
        Tag::SetString(root, n, n);
    root->SortChildren();
    EXPECT_EQ(Names(root), (std::vector<std::string>{"B", "a", "b"}));
}

TEST(TDBContainerTagTest, SortKeepsNamesWithTheirChunks)
{
    std::mt19937 rng(12345);
    const char* alphabet[] = {"a", "b", "Z", "ab", "", "\xc3\xa9", "a\xff", "aa", "0"};
    for (int count : {2, 9, 10, 11, 40, 300}) {
        ChunkRef root;
        root.EnsureContainer();
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            std::string n = std::string(alphabet[rng() % 9]) + alphabet[rng() % 9];
            names.push_back(n);
            ChunkRef tag = root->CreateChunk(ACS_TYPE_STRING, ACSRawData::Copy(n.c_str(), uint32_t(n.size() + 1)));
            root->AddChild(Nyx::PString(n), tag);
        }
        root->SortChildren();
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return std::strcmp(a.c_str(), b.c_str()) < 0;
        });
        EXPECT_EQ(Names(root), names) << count;
        for (uint32_t i = 0; i < root.ChildCount(); ++i) {
            Nyx::PString name;
            ChunkRef chunk;
            root->GetChildAt(i, name, chunk);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk->GetData())), name.Str());
            EXPECT_EQ(chunk->RefCount(), 2);  // the entry's and ours
        }
    }
}

TEST(TDBContainerTagTest, SwapChildrenExchangesChunksNotNames)
{
    ChunkRef root;
    Tag::SetInt(root, "x", 1);
    Tag::SetInt(root, "y", 2);
    Tag::SetInt(root, "z", 3);
    ChunkRef x = root->FindChild("x");
    ChunkRef z = root->FindChild("z");
    root->SwapChildren(x, z);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(Tag::GetInt(root, "x", 0), 3);
    EXPECT_EQ(Tag::GetInt(root, "z", 0), 1);
    EXPECT_EQ(x->RefCount(), 2);

    // Nothing happens when one of them is missing or both are the same.
    root->SwapChildren(x, ChunkRef(new TDBDataTag));
    root->SwapChildren(x, x);
    EXPECT_EQ(Tag::GetInt(root, "z", 0), 1);
}

TEST(TDBContainerTagTest, AddAndRemoveByChunk)
{
    ChunkRef root;
    root.EnsureContainer();
    root->AddChild("n", ChunkRef());
    EXPECT_EQ(root.ChildCount(), 0u);

    ChunkRef a(new TDBDataTag);
    root->AddChild("a", a);
    root->AddChild("b", a);
    EXPECT_EQ(a->RefCount(), 3);
    root->RemoveChild(a);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"b"}));
    EXPECT_EQ(a->RefCount(), 2);
    root->RemoveChild(ChunkRef(new TDBDataTag));
    EXPECT_EQ(root.ChildCount(), 1u);
    root.Release();
    EXPECT_EQ(a->RefCount(), 1);
}

TEST(FloatArrayTest, ReserveRoundsToEightAndKeepsValues)
{
    FloatArray a;
    a.Append(1.5f);
    EXPECT_EQ(a.Capacity(), 8u);
    a.Reserve(9);
    EXPECT_EQ(a.Capacity(), 16u);
    a.Reserve(3);
    EXPECT_EQ(a.Capacity(), 16u);
    EXPECT_EQ(a[0], 1.5f);
    FloatArray copy = a;
    copy[0] = 2.0f;
    EXPECT_EQ(a[0], 1.5f);
}

}  // namespace

// ---- walking children by index ----

// Blocks stepped over by the lookups the walk makes on this thread.
template <class Walk>
uint64_t StepsOf(Walk&& walk)
{
    uint64_t before = Tag::ThreadIndexSteps();
    walk();
    return Tag::ThreadIndexSteps() - before;
}

// Names and chunks of every child, by index in the given direction.
std::vector<std::pair<std::string, ACSChunk*>> Walk(const ChunkRef& ref, bool backwards = false)
{
    uint32_t count = ref.ChildCount();
    std::vector<std::pair<std::string, ACSChunk*>> out(count);
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t i = backwards ? count - 1 - k : k;
        Nyx::PString name;
        ChunkRef chunk;
        EXPECT_TRUE(ref->GetChildAt(i, name, chunk)) << i;
        out[i] = {name.Str(), chunk.Get()};
    }
    return out;
}

TEST(TDBContainerTagTest, WalkingByIndexStepsOverEachBlockOnce)
{
    constexpr uint32_t kCount = 13 * 2000 + 5;
    constexpr uint64_t kBlocks = kCount / 13 + 1;
    // Walking from the start for every child would step n * n / 26 times.
    ChunkRef root;
    root.EnsureContainer();
    for (uint32_t i = 0; i < kCount; ++i)
        root->AddChild(Nyx::PString(std::to_string(i % 50)), ChunkRef(new TDBDataTag));

    std::vector<std::pair<std::string, ACSChunk*>> forwards;
    EXPECT_LE(StepsOf([&] { forwards = Walk(root); }), kBlocks);
    std::vector<std::pair<std::string, ACSChunk*>> backwards;
    EXPECT_LE(StepsOf([&] { backwards = Walk(root, true); }), kBlocks);
    EXPECT_EQ(forwards, backwards);
    for (uint32_t i = 0; i < kCount; ++i)
        ASSERT_EQ(forwards[i].first, std::to_string(i % 50)) << i;

    // Asking for the same index again, or jumping back a little, costs no
    // walk from the start either.
    EXPECT_LE(StepsOf([&] {
                  for (uint32_t i = 100; i + 20 < kCount; i += 13)
                      for (uint32_t j : {i, i, i - 20, i + 20})
                          Tag::GetChildName(root, j);
              }),
              6 * kBlocks);

    // Nested walks: a parent's place survives the walks of its children.
    ChunkRef parent;
    parent.EnsureContainer();
    constexpr uint32_t kParents = 13 * 60;
    for (uint32_t i = 0; i < kParents; ++i) {
        ChunkRef child(new TDBContainerTag);
        for (uint32_t j = 0; j < 40; ++j)
            child->AddChild("x", ChunkRef(new TDBDataTag));
        parent->AddChild("c", child);
    }
    EXPECT_LE(StepsOf([&] {
                  for (uint32_t i = 0; i < kParents; ++i)
                      Walk(Tag::GetChildContainerAt(parent, i));
                  Walk(parent);
              }),
              2 * kParents / 13 + kParents * 2);
}

// Every kind of edit, made while a walk's place is remembered in the middle
// of the list: afterwards every index gives what the edit left there.
TEST(TDBContainerTagTest, WalksAfterEditsSeeTheEditedList)
{
    using Model = std::vector<std::pair<std::string, ACSChunk*>>;
    struct Edit {
        const char* what;
        void (*apply)(ChunkRef& root, Model& model);
    };
    auto removeAt = [](ChunkRef& root, Model& model, size_t i) {
        root->RemoveChild(ChunkRef(model[i].second));
        model.erase(model.begin() + ptrdiff_t(i));
    };
    static decltype(removeAt) remove = removeAt;
    const Edit edits[] = {
        {"append",
         [](ChunkRef& root, Model& model) {
             for (int i = 0; i < 20; ++i) {
                 ChunkRef tag(new TDBDataTag);
                 root->AddChild("new", tag);
                 model.emplace_back("new", tag.Get());
             }
         }},
        {"remove before the place", [](ChunkRef& root, Model& model) { remove(root, model, 3); }},
        {"remove at the place", [](ChunkRef& root, Model& model) { remove(root, model, 40); }},
        {"remove a whole block",
         [](ChunkRef& root, Model& model) {
             for (int i = 0; i < 13; ++i)
                 remove(root, model, 26);
         }},
        {"remove the first block",
         [](ChunkRef& root, Model& model) {
             for (int i = 0; i < 13; ++i)
                 remove(root, model, 0);
         }},
        {"remove every other",
         [](ChunkRef& root, Model& model) {
             for (size_t i = 0; i < model.size(); ++i)
                 remove(root, model, i);
         }},
        {"remove all",
         [](ChunkRef& root, Model& model) {
             while (!model.empty())
                 remove(root, model, model.size() / 2);
         }},
        {"sort",
         [](ChunkRef& root, Model& model) {
             root->SortChildren();
             std::stable_sort(model.begin(), model.end(),
                              [](const auto& a, const auto& b) { return a.first < b.first; });
         }},
        {"swap",
         [](ChunkRef& root, Model& model) {
             root->SwapChildren(ChunkRef(model[2].second), ChunkRef(model[50].second));
             std::swap(model[2].second, model[50].second);
         }},
        {"set (remove and append)",
         [](ChunkRef& root, Model& model) {
             Tag::SetInt(root, Nyx::PString(model[30].first), 1);
             std::string name = model[30].first;
             model.erase(model.begin() + 30);
             model.emplace_back(name, root->FindChild(Nyx::PString(name)).Get());
         }},
        {"take the children of another",
         [](ChunkRef& root, Model& model) {
             ChunkRef other(new TDBContainerTag);
             for (int i = 0; i < 30; ++i) {
                 ChunkRef tag(new TDBDataTag);
                 other->AddChild("taken", tag);
                 model.emplace_back("taken", tag.Get());
             }
             Tag::GetChildName(other, 20);
             static_cast<TDBContainerTag*>(root.Get())->TakeChildren(*static_cast<TDBContainerTag*>(other.Get()));
             EXPECT_EQ(other.ChildCount(), 0u);
             EXPECT_TRUE(Tag::GetChildName(other, 20).Empty());
         }},
        {"repeat a name, then remove its first",
         [](ChunkRef& root, Model& model) {
             for (int i = 0; i < 3; ++i) {
                 ChunkRef tag(new TDBDataTag);
                 root->AddChild(Nyx::PString(model[10].first), tag);
                 model.emplace_back(model[10].first, tag.Get());
             }
             remove(root, model, 10);
         }},
        {"repeat a name, then remove a later one",
         [](ChunkRef& root, Model& model) {
             for (int i = 0; i < 3; ++i) {
                 ChunkRef tag(new TDBDataTag);
                 root->AddChild(Nyx::PString(model[10].first), tag);
                 model.emplace_back(model[10].first, tag.Get());
             }
             remove(root, model, model.size() - 2);
         }},
        {"remove names that are not there, and one that holds the shared empty chunk",
         [](ChunkRef& root, Model& model) {
             Tag::RemoveChild(root, Nyx::PString("absent"));
             root->RemoveChild(ChunkRef::SharedEmpty());
             root->AddChild("empty", ChunkRef::SharedEmpty());
             model.emplace_back("empty", ACSChunk::SharedEmpty());
             Tag::RemoveChild(root, Nyx::PString("absent"));
             EXPECT_EQ(root.ChildCount(), model.size());
             Tag::RemoveChild(root, Nyx::PString("empty"));
             model.pop_back();
         }},
        {"be taken into an empty one",
         [](ChunkRef& root, Model&) {
             ChunkRef fresh(new TDBContainerTag);
             static_cast<TDBContainerTag*>(fresh.Get())->TakeChildren(*static_cast<TDBContainerTag*>(root.Get()));
             EXPECT_EQ(root.ChildCount(), 0u);
             static_cast<TDBContainerTag*>(root.Get())->TakeChildren(*static_cast<TDBContainerTag*>(fresh.Get()));
         }},
    };
    for (const Edit& edit : edits) {
        ChunkRef root;
        root.EnsureContainer();
        Model model;
        for (int i = 0; i < 13 * 6; ++i) {
            // Names not in order, so that sorting moves entries across blocks.
            std::string name = std::to_string((i * 37) % 101);
            ChunkRef tag(new TDBDataTag);
            root->AddChild(Nyx::PString(name), tag);
            model.emplace_back(name, tag.Get());
        }
        // Places in the middle, both ways, and what lookups by name keep.
        Tag::GetChildName(root, 40);
        Tag::GetChildName(root, 20);
        root->FindChild(Nyx::PString(model[5].first));
        edit.apply(root, model);
        EXPECT_EQ(root.ChildCount(), model.size()) << edit.what;
        EXPECT_EQ(Walk(root), model) << edit.what;
        EXPECT_EQ(Walk(root, true), model) << edit.what;
        Nyx::PString name;
        ChunkRef chunk;
        EXPECT_FALSE(root->GetChildAt(uint32_t(model.size()), name, chunk)) << edit.what;
        // Each name finds its first child.
        for (size_t i = 0; i < model.size(); ++i) {
            const auto first = std::find_if(model.begin(), model.end(),
                                            [&](const auto& entry) { return entry.first == model[i].first; });
            ASSERT_EQ(root->FindChild(Nyx::PString(model[i].first)).Get(), first->second) << edit.what << " " << i;
        }
        EXPECT_EQ(root->FindChild(Nyx::PString("absent")).Get(), ACSChunk::SharedEmpty()) << edit.what;
    }
}

// Looking up every child of a large container by name, and filling a large
// container through the setters (each removes the name first), cost in
// proportion to the children, not to their square.
TEST(TDBContainerTagTest, LookupsByNameDoNotWalkTheChildren)
{
    constexpr uint32_t kCount = 20000;
    std::vector<Nyx::PString> names;
    for (uint32_t i = 0; i < kCount; ++i)
        names.emplace_back(std::to_string(i));
    const auto steps = [](auto&& work) {
        const uint64_t before = Tag::ThreadNameSteps();
        work();
        return Tag::ThreadNameSteps() - before;
    };

    ChunkRef filled;
    EXPECT_LE(steps([&] {
                  for (uint32_t i = 0; i < kCount; ++i)
                      Tag::SetInt(filled, names[i], int32_t(i));
              }),
              uint64_t(4) * kCount);
    EXPECT_LE(steps([&] {
                  for (uint32_t i = 0; i < kCount; ++i)
                      ASSERT_EQ(Tag::GetInt(filled, names[i], -1), int32_t(i));
              }),
              uint64_t(4) * kCount);
    // Replacing every value moves each to the end; they still read back.
    for (uint32_t i = 0; i < kCount; i += 2)
        Tag::SetInt(filled, names[i], -int32_t(i));
    for (uint32_t i = 0; i < kCount; ++i)
        ASSERT_EQ(Tag::GetInt(filled, names[i], 1), i % 2 ? int32_t(i) : -int32_t(i));
    EXPECT_EQ(filled.ChildCount(), kCount);
}

// A place remembered in a destroyed container never serves a new container
// made at the same address.
TEST(TDBContainerTagTest, PlacesDoNotOutliveTheirContainer)
{
    alignas(TDBContainerTag) unsigned char storage[sizeof(TDBContainerTag)];
    for (int round = 0; round < 3; ++round) {
        auto* tag = new (storage) TDBContainerTag;
        tag->AddRef();
        for (int i = 0; i < 13 * 5; ++i)
            tag->AddChild(Nyx::PString(std::to_string(round * 1000 + i)), ChunkRef(new TDBDataTag));
        for (uint32_t i = 0; i < 13 * 5; ++i) {
            Nyx::PString name;
            ChunkRef chunk;
            ASSERT_TRUE(tag->GetChildAt(i, name, chunk));
            ASSERT_EQ(name.Str(), std::to_string(round * 1000 + int(i)));
        }
        Tag::GetChildName(ChunkRef(tag), 30);
        tag->~TDBContainerTag();
    }
}
