// "kadcommandhost" as a process of its own, registered with the stand-in
// daemon: the stand-in's test-only request hands it each job, and the ways
// it ends (the daemon gone, a terminate signal, a fault in a job).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/ToolProcess.h"
#include "cli/commandhost/ArchiveJobs.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/process/ProcessState.h"
#include "kad/WireBytes.h"
#include "kad/client/KADClient.h"
#include "kad/discovery/ProcessLaunch.h"
#include "kad/requests/KADRequests.h"
#include "kad/transport/NetStartup.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/CommandHostRequests.h"
#include "resources/mesh/MeshFileWriter.h"
#include "support/ImageFiles.h"
#include "support/ResultsForm.h"

namespace {

using clienttest::Call;
using clienttest::CountLines;
using clienttest::U32;
using daemontest::WaitFor;
using resultstest::Results;
namespace testrequest = kaddaemon::testrequest;

const KUID kA(77, 500, 3);

// The results of a validation that found no config in the folder.
std::string NoConfigResults(const std::string& shownFolder)
{
    ResultsLog log;
    ChunkRef parameters;
    TDBContainerTag::SetString(parameters, Nyx::PString("file_path"), Nyx::PString(shownFolder));
    ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String("$kad_unable_read_config_at"), &parameters);
    wire::Output out;
    log.WriteResults(out.stream, 0);
    return out.Str();
}

// Lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The lines of `all` that are among `wanted`, in the order they came.
std::vector<std::string> Only(const std::vector<std::string>& all, const std::vector<std::string>& wanted)
{
    std::vector<std::string> kept;
    for (const std::string& line : all)
        if (std::find(wanted.begin(), wanted.end(), line) != wanted.end())
            kept.push_back(line);
    return kept;
}

using standin::ProcessesOf;

class CommandHostProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NetStartup();
        ASSERT_TRUE(std::filesystem::exists(BuiltToolProgram())) << BuiltToolProgram();
        LayOutToolRoot(root_.Path());
        const std::string bin = Root() + "/bin";
        daemon_ = LaunchProcess(bin + "/kaddaemon", "--test-requests --trace " + TracePath(), bin, kLaunchHidden);
        ASSERT_NE(daemon_, 0u);
        ASSERT_TRUE(WaitFor([&]() { return standin::Serving(Root()) == daemon_; }));
        KADClientSettings settings;
        settings.path = Root();
        settings.flags[2] = 0;
        settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
        ASSERT_TRUE(KADClient::Start(settings));
    }

    void TearDown() override
    {
        if (host_ > 0) {
            ::kill(host_, SIGKILL);
            ::waitpid(host_, nullptr, 0);
        }
        if (KADClient::IsConnected() && standin::Serving(Root()) != 0)
            KADClient::CloseDaemon();
        KADClient::Stop();
        // With a command host the stand-in started and did not get to end.
        standin::EndAll(Root());
    }

    std::string Root() const { return daemontest::RealPath(root_.Path()); }
    std::string TracePath() const { return output_ / "trace.txt"; }

    // Starts "KestroUtil kadcommandhost -nyxlog" from root/elsewhere and
    // waits until the stand-in has it as its command host.
    void StartHost()
    {
        host_ = StartToolProcess(Root(), output_.Path(), {"kadcommandhost", "-nyxlog"});
        ASSERT_GT(host_, 0);
        ASSERT_TRUE(WaitFor([&]() { return HostState() == 1; }, std::chrono::seconds(60)))
            << Slurp(output_ / "out") << Slurp(output_ / "err");
    }

    // The host's exit status once it has ended; -1 when it had to be killed
    // after a generous bound.
    int WaitHostExit()
    {
        int status = -1;
        bool ended = WaitFor([&]() { return ::waitpid(host_, &status, WNOHANG) == host_; }, std::chrono::seconds(60));
        if (!ended) {
            ::kill(host_, SIGKILL);
            ::waitpid(host_, &status, 0);
            status = -1;
        }
        host_ = 0;
        return status;
    }

    static uint32_t HostState()
    {
        std::string reply;
        if (!Call(testrequest::kCommandHostJob + 1, "", &reply))
            return 0;
        return clienttest::ReadU32(reply);
    }

    // The host's answer to a job, after the outcome word.
    static std::string Job(const std::string& payload, uint32_t outcome = testrequest::kJobAnswered)
    {
        std::string reply;
        EXPECT_TRUE(Call(testrequest::kCommandHostJob, payload, &reply));
        EXPECT_EQ(clienttest::ReadU32(reply), outcome);
        return reply.size() >= 4 ? reply.substr(4) : reply;
    }

    std::vector<std::string> HostLines() const { return Lines(Slurp(output_ / "out")); }

    TempFolder root_;
    TempFolder output_;
    daemontest::DiscoveryCleanup cleanup_{daemontest::RealPath(root_.Path())};
    uint32_t daemon_ = 0;
    pid_t host_ = 0;
};

}  // namespace

