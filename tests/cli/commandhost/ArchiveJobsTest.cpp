#include "cli/commandhost/ArchiveJobs.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commandhost/AssetConfigLoad.h"
#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigFile.h"
#include "config/InterfaceTextTestSupport.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "support/TempFolder.h"

[[maybe_unused]] static void PrintTo(const KUID& kuid, std::ostream* out) { *out << kuid.ToString().c_str(); }

namespace {

const KUID kA(77, 500, 3);
const KUID kB(77, 501, 1);
const KUID kC(-2, 12, 127);

ChunkRef EntryOf(const KUID& kuid, const char* name = "asset")
{
    ChunkRef entry;
    TDBContainerTag::SetKUID(entry, Nyx::PString("kuid"), kuid);
    TDBContainerTag::SetString(entry, Nyx::PString("username"), Nyx::PString(name));
    return entry;
}

std::string BinaryOf(const ChunkRef& tree)
{
    wire::Output out;
    WriteBinaryConfig(out.stream, tree);
    return out.Str();
}

// An archive built by hand. Offsets are filled in by Bytes() unless a case
// sets them on purpose.
class Archive {
public:
    static constexpr uint32_t kAuto = 0xFFFFFFFFu;

    Archive& Header(uint32_t version = 1, float build = 3.2f, uint32_t value = 9, uint32_t magic = 0x6B617263)
    {
        bytes_.U32(magic).U32(version);
        if (version == 1)
            bytes_.F32(build);
        endField_ = bytes_.Size();
        bytes_.U32(0).U32(value);
        return *this;
    }
    // One entry: the listed KUID, its end offset and the config bytes.
    // `endShift` moves the offset off the entry's true end.
    Archive& Entry(const KUID& listed, const std::string& config, int64_t endShift = 0)
    {
        bytes_.Kuid(listed);
        size_t start = bytes_.Size() + 4;
        bytes_.U32(static_cast<uint32_t>(int64_t(start + config.size()) + endShift));
        bytes_.Raw(config);
        return *this;
    }
    Archive& Entry(const KUID& listed) { return Entry(listed, BinaryOf(EntryOf(listed))); }
    Archive& End()
    {
        bytes_.Kuid(KUID::Null);
        return *this;
    }
    // The header's end offset: the size, shifted by `shift`.
    std::string Bytes(int64_t shift = 0) const
    {
        std::string s = bytes_.Str();
        uint32_t end = static_cast<uint32_t>(int64_t(s.size()) + shift);
        for (int i = 0; i < 4; ++i)
            s[endField_ + i] = static_cast<char>(end >> (8 * i));
        return s;
    }

private:
    wire::Bytes bytes_;
    size_t endField_ = 0;
};

struct Install {
    KUID kuid;
    uint32_t flags;
    bool operator==(const Install&) const = default;
};

void PrintTo(const Install& install, std::ostream* out)
{
    *out << install.kuid.ToString().c_str() << " flags " << install.flags;
}

std::vector<KUID> Listed(const KUIDRing& ring)
{
    std::vector<KUID> out;
    for (const KUID& k : ring)
        out.push_back(k);
    return out;
}

std::vector<std::string> Texts(const ResultsLog& log)
{
    std::vector<std::string> texts;
    for (const ResultsLog::Result* r : log.Results())
        texts.push_back(r->text.c_str());
    return texts;
}

class ArchiveInstallTest : public InterfaceTextFixture {
protected:
    void SetUp() override
    {
        InterfaceTextFixture::SetUp();
        WriteText("$kad_archive_version \"Archive version $(VERSION) is not known.\"\r\n"
                  "$kad_archive_unreadable \"The archive cannot be read.\"\r\n");
    }
};

const char* const kUnreadable = "The archive cannot be read.";

}  // namespace

