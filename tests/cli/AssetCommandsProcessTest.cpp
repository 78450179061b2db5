// The asset commands of the built program against the stand-in daemon and
// its asset store, laid out as in a data root: root/bin holds both
// programs, root/local the installed assets.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ToolProcess.h"
#include "kad/client/DaemonWire.h"
#include "kad/discovery/ProcessLaunch.h"
#include "kaddaemon/ClientTestSupport.h"
#include "support/DaemonTestSupport.h"
#include "support/StandInDaemon.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const char* const kBlueLoco = "kuid <kuid:77:500>\nusername \"Blue Loco\"\nkind \"traincar\"\n"
                              "category-class \"TR\"\nkestro-build 3.1\n";
const char* const kRedLoco = "kuid <kuid:77:501>\nusername \"Red Loco\"\nkind \"traincar\"\n"
                             "category-class \"TR\"\nkestro-build 3.1\n";
const std::string kClean = "OK (0 Errors, 0 Warnings)\n";

// An environment variable set for the programs the test starts meanwhile.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (old)
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class AssetCommandsProcessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        root_.Write("local/blue/config.txt", kBlueLoco);
        root_.Write("local/red/config.txt", kRedLoco);
    }
};

TEST_F(AssetCommandsProcessTest, CommandsReadAndChangeTheStore)
{
    struct Step {
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Step steps[] = {
        {{"status", "<KUID:77:500>"}, 0, "+ <kuid:77:500> : eIadlmf : TR : Blue Loco\n" + kClean},
        {{"status", "not-a-kuid"}, 255, "- <NULL> : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n"},
        {{"printconfig", "<kuid:77:999>"}, 255,
         "- <kuid:77:999> : Asset is not local.\nOK (1 Errors, 0 Warnings)\n"},
        {{"searchbycategory", "tr"}, 0,
         "+ 2 : assets matching the specified criteria\n+ #0 : <kuid:77:500>\n+ #1 : <kuid:77:501>\n" + kClean},
        {{"searchbycategory", "cn"}, 255, kClean},
        {{"edit", "<kuid:77:500>"}, 0, "+ <kuid:77:500> : " + Root() + "/editing/blue\n" + kClean},
        {{"revert", "<kuid:77:500>"}, 0, kClean},
        {{"delete", "<kuid:77:501>"}, 0, kClean},
        {{"searchbycategory", "tr"}, 0,
         "+ 1 : assets matching the specified criteria\n+ #0 : <kuid:77:500>\n" + kClean},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args[0] + " " + s.args[1]);
        ProcessResult r = Run(s.args);
        EXPECT_EQ(r.exitCode, s.code);
        EXPECT_EQ(r.out, s.out);
    }
    // The daemon's own report of the refused open stands in the log too.
    ProcessResult unknown = Run({"edit", "<kuid:77:999>"});
    EXPECT_EQ(unknown.exitCode, 255);
    EXPECT_NE(unknown.out.find("- <kuid:77:999> : Unknown AssetID.\n"), std::string::npos) << unknown.out;

    ProcessResult dump = Run({"printconfig", "<kuid:77:500>"});
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_EQ(dump.out.rfind("+ Start of <kuid:77:500> dump\n", 0), 0u) << dump.out;
    EXPECT_NE(dump.out.find("\"Blue Loco\""), std::string::npos);
    EXPECT_NE(dump.out.find("+ End of <kuid:77:500> dump\n" + kClean), std::string::npos);
}

TEST_F(AssetCommandsProcessTest, AuthorsAreListedOnce)
{
    ProcessResult r = Run({"authors"});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_GT(r.out.size(), kClean.size());
    std::string names = r.out.substr(0, r.out.size() - kClean.size());
    // Both assets share their author.
    EXPECT_EQ(std::count(names.begin(), names.end(), '\n'), 1) << names;
}

