#include "config/formats/BinaryConfig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "config/tree/ACSConvert.h"
#include "config/formats/ConfigText.h"
#include "config/formats/TDBBinaryFile.h"
#include "config/formats/TDBBinarySoup.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataChunk.h"
#include "config/tree/TDBDataTag.h"
#include "config/tree/TagTreeOps.h"
#include "core/streams/TStream.h"

namespace {

using Tag = TDBContainerTag;
using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes U32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes Text(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

// A well-formed record; an empty name is written without name bytes.
Bytes Record(std::string_view name, uint8_t type, const Bytes& payload)
{
    Bytes named;
    if (!name.empty())
        named = Text(name) + Bytes{0};
    Bytes body = Bytes{uint8_t(named.size())} + named + Bytes{type} + payload;
    return U32(static_cast<uint32_t>(body.size())) + body;
}

Bytes Header(uint32_t payloadSize, int32_t version = 1)
{
    return Text("ACS$") + U32(static_cast<uint32_t>(version)) + U32(0) + U32(payloadSize);
}

Bytes FileOf(const Bytes& payload, int32_t version = 1)
{
    return Header(static_cast<uint32_t>(payload.size()), version) + payload;
}

class BufferOf : public TBuffer {
public:
    explicit BufferOf(const Bytes& bytes)
    {
        if (!bytes.empty())
            GetBuffer()->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), 1);
        GetBuffer()->Seek(0);
    }
};

Bytes Written(const ChunkRef& root, bool* complete = nullptr, bool* whole = nullptr)
{
    TBuffer s;
    bool ok = WriteBinaryConfig(s, root);
    if (complete)
        *complete = ok;
    const Nyx::DynamicBuffer* b = s.GetBuffer();
    Bytes bytes(b->Data(), b->Data() + b->DataLength());
    if (whole) {
        // The whole-or-nothing writer writes the same bytes.
        TBuffer again;
        *whole = WriteWholeBinaryConfig(again, root);
        b = again.GetBuffer();
        EXPECT_EQ(bytes, Bytes(b->Data(), b->Data() + b->DataLength()));
    }
    return bytes;
}

struct Loaded {
    bool read = false;
    uint32_t payloadSize = 0;
    ChunkRef root;
};

Loaded Load(const Bytes& bytes)
{
    BufferOf s(bytes);
    auto* file = new TDBBinaryFile;
    file->AddRef();
    Loaded l;
    l.read = file->Read(s);
    l.payloadSize = file->PayloadSize();
    l.root = file->GetRoot();
    file->Release();
    return l;
}

ChunkRef ReadBack(const Bytes& bytes)
{
    BufferOf s(bytes);
    ChunkRef root;
    EXPECT_TRUE(ReadBinaryConfig(s, root));
    return root;
}

std::vector<std::string> ChildNames(const ChunkRef& c)
{
    std::vector<std::string> names;
    for (uint32_t i = 0; i < c->GetChildCount(); ++i)
        names.push_back(Tag::GetChildName(c, i).Str());
    return names;
}

using Names = std::vector<std::string>;

// Containers nested `depth` levels below the root, the innermost holding an
// integer.
ChunkRef Chain(int depth)
{
    ChunkRef root;
    root.EnsureContainer();
    ChunkRef at = root;
    for (int i = 0; i < depth; ++i) {
        ChunkRef next;
        Tag::SetChildContainer(at, "c", next);
        at = next;
    }
    Tag::SetInt(at, "leaf", depth);
    return root;
}

ChunkRef Data(ACSValueType type, const Bytes& bytes)
{
    auto* tag = new TDBDataTag;
    tag->SetValue(type, ACSRawData::Copy(bytes.data(), static_cast<uint32_t>(bytes.size())));
    return ChunkRef(tag);
}

// ---- writing ----