TEST_F(CommandHostProcessTest, RunsEachJobTheStandInHandsItAndEndsWithTheStandIn)
{
    static_assert(testrequest::kCommandHostState == testrequest::kCommandHostJob + 1);
    StartHost();
    const std::string archive = Root() + "/elsewhere/saved.karc";
    const std::string header = wire::Bytes().U32(ArchiveFormat::kMagic).U32(1).U32(0x404CCCCD).U32(28).U32(5).Str();

    struct Case {
        const char* name;
        std::string payload;
        std::string answer;
    } cases[] = {
        {"validate", wire::Bytes().U32(0).Text("").Text(Root() + "/local/a").Str(),
         NoConfigResults("local/a/") + wire::Bytes().U8(0).Str()},
        {"texture convert", wire::Bytes().U32(1).Text("").Text(Root() + "/local/a").Str(),
         Results({{3, "Unable to search path: '" + Root() + "/local/a'"}}) + wire::Bytes().U32(0).Str()},
        {"archive save of nothing", wire::Bytes().U32(2).U32(5).Text(archive).U32(0).Str(),
         Results({}) + wire::Bytes().U32(1).Str()},
        {"archive install", wire::Bytes().U32(3).U32(5).Text(archive).U32(1).Kuid(kA).Str(),
         Results({}) + wire::Bytes().U32(1).Kuid(kA).Str()},
        {"a payload that ends early", wire::Bytes().U32(2).Str(), ""},
        {"an unsupported id", wire::Bytes().U32(7).Str(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Job(c.payload), c.answer);
    }
    EXPECT_EQ(Slurp(archive), header + wire::Bytes().Kuid(KUID::Null).Str());

    // A validation asked of the daemon is the host's job 0.
    ResultsLog log;
    EXPECT_FALSE(KADRequests::ValidateAsset(Nyx::PString(""), Nyx::File::Path(Root() + "/local/a"), &log));
    ASSERT_EQ(log.GetResultCount(), 1u);
    EXPECT_STREQ((*log.Results().begin())->text.c_str(), "$kad_unable_read_config_at");

    // The daemon goes: the host ends, with the command's exit code.
    KADClient::CloseDaemon();
    int status = WaitHostExit();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::vector<std::string> lines = HostLines();
    EXPECT_EQ(Only(lines, {"KADCommandHost", "CommandHostCallback> KAD_CMDHOST_VALIDATE",
                           "CommandHostCallback> KAD_CMDHOST_TEXTURECONVERT",
                           "CommandHostCallback> KAD_CMDHOST_ARCHIVE_SAVETODISK",
                           "CommandHostCallback> KAD_CMDHOST_ARCHIVE_INSTALL",
                           "CommandHostCallback> unsupported commandID=7", "Shutting down..."}),
              (std::vector<std::string>{"KADCommandHost", "CommandHostCallback> KAD_CMDHOST_VALIDATE",
                                        "CommandHostCallback> KAD_CMDHOST_TEXTURECONVERT",
                                        "CommandHostCallback> KAD_CMDHOST_ARCHIVE_SAVETODISK",
                                        "CommandHostCallback> KAD_CMDHOST_ARCHIVE_INSTALL",
                                        "CommandHostCallback> KAD_CMDHOST_ARCHIVE_SAVETODISK",
                                        "CommandHostCallback> unsupported commandID=7",
                                        "CommandHostCallback> KAD_CMDHOST_VALIDATE", "Shutting down..."}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "CommandHostCallback> complete"), 5);
    EXPECT_EQ(lines.back(), "OK (0 Errors, 0 Warnings)");
}

TEST_F(CommandHostProcessTest, KeepsTheLinkAliveAndATerminateSignalEndsItInOrder)
{
    StartHost();
    // Nothing to do for 100 passes of at most 50 ms: a keep-alive.
    ASSERT_TRUE(WaitFor([&]() { return CountLines(TracePath(), "in request 0 ") >= 1; }, std::chrono::seconds(60)));
    ASSERT_EQ(::kill(host_, SIGTERM), 0);
    int status = WaitHostExit();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::vector<std::string> lines = HostLines();
    EXPECT_EQ(Only(lines, {"KADCommandHost", "Console Window event handler called for CtrlType=6", "Shutting down..."}),
              (std::vector<std::string>{"KADCommandHost", "Console Window event handler called for CtrlType=6",
                                        "Shutting down..."}));
    // The daemon stays; the host has left it.
    EXPECT_TRUE(WaitFor([]() { return HostState() == 0; }));
}

TEST_F(CommandHostProcessTest, AFaultInsideAJobLeavesOneCrashReportAndTheGuardsExitCode)
{
    StartHost();
    // The job reads its archive from a pipe that nobody writes: it stays
    // inside the job until the fault.
    const std::string pipe = Root() + "/elsewhere/pipe.karc";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::string answer;
    std::thread asker([&]() {
        answer = Job(wire::Bytes().U32(3).U32(5).Text(pipe).U32(1).Kuid(kA).Str(), testrequest::kJobHostLeft);
    });
    // A writer opens without waiting only once the job has the pipe open
    // for reading, or is opening it.
    int writer = -1;
    ASSERT_TRUE(WaitFor([&]() { return (writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; },
                        std::chrono::seconds(60)));
    // The fault, on the main thread, which runs the job.
    ASSERT_EQ(::syscall(SYS_tgkill, host_, host_, SIGSEGV), 0);
    int status = WaitHostExit();
    asker.join();
    ::close(writer);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), kCrashExitCode & 0xFF);
    EXPECT_EQ(answer, "");
    std::vector<std::string> reports;
    for (const auto& entry : std::filesystem::directory_iterator(Root() + "/bin"))
        if (entry.path().extension() == ".dmp")
            reports.push_back(entry.path().filename().string());
    EXPECT_EQ(reports, std::vector<std::string>{"Kestro-41615.dmp"});
}

