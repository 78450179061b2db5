// The keyword commands of the built program against the stand-in daemon,
// as separate processes on a data root of their own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ToolProcess.h"
#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/discovery/ProcessLaunch.h"

namespace {

namespace fs = std::filesystem;

const std::string kClean = "OK (0 Errors, 0 Warnings)\n";

// The tags of a keyword file, name and text, in order.
std::vector<std::pair<std::string, std::string>> KeywordTags(const std::string& path)
{
    ChunkRef root;
    EXPECT_TRUE(LoadConfigFile(root, "", path.c_str(), "txt")) << path;
    std::vector<std::pair<std::string, std::string>> out;
    for (uint32_t i = 0; root && i < root->GetChildCount(); ++i) {
        Nyx::PString name = TDBContainerTag::GetChildName(root, i);
        out.emplace_back(name.c_str(), TDBContainerTag::GetString(root, name).c_str());
    }
    return out;
}

using KeywordsProcessTest = ToolProcessTest;

const std::string kLost = "- <NULL> : The connection to the asset database daemon was lost.\n";

// A keyword command whose daemon is killed part-way through the command's
// requests of one number. The daemon's trace goes into a pipe of one page,
// which the test stops reading once the first of those requests is traced:
// the daemon cannot get further than the page lets it, however the
// processes are scheduled, before it is stopped and then killed.
class KeywordsLostDaemonTest : public ToolProcessTest {
protected:
    static constexpr int kAssets = 300;

    void SetUp() override
    {
        ToolProcessTest::SetUp();
        for (int i = 0; i < kAssets; ++i)
            root_.Write("local/a" + std::to_string(i) + "/config.txt",
                        "kuid <kuid:77:" + std::to_string(1000 + i) + ">\nkind \"track\"\n");
    }

