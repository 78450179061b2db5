#include "cli/commandhost/CommandHostJob.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commandhost/ArchiveJobs.h"
#include "config/results/ResultsLog.h"
#include "core/process/ProcessState.h"
#include "core/streams/TStream.h"
#include "kad/WireBytes.h"
#include "nyx/base/Log.h"
#include "support/ResultsForm.h"
#include "support/TempFolder.h"

namespace {

using resultstest::Results;

const KUID kA(77, 500, 3);
const KUID kB(-2, 12, 127);

const char* const kValidate = "CommandHostCallback> KAD_CMDHOST_VALIDATE";
const char* const kTextures = "CommandHostCallback> KAD_CMDHOST_TEXTURECONVERT";
const char* const kSave = "CommandHostCallback> KAD_CMDHOST_ARCHIVE_SAVETODISK";
const char* const kInstall = "CommandHostCallback> KAD_CMDHOST_ARCHIVE_INSTALL";
const char* const kComplete = "CommandHostCallback> complete";

int g_purges = 0;

// Work whose every step leaves a result that names what it was given.
bool FakeValidate(const Nyx::PString& archive, const Nyx::File::Path& folder, ResultsLog& log)
{
    ResultsLog::AddResult(log, ResultsLog::kInformation, Nyx::String::Printf("checked %s", folder.c_str()));
    return archive == Nyx::PString("good");
}

uint32_t FakeTextures(const Nyx::PString&, const Nyx::File::Path& folder, ResultsLog& log)
{
    ResultsLog::AddResult(log, ResultsLog::kWarning, Nyx::String::Printf("converted %s", folder.c_str()));
    return 2;
}

// The temporaries of archive saves left in a folder.
std::vector<std::string> SavingFiles(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().filename().string().ends_with(".saving"))
            found.push_back(entry.path().string());
    return found;
}

bool FakeSave(const KUIDRing& kuids, TStream& out, ResultsLog& log)
{
    ResultsLog::AddResult(log, ResultsLog::kInformation, Nyx::String::Printf("saved %u", kuids.Count()));
    WriteKUID(out, KUID::Null);
    return kuids.Count() != 1;
}

bool FakeInstall(uint32_t value, const Nyx::File::Path& file, KUIDRing& wanted, ResultsLog& log)
{
    ResultsLog::AddResult(log, ResultsLog::kOutput, Nyx::String::Printf("installed %u from %s", value, file.c_str()));
    if (!wanted.Empty())
        wanted.Erase(wanted.begin());
    return true;
}

void CountPurge() { ++g_purges; }

// Files may grow to this size once the save has begun: further bytes fail as
// on a full disk. Undone after every job.
constexpr rlim_t kFullDiskAt = 2048;
struct rlimit g_fileSize;

void FillTheDisk()
{
    ::getrlimit(RLIMIT_FSIZE, &g_fileSize);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = g_fileSize;
    small.rlim_cur = kFullDiskAt;
    ::setrlimit(RLIMIT_FSIZE, &small);
}

void EmptyTheDisk()
{
    if (g_fileSize.rlim_max != 0)
        ::setrlimit(RLIMIT_FSIZE, &g_fileSize);
    g_fileSize = {};
    std::signal(SIGXFSZ, SIG_DFL);
}

CommandHostWork FakeWork()
{
    return {&FakeValidate, &FakeTextures, &FakeSave, &FakeInstall, &CountPurge};
}

std::string HeaderOnlyArchive(uint32_t value)
{
    return wire::Bytes()
        .U32(ArchiveFormat::kMagic)
        .U32(1)
        .U32(0x404CCCCD)
        .U32(28)
        .U32(value)
        .Kuid(KUID::Null)
        .Str();
}

class CommandHostJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThreadId();
        ASSERT_TRUE(Nyx::Log::Init("-LogFile=" + (temp_ / "engine.log")));
    }
    void TearDown() override { Nyx::Log::Init(""); }

    // Runs one payload; the log lines it wrote, the reply bytes and the
    // purges.
    struct Outcome {
        std::vector<std::string> lines;
        std::string reply;
        int purges;
    };
    Outcome Run(const std::string& payload, const CommandHostWork& work)
    {
        ::truncate((temp_ / "engine.log").c_str(), 0);
        Nyx::Log::Init("-LogFile=" + (temp_ / "engine.log"));
        g_purges = 0;
        wire::Input request(payload);
        wire::Output reply;
        RunCommandHostJob(request.stream, reply.stream, work);
        Outcome o{{}, reply.Str(), g_purges};
        std::istringstream in(temp_.ReadAll("engine.log"));
        for (std::string line; std::getline(in, line);)
            o.lines.push_back(line);
        return o;
    }

    TempFolder temp_;
};

}  // namespace