TEST(WriteBinaryConfigTest, RecordsAreByteExact)
{
    struct Case {
        const char* what;
        std::function<void(ChunkRef&)> build;
        Bytes payload;
    };
    const std::vector<Case> cases = {
        {"empty root", [](ChunkRef&) {}, {}},
        {"integer", [](ChunkRef& r) { Tag::SetInt(r, "a", 7); },
         {0x08, 0, 0, 0, 0x02, 'a', 0, 0x01, 0x07, 0, 0, 0}},
        {"string", [](ChunkRef& r) { Tag::SetString(r, "s", "x"); }, Record("s", 3, {'x', 0})},
        {"empty string", [](ChunkRef& r) { Tag::SetString(r, "s", ""); }, Record("s", 3, {})},
        {"kuid", [](ChunkRef& r) { Tag::SetKUID(r, "k", KUID(5, 100, 3)); },
         Record("k", 13, {0x05, 0, 0, 0x06, 0x64, 0, 0, 0})},
        {"float", [](ChunkRef& r) { Tag::SetFloat(r, "f", 1.0f); }, Record("f", 2, {0, 0, 0x80, 0x3F})},
        {"no value", [](ChunkRef& r) { Tag::SetNone(r, "n"); }, Record("n", 5, {})},
        {"raw", [](ChunkRef& r) { r->AddChild("r", Data(ACS_TYPE_RAW, {1, 2, 3})); }, Record("r", 4, {1, 2, 3})},
        {"second string code", [](ChunkRef& r) { r->AddChild("t", Data(ACS_TYPE_STRING_ALT, {'y', 0})); },
         Record("t", 3, {'y', 0})},
        {"unknown type", [](ChunkRef& r) { r->AddChild("u", Data(ACSValueType(9), {4, 5})); }, Record("u", 5, {4, 5})},
        {"unnamed", [](ChunkRef& r) { Tag::SetInt(r, "", 1); }, Record("", 1, U32(1))},
        {"nested",
         [](ChunkRef& r) {
             ChunkRef sub;
             Tag::SetInt(sub, "i", 2);
             Tag::SetChildContainer(r, "c", sub);
         },
         Record("c", 0, Record("i", 1, U32(2)))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChunkRef root;
        root.EnsureContainer();
        c.build(root);
        EXPECT_EQ(Written(root), FileOf(c.payload));
    }
    EXPECT_EQ(Written(ChunkRef()), Header(0));
}

TEST(WriteBinaryConfigTest, NamesOf255CharactersAreLeftOut)
{
    std::string longest(254, 'n');
    std::string tooLong(255, 'n');
    ChunkRef root;
    ChunkRef sub;
    Tag::SetInt(sub, "lost", 1);
    Tag::SetChildContainer(root, Nyx::PString(tooLong), sub);
    Tag::SetInt(root, Nyx::PString(longest), 2);
    Tag::SetInt(root, "after", 3);

    bool complete = false;
    bool whole = true;
    Bytes bytes = Written(root, &complete, &whole);
    EXPECT_EQ(bytes, FileOf(Record(longest, 1, U32(2)) + Record("after", 1, U32(3))));
    // A file may lose the tag; data that must arrive whole is refused.
    EXPECT_TRUE(complete);
    EXPECT_FALSE(whole);
    ChunkRef back = ReadBack(bytes);
    EXPECT_EQ(Tag::GetInt(back, Nyx::PString(longest), 0), 2);

    Tag::RemoveChild(root, Nyx::PString(tooLong));
    Written(root, &complete, &whole);
    EXPECT_TRUE(whole);
}

TEST(WriteBinaryConfigTest, TreesReadBackAndRewriteIdentically)
{
    ChunkRef root;
    Tag::SetInt(root, "i", -5);
    Tag::SetString(root, "s", "text");
    Tag::SetKUID(root, "k", KUID(-3, 42, 0));
    ChunkRef sub;
    Tag::SetInt(sub, "dup", 1);
    Tag::SetInt(sub, "other", 0);
    sub->AddChild("dup", Data(ACS_TYPE_INT, U32(2)));
    ChunkRef empty;
    Tag::SetChildContainer(sub, "empty", empty);
    Tag::SetChildContainer(root, "sub", sub);

    Bytes bytes = Written(root);
    ChunkRef back = ReadBack(bytes);
    EXPECT_EQ(ChildNames(back), (Names{"i", "s", "k", "sub"}));
    EXPECT_EQ(Tag::GetString(back, "i").Str(), "-5");
    EXPECT_EQ(Tag::GetString(back, "s").Str(), "text");
    EXPECT_EQ(Tag::GetKUID(back, "k", KUID::Null), KUID(-3, 42, 0));
    ChunkRef backSub = Tag::GetChildContainer(back, "sub");
    ASSERT_TRUE(backSub);
    EXPECT_EQ(ChildNames(backSub), (Names{"dup", "other", "dup", "empty"}));
    EXPECT_EQ(Tag::GetInt(backSub, "dup", 0), 1);
    EXPECT_EQ(Written(back), bytes);
}

TEST(WriteBinaryConfigTest, NestingBeyondTheDepthLimitIsLeftOut)
{
    bool complete = false;
    bool whole = false;
    Bytes deepest = Written(Chain(kMaxTreeDepth), &complete, &whole);
    EXPECT_TRUE(complete);
    EXPECT_TRUE(whole);
    ChunkRef back = ReadBack(deepest);
    ChunkRef copy;
    EXPECT_TRUE(copy.CloneContainer(back));

    Bytes tooDeep = Written(Chain(kMaxTreeDepth + 1), &complete, &whole);
    EXPECT_FALSE(complete);
    EXPECT_FALSE(whole);
    back = ReadBack(tooDeep);
    ChunkRef at = back;
    for (int i = 0; i < kMaxTreeDepth; ++i)
        at = Tag::GetChildContainer(at, "c");
    ASSERT_TRUE(at);
    EXPECT_EQ(at.ChildCount(), 0u);
}

// ---- reading ----

TEST(TDBBinaryFileTest, HeaderOutcomes)
{
    const Bytes one = Record("a", 1, U32(7));
    struct Case {
        const char* what;
        Bytes file;
        bool read;
        bool root;
    };
    const std::vector<Case> cases = {
        {"empty root", Header(0), true, false},
        {"bad magic", Text("ACS#") + U32(1) + U32(0) + U32(12) + one, false, false},
        {"no bytes", {}, false, false},
        {"short header", Text("ACS$") + U32(1), true, false},
        {"version 0", FileOf(one, 0), true, true},
        {"version 2", FileOf(one, 2), true, false},
        {"version -1", FileOf(one, -1), true, false},
        {"size past the stream", Header(13) + one, false, false},
        {"negative size", Header(0x80000000u) + one, false, false},
        {"record past its list", FileOf(U32(9) + Bytes{2, 'a', 0, 1, 7, 0, 0, 0}), true, false},
        {"too short for a record", FileOf({1, 2, 3, 4, 5}), true, true},
        {"short tail ignored", FileOf(one + Bytes{0, 0, 0, 0, 0}), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l = Load(c.file);
        EXPECT_EQ(l.read, c.read);
        EXPECT_EQ(l.root.IsReal(), c.root);
        if (!c.root) {
            EXPECT_EQ(l.root.Get(), ACSChunk::SharedEmpty());
        }
        BufferOf s(c.file);
        ChunkRef out;
        Tag::SetInt(out, "stale", 1);
        EXPECT_EQ(ReadBinaryConfig(s, out), c.read && c.root);
        EXPECT_EQ(out.IsReal(), c.read && c.root);
    }
}

TEST(TDBBinaryFileTest, CorruptRecordsRejectThePayload)
{
    const Bytes good = Record("a", 1, U32(7));
    struct Case {
        const char* what;
        Bytes payload;
    };
    const std::vector<Case> cases = {
        // A size below the name and type bytes made the payload length wrap.
        {"size 0", U32(0) + Bytes{0, 1, 0, 0}},
        {"size without type byte", U32(1) + Bytes{0, 1, 0, 0}},
        {"size short of the name", U32(3) + Bytes{2, 'a', 0, 1}},
        {"name without NUL", U32(8) + Bytes{2, 'a', 'b', 1, 7, 0, 0, 0}},
        {"nested size 0", Record("c", 0, U32(0) + Bytes{0, 5}) + good},
        {"nested record past its list", Record("c", 0, U32(4) + Bytes{0, 5, 0}) + good},
        // The record's payload starts at offset 8; the gap to 16 is 8 bytes.
        {"aligned raw shorter than its gap", Record("r", 12, Bytes(7, 0))},
        {"bad record after a good one", good + U32(100) + Bytes{0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l = Load(FileOf(c.payload));
        EXPECT_TRUE(l.read);
        EXPECT_EQ(l.payloadSize, 0u);
        EXPECT_EQ(l.root.Get(), ACSChunk::SharedEmpty());
    }
}

TEST(TDBBinaryFileTest, NestingDeeperThanTheLimitIsRejected)
{
    auto nested = [](int depth) {
        Bytes list = Record("leaf", 1, U32(1));
        for (int i = 0; i < depth; ++i)
            list = Record("c", 0, list);
        return FileOf(list);
    };
    EXPECT_NE(Load(nested(kMaxTreeDepth)).payloadSize, 0u);
    Loaded deep = Load(nested(kMaxTreeDepth + 1));
    EXPECT_TRUE(deep.read);
    EXPECT_EQ(deep.payloadSize, 0u);
}

TEST(TDBBinaryFileTest, ValuesAreBoundedByTheirRecords)
{
    // A string without its NUL, a short KUID and an integer list, each
    // followed by more records whose bytes must not leak into the value.
    Bytes payload = Record("s", 3, Text("abc")) + Record("k", 13, {5, 0, 0}) + Record("l", 1, U32(1) + U32(2)) +
                    Record("z", 3, Text("zzzz"));
    ChunkRef root = ReadBack(FileOf(payload));
    EXPECT_EQ(Tag::GetString(root, "s").Str(), "abc");
    EXPECT_EQ(root->FindChild("s")->GetDataSize(), 3u);
    EXPECT_EQ(Tag::GetKUID(root, "k", KUID(1, 2, 3)), KUID(1, 2, 3));
    EXPECT_EQ(Tag::GetString(root, "k").Str(), "");
    EXPECT_EQ(Tag::GetString(root, "l").Str(), "1,2");
    EXPECT_EQ(Tag::GetInt(root, "l", -1), -1);
}

TEST(TDBBinaryFileTest, FileTypesMapToValueTypes)
{
    struct Case {
        uint8_t fileType;
        Bytes payload;
        ACSValueType type;
        uint32_t size;
    };
    const std::vector<Case> cases = {
        {1, U32(7), ACS_TYPE_INT, 4},     {2, U32(0), ACS_TYPE_FLOAT, 4}, {3, {'x', 0}, ACS_TYPE_STRING, 2},
        {4, {1, 2}, ACS_TYPE_RAW, 2},     {5, {1, 2}, ACS_TYPE_NONE, 0},  {6, {1}, ACS_TYPE_NONE, 0},
        {11, {1}, ACS_TYPE_NONE, 0},      {13, Bytes(8, 0), ACS_TYPE_KUID, 8},
        {14, {1}, ACS_TYPE_NONE, 0},      {255, {}, ACS_TYPE_NONE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.fileType));
        ChunkRef root = ReadBack(FileOf(Record("v", c.fileType, c.payload)));
        ChunkRef v = root->FindChild("v");
        ASSERT_TRUE(v.IsReal());
        EXPECT_EQ(v->GetType(), c.type);
        EXPECT_EQ(v->GetDataSize(), c.size);
    }
}

TEST(TDBBinaryFileTest, AlignedRawSkipsToTheNextBoundary)
{
    // Record at payload offset 0 with a one-letter name: its bytes start at
    // offset 8, so 8 bytes are skipped. The second record's bytes start on
    // a boundary (offset 32): nothing is skipped.
    Bytes payload = Record("r", 12, Bytes(8, 0xEE) + Bytes{1, 2, 3, 4});
    Bytes second = Record("fivec", 12, Bytes{9, 8});
    ASSERT_EQ((payload.size() + 6 + 6) % 16, 0u);
    ChunkRef root = ReadBack(FileOf(payload + second));

    ChunkRef r = root->FindChild("r");
    EXPECT_EQ(r->GetType(), ACS_TYPE_RAW);
    ASSERT_EQ(r->GetDataSize(), 4u);
    EXPECT_EQ(std::memcmp(r->GetData(), "\x01\x02\x03\x04", 4), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(r->GetData()) % 16, 0u);

    ChunkRef n = root->FindChild("fivec");
    ASSERT_EQ(n->GetDataSize(), 2u);
    EXPECT_EQ(n->GetData()[0], 9);
    // Written back as ordinary raw bytes.
    EXPECT_EQ(Written(root),
              FileOf(Record("r", 4, Bytes{1, 2, 3, 4}) + Record("fivec", 4, Bytes{9, 8})));
}

TEST(TDBBinaryFileTest, Version0StringsOutsideAsciiAreConverted)
{
    Bytes payload = Record("ansi", 3, Text("caf\xE9 \x80") + Bytes{0}) + Record("plain", 3, Text("abc") + Bytes{0}) +
                    Record("empty", 3, {});
    ChunkRef v0 = ReadBack(FileOf(payload, 0));
    EXPECT_EQ(Tag::GetString(v0, "ansi").Str(), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(Tag::GetString(v0, "plain").Str(), "abc");
    EXPECT_EQ(Tag::GetChildType(v0, "empty"), ACS_TYPE_STRING);
    // Converted children are still the file's: they can be removed.
    v0->RemoveChild(v0->FindChild("ansi"));
    EXPECT_EQ(ChildNames(v0), (Names{"plain", "empty"}));

    ChunkRef v1 = ReadBack(FileOf(payload, 1));
    EXPECT_EQ(Tag::GetString(v1, "ansi").Str(), "caf\xE9 \x80");
}

// ---- views and the overlay ----

class BinaryOverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ChunkRef tree;
        Tag::SetInt(tree, "a", 1);
        Tag::SetInt(tree, "b", 2);
        tree->AddChild("a", Data(ACS_TYPE_INT, U32(3)));
        ChunkRef sub;
        Tag::SetString(sub, "x", "in sub");
        Tag::SetChildContainer(tree, "sub", sub);
        root = ReadBack(Written(tree));
        file = static_cast<TDBBinarySoup*>(root.Get())->File();
        pristine.assign(file->Payload(), file->Payload() + file->PayloadSize());
    }

    void TearDown() override
    {
        EXPECT_EQ(Bytes(file->Payload(), file->Payload() + file->PayloadSize()), pristine);
    }

    Bytes pristine;
    ChunkRef root;
    TDBBinaryFile* file = nullptr;
};

TEST_F(BinaryOverlayTest, AddedChildrenFollowTheFileChunks)
{
    ChunkRef added = Data(ACS_TYPE_INT, U32(10));
    root->AddChild("c", added);
    root->AddChild("c2", added);  // the same chunk again: ignored
    root->AddChild("b", Data(ACS_TYPE_INT, U32(20)));
    EXPECT_EQ(root->GetChildCount(), 6u);
    EXPECT_EQ(ChildNames(root), (Names{"a", "b", "a", "sub", "c", "b"}));
    // The file's own chunk wins over an added one of the same name.
    EXPECT_EQ(Tag::GetInt(root, "b", 0), 2);
    EXPECT_EQ(Tag::GetInt(root, "c", 0), 10);

    Nyx::PString name;
    ChunkRef chunk;
    EXPECT_FALSE(root->GetChildAt(6, name, chunk));
    EXPECT_EQ(chunk.Get(), ACSChunk::SharedEmpty());
}

TEST_F(BinaryOverlayTest, RemovingFileAndAddedChunks)
{
    ChunkRef added = Data(ACS_TYPE_INT, U32(30));
    root->AddChild("a", added);
    root->RemoveChild(root->FindChild("a"));
    EXPECT_EQ(ChildNames(root), (Names{"b", "a", "sub", "a"}));
    EXPECT_EQ(Tag::GetInt(root, "a", 0), 3);  // the file's second a
    root->RemoveChild(root->FindChild("a"));
    root->RemoveChild(root->FindChild("a"));  // now the added one
    EXPECT_EQ(ChildNames(root), (Names{"b", "sub"}));
    EXPECT_EQ(Tag::GetInt(root, "a", -1), -1);
    // Removing again, or removing what is not a child here, changes nothing.
    root->RemoveChild(added);
    ChunkRef sub = root->FindChild("sub");
    root->RemoveChild(sub->FindChild("x"));
    sub->RemoveChild(root->FindChild("b"));
    EXPECT_EQ(ChildNames(root), (Names{"b", "sub"}));
    EXPECT_EQ(ChildNames(sub), (Names{"x"}));
}

TEST_F(BinaryOverlayTest, SettersEditThroughTheOverlay)
{
    Tag::SetInt(root, "b", 5);
    Tag::SetString(root, "new", "v");
    ChunkRef sub = Tag::GetChildContainer(root, "sub");
    Tag::SetInt(sub, "y", 9);
    EXPECT_EQ(ChildNames(root), (Names{"a", "a", "sub", "b", "new"}));
    EXPECT_EQ(Tag::GetInt(root, "b", 0), 5);
    // Another view of the same container sees the edit.
    EXPECT_EQ(Tag::GetInt(Tag::GetChildContainer(root, "sub"), "y", 0), 9);
    // A view's value never changes.
    ChunkRef a = root->FindChild("a");
    a->SetValue(ACS_TYPE_INT, ACSRawData::Copy(U32(99).data(), 4));
    EXPECT_EQ(Tag::GetInt(root, "a", 0), 1);

    ChunkRef expected;
    Tag::SetInt(expected, "a", 1);
    expected->AddChild("a", Data(ACS_TYPE_INT, U32(3)));
    ChunkRef expectedSub;
    Tag::SetString(expectedSub, "x", "in sub");
    Tag::SetInt(expectedSub, "y", 9);
    Tag::SetChildContainer(expected, "sub", expectedSub);
    Tag::SetInt(expected, "b", 5);
    Tag::SetString(expected, "new", "v");
    EXPECT_EQ(Written(root), Written(expected));
}

TEST_F(BinaryOverlayTest, MovingChunksWithinTheFile)
{
    // Views of the same file are kept by record: the file must still be
    // freed when the last outside reference goes (checked by the leak
    // sanitizer).
    ChunkRef sub = root->FindChild("sub");
    sub->AddChild("moved", root->FindChild("b"));
    sub->AddChild("again", root->FindChild("b"));  // the same record: ignored
    root->RemoveChild(root->FindChild("b"));
    sub->AddChild("top", root);
    EXPECT_EQ(ChildNames(sub), (Names{"x", "moved", "top"}));
    EXPECT_EQ(Tag::GetInt(sub, "moved", 0), 2);
    EXPECT_EQ(ChildNames(root), (Names{"a", "a", "sub"}));

    ChunkRef moved = sub->FindChild("moved");
    sub->RemoveChild(moved);
    sub->RemoveChild(sub->FindChild("top"));
    EXPECT_EQ(ChildNames(sub), (Names{"x"}));
}

// The children at the indices, in that order, as name=value ("-" for none).
std::string Visit(const ChunkRef& c, std::initializer_list<uint32_t> order)
{
    std::string out;
    for (uint32_t i : order) {
        Nyx::PString name;
        ChunkRef chunk;
        if (!c->GetChildAt(i, name, chunk)) {
            out += chunk.Get() == ACSChunk::SharedEmpty() && name.Empty() ? "- " : "? ";
            continue;
        }
        ACSRawData text = ACSConvert(chunk->GetType(), ACSRawData::FromChunk(chunk), ACS_TYPE_STRING);
        out += name.Str() + "=" + std::string(chunk->GetType() == ACS_TYPE_CONTAINER ? "{}" : RawDataText(text)) + " ";
    }
    return out;
}

TEST_F(BinaryOverlayTest, LookupsByIndexInAnyOrderAndAfterEdits)
{
    EXPECT_EQ(Visit(root, {0, 1, 2, 3, 4, 2, 2, 3, 0, 9, 1, 3}),
              "a=1 b=2 a=3 sub={} - a=3 a=3 sub={} a=1 - b=2 sub={} ");

    // An edit through another view of the same list renumbers what this view
    // has walked past: b goes, so index 2 is now sub.
    EXPECT_EQ(Visit(root, {0, 1, 2}), "a=1 b=2 a=3 ");
    ChunkRef other = file->GetRoot();
    other->RemoveChild(other->FindChild("b"));
    EXPECT_EQ(Visit(root, {2, 3, 0, 1, 2, 3}), "sub={} - a=1 a=3 sub={} - ");
    root->AddChild("c", Data(ACS_TYPE_INT, U32(10)));
    root->AddChild("d", Data(ACS_TYPE_INT, U32(11)));
    EXPECT_EQ(Visit(root, {3, 4, 5, 1, 4, 0, 1, 2, 3, 4}), "c=10 d=11 - a=3 d=11 a=1 a=3 sub={} c=10 d=11 ");
    root->RemoveChild(root->FindChild("c"));
    EXPECT_EQ(Visit(root, {3, 4}), "d=11 - ");
    root->RemoveChild(root->FindChild("a"));
    EXPECT_EQ(Visit(root, {0, 1, 2, 3}), "a=3 sub={} d=11 - ");
}

TEST(TDBBinarySoupTest, WalksReadEachRecordAboutOnce)
{
    constexpr uint32_t kCount = 3000;
    ChunkRef tree;
    tree.EnsureContainer();
    for (uint32_t i = 0; i < kCount; ++i)
        tree->AddChild(Nyx::PString(std::to_string(i)), Data(ACS_TYPE_INT, U32(i)));
    ChunkRef root = ReadBack(Written(tree));
    auto* view = static_cast<TDBBinarySoup*>(root.Get());
    // Each walk of n children by index may read n records and look at the
    // one it stopped at again: 2n at most.
    auto stepsOf = [&](auto&& walk) {
        uint64_t before = view->IndexSteps();
        walk();
        return view->IndexSteps() - before;
    };

    uint64_t steps = stepsOf([&] { EXPECT_EQ(Written(root), Written(tree)); });
    EXPECT_LE(steps, 2 * kCount);
    auto text = [](const ChunkRef& c) {
        TBuffer out;
        WriteConfigText(out, c);
        return Bytes(out.GetBuffer()->Data(), out.GetBuffer()->Data() + out.GetBuffer()->DataLength());
    };
    steps = stepsOf([&] { EXPECT_EQ(text(root), text(tree)); });
    EXPECT_LE(steps, 2 * kCount);
    // Cloning walks once: the depth is checked on the way.
    ChunkRef copy;
    steps = stepsOf([&] { EXPECT_TRUE(copy.CloneContainer(root)); });
    EXPECT_LE(steps, 2 * kCount);
    EXPECT_EQ(Written(copy), Written(tree));
    // The copied values hold the file's bytes, not one view object each.
    ChunkRef value = copy->FindChild("7");
    ASSERT_NE(dynamic_cast<TDBDataTag*>(value.Get()), nullptr);
    EXPECT_EQ(static_cast<TDBDataTag*>(value.Get())->RawData().Get()->Holder(),
              static_cast<Nyx::ReferenceCount*>(view->File()));

    // With records removed and children added through the overlay.
    for (uint32_t i = 0; i < 300; i += 3)
        root->RemoveChild(root->FindChild(Nyx::PString(std::to_string(i))));
    root->AddChild("added", Data(ACS_TYPE_INT, U32(1)));
    uint32_t count = root->GetChildCount();
    ASSERT_EQ(count, kCount - 100 + 1);
    std::vector<std::string> names;
    steps = stepsOf([&] {
        for (uint32_t i = 0; i < count; ++i)
            names.push_back(Tag::GetChildName(root, i).Str());
    });
    EXPECT_LE(steps, 2 * kCount);
    EXPECT_EQ(names[0], "1");
    EXPECT_EQ(names[count - 2], std::to_string(kCount - 1));
    EXPECT_EQ(names[count - 1], "added");

    // Copying onto the view lists its children once before removing them,
    // not again after every removal.
    ChunkRef source;
    Tag::SetInt(source, "only", 4);
    steps = stepsOf([&] { EXPECT_TRUE(CopyChunk(root, source)); });
    EXPECT_LE(steps, 2 * kCount);
    EXPECT_EQ(root->GetChildCount(), 1u);
    EXPECT_EQ(Tag::GetInt(root, "only", 0), 4);
}

TEST_F(BinaryOverlayTest, CopyingIntoAView)
{
    ChunkRef source;
    Tag::SetInt(source, "only", 4);
    ChunkRef sub = root->FindChild("sub");
    ASSERT_TRUE(CopyChunk(sub, source));
    EXPECT_EQ(ChildNames(sub), (Names{"only"}));
    EXPECT_EQ(Tag::GetInt(sub, "only", 0), 4);
    ChunkRef made = sub->CreateChunk(ACS_TYPE_CONTAINER, ACSRawData());
    EXPECT_NE(dynamic_cast<TDBContainerTag*>(made.Get()), nullptr);
}

}  // namespace