namespace {

// The sample data root with the shipped validation data and interface text,
// an asset of the sample's kinds with findings, and two assets whose
// scripts are named as test programs' scripts are, laid out before the
// stand-in indexes them.
class ValidateThroughHostTest : public CommandHostProcessTest {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        const std::string sample = std::string(KESTRO_TEST_DATA_DIR) + "/../../sample";
        for (const char* part : {"bin/TETData", "data", "local", "editing"}) {
            fs::create_directories(root_ / part);
            fs::copy(sample + "/" + part, root_ / part, fs::copy_options::recursive);
        }
        root_.Write("local/faulty-wagon/config.txt",
                    "kuid <kuid:400001:150>\nusername \"Faulty wagon\"\nkind \"traincar\"\nkestro-build 3.2\n"
                    "frobnicate 1\nkuid-table\n{\n  0 <kuid:400001:104>\n}\n");
        for (const auto& [content, script] : {std::pair{151, "test.gs"}, std::pair{152, "probe.gs"}}) {
            const std::string folder = std::string("local/") + script + "-shed/";
            root_.Write(folder + "config.txt", "kuid <kuid:400001:" + std::to_string(content) +
                                                   ">\nusername \"Shed\"\nkind \"buildable\"\ncategory-class \"BD\"\n"
                                                   "kestro-build 3.2\nscript \"" + script + "\"\nclass \"Shed\"\n");
            root_.Write(folder + script, "include \"KestroGameObject.gs\"\nclass Shed isclass KestroGameObject {\n};\n");
        }
        CommandHostProcessTest::SetUp();
    }