TEST_F(ArchiveInstallTest, ReadsHeadersAndEntriesAsWrittenAndRefusesWhatDoesNotHold)
{
    const std::string garbage = "no config here at all";
    struct Case {
        const char* name;
        std::string archive;
        std::vector<KUID> wanted;
        std::vector<KUID> failingOnce;  // the fake install fails the first try of these
        bool result;
        std::vector<Install> installs;
        std::vector<KUID> left;
        std::vector<std::string> texts;
    } cases[] = {
        {"header and end mark only", Archive().Header().End().Bytes(), {kA}, {}, true, {}, {kA}, {}},
        {"version 1 of this build installs keeping the build", Archive().Header().Entry(kA).End().Bytes(), {kA}, {},
         true, {{kA, 10}}, {}, {}},
        {"version 1 of another build", Archive().Header(1, 3.1f).Entry(kA).End().Bytes(), {kA}, {}, true,
         {{kA, 2}}, {}, {}},
        {"a build that is no number", Archive().Header(1, std::numeric_limits<float>::quiet_NaN()).Entry(kA).End().Bytes(),
         {kA}, {}, true, {{kA, 2}}, {}, {}},
        {"version 0 has no build", Archive().Header(0).Entry(kA).End().Bytes(), {kA}, {}, true, {{kA, 2}}, {}, {}},
        {"version 2", Archive().Header(2).End().Bytes(), {kA}, {}, false, {}, {kA},
         {"Archive version 2 is not known."}},
        {"end offset one byte short", Archive().Header().Entry(kA).End().Bytes(-1), {kA}, {}, false, {}, {kA},
         {kUnreadable}},
        {"end offset one byte long", Archive().Header().Entry(kA).End().Bytes(1), {kA}, {}, false, {}, {kA},
         {kUnreadable}},
        {"another magic", Archive().Header(1, 3.2f, 9, 0x6B617264).End().Bytes(), {}, {}, false, {}, {},
         {kUnreadable}},
        {"another job value", Archive().Header(1, 3.2f, 8).Entry(kA).End().Bytes(), {kA}, {}, false, {}, {kA},
         {kUnreadable}},
        {"no header at all", std::string(), {kA}, {}, false, {}, {kA}, {kUnreadable}},
        {"no end mark", Archive().Header().Entry(kA).Bytes(), {kA}, {}, false, {{kA, 10}}, {}, {kUnreadable}},
        {"the file ends inside an entry's offset", Archive().Header().Entry(kA).End().Bytes().substr(0, 28),
         {kA}, {}, false, {}, {kA}, {kUnreadable}},
        {"only wanted entries", Archive().Header().Entry(kA).Entry(kB).Entry(kC).End().Bytes(), {kC, kA}, {}, true,
         {{kA, 10}, {kC, 10}}, {}, {}},
        {"a wanted KUID present twice is installed once",
         Archive().Header().Entry(kA).Entry(kA).Entry(kB).End().Bytes(), {kA, kB}, {}, true, {{kA, 10}, {kB, 10}},
         {}, {}},
        {"a failed install tries the next copy",
         Archive().Header().Entry(kA).Entry(kA).End().Bytes(), {kA}, {kA}, true, {{kA, 10}, {kA, 10}}, {}, {}},
        {"an unwanted entry is skipped by its offset, unread",
         Archive().Header().Entry(kB, garbage).Entry(kA).End().Bytes(), {kA}, {}, true, {{kA, 10}}, {}, {}},
        {"a wanted entry that does not read stays wanted",
         Archive().Header().Entry(kA, garbage).Entry(kB).End().Bytes(), {kA, kB}, {}, true, {{kB, 10}}, {kA}, {}},
        {"an entry for another asset than listed stays wanted",
         Archive().Header().Entry(kA, BinaryOf(EntryOf(kB))).End().Bytes(), {kA, kB}, {}, true, {}, {kA, kB}, {}},
        // Read again from its own end, the next entry's bytes would pass
        // for an entry of their own: nothing of the archive is installed.
        {"an entry that ends where it starts",
         Archive().Header().Entry(kA, "", 0).Entry(kB).End().Bytes(), {kA, kB}, {}, false, {}, {kA, kB},
         {kUnreadable}},
        {"an offset past the end of the file",
         Archive().Header().Entry(kA).Entry(kB, BinaryOf(EntryOf(kB)), 1000).End().Bytes(), {kA, kB}, {}, false,
         {{kA, 10}}, {kB}, {kUnreadable}},
    };
    // Each archive read from memory and from a file, whose stream reads
    // ahead into the file's end.
    for (const Case& c : cases) {
        for (bool fromFile : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (fromFile ? ", from a file" : ", from memory"));
            KUIDRing wanted;
            for (const KUID& k : c.wanted)
                wanted.Append(k);
            std::vector<Install> installs;
            std::vector<KUID> toFail = c.failingOnce;
            ResultsLog log;
            auto install = [&](const ChunkRef& entry, uint32_t flags, ResultsLog&) {
                KUID kuid = TDBContainerTag::GetKUID(entry, Nyx::PString("kuid"), KUID::Null);
                installs.push_back({kuid, flags});
                for (auto it = toFail.begin(); it != toFail.end(); ++it) {
                    if (*it == kuid) {
                        toFail.erase(it);
                        return KUID::Null;
                    }
                }
                return kuid;
            };
            bool result;
            if (fromFile) {
                folder_.Write("archive.karc", c.archive);
                result = ArchiveInstall(9, Nyx::File::Path(folder_ / "archive.karc"), wanted, log, install);
            } else {
                wire::Input in(c.archive);
                result = ArchiveInstall(9, in.stream, wanted, log, install);
            }
            EXPECT_EQ(result, c.result);
            EXPECT_EQ(installs, c.installs);
            EXPECT_EQ(Listed(wanted), c.left);
            EXPECT_EQ(Texts(log), c.texts);
        }
    }
}

