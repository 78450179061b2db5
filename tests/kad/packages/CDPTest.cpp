#include "kad/packages/CDP.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "kad/packages/PackageSafety.h"
#include "kad/packages/PackageTestSupport.h"
#include "support/TempFolder.h"

namespace {

using Tag = TDBContainerTag;
using namespace packagetest;

const KUID kA(100, 1, 0);
const KUID kB(100, 2, 0);
const KUID kC(200, 3, 1);
const KUID kD(300, 4, 0);
const KUID kE(300, 5, 2);
const KUID kDefaultInterior(-10, 172, 127);

std::vector<KUID> TableOf(const ChunkRef& root, const char* name)
{
    std::vector<KUID> out;
    ChunkRef table = Tag::GetChildContainer(root, name);
    for (uint32_t i = 0; table && i < table->GetChildCount(); ++i) {
        Nyx::PString childName = Tag::GetChildName(table, i);
        EXPECT_EQ(childName.Str(), std::to_string(i)) << name;
        out.push_back(Tag::GetKUID(table, childName, KUID::Null));
    }
    return out;
}

std::string TextOf(const ChunkRef& tree)
{
    auto buffer = ConfigToTextBuffer(tree);
    const Nyx::DynamicBuffer* bytes = buffer->GetBuffer();
    return std::string(reinterpret_cast<const char*>(bytes->Data()), bytes->DataLength());
}

// ---------------------------------------------------------------------------
// Header checks

TEST(CDPTest, HeaderChecksRunInOrderAndEmptyThePackageOnFailure)
{
    const std::string kNotValid = "Content could not be read, as the file is not a valid CDP";
    const std::string kDamaged = "Content could not be read, as the CDP file is damaged";
    const std::string kNewer = "This content requires a newer Kestro version";
    struct Case {
        const char* name;
        std::function<ChunkRef()> root;  // null: the file holds `bytes`
        std::string bytes;
        std::string expected;
    };
    auto root = [](const char* kind, int version, int contents, int assets) {
        ChunkRef r = NewContainer();
        if (kind)
            Tag::SetString(r, "kind", kind);
        if (version >= 0)
            Tag::SetInt(r, "package-version", version);
        if (contents >= 0) {
            ChunkRef t = NewContainer();
            for (int i = 0; i < contents; ++i)
                Tag::SetKUID(t, Nyx::PString(std::to_string(i)), KUID(1, i, 0));
            Tag::SetChildContainer(r, "contents-table", t);
        }
        if (assets >= 0) {
            ChunkRef a = NewContainer();
            for (int i = 0; i < assets; ++i)
                AddFolder(a, KUID(1, i, 0).ToString().View(), Entry(KUID(1, i, 0)));
            Tag::SetChildContainer(r, "assets", a);
        }
        return r;
    };
    const Case cases[] = {
        {"a package made by AddAsset", [] {
             ChunkRef p;
             EXPECT_TRUE(CDP::AddAsset(p, Entry(kA)).Empty());
             return p;
         }, "", ""},
        {"upper-case kind, both tables missing", [&] { return root("ARCHIVE", 1, -1, -1); }, "", ""},
        {"two entries, two listed", [&] { return root("Archive", 1, 2, 2); }, "", ""},
        {"another kind", [&] { return root("zip", 1, 0, 0); }, "", kNotValid},
        {"no kind", [&] { return root(nullptr, 1, 0, 0); }, "", kNotValid},
        {"one entry not listed", [&] { return root("archive", 1, 1, 2); }, "", kDamaged},
        {"listed entries missing", [&] { return root("archive", 1, 1, -1); }, "", kDamaged},
        {"version 2", [&] { return root("archive", 2, 0, 0); }, "", kNewer},
        {"no version", [&] { return root("archive", -1, 0, 0); }, "", kNewer},
        {"kind is checked before the version", [&] { return root("zip", 2, 1, 0); }, "", kNotValid},
        {"the count is checked before the version", [&] { return root("archive", 2, 1, 0); }, "", kDamaged},
        {"not a config file", nullptr, "PK\x03\x04 not a package at all", kNotValid},
        {"a cut binary file", nullptr, std::string("ACS$\x01\0\0\0\0\0\0\0\xff\0\0\0", 16), kNotValid},
    };
    TempFolder temp;
    for (const Case& c : cases) {
        const std::string path = temp / "package.cdp";
        if (c.root)
            ASSERT_TRUE(SaveConfigFile(c.root(), nullptr, path.c_str())) << c.name;
        else
            temp.Write("package.cdp", c.bytes);
        ChunkRef package = NewContainer();
        Tag::SetInt(package, "left-over", 1);
        EXPECT_EQ(CDP::CheckHeader(package, Nyx::File::Path(path)).Str(), c.expected) << c.name;
        if (c.expected.empty()) {
            EXPECT_EQ(Tag::GetInt(package, "package-version", 0), 1) << c.name;
        } else {
            EXPECT_TRUE(package) << c.name;
            EXPECT_EQ(package.ChildCount(), 0u) << c.name << ": the package is emptied";
            EXPECT_EQ(CDP::GetAssetCount(package), 0u) << c.name;
        }
    }
    ChunkRef package;
    EXPECT_EQ(CDP::CheckHeader(package, Nyx::File::Path(temp / "missing.cdp")).Str(), kNotValid);
    EXPECT_EQ(package.ChildCount(), 0u);
}

TEST(CDPTest, WriteRefusesWhatItCannotSaveAsAPackage)
{
    TempFolder temp;
    ChunkRef package;
    ASSERT_TRUE(CDP::AddAsset(package, Entry(kA)).Empty());
    EXPECT_TRUE(CDP::Write(package, Nyx::File::Path(temp / "out.cdp")).Empty());
    ChunkRef back;
    EXPECT_TRUE(CDP::CheckHeader(back, Nyx::File::Path(temp / "out.cdp")).Empty());
    EXPECT_TRUE(CDP::HasAsset(back, kA));
    for (const std::string& bad : {temp / "out.doc", temp / "no-such-folder/out.cdp"}) {
        EXPECT_EQ(CDP::Write(package, Nyx::File::Path(bad)).Str(),
                  "Unable to write archive file. Needs to be .cdp file extension")
            << bad;
    }
}

// ---------------------------------------------------------------------------
// Adding entries

TEST(CDPTest, AddAssetRefusesAMissingOrRepeatedKUIDAndLeavesThePackageAlone)
{
    ChunkRef package;
    ASSERT_TRUE(CDP::AddAsset(package, Entry(kA)).Empty());
    ASSERT_TRUE(CDP::AddAsset(package, Entry(kC)).Empty());
    const std::string before = TextOf(package);

    struct Case {
        const char* name;
        ChunkRef entry;
        std::string expected;
    };
    ChunkRef noKUID = NewContainer();
    Tag::SetString(noKUID, "kind", "scenery");
    const Case cases[] = {
        {"the same KUID again", Entry(kA), "Unable to add content as an item with KUID <kuid:100:1> is already present"},
        {"a versioned KUID again", Entry(kC),
         "Unable to add content as an item with KUID <kuid2:200:3:1> is already present"},
        {"no kuid tag", noKUID, "Unable to add content as it doesnt not contain a valid KUID"},
        {"the null KUID", Entry(KUID::Null), "Unable to add content as it doesnt not contain a valid KUID"},
        {"no entry at all", ChunkRef(), "Unable to add content as it doesnt not contain a valid KUID"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CDP::AddAsset(package, c.entry).Str(), c.expected) << c.name;
        EXPECT_EQ(TextOf(package), before) << c.name;
    }
    EXPECT_EQ(CDP::GetAssetCount(package), 2u);
    EXPECT_EQ(CDP::GetEntryKUID(CDP::GetAssetAt(package, 1)), kC);
    EXPECT_EQ(Tag::GetChildName(Tag::GetChildContainer(package, "assets"), 1).Str(), "<kuid2:200:3:1>");
    EXPECT_FALSE(CDP::GetAssetAt(package, 2));
    // A different version is a different asset.
    EXPECT_FALSE(CDP::HasAsset(package, KUID(200, 3, 2)));
    EXPECT_TRUE(CDP::AddAsset(package, Entry(KUID(200, 3, 2))).Empty());
}

// ---------------------------------------------------------------------------
// Tables and dependencies

TEST(CDPTest, TablesListWhatTheEntriesNeedFromOutsideThePackage)
{
    struct Case {
        const char* name;
        std::function<std::vector<ChunkRef>()> entries;
        std::vector<KUID> contents;
        std::vector<KUID> dependencies;
        std::vector<KUID> obsoletes;
    };
    auto table = [](ChunkRef& entry, const char* name, std::vector<KUID> kuids) {
        ChunkRef t = NewContainer();
        for (size_t i = 0; i < kuids.size(); ++i)
            Tag::SetKUID(t, Nyx::PString(std::to_string(i)), kuids[i]);
        Tag::SetChildContainer(entry, name, t);
    };
    const Case cases[] = {
        {"a dependency on another entry of the package is not listed",
         [&] {
             ChunkRef a = Entry(kA);
             table(a, "kuid-table", {kB, kC});
             return std::vector<ChunkRef>{a, Entry(kB)};
         },
         {kA, kB}, {kC}, {}},
        {"an entry naming itself does not depend on itself",
         [&] {
             ChunkRef a = Entry(kA);
             Tag::SetString(a, "note", "<kuid:100:1>");
             table(a, "kuid-table", {kA, kD});
             return std::vector<ChunkRef>{a};
         },
         {kA}, {kD}, {}},
        {"what the config names anywhere, in the order met",
         [&] {
             ChunkRef a = Entry(kA);
             ChunkRef nested = NewContainer();
             Tag::SetKUID(nested, "mesh", KUID(9, 1, 0));
             Tag::SetChildContainer(a, "mesh-table", nested);
             Tag::SetKUID(a, "enginesound", KUID(9, 11, 0));
             Tag::SetKUID(a, "alias", KUID(9, 2, 0));
             Tag::SetKUID(a, "bogey-1-r", KUID(9, 8, 0));
             Tag::SetKUID(a, "product-category", KUID::Null);
             return std::vector<ChunkRef>{a};
         },
         {kA}, {KUID(9, 1, 0), KUID(9, 11, 0), KUID(9, 2, 0), KUID(9, 8, 0)}, {}},
        {"an engine traincar without an interior gets the default one",
         [&] {
             ChunkRef a = Entry(kA);
             Tag::SetString(a, "kind", "TrainCar");
             Tag::SetInt(a, "engine", 1);
             return std::vector<ChunkRef>{a};
         },
         {kA}, {kDefaultInterior}, {}},
        {"a traincar with its own interior, or not an engine, gets none",
         [&] {
             ChunkRef a = Entry(kA);
             Tag::SetString(a, "kind", "traincar");
             Tag::SetInt(a, "engine", 1);
             Tag::SetKUID(a, "interior", kD);
             ChunkRef b = Entry(kB);
             Tag::SetString(b, "kind", "traincar");
             Tag::SetInt(b, "engine", 0);
             ChunkRef c = Entry(kC);
             Tag::SetString(c, "kind", "scenery");
             Tag::SetInt(c, "engine", 1);
             return std::vector<ChunkRef>{a, b, c};
         },
         {kA, kB, kC}, {kD}, {}},
        // Only the obsolete table takes a KUID out of the dependencies:
        // "obsoletes-kuid" is a KUID the config names like any other.
        {"obsoletes are listed once, never the entry itself",
         [&] {
             ChunkRef a = Entry(kA);
             table(a, "obsolete-table", {kD, kA, kD});
             Tag::SetKUID(a, "obsoletes-kuid", kE);
             Tag::SetKUID(a, "alias", kD);
             table(a, "kuid-table", {kC});
             ChunkRef b = Entry(kB);
             Tag::SetKUID(b, "obsoletes-kuid", kD);
             return std::vector<ChunkRef>{a, b};
         },
         {kA, kB}, {kE, kC, kD}, {kD, kE}},
        {"a dependency of two entries is listed once",
         [&] {
             ChunkRef a = Entry(kA);
             Tag::SetKUID(a, "bogey", kD);
             ChunkRef b = Entry(kB);
             Tag::SetString(b, "interior", "<kuid:300:4>");
             return std::vector<ChunkRef>{a, b};
         },
         {kA, kB}, {kD}, {}},
    };
    for (const Case& c : cases) {
        ChunkRef package;
        for (const ChunkRef& entry : c.entries())
            ASSERT_TRUE(CDP::AddAsset(package, entry).Empty()) << c.name;
        EXPECT_EQ(TableOf(package, "contents-table"), c.contents) << c.name;
        EXPECT_EQ(TableOf(package, "kuid-table"), c.dependencies) << c.name;
        EXPECT_EQ(TableOf(package, "obsolete-table"), c.obsoletes) << c.name;
        EXPECT_EQ(Tag::GetString(package, "kind").Str(), "archive") << c.name;
        EXPECT_EQ(Tag::GetInt(package, "package-version", 0), 1) << c.name;
    }
}

// ---------------------------------------------------------------------------
// Content checksum

TEST(CDPTest, ContentChecksumOfBlocks)
{
    auto le = [](std::initializer_list<uint32_t> words, size_t extra = 0) {
        std::string s;
        for (uint32_t w : words)
            s += std::string{char(w), char(w >> 8), char(w >> 16), char(w >> 24)};
        return s + std::string(extra, '\x7f');
    };
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t sum;
        uint32_t size;
        const char* text;
    };
    const Case cases[] = {
        {"empty", "", 0, 0, "0:0"},
        {"4 bytes", le({0x12345678}), 0, 0, "0:0"},
        {"5 bytes: one word", le({1}, 1), 2, 4, "4:2"},
        {"7 bytes: the first word only", le({3}, 3), 6, 4, "4:6"},
        {"zero words summing to 0", le({0, 0}), 1, 8, "8:1"},
        {"two words", le({1, 2}), 8, 8, "8:8"},
        // A rotate by 31 would give 2 here: the top bit is dropped.
        {"a shift by 30, not a rotate", le({0x80000000u, 0}), 4, 8, "8:4"},
        {"the sum prints signed", le({0x40000000u}, 1), 0x80000001u, 4, "4:-2147483647"},
    };
    for (const Case& c : cases) {
        ContentChecksum sum =
            ContentChecksum::OfBlock(reinterpret_cast<const uint8_t*>(c.bytes.data()), uint32_t(c.bytes.size()));
        EXPECT_EQ(sum.sum, c.sum) << c.name;
        EXPECT_EQ(sum.size, c.size) << c.name;
        EXPECT_EQ(sum.Text().Str(), c.text) << c.name;
    }
}