    // Its output goes apart from the host's.
    ProcessResult Validate(const char* kuid) { return RunTool(Root(), toolOutput_.Path(), {"validate", kuid}); }

    TempFolder toolOutput_;
};

}  // namespace

TEST_F(ValidateThroughHostTest, ValidateAsksTheCommandHostAndShowsItsFindingsInOrder)
{
    StartHost();
    // The sample's station clock and the two sheds have scripts: each is
    // compiled into the script cache and checked against its kind.
    for (const char* kuid : {"<kuid:400001:101>", "<kuid:400001:103>", "<kuid:400001:104>", "<kuid2:400001:102:2>",
                             "<kuid:400001:105>", "<kuid:400001:151>", "<kuid:400001:152>"}) {
        ProcessResult clean = Validate(kuid);
        EXPECT_EQ(clean.exitCode, 0) << kuid;
        EXPECT_EQ(clean.out, "OK (0 Errors, 0 Warnings)\n") << kuid;
    }
    size_t compiled = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Root() + "/cache/libraries"))
        compiled += entry.path().extension() == ".gsl";
    EXPECT_EQ(compiled, 3u);
    // Findings are results of a command that succeeds, each naming the
    // asset it concerns.
    ProcessResult faulty = Validate("<kuid:400001:150>");
    EXPECT_EQ(faulty.exitCode, 0);
    const std::vector<std::string> lines = Lines(faulty.out);
    ASSERT_EQ(lines.size(), 4u) << faulty.out;
    EXPECT_EQ(lines[0], "- <kuid:400001:150> : The container 'frobnicate' is not allowed in 'traincar'.");
    EXPECT_EQ(lines[1], "! <kuid:400001:150> : The required tag 'category-class' is missing.");
    // The missing tag is written back empty by the content step.
    EXPECT_EQ(lines[2], "- <kuid:400001:150> : The tag 'category-class' in 'traincar' has no value.");
    EXPECT_EQ(lines[3], "OK (2 Errors, 1 Warnings)");

    KADClient::CloseDaemon();
    ASSERT_EQ(WaitHostExit() >> 8, 0);
    const std::vector<std::string> hostLines = HostLines();
    EXPECT_EQ(std::count(hostLines.begin(), hostLines.end(), "CommandHostCallback> KAD_CMDHOST_VALIDATE"), 8);
}

namespace {

// A command host of the stand-in served in this process, whose export
// (request 48) holds each archive save part-way until the test lets go.
class HeldSaveTest : public clienttest::StandInClient {
protected:
    void SetUp() override
    {
        LayOutToolRoot(root_);
        kaddaemon::RegisterCommandHostRequests(server_.Requests(), root_, true);
        server_.Requests().Register(48, [this](kaddaemon::RequestContext& context, TStream&, TStream&) {
            exporting_ = true;
            WaitFor([this]() { return released_.load(); }, std::chrono::seconds(60));
            context.replyNow = false;
        });
        Serve();
        ASSERT_TRUE(StartClient());
    }

    void TearDown() override
    {
        released_ = true;
        if (host_ > 0) {
            ::kill(host_, SIGKILL);
            ::waitpid(host_, nullptr, 0);
        }
    }

    void StartHost()
    {
        host_ = StartToolProcess(root_, output_.Path(), {"kadcommandhost"});
        ASSERT_GT(host_, 0);
        ASSERT_TRUE(WaitFor([]() { return clienttest::ReadU32(State()) == 1; }, std::chrono::seconds(60)));
    }

    static std::string State()
    {
        std::string reply;
        Call(testrequest::kCommandHostState, "", &reply);
        return reply;
    }

    TempFolder output_;
    std::atomic<bool> exporting_{false};
    std::atomic<bool> released_{false};
    pid_t host_ = 0;
};

}  // namespace