// Every file of the data root outside the asset folders and the daemon's
// own state, relative to the root.
std::vector<std::string> FilesOutsideAssets(const fs::path& root)
{
    std::vector<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string rel = fs::relative(entry.path(), root).string();
        std::string top = rel.substr(0, rel.find('/'));
        if (top == "local" || top == "editing" || top == "trash" || top == "kaddaemon-state.txt")
            continue;
        if (entry.is_regular_file())
            out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The config text with each run of blanks made one space and no carriage
// returns, so checks need not know the column the values are aligned to.
std::string Squeezed(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            continue;
        bool blank = c == ' ' || c == '\t';
        if (!(blank && !out.empty() && out.back() == ' '))
            out += blank ? ' ' : c;
    }
    return out;
}

const char* const kConsistList = "train-0\n{\n  name \"Express\"\n  list\n  {\n"
                                 "    car-0 <kuid:77:500>\n    num-0 7\n    dir-0 1\n"
                                 "    car-1 <kuid:77:500>\n    car-2 <kuid:77:500>\n  }\n}\n"
                                 "train-1\n{\n  name \"Goods\"\n  list\n  {\n"
                                 "    car-0 <kuid:77:501>\n    car-1 <kuid:77:500>\n  }\n}\n";

// The configs of the consist assets under "local".
std::vector<std::string> InstalledConsists(const fs::path& root)
{
    std::vector<std::string> consists;
    for (const auto& entry : fs::directory_iterator(root / "local")) {
        std::string config = Squeezed(Slurp(entry.path() / "config.txt"));
        if (config.find("\"consist\"") != std::string::npos)
            consists.push_back(config);
    }
    return consists;
}

