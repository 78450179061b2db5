// The stand-in's command host: jobs handed to the connection that sent
// request 140 and its requests 141 handed back to the askers. The host here
// is a raw connection scripted by the test; the askers are the client.
#include "kaddaemon/CommandHostRequests.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/results/ResultsLog.h"
#include "kad/requests/KADRequests.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/CommandHostLauncher.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/RawDaemonClient.h"
#include "kaddaemon/StoreRequests.h"
#include "support/ResultsForm.h"
#include "support/TempFolder.h"

namespace {

using namespace clienttest;
using resultstest::Results;

// A raw connection registered as the command host. Jobs (notes) and the
// replies to its own requests arrive on the one connection in any order.
class ScriptedHost {
public:
    bool Register(uint16_t port, const std::string& root)
    {
        return raw_.Connect(port) && raw_.Handshake(root) && raw_.SendRequest(140, 1, "") && AwaitReply(1);
    }
    // The next job the host receives.
    std::string NextJob()
    {
        while (jobs_.empty()) {
            if (!ReadOne())
                return "(connection lost)";
        }
        std::string job = jobs_.front();
        jobs_.erase(jobs_.begin());
        return job;
    }
    bool Answer(uint32_t id, const std::string& answer) { return raw_.SendRequest(141, id, answer) && AwaitReply(id); }
    RawDaemonClient& Raw() { return raw_; }

private:
    bool AwaitReply(uint32_t id)
    {
        while (std::find(replies_.begin(), replies_.end(), id) == replies_.end()) {
            if (!ReadOne())
                return false;
        }
        return true;
    }
    bool ReadOne()
    {
        uint32_t tag = 0, second = 0;
        std::string payload;
        if (!raw_.ReadFrame(tag, second, payload))
            return false;
        if (tag == DaemonWire::kTagNote) {
            EXPECT_EQ(second, 1u) << "a note of another kind";
            jobs_.push_back(payload);
        } else {
            replies_.push_back(second);
        }
        return true;
    }

    RawDaemonClient raw_;
    std::vector<std::string> jobs_;
    std::vector<uint32_t> replies_;
};

class CommandHostRequestsTest : public StandInClient {
protected:
    CommandHostRequestsTest() : store_(std::make_shared<kaddaemon::AssetStore>(root_))
    {
        EXPECT_TRUE(store_->Open());
        kaddaemon::RegisterStoreRequests(server_.Requests(), store_);
        kaddaemon::RegisterCommandHostRequests(server_.Requests(), root_, true);
    }

    std::unique_ptr<ScriptedHost> RegisterHost()
    {
        auto host = std::make_unique<ScriptedHost>();
        EXPECT_TRUE(host->Register(server_.Port(), root_));
        return host;
    }

    static uint32_t HostState()
    {
        std::string reply;
        EXPECT_TRUE(Call(testrequest::kCommandHostState, "", &reply));
        return ReadU32(reply);
    }

    std::shared_ptr<kaddaemon::AssetStore> store_;
};

}  // namespace

TEST_F(CommandHostRequestsTest, JobsGoToTheHostInOrderAndEachAnswerBackToItsAsker)
{
    Serve();
    ASSERT_TRUE(StartClient());
    EXPECT_EQ(HostState(), 0u);
    std::string reply;
    ASSERT_TRUE(Call(testrequest::kCommandHostJob, U32(7), &reply));
    EXPECT_EQ(reply, U32(testrequest::kJobNoHost));

    std::unique_ptr<ScriptedHost> host = RegisterHost();
    EXPECT_EQ(HostState(), 1u);

    // Three askers on the client's one connection, which the stand-in serves
    // a request at a time: each answer finds its own asker.
    constexpr int kAskers = 3;
    std::string replies[kAskers];
    std::vector<std::thread> askers;
    for (int i = 0; i < kAskers; ++i)
        askers.emplace_back([&, i]() { Call(testrequest::kCommandHostJob, "job " + std::to_string(i), &replies[i]); });
    for (int i = 0; i < kAskers; ++i) {
        std::string job = host->NextJob();
        EXPECT_TRUE(host->Answer(10 + i, "answer to " + job));
    }
    for (std::thread& t : askers)
        t.join();
    for (int i = 0; i < kAskers; ++i)
        EXPECT_EQ(replies[i], U32(testrequest::kJobAnswered) + "answer to job " + std::to_string(i));

    // An answer nobody asked for is dropped.
    EXPECT_TRUE(host->Answer(20, "unasked"));
    ASSERT_TRUE(Call(testrequest::kEcho, "still here", &reply));
    EXPECT_EQ(reply, "still here");
}