// A host killed while it saves an archive leaves the temporary of the save
// ("<name>.<process>-<number>.saving"); the next host to start on the data
// root removes it, and nothing ever stands under the archive's own name.
TEST_F(HeldSaveTest, TheNextHostRemovesTheSavingFileOfAHostKilledPartWay)
{
    const auto savingFiles = [this]() {
        size_t found = 0;
        namespace fs = std::filesystem;
        for (const fs::directory_entry& entry : fs::directory_iterator(root_ + "/elsewhere")) {
            const std::string name = entry.path().filename().string();
            found += name.starts_with("held.karc.") && name.ends_with(".saving") ? 1 : 0;
        }
        return found;
    };
    StartHost();
    const std::string archive = root_ + "/elsewhere/held.karc";
    uint32_t outcome = 0;
    std::thread asker([&]() {
        std::string reply;
        Call(testrequest::kCommandHostJob, wire::Bytes().U32(2).U32(5).Text(archive).U32(1).Kuid(kA).Str(), &reply);
        outcome = clienttest::ReadU32(reply);
    });
    const bool held = WaitFor([this]() { return exporting_.load(); }, std::chrono::seconds(60));
    const bool savingWhileHeld = savingFiles() == 1;
    ::kill(host_, SIGKILL);
    ::waitpid(host_, nullptr, 0);
    host_ = 0;
    released_ = true;
    asker.join();
    ASSERT_TRUE(held);
    EXPECT_TRUE(savingWhileHeld);
    EXPECT_EQ(outcome, testrequest::kJobHostLeft);
    ASSERT_EQ(savingFiles(), 1u);

    StartHost();
    EXPECT_EQ(savingFiles(), 0u);
    EXPECT_FALSE(std::filesystem::exists(archive));
}

namespace {

// Assets whose folders hold what validation must not read: a LOD text that
// names a mesh past the data root, a link to a folder outside, links back
// to the asset's own folder, and FIFOs.
class ValidateFileRuleTest : public ValidateThroughHostTest {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        const std::string identity = "username \"Station\"\nkind \"buildable\"\ncategory-class \"BD;STN\"\n"
                                     "category-region \"Moorland\"\ncategory-era \"1900s\"\nkestro-build 3.1\n";
        const std::vector<uint8_t> mesh = WriteMeshFile(LodLevelMesh());
        root_.Write("outside/out.im", std::string(mesh.begin(), mesh.end()));
        root_.Write("outside/z.texture", "orphan");
        root_.Write("local/linked/config.txt", "kuid <kuid:400001:160>\n" + identity +
                                                   "mesh-table\n{\n  default\n  {\n    mesh \"meshes/station.lm.txt\"\n"
                                                   "    auto-create 1\n  }\n}\n");
        root_.Write("local/linked/meshes/station.lm.txt",
                    "version 1.00\nmesh 50 { name ../../../outside/out.im }\n");
        fs::create_directory_symlink(root_ / "outside", root_ / "local/linked/ext");
        root_.Write("local/looped/config.txt", "kuid <kuid:400001:161>\n" + identity);
        fs::create_directory_symlink(".", root_ / "local/looped/a");
        fs::create_directory_symlink(".", root_ / "local/looped/b");
        root_.Write("local/piped/config.txt", "kuid <kuid:400001:162>\n" + identity);
        root_.Write("local/piped/q.texture.txt", "Primary=pipe.bmp\n");
        root_.Write("local/piped/q.texture", "compiled");
        ValidateThroughHostTest::SetUp();
        ASSERT_EQ(::mkfifo((root_ / "local/piped/p.texture.txt").c_str(), 0600), 0);
        ASSERT_EQ(::mkfifo((root_ / "local/piped/pipe.bmp").c_str(), 0600), 0);
    }

    // One level of a few squares, enough to load.
    static TestMesh LodLevelMesh()
    {
        TestMesh mesh;
        mesh.chunks.push_back(QuadStripChunk(4));
        return mesh;
    }

    ProcessResult ValidateWithin(const char* kuid) { return RunToolWithin(Root(), toolOutput_.Path(), {"validate", kuid}); }
};

}  // namespace

TEST_F(ValidateFileRuleTest, NoMeshOrTextureFromOutsideTheAssetIsRead)
{
    StartHost();
    ProcessResult linked = ValidateWithin("<kuid:400001:160>");
    EXPECT_EQ(linked.exitCode, 0);
    const std::vector<std::string> lines = Lines(linked.out);
    ASSERT_EQ(lines.size(), 2u) << linked.out;
    EXPECT_EQ(lines[0].substr(0, 2), "- ");
    EXPECT_NE(lines[0].find(" : The mesh 'local/linked/meshes/station.lm.txt' cannot be prepared for display."), std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[1], "OK (1 Errors, 0 Warnings)");
}