TEST_F(ArchiveInstallTest, AnOffsetThatDoesNotLeadForwardEndsTheReading)
{
    // Each offset, counted from the entry's config, points at the config
    // itself, at the entry's own KUID or into the header: followed, the
    // reader would read the same bytes again for ever.
    const int64_t ends[] = {0, -12, -20};
    for (int64_t end : ends) {
        SCOPED_TRACE(end);
        const std::string config = BinaryOf(EntryOf(kA));
        const int64_t shift = end - int64_t(config.size());
        wire::Input in(Archive().Header().Entry(kA, config, shift).End().Bytes());
        KUIDRing wanted;
        wanted.Append(kA);
        int tries = 0;
        ResultsLog log;
        bool result = false;
        try {
            result = ArchiveInstall(9, in.stream, wanted, log, [&](const ChunkRef&, uint32_t, ResultsLog&) -> KUID {
                if (++tries > 50)
                    throw std::runtime_error("the reader goes round in circles");
                return KUID::Null;
            });
        } catch (const std::runtime_error& e) {
            ADD_FAILURE() << e.what();
        }
        EXPECT_FALSE(result);
        EXPECT_LE(tries, 1);
        EXPECT_EQ(Listed(wanted), std::vector<KUID>{kA});
        EXPECT_EQ(Texts(log), std::vector<std::string>{kUnreadable});
    }
}

TEST_F(ArchiveInstallTest, AMissingArchiveFileIsUnreadable)
{
    KUIDRing wanted;
    wanted.Append(kA);
    ResultsLog log;
    EXPECT_FALSE(ArchiveInstall(9, Nyx::File::Path(folder_ / "missing.karc"), wanted, log));
    EXPECT_EQ(Listed(wanted), std::vector<KUID>{kA});
    EXPECT_EQ(Texts(log), std::vector<std::string>{kUnreadable});
}

TEST(ArchiveSaveToDiskTest, WritesEveryExportedAssetWithItsEndOffsetAndTheEndMark)
{
    // kB's export fails: the daemon answers without a tree.
    ScriptedDaemon daemon([](uint32_t number, const std::string& payload) -> std::optional<std::string> {
        if (number != 48)
            return std::string();
        wire::Input in(payload);
        KUID kuid;
        ReadKUID(in.stream, kuid);
        uint32_t flags;
        in.stream.ReadInt32(flags, 7u);
        if (flags != 0 || kuid == kB)
            return std::string();
        return BinaryOf(EntryOf(kuid, kuid == kA ? "first" : "third"));
    });
    KUIDRing kuids;
    kuids.Append(kA);
    kuids.Append(kB);
    kuids.Append(kC);
    wire::Output out;
    out.stream.WriteBytes("HEAD", 4);
    ResultsLog log;
    EXPECT_FALSE(ArchiveSaveToDisk(kuids, out.stream, log));
    EXPECT_EQ(daemon.Count(48), 3);

    // Entries written at the stream's position, their offsets absolute.
    const std::string first = BinaryOf(EntryOf(kA, "first"));
    const std::string third = BinaryOf(EntryOf(kC, "third"));
    wire::Bytes expected;
    expected.Raw("HEAD").Kuid(kA).U32(static_cast<uint32_t>(4 + 12 + first.size())).Raw(first);
    expected.Kuid(kC).U32(static_cast<uint32_t>(expected.Size() + 4 + third.size())).Raw(third);
    expected.Kuid(KUID::Null);
    EXPECT_EQ(out.Str(), expected.Str());
}

TEST(LoadAssetConfigTest, TakesTheBinaryConfigFirstThenTheText)
{
    TempFolder temp;
    auto write = [&](const std::string& folder, const char* file, const char* name) {
        temp.MakeFolder(folder);
        ASSERT_TRUE(SaveConfigFile(EntryOf(kA, name), (temp / folder).c_str(), file));
    };
    write("both", "config.chump", "binary");
    write("both", "config.txt", "text");
    write("text", "config.txt", "text");
    temp.MakeFolder("none");
    temp.Write("broken/config.chump", "ACS$ but nothing after");
    write("broken", "config.txt", "text");

    const Nyx::File::Path saved = GetContentRootPath();
    SetContentRootPath(Nyx::File::Path(temp.Path()));
    struct Case {
        std::string folder;
        bool loads;
        const char* name;
    } cases[] = {
        {temp / "both", true, "binary"},
        {temp / "text", true, "text"},
        {temp / "broken", true, "text"},
        {temp / "none", false, "untouched"},
        {temp / "missing", false, "untouched"},
        // A folder named inside the content root.
        {"both", true, "binary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ChunkRef config = EntryOf(kB, "untouched");
        EXPECT_EQ(LoadAssetConfig(Nyx::File::Path(c.folder), config), c.loads);
        EXPECT_EQ(TDBContainerTag::GetString(config, Nyx::PString("username")).View(), c.name);
    }
    SetContentRootPath(saved);
}