TEST_F(CommandHostJobTest, EachPayloadGivesItsLogLinesReplyAndPurge)
{
    const std::string archive = temp_ / "saved.karc";
    const std::string pair = wire::Bytes().U32(2).Kuid(kA).Kuid(kB).Str();
    struct Case {
        const char* name;
        std::string payload;
        std::vector<std::string> lines;
        std::string reply;
        int purges;
    } cases[] = {
        {"validate", wire::Bytes().U32(0).Text("good").Text("/assets/a").Str(), {kValidate, kComplete},
         Results({{1, "checked /assets/a"}}) + wire::Bytes().U8(1).Str(), 1},
        {"validate, failing", wire::Bytes().U32(0).Text("").Text("/assets/a").Str(), {kValidate, kComplete},
         Results({{1, "checked /assets/a"}}) + wire::Bytes().U8(0).Str(), 1},
        {"texture convert", wire::Bytes().U32(1).Text("").Text("/assets/t").Str(), {kTextures, kComplete},
         Results({{2, "converted /assets/t"}}) + wire::Bytes().U32(2).Str(), 1},
        {"archive save", wire::Bytes().U32(2).U32(5).Text(archive).Raw(pair).Str(), {kSave, kComplete},
         Results({{1, "saved 2"}}) + wire::Bytes().U32(1).Str(), 1},
        {"archive save, an asset left out", wire::Bytes().U32(2).U32(5).Text(archive).U32(1).Kuid(kA).Str(),
         {kSave, kComplete}, Results({{1, "saved 1"}}) + wire::Bytes().U32(0).Str(), 1},
        {"archive install", wire::Bytes().U32(3).U32(5).Text("/in.karc").Raw(pair).Str(), {kInstall, kComplete},
         Results({{4, "installed 5 from /in.karc"}}) + wire::Bytes().U32(1).Kuid(kB).Str(), 1},
        {"archive install of nothing", wire::Bytes().U32(3).U32(5).Text("/in.karc").U32(0).Str(),
         {kInstall, kComplete}, Results({{4, "installed 5 from /in.karc"}}) + wire::Bytes().U32(0).Str(), 1},
        {"unsupported id", wire::Bytes().U32(7).Str(), {"CommandHostCallback> unsupported commandID=7"}, "", 1},
        {"unsupported id with a payload", wire::Bytes().U32(4).Text("x").Str(),
         {"CommandHostCallback> unsupported commandID=4"}, "", 1},
        {"the largest id", wire::Bytes().U32(0xFFFFFFFF).Str(), {"CommandHostCallback> unsupported commandID=-1"}, "",
         1},
        {"save with a huge count", wire::Bytes().U32(2).U32(5).Text(archive).U32(0xFFFFFFFF).Kuid(kA).Str(), {kSave},
         "", 0},
        {"install with a huge count", wire::Bytes().U32(3).U32(5).Text("/in.karc").U32(0xFFFFFFFF).Kuid(kA).Str(),
         {kInstall}, "", 0},
        {"install with a count one too large", wire::Bytes().U32(3).U32(5).Text("/in.karc").U32(3).Kuid(kA).Kuid(kB).Str(),
         {kInstall}, "", 0},
        {"a string longer than the payload", wire::Bytes().U32(1).U32(100).Raw("short").Str(), {kTextures}, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(archive);
        Outcome o = Run(c.payload, FakeWork());
        EXPECT_EQ(o.lines, c.lines);
        EXPECT_EQ(o.reply, c.reply);
        EXPECT_EQ(o.purges, c.purges);
        // Only a save that ran leaves an archive.
        EXPECT_EQ(std::filesystem::exists(archive), c.reply.size() > 0 && c.lines[0] == kSave);
    }
}

TEST_F(CommandHostJobTest, APayloadCutAnywhereIsDroppedUnworkedAndUnanswered)
{
    const std::string archive = temp_ / "saved.karc";
    const std::string whole[] = {
        wire::Bytes().U32(0).Text("good").Text("/assets/a").Str(),
        wire::Bytes().U32(1).Text("arc").Text("/assets/t").Str(),
        wire::Bytes().U32(2).U32(5).Text(archive).U32(2).Kuid(kA).Kuid(kB).Str(),
        wire::Bytes().U32(3).U32(5).Text("/in.karc").U32(2).Kuid(kA).Kuid(kB).Str(),
    };
    const char* const texts[] = {kValidate, kTextures, kSave, kInstall};
    for (size_t job = 0; job < 4; ++job) {
        for (size_t cut = 0; cut < whole[job].size(); ++cut) {
            SCOPED_TRACE(std::to_string(job) + " cut at " + std::to_string(cut));
            Outcome o = Run(whole[job].substr(0, cut), FakeWork());
            // A cut id reads as 0.
            EXPECT_EQ(o.lines, std::vector<std::string>{cut < 4 ? kValidate : texts[job]});
            EXPECT_EQ(o.reply, "");
            EXPECT_EQ(o.purges, 0);
            EXPECT_FALSE(std::filesystem::exists(archive));
        }
    }
}

TEST(CommandHostJobFieldsTest, AKUIDCountIsBelievedOnlyAsFarAsTheBytesBehindIt)
{
    struct Case {
        uint32_t count;
        std::string kuids;
        bool reads;
        uint32_t read;
    } cases[] = {
        {0, "", true, 0},
        {2, wire::Bytes().Kuid(kA).Kuid(kB).Str(), true, 2},
        {1, wire::Bytes().Kuid(kA).Kuid(kB).Str(), true, 1},
        {3, wire::Bytes().Kuid(kA).Kuid(kB).Str(), false, 0},
        {2, wire::Bytes().Kuid(kA).Kuid(kB).Str().substr(0, 12), false, 0},
        {100000, wire::Bytes().Kuid(kA).Kuid(kB).Str(), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        wire::Input in(wire::Bytes().U32(5).Text("/a.karc").U32(c.count).Raw(c.kuids).Str());
        CommandHostJob job;
        job.id = CommandHostJob::kArchiveInstall;
        EXPECT_EQ(ReadCommandHostJobFields(in.stream, job), c.reads);
        EXPECT_EQ(job.kuids.Count(), c.read);
    }
}

TEST_F(CommandHostJobTest, ASaveOfNoAssetsWritesTheHeaderWithTheFilesLengthAndTheEndMark)
{
    CommandHostWork work = CommandHostWork::Default();
    work.purge = &CountPurge;
    const std::string archive = temp_ / "empty.karc";
    Outcome o = Run(wire::Bytes().U32(2).U32(0xA5A5).Text(archive).U32(0).Str(), work);
    EXPECT_EQ(o.reply, Results({}) + wire::Bytes().U32(1).Str());
    EXPECT_EQ(temp_.ReadAll("empty.karc"), HeaderOnlyArchive(0xA5A5));
    EXPECT_EQ(SavingFiles(temp_.Path()), std::vector<std::string>());
}

TEST_F(CommandHostJobTest, ASaveThatFailsPartWayLeavesNoArchiveBehind)
{
    struct Case {
        const char* name;
        bool (*save)(const KUIDRing&, TStream&, ResultsLog&);
        std::string folder;
        const char* before;  // the target's bytes before the job; null for none
    } cases[] = {
        {"a write fails",
         [](const KUIDRing&, TStream& out, ResultsLog&) {
             out.WriteBytes("half an entry", 13);
             out.SetError(TStream::kErrFile);
             return true;
         },
         temp_.Path(), nullptr},
        {"a write fails over an older archive",
         [](const KUIDRing&, TStream& out, ResultsLog&) {
             out.SetError(TStream::kErrFile);
             return true;
         },
         temp_.Path(), "the older archive"},
        {"the disk fills while the bytes are still held",
         [](const KUIDRing&, TStream& out, ResultsLog&) {
             FillTheDisk();
             const std::string entry(4 * kFullDiskAt, 'e');
             out.WriteBytes(entry.data(), uint32_t(entry.size()));
             return true;
         },
         temp_.Path(), nullptr},
        {"the folder does not exist", &FakeSave, temp_ / "missing", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = c.folder + "/out.karc";
        if (c.before)
            temp_.Write("out.karc", c.before);
        CommandHostWork work = FakeWork();
        work.saveArchive = c.save;
        Outcome o = Run(wire::Bytes().U32(2).U32(5).Text(target).U32(0).Str(), work);
        EmptyTheDisk();
        ASSERT_GE(o.reply.size(), 4u);
        EXPECT_EQ(o.reply.substr(o.reply.size() - 4), wire::Bytes().U32(0).Str());
        EXPECT_NE(o.reply.find("Unable to write the archive file '" + target + "'."), std::string::npos);
        if (c.before)
            EXPECT_EQ(temp_.ReadAll("out.karc"), c.before);
        else
            EXPECT_FALSE(std::filesystem::exists(target));
        EXPECT_EQ(SavingFiles(c.folder), std::vector<std::string>());
        std::filesystem::remove(target);
    }
}