TEST_F(ValidateFileRuleTest, LinksBackToTheAssetFolderEndTheTextureWalk)
{
    StartHost();
    for (int i = 0; i < 2; ++i) {
        ProcessResult looped = ValidateWithin("<kuid:400001:161>");
        EXPECT_EQ(looped.exitCode, 0);
        EXPECT_EQ(looped.out, "OK (0 Errors, 0 Warnings)\n");
    }
}

TEST_F(ValidateFileRuleTest, FIFOsAreNeitherReadNorWaitedFor)
{
    StartHost();
    ProcessResult piped = ValidateWithin("<kuid:400001:162>");
    EXPECT_EQ(piped.exitCode, 0);
    const std::vector<std::string> lines = Lines(piped.out);
    ASSERT_EQ(lines.size(), 2u) << piped.out;
    EXPECT_NE(lines[0].find(" : The texture 'pipe.bmp' cannot be loaded."), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "OK (1 Errors, 0 Warnings)");
    // The host goes on serving.
    ProcessResult clean = ValidateWithin("<kuid:400001:103>");
    EXPECT_EQ(clean.out, "OK (0 Errors, 0 Warnings)\n");
}

namespace {

// Assets of the sample's kinds whose folders hold what the texture check
// must look at: images of every format the engine's bitmap loads, some not
// loading or of the wrong size; a folder beside the asset whose name begins
// with the asset folder's, reached by ".." and through a link; and scenery
// by the track, which has a kind of its own.
class ValidateImagesTest : public ValidateThroughHostTest {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        const std::string identity = "username \"Shed\"\ncategory-class \"BD\"\nkestro-build 3.2\n";
        const auto pixels = [](uint32_t w, uint32_t h) { return std::vector<uint32_t>(size_t{w} * h, 0xFF808080u); };
        const std::pair<std::string, std::string> files[] = {
            {"good.png", imagefiles::Png(8, 4, pixels(8, 4))},
            {"photo.jpg", imagefiles::Jpeg(16, 16, pixels(16, 16))},
            {"mask.png", imagefiles::Png(16, 16, pixels(16, 16))},
            {"junk.png", "not an image"},
            {"junk.jpg", "not an image"},
            {"wide.png", imagefiles::Png(300, 256, pixels(300, 256))},
            {"p.png", imagefiles::Png(256, 128, pixels(256, 128))},
            {"a.png", imagefiles::Png(256, 256, pixels(256, 256))},
        };
        for (const auto& [name, bytes] : files)
            root_.Write("local/images/" + name, bytes);
        // Each description beside its compiled texture.
        for (const char* description : {"good:Primary=good.png", "photo:Primary=photo.jpg\nAlpha=mask.png",
                                        "junkpng:Primary=junk.png", "junkjpg:Alpha=junk.jpg", "wide:Primary=wide.png",
                                        "pair:Primary=p.png\nAlpha=a.png"}) {
            const std::string text(description);
            const std::string body = "local/images/" + text.substr(0, text.find(':'));
            root_.Write(body + ".texture.txt", text.substr(text.find(':') + 1) + "\n");
            root_.Write(body + ".texture", "compiled");
        }
        root_.Write("local/images/config.txt", "kuid <kuid:400001:163>\nkind \"buildable\"\n" + identity);
        root_.Write("local/trackside/config.txt",
                    "kuid <kuid:400001:164>\nkind \"scenery\"\ntrackside 2.5\n" + identity);
        root_.Write("local/prefix/config.txt", "kuid <kuid:400001:165>\nkind \"buildable\"\n" + identity);
        root_.Write("local/prefix2/config.txt", "kuid <kuid:400001:166>\nkind \"buildable\"\n" + identity);
        root_.Write("local/prefix2/x.tga", imagefiles::Tga(4, 4, pixels(4, 4)));
        for (const char* body : {"climb", "near"})
            root_.Write(std::string("local/prefix/") + body + ".texture", "compiled");
        root_.Write("local/prefix/climb.texture.txt", "Primary=../prefix2/x.tga\n");
        root_.Write("local/prefix/near.texture.txt", "Primary=ln/x.tga\n");
        fs::create_directory_symlink("../prefix2", root_ / "local/prefix/ln");
        ValidateThroughHostTest::SetUp();
    }