    ProcessResult KillPartWay(const std::string& command, const std::string& number)
    {
        const std::string trace = output_ / (command + ".trace");
        EXPECT_EQ(::mkfifo(trace.c_str(), 0600), 0);
        const int reader = ::open(trace.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(::fcntl(reader, F_SETPIPE_SZ, 4096), 0);
        std::string traced;
        auto readTrace = [&]() {
            char block[512];
            for (ssize_t n; (n = ::read(reader, block, sizeof block)) > 0;)
                traced.append(block, static_cast<size_t>(n));
        };
        const std::string bin = Root() + "/bin";
        const uint32_t daemon = LaunchProcess(bin + "/kaddaemon", "--trace \"" + trace + "\"", bin, kLaunchHidden);
        EXPECT_NE(daemon, 0u);
        EXPECT_TRUE(daemontest::WaitFor([&]() { return standin::Serving(Root()) == daemon; }));
        const pid_t tool = StartToolProcess(Root(), output_.Path(), {command});
        EXPECT_TRUE(daemontest::WaitFor([&]() {
            readTrace();
            return traced.find("\nin request " + number + " ") != std::string::npos;
        }));
        ::kill(static_cast<pid_t>(daemon), SIGSTOP);
        readTrace();
        size_t replies = 0;
        for (size_t at = 0; (at = traced.find("\nout reply " + number + " ", at)) != std::string::npos; ++at)
            ++replies;
        EXPECT_LT(replies, static_cast<size_t>(kAssets)) << "not part-way";
        ::kill(static_cast<pid_t>(daemon), SIGKILL);
        ::close(reader);
        EXPECT_TRUE(daemontest::WaitFor([&]() { return standin::Ended(daemon); }));
        ProcessResult result = FinishToolProcess(tool, output_.Path(), command, std::chrono::seconds(120));
        standin::EndAll(Root());
        return result;
    }
};

TEST_F(KeywordsLostDaemonTest, ADaemonLostPartWayFailsTheCommandAndKeepsTheEarlierBackup)
{
    const std::string earlier = "<kuid:77:1000> \"earlier\"\n";
    root_.Write("bin/KeywordsBackup.dat", earlier);
    ProcessResult backup = KillPartWay("backupkeywords", "21");
    EXPECT_EQ(backup.exitCode, 255);
    EXPECT_EQ(backup.out, kLost + "OK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(Slurp(Root() + "/bin/KeywordsBackup.dat"), earlier);

    std::string dump;
    for (int i = 0; i < kAssets; ++i)
        dump += "<kuid:77:" + std::to_string(1000 + i) + "> \"imported\"\n";
    root_.Write("KeywordsDump.dat", dump);
    ProcessResult import = KillPartWay("importkeywords", "54");
    EXPECT_EQ(import.exitCode, 255);
    EXPECT_EQ(import.out, kLost + "OK (1 Errors, 0 Warnings)\n");
}

// A text the request cannot carry would reach the daemon as the empty
// text: it is not sent, and the rest of the file is.
TEST_F(KeywordsProcessTest, KeywordsTooLongToSendAreRefusedAndTheRestAreSet)
{
    root_.Write("local/blue/config.txt", "kuid <kuid:77:500>\nkind \"track\"\n");
    root_.Write("local/red/config.txt", "kuid <kuid:77:501>\nkind \"track\"\n");
    root_.Write("KeywordsDump.dat", "<kuid:77:500> \"steam\"\n<kuid:77:501> \"diesel\"\n");
    ASSERT_EQ(Run({"importkeywords"}).exitCode, 0);

    root_.Write("KeywordsDump.dat", "<kuid:77:500> \"" + std::string(65535, 'k') + "\"\n<kuid:77:501> \"red\"\n");
    ProcessResult r = Run({"importkeywords"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "- <kuid:77:500> : The keywords are too long to send to the asset database daemon.\n"
                     "OK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(Run({"backupkeywords"}).exitCode, 0);
    EXPECT_EQ(KeywordTags(Root() + "/bin/KeywordsBackup.dat"),
              (std::vector<std::pair<std::string, std::string>>{{"<kuid:77:500>", "steam"},
                                                                 {"<kuid:77:501>", "red"}}));
}

// A change the daemon cannot keep (here, one past the state file's limit,
// lowered for the test) fails the import naming its asset; the other assets
// are set, an asset the daemon does not know is passed over in silence, and
// the state file stays one the next daemon reads.
TEST_F(KeywordsProcessTest, KeywordsTheDaemonCannotKeepFailTheImportNamingTheAsset)
{
    for (int content : {500, 501, 502})
        root_.Write("local/a" + std::to_string(content) + "/config.txt",
                    "kuid <kuid:77:" + std::to_string(content) + ">\nkind \"track\"\n");
    const std::string bin = Root() + "/bin";
    auto start = [&]() {
        const uint32_t daemon =
            LaunchProcess(bin + "/kaddaemon", "--test-requests --test-state-limit 2048", bin, kLaunchHidden);
        EXPECT_TRUE(daemontest::WaitFor([&]() { return daemon != 0 && standin::Serving(Root()) == daemon; }));
        return daemon;
    };
    const uint32_t daemon = start();

    root_.Write("KeywordsDump.dat", "<kuid:77:500> \"steam\"\n<kuid:9:9> \"nobody's\"\n");
    ProcessResult unknown = Run({"importkeywords"});
    EXPECT_EQ(unknown.exitCode, 0);
    EXPECT_EQ(unknown.out, kClean);

    root_.Write("KeywordsDump.dat",
                "<kuid:77:501> \"" + std::string(3000, 'k') + "\"\n<kuid:77:502> \"red\"\n");
    ProcessResult r = Run({"importkeywords"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "- <kuid:77:501> : The change would make the daemon's state file larger than the 2048 bytes "
                     "the daemon reads, and is not kept.\nOK (1 Errors, 0 Warnings)\n");

    // A daemon of the same limit reads what the first one left.
    ASSERT_EQ(Run({"closekaddaemon"}).exitCode, 0);
    ASSERT_TRUE(daemontest::WaitFor([&]() { return standin::Ended(daemon); }));
    start();
    EXPECT_EQ(Run({"backupkeywords"}).exitCode, 0);
    EXPECT_EQ(KeywordTags(bin + "/KeywordsBackup.dat"),
              (std::vector<std::pair<std::string, std::string>>{
                  {"<kuid:77:500>", "steam"}, {"<kuid:77:501>", ""}, {"<kuid:77:502>", "red"}}));
}

// A state file the daemon reads only in part is refused as it is: the
// command fails as it does when the daemon cannot start.
TEST_F(KeywordsProcessTest, AStateFileThatDoesNotReadWholeFailsTheCommandAndStaysAsItWas)
{
    root_.Write("local/blue/config.txt", "kuid <kuid:77:500>\nkind \"track\"\n");
    const std::string damaged = "assets\n{\n  0\n  {\n    kuid <kuid:77:500>\n    keywords \"steam\"\n  }\n}\n"
                                "  1\n  {\n    kuid <kuid:77:501>\n  }\n}\n";
    root_.Write("kaddaemon-state.txt", damaged);
    root_.Write("KeywordsDump.dat", "<kuid:77:500> \"diesel\"\n");
    ProcessResult r = RunWithin({"importkeywords"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.err.find("Init failed"), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(Root() + "/kaddaemon-state.txt"), damaged);
    EXPECT_NE(Slurp(Root() + "/kaddaemon.log").find("the state file " + Root() +
                                                    "/kaddaemon-state.txt does not read whole: line 9: "
                                                    "\"1\" is no tag of the state file\n"),
              std::string::npos);
}

TEST_F(KeywordsProcessTest, KeywordsSurviveABackupCopiedToTheImportFile)
{
    // An empty database backs up to a file without tags.
    EXPECT_EQ(Run({"backupkeywords"}).exitCode, 0);
    EXPECT_TRUE(KeywordTags(Root() + "/bin/KeywordsBackup.dat").empty());
    // Nothing to import yet: a silent failure.
    ProcessResult missing = Run({"importkeywords"});
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_EQ(missing.out, kClean);

    // Two assets, found by a repair.
    root_.Write("local/blue/config.txt", "kuid <kuid:77:500>\nkind \"track\"\n");
    root_.Write("local/red/config.txt", "kuid <kuid:77:501>\nkind \"track\"\n");
    EXPECT_EQ(Run({"repairdatabase"}).exitCode, 0);

    // The import reads the content root; the short KUID form names the
    // same asset as the long one.
    root_.Write("KeywordsDump.dat", "<kuid:77:500> \"steam, tank\"\n<kuid2:77:501:0> \"red\"\n");
    EXPECT_EQ(Run({"importkeywords"}).exitCode, 0);
    const std::vector<std::pair<std::string, std::string>> imported = {{"<kuid:77:500>", "steam, tank"},
                                                                        {"<kuid:77:501>", "red"}};
    // The backup goes into the program folder, under its default name or
    // the name as given.
    EXPECT_EQ(Run({"backupkeywords"}).exitCode, 0);
    EXPECT_EQ(KeywordTags(Root() + "/bin/KeywordsBackup.dat"), imported);
    EXPECT_EQ(Run({"backupkeywords", "Saved.DAT"}).exitCode, 0);
    EXPECT_EQ(KeywordTags(Root() + "/bin/Saved.DAT"), imported);

    // Changed since, and brought back by the backup copied to the import's
    // name and folder.
    root_.Write("KeywordsDump.dat", "<kuid:77:500> \"\"\n<kuid:77:501> \"changed\"\n");
    EXPECT_EQ(Run({"importkeywords"}).exitCode, 0);
    fs::copy_file(Root() + "/bin/Saved.DAT", Root() + "/KeywordsDump.dat", fs::copy_options::overwrite_existing);
    EXPECT_EQ(Run({"importkeywords"}).exitCode, 0);
    EXPECT_EQ(Run({"backupkeywords", "after.dat"}).exitCode, 0);
    EXPECT_EQ(KeywordTags(Root() + "/bin/after.dat"), imported);
}

// A backup saved to a link lands where the link points, and one saved to a
// device is written into it: neither is replaced by a file of its own.
TEST_F(KeywordsProcessTest, ABackupGoesWhereALinkPointsAndIntoADevice)
{
    root_.Write("local/blue/config.txt", "kuid <kuid:77:500>\nkind \"track\"\n");
    EXPECT_EQ(Run({"repairdatabase"}).exitCode, 0);
    root_.Write("kept/real.dat", "older text");
    fs::create_symlink(Root() + "/kept/real.dat", Root() + "/bin/link.dat");
    EXPECT_EQ(Run({"backupkeywords", "link.dat"}).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(Root() + "/bin/link.dat"));
    EXPECT_EQ(KeywordTags(Root() + "/kept/real.dat"), (std::vector<std::pair<std::string, std::string>>{
                                                          {"<kuid:77:500>", ""}}));

    // A device of the test's own where the test may make one (as root, when
    // a fault here could otherwise replace the machine's /dev/null); the
    // machine's own where it may not, since it could not be replaced then.
    std::string device = Root() + "/kept/null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        device = "/dev/null";
    EXPECT_EQ(Run({"backupkeywords", device}).exitCode, 0);
    EXPECT_TRUE(fs::is_character_file(fs::symlink_status(device))) << device;
    for (const char* folder : {"/bin", "/kept"})
        for (const fs::directory_entry& entry : fs::directory_iterator(Root() + folder))
            EXPECT_EQ(entry.path().string().find(".saving"), std::string::npos) << entry.path();
}

// A backup saved to the tool's standard output goes where the tool's own
// lines go: after what a log it appends to holds, or through a pipe.
TEST_F(KeywordsProcessTest, ABackupToStandardOutputGoesWhereTheOutputGoes)
{
    root_.Write("local/blue/config.txt", "kuid <kuid:77:500>\nkind \"track\"\n");
    ASSERT_EQ(Run({"repairdatabase"}).exitCode, 0);
    ASSERT_EQ(Run({"backupkeywords"}).exitCode, 0);
    const std::string backup = Slurp(Root() + "/bin/KeywordsBackup.dat");
    ASSERT_NE(backup.find("<kuid:77:500>"), std::string::npos) << backup;

    root_.Write("kept/log.txt", "earlier line\n");
    const int log = ::open((Root() + "/kept/log.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(log, 0);
    const ProcessResult logged = RunTool(root_.Path(), output_.Path(), {"backupkeywords", "/dev/stdout"},
                                         [log] { return ::dup2(log, 1) == 1; });
    ::close(log);
    EXPECT_EQ(logged.exitCode, 0);
    EXPECT_EQ(Slurp(Root() + "/kept/log.txt"), "earlier line\n" + backup + kClean);

    const ProcessResult piped = RunToolIntoPipe(root_.Path(), output_.Path(), {"backupkeywords", "/dev/stdout"});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.out, backup + kClean);
}

}  // namespace