// The index of the first of the clients with bytes to read, within a
// generous wall-time bound; -1 when none has any by then.
static int FirstReadable(RawDaemonClient* clients, int count)
{
    std::vector<pollfd> fds;
    for (int i = 0; i < count; ++i)
        fds.push_back({clients[i].Fd(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 30000) <= 0)
        return -1;
    for (int i = 0; i < count; ++i) {
        if (fds[i].revents != 0)
            return i;
    }
    return -1;
}

TEST_F(CommandHostRequestsTest, AskersOnConnectionsOfTheirOwnAreAnsweredOldestFirst)
{
    Serve();
    std::unique_ptr<ScriptedHost> host = RegisterHost();
    constexpr int kAskers = 3;
    RawDaemonClient askers[kAskers];
    for (int i = 0; i < kAskers; ++i) {
        ASSERT_TRUE(askers[i].Connect(server_.Port()));
        ASSERT_TRUE(askers[i].Handshake(root_));
        ASSERT_TRUE(askers[i].SendRequest(testrequest::kCommandHostJob, 50 + i, "job " + std::to_string(i)));
        // The job has reached the host before the next asker asks.
        ASSERT_EQ(host->NextJob(), "job " + std::to_string(i));
    }
    // All of them wait; each answer goes to the one that has waited longest.
    for (int i = 0; i < kAskers; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(host->Answer(70 + i, "answer " + std::to_string(i)));
        ASSERT_EQ(FirstReadable(askers + i, kAskers - i), 0);
        uint32_t tag = 0, id = 0;
        std::string reply;
        ASSERT_TRUE(askers[i].ReadFrame(tag, id, reply));
        EXPECT_EQ(id, 50u + i);
        EXPECT_EQ(reply, U32(testrequest::kJobAnswered) + "answer " + std::to_string(i));
    }
}

TEST_F(CommandHostRequestsTest, ValidationGoesToTheHostAsJob0WithTheAbsoluteFolder)
{
    Serve();
    ASSERT_TRUE(StartClient());
    std::unique_ptr<ScriptedHost> host = RegisterHost();

    struct Case {
        const char* folder;
        std::string answer;
        bool valid;
        std::vector<std::string> texts;
    } cases[] = {
        {"local/abc", Results({{3, "bad texture"}, {2, "odd mesh"}}) + std::string(1, '\1'), true,
         {"bad texture", "odd mesh"}},
        {"/elsewhere/def", Results({}) + std::string(1, '\0'), false, {}},
        // An answer cut short: no results, and the verdict reads as 0.
        {"local/ghi", "", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ResultsLog log;
        bool valid = !c.valid;
        std::thread asker([&]() {
            valid = KADRequests::ValidateAsset(Nyx::PString("archive"), Nyx::File::Path(c.folder), &log);
        });
        Bytes job(host->NextJob());
        uint32_t id;
        Nyx::String archive, folder;
        job.Stream().ReadInt32(id, 99u);
        job.Stream().ReadString(archive);
        job.Stream().ReadString(folder);
        EXPECT_EQ(job.Stream().GetError(), 0u);
        EXPECT_EQ(id, 0u);
        EXPECT_STREQ(archive.c_str(), "");
        const std::string wanted = c.folder[0] == '/' ? std::string(c.folder) : root_ + "/" + c.folder;
        EXPECT_EQ(std::string(folder.c_str()), wanted);
        EXPECT_TRUE(host->Answer(30, c.answer));
        asker.join();
        EXPECT_EQ(valid, c.valid);
        EXPECT_EQ(Texts(log), c.texts);
    }
}

TEST_F(CommandHostRequestsTest, AHostThatLeavesFailsItsJobsAndAValidationItLeftFailsWithAnError)
{
    Serve();
    ASSERT_TRUE(StartClient());
    std::unique_ptr<ScriptedHost> host = RegisterHost();
    std::string reply;
    std::thread asker([&]() { Call(testrequest::kCommandHostJob, "never answered", &reply); });
    EXPECT_EQ(host->NextJob(), "never answered");
    host.reset();
    asker.join();
    EXPECT_EQ(reply, U32(testrequest::kJobHostLeft));
    ASSERT_TRUE(WaitFor([]() { return HostState() == 0; }));

    // A validation the host leaves part-way is no pass.
    host = RegisterHost();
    ResultsLog log;
    bool valid = true;
    std::thread validation([&]() {
        valid = KADRequests::ValidateAsset(Nyx::PString(""), Nyx::File::Path(root_ + "/local/a"), &log);
    });
    EXPECT_EQ(ReadU32(host->NextJob()), 0u);
    host.reset();
    validation.join();
    EXPECT_FALSE(valid);
    EXPECT_EQ(Texts(log), std::vector<std::string>{"The command host ended before it finished validating the asset."});
}

// Validations of askers on connections of their own that the host took
// and then left: each asker is told, on its own request, that its
// validation failed; none passes, none hears of another's folder.
TEST_F(CommandHostRequestsTest, EachValidationTheHostLeftFailsOnItsOwnRequest)
{
    Serve();
    std::unique_ptr<ScriptedHost> host = RegisterHost();
    const char* const folders[] = {"local/a", "local/b"};
    constexpr int kAskers = 2;
    RawDaemonClient askers[kAskers];
    for (int i = 0; i < kAskers; ++i) {
        SCOPED_TRACE(folders[i]);
        Nyx::DynamicBuffer request;
        {
            TBuffer out(&request);
            out.WritePString(Nyx::PString(""));
            out.WriteString(Nyx::AnsiString(folders[i]));
        }
        ASSERT_TRUE(askers[i].Connect(server_.Port()));
        ASSERT_TRUE(askers[i].Handshake(root_));
        ASSERT_TRUE(askers[i].SendRequest(
            38, 90 + i, std::string(reinterpret_cast<const char*>(request.Data()), request.DataLength())));
        // The host has the asker's own folder before the next one asks.
        Bytes job(host->NextJob());
        uint32_t id = 99;
        Nyx::String archive, folder;
        job.Stream().ReadInt32(id, 99u);
        job.Stream().ReadString(archive);
        job.Stream().ReadString(folder);
        EXPECT_EQ(id, 0u);
        EXPECT_EQ(std::string(folder.c_str()), root_ + "/" + folders[i]);
    }
    host.reset();

    for (int i = 0; i < kAskers; ++i) {
        SCOPED_TRACE(folders[i]);
        uint32_t tag = 0, second = 0;
        std::string payload;
        // The failure's results first, for the asker's transaction.
        ASSERT_TRUE(askers[i].ReadFrame(tag, second, payload));
        EXPECT_EQ(tag, DaemonWire::kTagNote);
        EXPECT_EQ(second, 3u);
        Bytes note(payload);
        uint32_t transaction = 0;
        note.Stream().ReadInt32(transaction, 0u);
        EXPECT_EQ(transaction, 90u + i);
        ResultsLog log;
        ReadResults(note.Stream(), log);
        EXPECT_EQ(Texts(log),
                  std::vector<std::string>{"The command host ended before it finished validating the asset."});
        // Then the verdict: not valid.
        ASSERT_TRUE(askers[i].ReadFrame(tag, second, payload));
        EXPECT_EQ(tag, DaemonWire::kTagReply);
        EXPECT_EQ(second, 90u + i);
        EXPECT_EQ(payload, std::string(1, '\0'));
    }
}

TEST_F(CommandHostRequestsTest, AValidationWithNoHostToBeHadFailsWithTheReason)
{
    // The stand-in starts this program as the host; the cases change what
    // is there.
    const std::string program = temp_ / "bin/KestroUtil";
    std::filesystem::create_directories(temp_ / "bin");
    kaddaemon::RegisterCommandHostRequests(server_.Requests(), root_, true, program);
    Serve();
    ASSERT_TRUE(StartClient());
    struct Case {
        const char* what;
        const char* script;  // null: no program
        std::string error;
    } cases[] = {
        {"no program", nullptr, "cannot run " + program},
        {"a program that ends before it registers", "#!/bin/sh\necho \"$1\" > started\nexit 0\n",
         "it ended before it registered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(program);
        if (c.script) {
            std::ofstream(program) << c.script;
            std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        }
        ResultsLog log;
        EXPECT_FALSE(KADRequests::ValidateAsset(Nyx::PString(""), Nyx::File::Path(root_ + "/local/a"), &log));
        EXPECT_EQ(Texts(log), std::vector<std::string>{"No command host could validate the asset: " + c.error + "."});
    }
    // It was started from its own folder, as the command host.
    std::ifstream started(temp_ / "bin/started");
    std::string word;
    started >> word;
    EXPECT_EQ(word, "kadcommandhost");
}

// The host the stand-in started ends when it is asked to, or is killed when
// it will not. Each host says it is ready only once its shell has settled
// what SIGTERM does to it, or a host that will not end could still die of
// the first SIGTERM. End is given the grace and a wide margin: a host it
// never kills would keep it waiting for good.
TEST(CommandHostLauncher, EndsWhatItStartedWithinTheGrace)
{
    TempFolder temp;
    const std::string ready = temp / "ready";
    const std::string sayReady = "echo $$ > " + ready + ".part && mv " + ready + ".part " + ready + "\n";
    struct Case {
        const char* what;
        std::string script;
        int graceMs;
    } cases[] = {
        {"ends when asked", "#!/bin/sh\n" + sayReady + "exec sleep 600\n", 60000},
        {"will not end", "#!/bin/sh\ntrap '' TERM\n" + sayReady + "exec sleep 600\n", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string program = temp / "host";
        std::filesystem::remove(ready);
        std::ofstream(program) << c.script;
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        std::atomic<int> exits{0};
        kaddaemon::CommandHostLauncher launcher(program, [&exits]() { ++exits; });
        std::string error;
        ASSERT_TRUE(launcher.Start(error)) << error;
        EXPECT_TRUE(launcher.Running());
        ASSERT_TRUE(WaitFor([&]() { return std::filesystem::exists(ready); }));
        int pid = 0;
        std::ifstream(ready) >> pid;
        ASSERT_GT(pid, 0);
        std::atomic<bool> ended{false};
        std::thread ender([&]() {
            launcher.End(c.graceMs);
            ended = true;
        });
        const bool inTime = WaitFor([&]() { return ended.load(); }, std::chrono::milliseconds(c.graceMs + 30000));
        if (!inTime)
            ::kill(pid, SIGKILL);  // lets End return, and leaves nothing running
        ender.join();
        EXPECT_TRUE(inTime);
        EXPECT_FALSE(launcher.Running());
        EXPECT_EQ(exits.load(), 1);
        // Collected as well as ended: its id names no process, not even a zombie.
        errno = 0;
        EXPECT_EQ(::kill(pid, 0), -1);
        EXPECT_EQ(errno, ESRCH);
    }
}

TEST_F(CommandHostRequestsTest, TheHostAskingForAJobItselfIsToldThereIsNoHost)
{
    Serve();
    ASSERT_TRUE(StartClient());
    ASSERT_TRUE(Call(140, ""));
    EXPECT_EQ(HostState(), 1u);
    std::string reply;
    ASSERT_TRUE(Call(testrequest::kCommandHostJob, U32(0), &reply));
    EXPECT_EQ(reply, U32(testrequest::kJobNoHost));
}

TEST_F(CommandHostRequestsTest, StoppingTheStandInWithAJobOutstandingDoesNotHang)
{
    Serve();
    ASSERT_TRUE(StartClient());
    std::unique_ptr<ScriptedHost> host = RegisterHost();
    std::atomic<bool> returned{false};
    std::thread asker([&]() {
        Call(testrequest::kCommandHostJob, "never answered");
        returned = true;
    });
    EXPECT_EQ(host->NextJob(), "never answered");
    StopServing();
    asker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(host->Raw().WaitClosed());
}