TEST(CDPTest, ContentChecksumOfFoldersAndTheEntryStamp)
{
    ChunkRef files = NewContainer();
    EXPECT_EQ(ContentChecksum::OfContainer(files).Text().Str(), "0:0");
    AddFile(files, "tiny.txt", "abcd");  // (0, 0), and a sum of 0 becomes 1
    EXPECT_EQ(ContentChecksum::OfContainer(files).Text().Str(), "0:1");
    ChunkRef sub = NewContainer();
    AddFile(sub, "a.txt", std::string("\x01\0\0\0\x02\0\0\0", 8));  // (8, 8)
    AddFolder(files, "sub", sub);
    EXPECT_EQ(ContentChecksum::OfContainer(files).Text().Str(), "8:9");

    ChunkRef entry = Entry(kA, files, "LZSS");
    EXPECT_FALSE(CDP::VerifyEntryChecksum(entry));
    CDP::StampEntryChecksum(entry);
    EXPECT_EQ(Tag::GetString(entry, "dsid").Str(), "8:9");
    EXPECT_TRUE(CDP::VerifyEntryChecksum(entry));
    AddFile(sub, "b.txt", "12345");
    EXPECT_FALSE(CDP::VerifyEntryChecksum(entry)) << "a changed file shows";
}

// ---------------------------------------------------------------------------
// Name and path safety