TEST_F(AssetCommandsProcessTest, ImportedTrainsBecomeCommittedConsistAssets)
{
    root_.Write("elsewhere/list.txt", kConsistList);
    // The daemon is started by the first command; its own files are there
    // before the import runs.
    ASSERT_EQ(Run({"status", "<kuid:77:500>"}).exitCode, 0);
    const std::vector<std::string> before = FilesOutsideAssets(root_.Path());

    ProcessResult r = Run({"importconsists", "list.txt"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kClean);
    EXPECT_EQ(FilesOutsideAssets(root_.Path()), before);
    EXPECT_FALSE(fs::exists(root_ / "editing") && !fs::is_empty(root_ / "editing"));

    std::vector<std::string> consists = InstalledConsists(root_.Path());
    ASSERT_EQ(consists.size(), 2u);
    std::sort(consists.begin(), consists.end(), [](const std::string& a, const std::string& b) {
        return a.find("Express") != std::string::npos && b.find("Express") == std::string::npos;
    });
    struct Expect {
        const char* name;
        size_t cars;
        std::vector<std::string> table;
    } expects[] = {
        {"Express", 3, {"<kuid:77:500>"}},
        {"Goods", 2, {"<kuid:77:500>", "<kuid:77:501>"}},
    };
    for (size_t i = 0; i < 2; ++i) {
        const Expect& e = expects[i];
        const std::string& config = consists[i];
        SCOPED_TRACE(config);
        EXPECT_NE(config.find("kind \"consist\""), std::string::npos);
        EXPECT_NE(config.find("username \"" + std::string(e.name) + "\""), std::string::npos);
        EXPECT_NE(config.find("kestro-build 3.1"), std::string::npos);
        EXPECT_NE(config.find("kuid <kuid:-2:"), std::string::npos);
        size_t list = config.find("consist-list");
        size_t table = config.find("kuid-table");
        ASSERT_NE(list, std::string::npos);
        ASSERT_NE(table, std::string::npos);
        size_t cars = 0;
        for (size_t at = config.find("car-kuid", list); at != std::string::npos && at < table;
             at = config.find("car-kuid", at + 1))
            ++cars;
        EXPECT_EQ(cars, e.cars);
        std::string tableText = config.substr(table);
        size_t at = 0;
        for (size_t k = 0; k < e.table.size(); ++k) {
            std::string line = std::to_string(k) + " " + e.table[k];
            at = tableText.find(line, at);
            EXPECT_NE(at, std::string::npos) << line;
        }
        EXPECT_EQ(tableText.find(std::to_string(e.table.size()) + " <kuid"), std::string::npos);
    }
    EXPECT_NE(consists[0].find("car-num 7"), std::string::npos);
    EXPECT_NE(consists[0].find("car-dir 1"), std::string::npos);

    ProcessResult missing = Run({"importconsists", "nothing.txt"});
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_EQ(missing.out, "- <NULL> : Invalid input path.\nOK (1 Errors, 0 Warnings)\n");
}

TEST_F(AssetCommandsProcessTest, ImportingTheSameListAgainCreatesNothing)
{
    root_.Write("elsewhere/list.txt", kConsistList);
    ASSERT_EQ(Run({"importconsists", "list.txt"}).exitCode, 0);
    const std::vector<std::string> first = InstalledConsists(root_.Path());
    ASSERT_EQ(first.size(), 2u);

    ProcessResult again = Run({"importconsists", "list.txt"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, kClean);
    EXPECT_EQ(InstalledConsists(root_.Path()), first);
    EXPECT_TRUE(!fs::exists(root_ / "editing") || fs::is_empty(root_ / "editing"));
    ProcessResult found = Run({"searchbycategory", "cn"});
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_EQ(found.out.rfind("+ 2 : assets matching the specified criteria\n", 0), 0u) << found.out;
}

TEST_F(AssetCommandsProcessTest, EditedConfigIsInstalledByCommit)
{
    ProcessResult edit = Run({"edit", "<kuid:77:500>"});
    ASSERT_EQ(edit.exitCode, 0);
    const std::string working = Root() + "/editing/blue";
    ASSERT_EQ(edit.out, "+ <kuid:77:500> : " + working + "\n" + kClean);
    std::string config = Slurp(working + "/config.txt");
    size_t name = config.find("Blue Loco");
    ASSERT_NE(name, std::string::npos) << config;
    config.replace(name, 9, "Green Loco");
    root_.Write("editing/blue/config.txt", config);

    ProcessResult commit = Run({"commit", "<kuid:77:500>"});
    EXPECT_EQ(commit.exitCode, 0);
    EXPECT_EQ(commit.out, kClean);
    EXPECT_NE(Slurp(root_ / "local/blue/config.txt").find("\"Green Loco\""), std::string::npos);
    EXPECT_FALSE(fs::exists(working));
    ProcessResult status = Run({"status", "<kuid:77:500>"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(status.out, "+ <kuid:77:500> : eIadLmf : TR : Green Loco\n" + kClean);

    // A working copy whose config names another asset must not replace the
    // installed one, and the failure must reach the exit code.
    ASSERT_EQ(Run({"edit", "<kuid:77:501>"}).exitCode, 0);
    root_.Write("editing/red/config.txt", "kuid <kuid:77:777>\nusername \"Stray\"\nkind \"traincar\"\n");
    ProcessResult wrong = Run({"commit", "<kuid:77:501>"});
    EXPECT_EQ(wrong.exitCode, 255);
    EXPECT_NE(wrong.out.find("<kuid:77:777>"), std::string::npos) << wrong.out;
    EXPECT_NE(wrong.out.find("OK (1 Errors, 0 Warnings)\n"), std::string::npos) << wrong.out;
    EXPECT_EQ(Slurp(root_ / "local/red/config.txt"), kRedLoco);

    // Nothing is open, so nothing is sent; the exit code alone tells.
    EXPECT_EQ(Run({"commit", "<kuid:77:999>"}).exitCode, 255);
}

TEST_F(AssetCommandsProcessTest, CommitOfAnAssetNotOpenForEditFails)
{
    ProcessResult commit = Run({"commit", "<kuid:77:500>"});
    EXPECT_EQ(commit.exitCode, 255);
    EXPECT_NE(commit.out.find("The asset is not open for edit.\n"), std::string::npos) << commit.out;
    EXPECT_NE(commit.out.find("OK (1 Errors, 0 Warnings)\n"), std::string::npos) << commit.out;
    EXPECT_EQ(Slurp(root_ / "local/blue/config.txt"), kBlueLoco);
    EXPECT_FALSE(fs::exists(root_ / "editing/blue"));
    EXPECT_EQ(Run({"status", "<kuid:77:500>"}).out, "+ <kuid:77:500> : eIadlmf : TR : Blue Loco\n" + kClean);

    // Opened for edit first, it commits even unchanged.
    ASSERT_EQ(Run({"edit", "<kuid:77:500>"}).exitCode, 0);
    EXPECT_EQ(Run({"commit", "<kuid:77:500>"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(root_ / "editing/blue"));
}

TEST_F(AssetCommandsProcessTest, StatusLettersShowTheAssetsStateAlsoAfterARestart)
{
    root_.Write("local/kindless/config.txt", "kuid <kuid:77:502>\nusername \"Kindless\"\n");
    root_.Write("local/needy/config.txt", "kuid <kuid:77:504>\nusername \"Needy\"\nkind \"traincar\"\n"
                                          "category-class \"TR\"\nkuid-table\n{\n  0 <kuid:77:999>\n  1 <kuid:77:500>\n}\n");
    // A working copy alone: an asset made and never committed.
    root_.Write("editing/draft/config.txt", "kuid <kuid:77:505>\nusername \"Draft\"\nkind \"traincar\"\n"
                                            "category-class \"TR\"\n");
    ASSERT_EQ(Run({"edit", "<kuid:77:501>"}).exitCode, 0);
    root_.Write("editing/red/config.txt", std::string(kRedLoco) + "description \"Repainted\"\n");
    ASSERT_EQ(Run({"commit", "<kuid:77:501>"}).exitCode, 0);
    ASSERT_EQ(Run({"edit", "<kuid:77:500>"}).exitCode, 0);

    const std::pair<const char*, const char*> lines[] = {
        {"<kuid:77:500>", "+ <kuid:77:500> : EIadlmf : TR : Blue Loco\n"},
        {"<kuid:77:501>", "+ <kuid:77:501> : eIadLmf : TR : Red Loco\n"},
        {"<kuid:77:502>", "+ <kuid:77:502> : eIadlmF :  : Kindless\n"},
        {"<kuid:77:504>", "+ <kuid:77:504> : eIadlMf : TR : Needy\n"},
        {"<kuid:77:505>", "+ <kuid:77:505> : Eiadlmf : TR : Draft\n"},
    };
    for (const char* when : {"first daemon", "second daemon"}) {
        for (const auto& [kuid, line] : lines) {
            SCOPED_TRACE(std::string(when) + " " + kuid);
            ProcessResult status = Run({"status", kuid});
            EXPECT_EQ(status.exitCode, 0);
            EXPECT_EQ(status.out, line + kClean);
        }
        ASSERT_EQ(Run({"closekaddaemon"}).exitCode, 0);
        ASSERT_TRUE(daemontest::WaitFor([&]() { return standin::Serving(Root()) == 0; }));
    }
}

// A FIFO where the stand-in's state file belongs held every stand-in that a
// command started in its open for ever: the stand-in now refuses the root
// and ends, so the command fails without leaving one behind.
TEST_F(AssetCommandsProcessTest, AStateFileThatIsAFifoFailsTheCommandAndLeavesNoStandInRunning)
{
    const std::string state = Root() + "/kaddaemon-state.txt";
    ASSERT_EQ(::mkfifo(state.c_str(), 0600), 0);
    ProcessResult r = RunWithin({"status", "<kuid:77:500>"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.err.find("Init failed"), std::string::npos) << r.err;
    EXPECT_TRUE(daemontest::WaitFor([&]() { return standin::ProcessesOf(Root() + "/bin/kaddaemon").empty(); }));
}

TEST_F(AssetCommandsProcessTest, VrqDeleteAllNamesEachAssetTheDaemonCouldNotDelete)
{
    ASSERT_EQ(Run({"status", "<kuid:77:500>"}).exitCode, 0);
    // With a file where the trash folder was, no asset can move there.
    fs::remove_all(root_ / "trash");
    root_.Write("trash", "no folder");
    ProcessResult refused = Run({"vrqdeleteall"});
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_EQ(refused.out, "- <kuid:77:500> : Unable to delete asset.\n- <kuid:77:501> : Unable to delete asset.\n"
                           "OK (2 Errors, 0 Warnings)\n");
    EXPECT_EQ(Run({"status", "<kuid:77:501>"}).exitCode, 0);

    fs::remove(root_ / "trash");
    fs::create_directory(root_ / "trash");
    for (const char* when : {"both there", "none left"}) {
        SCOPED_TRACE(when);
        ProcessResult r = Run({"vrqdeleteall"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, kClean);
    }
    EXPECT_EQ(Run({"status", "<kuid:77:500>"}).exitCode, 255);
}

TEST_F(AssetCommandsProcessTest, GeneratedKUIDsFollowTheSavedBase)
{
    root_.Write("settings/kuid.txt", "base-kuid <kuid:77:2000>\n");
    // The daemon knows the next KUID after the first, so the second run
    // must step over it.
    root_.Write("local/taken/config.txt", "kuid <kuid:77:2002>\nusername \"Taken\"\nkind \"traincar\"\n");
    struct Step {
        std::string out;
        std::string base;
    } steps[] = {
        {"<KUID2:77:2001:0>\n", "<kuid:77:2001>"},
        {"<KUID2:77:2003:0>\n", "<kuid:77:2003>"},
    };
    for (const Step& s : steps) {
        ProcessResult r = Run({"generatekuid"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, s.out + kClean);
        std::string saved = Squeezed(Slurp(root_ / "settings/kuid.txt"));
        EXPECT_NE(saved.find("base-kuid " + s.base), std::string::npos) << saved;
    }
}

TEST_F(AssetCommandsProcessTest, ValidationFindingsAreResults)
{
    // The command host the stand-in starts for the validation checks against
    // the validation data the project ships.
    const std::string sample = std::string(KESTRO_TEST_DATA_DIR) + "/../../sample";
    for (const char* part : {"bin/TETData", "data"}) {
        fs::create_directories(root_ / part);
        fs::copy(sample + "/" + part, root_ / part, fs::copy_options::recursive);
    }
    root_.Write("local/kindless/config.txt", "kuid <kuid:77:502>\nusername \"Kindless\"\n");
    ProcessResult good = Run({"validate", "<kuid:77:500>"});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_EQ(good.out, kClean);

    // Findings are results, not a failed command. Results read back from
    // the daemon keep the asset it gave them (none, here) rather than the
    // log's current asset, so only the text is checked.
    ProcessResult bad = Run({"validate", "<kuid:77:502>"});
    EXPECT_EQ(bad.exitCode, 0);
    const std::string finding = " : The config has no 'kind' tag.\nOK (1 Errors, 0 Warnings)\n";
    ASSERT_GT(bad.out.size(), finding.size()) << bad.out;
    EXPECT_EQ(bad.out.substr(0, 2), "- ");
    EXPECT_EQ(bad.out.substr(bad.out.size() - finding.size()), finding);

    ProcessResult unknown = Run({"validate", "<kuid:77:999>"});
    EXPECT_EQ(unknown.exitCode, 255);
}

TEST_F(AssetCommandsProcessTest, BuildListIsWrittenToTheFile)
{
    root_.Write("local/old/config.txt",
                "kuid <kuid:77:503>\nusername \"Old Loco\"\nkind \"traincar\"\nkestro-build 2.5\n");
    // A relative path is taken from the program folder.
    ProcessResult r = Run({"listbuilds", "builds.txt"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kClean);
    EXPECT_EQ(Slurp(root_ / "bin/builds.txt"), "2.5\n3.1\n\n");

    ProcessResult nowhere = Run({"listbuilds", "no-such-folder/builds.txt"});
    EXPECT_EQ(nowhere.exitCode, 255);
    EXPECT_EQ(nowhere.out, "- <NULL> : Failed to open output file.\nOK (1 Errors, 0 Warnings)\n");

    // A file that opens and takes nothing, as on a full disk.
    ProcessResult full = Run({"listbuilds", "/dev/full"});
    EXPECT_EQ(full.exitCode, 255);
    EXPECT_EQ(full.out, "- <NULL> : Unable to write output file.\nOK (1 Errors, 0 Warnings)\n");

    // A file that takes everything and then fails to close, as on a network
    // or quota-bound file system: the shim built with the tests fails the
    // close of a file so named. ASan wants its runtime first of all.
    const ScopedVariable preload("LD_PRELOAD", daemontest::ProgramFolder() + "/close-fails.so");
    const char* asan = std::getenv("ASAN_OPTIONS");
    const ScopedVariable order("ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0");
    ProcessResult unclosed = Run({"listbuilds", "builds.close-fails"});
    EXPECT_EQ(unclosed.exitCode, 255);
    EXPECT_EQ(unclosed.out, "- <NULL> : Unable to write output file.\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(Slurp(root_ / "bin/builds.close-fails"), "2.5\n3.1\n\n");
}

const std::string kLost = "- <NULL> : The connection to the asset database daemon was lost.\n";

// A command whose daemon is killed once the command's first request of one
// number is in and before the daemon answers it. The daemon's trace goes
// into a pipe of one page: a line goes in only while the page has room for
// it behind all that was written into the page, read or not, and the page
// is freed only once it is read to its end. A first run of the command
// tells the lines traced up to that request; before the second run the
// test fills the page so that those lines still fit and the reply's line
// does not: the daemon stops before it answers, however the processes are
// scheduled. The test reads the page only once those lines are in, and all
// of it but its last byte.
class LostBeforeTheAnswerTest : public AssetCommandsProcessTest {
protected:
    // `between` runs after the first run.
    ProcessResult KillBeforeTheAnswer(const std::vector<std::string>& args, const std::string& number,
                                      const std::function<void()>& between)
    {
        const std::string trace = output_ / "daemon.trace";
        EXPECT_EQ(::mkfifo(trace.c_str(), 0600), 0);
        const int reader = ::open(trace.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const int pageSize = ::fcntl(reader, F_SETPIPE_SZ, 4096);
        EXPECT_GT(pageSize, 0);
        const int filler = ::open(trace.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(filler, 0);
        std::string traced;
        auto readTrace = [&](size_t upTo) {
            char block[512];
            for (ssize_t n; traced.size() < upTo &&
                            (n = ::read(reader, block, std::min(sizeof block, upTo - traced.size()))) > 0;)
                traced.append(block, static_cast<size_t>(n));
        };
        const std::string bin = Root() + "/bin";
        const uint32_t daemon = LaunchProcess(bin + "/kaddaemon", "--trace \"" + trace + "\"", bin, kLaunchHidden);
        EXPECT_NE(daemon, 0u);
        EXPECT_TRUE(daemontest::WaitFor([&]() { return standin::Serving(Root()) == daemon; }));

        // The first run, read to the end of its connection: its client's
        // goodbye.
        EXPECT_EQ(Run(args).exitCode, 0);
        const std::string goodbye = "\nin request " + std::to_string(DaemonWire::kRequestDisconnect) + " 0 0\n";
        EXPECT_TRUE(daemontest::WaitFor([&]() {
            readTrace(std::string::npos);
            return traced.size() >= goodbye.size() &&
                   traced.compare(traced.size() - goodbye.size(), goodbye.size(), goodbye) == 0;
        })) << traced;
        const size_t request = traced.find("\nin request " + number + " ");
        EXPECT_NE(request, std::string::npos) << traced;
        const std::string upToRequest = traced.substr(0, traced.find('\n', request + 1) + 1);
        between();

        // Room for those lines and a few bytes more.
        const std::string fill(static_cast<size_t>(pageSize) - upToRequest.size() - 4, '#');
        EXPECT_EQ(::write(filler, fill.data(), fill.size()), static_cast<ssize_t>(fill.size()));
        traced.clear();
        const pid_t tool = StartToolProcess(Root(), output_.Path(), args);
        const std::string page = fill + upToRequest;
        auto held = [&]() {
            int n = 0;
            return ::ioctl(reader, FIONREAD, &n) == 0 ? static_cast<size_t>(n) : size_t(0);
        };
        EXPECT_TRUE(daemontest::WaitFor([&]() { return held() >= page.size(); }));
        readTrace(std::max<size_t>(held(), 1) - 1);
        EXPECT_EQ(traced, page.substr(0, page.size() - 1)) << "not stopped before the answer";
        ::kill(static_cast<pid_t>(daemon), SIGKILL);
        EXPECT_TRUE(daemontest::WaitFor([&]() { return standin::Ended(daemon); }));
        ::close(filler);
        ::close(reader);
        ProcessResult result = FinishToolProcess(tool, output_.Path(), args[0], std::chrono::seconds(120));
        standin::EndAll(Root());
        return result;
    }
};

TEST_F(LostBeforeTheAnswerTest, ListBuildsFailsAndKeepsTheEarlierList)
{
    const std::string earlier = "2.5\n3.1\nan earlier list, longer than the new one\n";
    ProcessResult r = KillBeforeTheAnswer({"listbuilds", "builds.txt"}, "253",
                                          [&]() { root_.Write("bin/builds.txt", earlier); });
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kLost + "OK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(Slurp(root_ / "bin/builds.txt"), earlier);
}

TEST_F(LostBeforeTheAnswerTest, ImportConsistsFailsAndMakesNoConsist)
{
    root_.Write("elsewhere/list.txt", kConsistList);
    std::vector<std::string> first;
    ProcessResult r = KillBeforeTheAnswer({"importconsists", "list.txt"}, "2",
                                          [&]() { first = InstalledConsists(root_.Path()); });
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kLost + "OK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(first.size(), 2u);
    EXPECT_EQ(InstalledConsists(root_.Path()), first);
}

// KUID text whose numbers do not fit in 32 bits names no asset, not the one
// at the limit: on the command line and on batch lines alike.
TEST_F(AssetCommandsProcessTest, KUIDTextBeyond32BitsNamesNoAsset)
{
    root_.Write("local/edge/config.txt", "kuid <kuid:77:2147483647>\nusername \"Edge\"\nkind \"traincar\"\n"
                                         "category-class \"TR\"\nkestro-build 3.1\n");
    const std::string unknown = "- <NULL> : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n";
    const std::string edge = "+ <kuid:77:2147483647> : eIadlmf : TR : Edge\n" + kClean;
    root_.Write("bin/edge.txt", "delete <kuid:77:2147483648>\nstatus <kuid:77:-2147483649>\n");
    struct Step {
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Step steps[] = {
        {{"status", "<kuid:77:2147483648>"}, 255, unknown},
        {{"status", "<kuid:77:99999999999>"}, 255, unknown},
        {{"delete", "<kuid:77:2147483648>"}, 255, kClean},
        {{"@edge.txt"}, 255, kClean + "\n" + unknown + "\n"},
        {{"status", "<kuid:77:2147483647>"}, 0, edge},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args.back());
        ProcessResult r = Run(s.args);
        EXPECT_EQ(r.exitCode, s.code);
        EXPECT_EQ(r.out, s.out);
    }
}

// The stand-in served in this process for the tool's data root, with its
// asset store and the requests of a case in place of its own.
class AssetCommandsDaemonTest : public clienttest::StandInClient {
protected:
    void SetUp() override { LayOutToolRoot(root_); }

    ProcessResult Run(const std::vector<std::string>& args) { return RunTool(root_, output_.Path(), args); }

    TempFolder output_;
};

// A validation that no answer came for has not been done: the stand-in goes
// away in the middle of it. One that the stand-in answered is done, whatever
// its answer.
TEST_F(AssetCommandsDaemonTest, ValidateFailsWhenNoAnswerCame)
{
    fs::create_directories(root_ + "/local/blue");
    std::ofstream(root_ + "/local/blue/config.txt", std::ios::binary) << kBlueLoco;
    auto store = std::make_shared<kaddaemon::AssetStore>(root_);
    ASSERT_TRUE(store->Open());
    kaddaemon::RegisterStoreRequests(server_.Requests(), store);
    std::atomic<int> asked{0};
    server_.Requests().Register(38, [&](kaddaemon::RequestContext& context, TStream&, TStream& reply) {
        if (asked++ == 0) {
            context.replyNow = false;
            context.closeConnection = true;
        } else {
            reply.WriteBool(false);
        }
    });
    Serve();
    const std::string lost = "- <NULL> : The connection to the asset database daemon was lost.\n";
    ProcessResult gone = Run({"validate", "<kuid:77:500>"});
    EXPECT_EQ(gone.exitCode, 255);
    EXPECT_EQ(gone.out, lost + "OK (1 Errors, 0 Warnings)\n");

    ProcessResult answered = Run({"validate", "<kuid:77:500>"});
    EXPECT_EQ(answered.exitCode, 0);
    EXPECT_EQ(answered.out, kClean);
    EXPECT_EQ(asked.load(), 2);
}

}  // namespace