    // The findings in order of their text, then the summary.
    std::vector<std::string> Findings(const char* kuid)
    {
        ProcessResult r = Validate(kuid);
        EXPECT_EQ(r.exitCode, 0) << kuid;
        std::vector<std::string> lines = Lines(r.out);
        if (!lines.empty())
            std::sort(lines.begin(), lines.end() - 1);
        return lines;
    }
};

}  // namespace

TEST_F(ValidateImagesTest, EveryImageTheEngineLoadsIsLoadedAndMeasured)
{
    StartHost();
    EXPECT_EQ(Findings("<kuid:400001:163>"),
              (std::vector<std::string>{"- <kuid:400001:163> : The image 'wide.png' has a side that is not a power of two.",
                                        "- <kuid:400001:163> : The images of 'pair.texture.txt' differ in size.",
                                        "- <kuid:400001:163> : The texture 'junk.jpg' cannot be loaded.",
                                        "- <kuid:400001:163> : The texture 'junk.png' cannot be loaded.",
                                        "OK (4 Errors, 0 Warnings)"}));
}

TEST_F(ValidateImagesTest, AFolderBesideTheAssetWhoseNameBeginsWithItsNameIsOutsideIt)
{
    StartHost();
    EXPECT_EQ(Findings("<kuid:400001:165>"),
              (std::vector<std::string>{
                  "- <kuid:400001:165> : The image '../prefix2/x.tga' named by 'climb.texture.txt' does not exist.",
                  "- <kuid:400001:165> : The image 'ln/x.tga' named by 'near.texture.txt' does not exist.",
                  "OK (2 Errors, 0 Warnings)"}));
}

TEST_F(ValidateImagesTest, SceneryByTheTrackHasAKindOfItsOwn)
{
    StartHost();
    EXPECT_EQ(Findings("<kuid:400001:164>"), std::vector<std::string>{"OK (0 Errors, 0 Warnings)"});
}

namespace {

// An asset whose config holds large containers: undefined tags at the top
// (each an error), a kuid table, and mesh-table entries that name no mesh
// (each a warning and two errors), laid out with the sample data root.
class LargeAssetThroughHostTest : public ValidateThroughHostTest {
protected:
    static constexpr int kTags = 100000;
    static constexpr int kKUIDs = 100000;
    static constexpr int kEntries = 20000;

    void SetUp() override
    {
        std::string config = "kuid <kuid:400001:170>\nusername \"Large\"\nkind \"traincar\"\n"
                             "category-class \"VE;WAG\"\nkestro-build 3.2\n";
        for (int i = 0; i < kTags; ++i)
            config.append("undefined-tag-").append(std::to_string(i)).append(" 1\n");
        config += "kuid-table\n{\n";
        for (int i = 0; i < kKUIDs; ++i)
            config.append("  ").append(std::to_string(i)).append(" <kuid:400001:104>\n");
        config += "}\nmesh-table\n{\n";
        for (int i = 0; i < kEntries; ++i) {
            config.append("  e").append(std::to_string(i)).append("\n  {\n    auto-create 1\n");
            if (i > 0)
                config.append("    att-parent \"e").append(std::to_string(i - 1)).append("\"\n");
            config += "  }\n";
        }
        config += "}\n";
        root_.Write("local/large/config.txt", config);
        ValidateThroughHostTest::SetUp();
    }
};

}  // namespace