TEST(CDPTest, SafeFileNames)
{
    struct Case {
        const char* name;
        bool safe;
    };
    const Case cases[] = {
        {nullptr, false},
        {"", false},
        {"config.txt", true},
        {"Body Mesh (2).im", true},
        {"a-b&c,d+e'f_g$h~i.txt", true},
        {"Z9", true},
        {".hidden.txt", false},
        {".", false},
        {"..", false},
        {" lead.txt", false},
        {"trail.txt ", false},
        {"~lead.txt", false},
        {"a/b.txt", false},
        {"/abs.txt", false},
        {"a\\b.txt", false},
        {"a/../../b", false},
        {"caf\xc3\xa9.txt", false},
        {"\x80.txt", false},
        {"x\xff", false},
        {"tab\t.txt", false},
        {"colon:.txt", false},
        {"star*.txt", false},
        {"quote\".txt", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSafeFileName(c.name), c.safe) << (c.name ? c.name : "(null)");
}

TEST(CDPTest, SafeFolderPaths)
{
    struct Case {
        const char* path;
        bool safe;
    };
    const Case cases[] = {
        {"", true},
        {nullptr, true},
        {"mesh", true},
        {"mesh/sub/deeper", true},
        {"a.b/c", true},
        {"..", true},  // the last component is not examined
        {"a/..", true},
        {"../a", false},
        {"a/../b", false},
        {"./a", false},
        {"a\\..\\b", false},
        {"/abs", false},
        {"\\abs", false},
        {"a//b", false},
        {"a/", true},  // the empty last component is not examined
        {".../a", false},
        {"..a/b", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSafeFolderPath(c.path), c.safe) << (c.path ? c.path : "(null)");
}

TEST(CDPTest, PackageFileTypes)
{
    struct Case {
        const char* path;
        bool carried;
    };
    const Case cases[] = {
        {"config.txt", true},
        {"CONFIG.CHUMP", true},
        {"body.Texture", true},
        {"a/b/mesh.pm", true},
        {"a\\b\\x.im", true},
        {"x.tar.srt", true},
        {"sound.wav", true},
        {"script.gse", true},
        {"letter.doc", false},
        {"program.exe", false},
        {"txt", false},
        {"noext", false},
        {"dir.txt/file", false},
        {"x.txt.bak", false},
        {"x.", false},
        {"", false},
        {nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsPackageFileType(c.path), c.carried) << (c.path ? c.path : "(null)");
}

// ---------------------------------------------------------------------------
// Entries back into configs

TEST(CDPTest, MakeConfigFromEntryDropsPackageTagsAndCompletesTheKUIDTable)
{
    struct Case {
        const char* name;
        std::function<void(ChunkRef&)> edit;  // on an entry of kA depending on kC and kD
        std::vector<std::pair<std::string, KUID>> table;  // expected "kuid-table", in order
        bool tableExpected;
    };
    auto setTable = [](ChunkRef& entry, std::vector<std::pair<std::string, KUID>> rows) {
        ChunkRef t = NewContainer();
        for (auto& [name, kuid] : rows)
            Tag::SetKUID(t, Nyx::PString(name), kuid);
        Tag::SetChildContainer(entry, "kuid-table", t);
    };
    const Case cases[] = {
        {"no table: the dependencies numbered from 0", [](ChunkRef&) {}, {{"0", kC}, {"1", kD}}, true},
        {"an empty table: the same", [&](ChunkRef& e) { setTable(e, {}); }, {{"0", kC}, {"1", kD}}, true},
        {"an existing table keeps its rows and continues after the largest number",
         [&](ChunkRef& e) { setTable(e, {{"7", kC}, {"abc", kB}, {"2", kE}}); },
         {{"7", kC}, {"abc", kB}, {"2", kE}, {"8", kD}},
         true},
        {"names that are no numbers count as -1",
         [&](ChunkRef& e) { setTable(e, {{"x", kB}, {"-5", kE}}); },
         {{"x", kB}, {"-5", kE}, {"0", kC}, {"1", kD}},
         true},
        {"nothing to add: the table stays", [&](ChunkRef& e) { setTable(e, {{"3", kC}, {"4", kD}}); },
         {{"3", kC}, {"4", kD}}, true},
        {"a name whose number is read capped is taken, and replaced as a setter does",
         [&](ChunkRef& e) { setTable(e, {{"1099511627777", kB}, {"1099511627776", kE}}); },
         {{"1099511627776", kE}, {"1099511627777", kC}, {"1099511627778", kD}},
         true},
    };
    for (const Case& c : cases) {
        ChunkRef files = NewContainer();
        AddFile(files, "config.txt", "kuid <kuid:1:1>");
        ChunkRef entry = Entry(kA, files, "LZSS");
        Tag::SetString(entry, "kind", "TrainCar");
        Tag::SetKUID(entry, "interior", kC);
        Tag::SetString(entry, "dsid", "4:2");
        Tag::SetInt(entry, "folder-icon", 3);
        Tag::SetInt(entry, ".cache", 4);
        AddFolder(entry, "files", NewContainer());  // a second "files" goes too
        Tag::SetKUID(entry, "enginespec", kD);
        c.edit(entry);

        ChunkRef config = CDP::MakeConfigFromEntry(entry);
        ASSERT_TRUE(config) << c.name;
        for (const char* gone : {"files", "dsid", "compression", "folder-icon", ".cache"})
            EXPECT_FALSE(config->FindChildConst(gone).IsReal()) << c.name << ": " << gone;
        EXPECT_EQ(Tag::GetString(config, "kind").Str(), "traincar") << c.name;
        EXPECT_EQ(Tag::GetChildName(config, 1).Str(), "kind") << c.name << ": kind keeps its place";
        EXPECT_EQ(Tag::GetKUID(config, "kuid", KUID::Null), kA) << c.name;
        ChunkRef table = Tag::GetChildContainer(config, "kuid-table");
        ASSERT_EQ(bool(table), c.tableExpected) << c.name;
        ASSERT_EQ(table.ChildCount(), c.table.size()) << c.name;
        for (uint32_t i = 0; i < c.table.size(); ++i) {
            EXPECT_EQ(Tag::GetChildName(table, i).Str(), c.table[i].first) << c.name << " row " << i;
            EXPECT_EQ(Tag::GetKUID(table, Tag::GetChildName(table, i), KUID::Null), c.table[i].second)
                << c.name << " row " << i;
        }
        // The entry itself is untouched.
        EXPECT_TRUE(entry->FindChildConst("files").IsReal()) << c.name;
        EXPECT_EQ(Tag::GetString(entry, "kind").Str(), "TrainCar") << c.name;
    }

    // Without dependencies no table is made.
    ChunkRef plain = Entry(kA);
    ChunkRef config = CDP::MakeConfigFromEntry(plain);
    EXPECT_FALSE(Tag::GetChildContainer(config, "kuid-table"));
    EXPECT_FALSE(CDP::MakeConfigFromEntry(ChunkRef()));
}

TEST(CDPTest, ReadAssetEntryReadsOneTreeAndStopsBehindIt)
{
    ChunkRef first = Entry(kA);
    ChunkRef second = Entry(kB);
    TBuffer stream;
    WriteBinaryConfig(stream, first);
    const uint32_t firstEnd = stream.Tell();
    WriteBinaryConfig(stream, second);
    stream.Rewind();

    ChunkRef entry;
    ASSERT_TRUE(CDP::ReadAssetEntry(stream, entry));
    EXPECT_EQ(CDP::GetEntryKUID(entry), kA);
    EXPECT_EQ(stream.Tell(), firstEnd);
    ASSERT_TRUE(CDP::ReadAssetEntry(stream, entry));
    EXPECT_EQ(CDP::GetEntryKUID(entry), kB);
    EXPECT_FALSE(CDP::ReadAssetEntry(stream, entry)) << "nothing left";
    EXPECT_FALSE(entry);
}

}  // namespace