// Validation costs in proportion to the config: each of these containers
// used to cost time in the square of its size, minutes in all. The bound
// is generous for a loaded machine and a sanitised build.
TEST_F(LargeAssetThroughHostTest, HugeContainersAreValidatedInGoodTimeWithEveryFindingInOrder)
{
    StartHost();
    const ProcessResult result =
        RunToolWithin(Root(), toolOutput_.Path(), {"validate", "<kuid:400001:170>"}, std::chrono::seconds(120));
    EXPECT_EQ(result.exitCode, 0);

    // The walk's findings in the config's order, then the export's.
    std::vector<std::string> expected;
    for (int i = 0; i < kTags; ++i)
        expected.push_back("- The container 'undefined-tag-" + std::to_string(i) + "' is not allowed in 'traincar'.");
    for (int i = 0; i < kEntries; ++i)
        expected.push_back("! The required tag 'mesh' is missing.");
    for (int i = 0; i < kEntries; ++i) {
        const std::string entry = "'e" + std::to_string(i) + "'";
        expected.push_back("- The tag 'mesh' in " + entry + " has an empty value.");
        expected.push_back("- The tag 'mesh' in " + entry + " names a file that is not a mesh.");
    }
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), expected.size() + 1) << result.err;
    EXPECT_EQ(lines.back(), "OK (" + std::to_string(kTags + 2 * kEntries) + " Errors, " +
                                std::to_string(kEntries) + " Warnings)");
    lines.pop_back();
    // Only the severity and the text are compared, not the asset named.
    for (std::string& line : lines) {
        const size_t text = line.find(" : ");
        ASSERT_NE(text, std::string::npos) << line;
        line = line.substr(0, 2) + line.substr(text + 3);
    }
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(lines[i], expected[i]) << "line " << i;
}

TEST_F(ValidateThroughHostTest, ValidateStartsTheCommandHostItselfAndTheStandInEndsIt)
{
    // No command host is registered: the stand-in starts the tool beside it
    // as one, and the findings are the host's.
    ProcessResult faulty = Validate("<kuid:400001:150>");
    EXPECT_EQ(faulty.exitCode, 0);
    const std::vector<std::string> lines = Lines(faulty.out);
    ASSERT_EQ(lines.size(), 4u) << faulty.out;
    EXPECT_NE(lines[0].find(" : The container 'frobnicate' is not allowed in 'traincar'."), std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[3], "OK (2 Errors, 1 Warnings)");
    // The same host serves the next one.
    const std::vector<pid_t> hosts = ProcessesOf(Root() + "/bin/KestroUtil");
    EXPECT_EQ(hosts.size(), 1u);
    EXPECT_EQ(Validate("<kuid:400001:101>").out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(ProcessesOf(Root() + "/bin/KestroUtil"), hosts);

    KADClient::CloseDaemon();
    EXPECT_TRUE(WaitFor([&]() { return ProcessesOf(Root() + "/bin/KestroUtil").empty(); }, std::chrono::seconds(60)));
}

TEST_F(ValidateThroughHostTest, AHostKilledPartWayFailsTheValidationAndTheNextGetsANewHost)
{
    // A first validation has the stand-in start its host.
    EXPECT_EQ(Validate("<kuid:400001:101>").out, "OK (0 Errors, 0 Warnings)\n");
    const std::vector<pid_t> hosts = ProcessesOf(Root() + "/bin/KestroUtil");
    ASSERT_EQ(hosts.size(), 1u);
    // Stopped, the host is sent the next job and never answers it; killed
    // then, it dies part-way through the job, as a crash in it would.
    ASSERT_EQ(::kill(hosts[0], SIGSTOP), 0);
    const size_t jobs = CountLines(TracePath(), "out note 1 ");
    const pid_t tool = StartToolProcess(Root(), toolOutput_.Path(), {"validate", "<kuid:400001:103>"});
    ASSERT_GT(tool, 0);
    const bool sent =
        WaitFor([&]() { return CountLines(TracePath(), "out note 1 ") > jobs; }, std::chrono::seconds(60));
    ::kill(hosts[0], SIGKILL);
    ProcessResult cut = FinishToolProcess(tool, toolOutput_.Path(), "validate", std::chrono::seconds(120));
    ASSERT_TRUE(sent);
    ASSERT_NE(cut.out.find(" : "), std::string::npos) << cut.out;
    EXPECT_EQ(cut.out.substr(0, 2), "- ");
    EXPECT_EQ(cut.out.substr(cut.out.find(" : ") + 3),
              "The command host ended before it finished validating the asset.\nOK (1 Errors, 0 Warnings)\n");

    ProcessResult next = Validate("<kuid:400001:101>");
    EXPECT_EQ(next.out, "OK (0 Errors, 0 Warnings)\n");
}
