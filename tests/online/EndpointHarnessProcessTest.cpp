// The harness's endpoint mode as a process started as the tool starts, in a
// laid-out data root whose stand-in daemon holds the profile and the
// ticket, against the Python stand-in of the service.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "cli/ToolProcess.h"
#include "online/OnlineStandInServer.h"

namespace {

namespace fs = std::filesystem;

class EndpointHarnessProcessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        const fs::path root = root_.Path();
        fs::copy_file(fs::read_symlink("/proc/self/exe").parent_path() / "scriptapi-harness",
                      root / "bin/scriptapi-harness");
        std::ofstream(root / "kaddaemon-state.txt") << "online-profile \"ann\"\r\nonline-ticket \"t-1\"\r\n";
    }

    // Sends one command; the answer line, log lines before it collected.
    std::string Ask(onlinetest::LineProcess& harness, const std::string& command)
    {
        EXPECT_TRUE(harness.Write(command));
        for (;;) {
            std::string line = harness.ReadLine();
            if (line.empty() || line.rfind("= ", 0) == 0)
                return line;
            log_ += line + "\n";
        }
    }

    // Updates the endpoint until `done` holds, within a wall-time bound
    // generous for a loaded machine. Each update moves the tool's clock on
    // by 0.01 s, and the updates are paced so that this clock keeps to
    // about real time: the stand-in's answers take real time, and a clock
    // that raced ahead would reach the endpoint's resend and link timeouts.
    template <class Done>
    bool UpdateUntil(onlinetest::LineProcess& harness, Done done)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            std::string status = Ask(harness, "update 0.01");
            if (status.empty())
                return false;  // the harness ended
            if (done(status))
                return true;
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    onlinetest::ServicePortLock port_;
    std::string log_;
};

TEST_F(EndpointHarnessProcessTest, LogsInExchangesMessagesAndKeepsTheUndelivered)
{
    onlinetest::OnlineStandInServer online(output_ / "record.jsonl");
    ASSERT_TRUE(online.Ready());
    onlinetest::LineProcess harness({root_.Path() + "/bin/scriptapi-harness", "endpoint"}, root_.Path() + "/elsewhere");

    EXPECT_EQ(Ask(harness, "url http://a:b@h:1/p?q"), "= url http|a|b|h|1|/p|?q|http://a:b@h:1/p?q");
    EXPECT_EQ(Ask(harness, "send 40"), "= result 1");
    ASSERT_EQ(Ask(harness, "connect"), "= connect 1");
    std::string status;
    ASSERT_TRUE(UpdateUntil(harness, [&](const std::string& answer) {
        status = answer;
        return answer == "= status 7";
    })) << status << "\n" << log_;

    EXPECT_EQ(Ask(harness, "send 100"), "= result 0");
    EXPECT_EQ(Ask(harness, "send 32001"), "= result 4");
    ASSERT_EQ(online.Command("message 5 6 1 later"), "ok");
    UpdateUntil(harness, [&](const std::string&) { return log_.find("Storing iKestro message") != std::string::npos; });
    EXPECT_NE(log_.find("OnlineAccessClientEndpoint::HandlePacket> Storing iKestro message for <kuid2:5:6:1>"),
              std::string::npos)
        << log_;
    EXPECT_EQ(Ask(harness, "save-store"), "= stored 1");
    EXPECT_GT(fs::file_size(root_ / "cache/oa_messages.dat"), 8u);
    EXPECT_EQ(Ask(harness, "load-store"), "= stored 1");
    EXPECT_EQ(Ask(harness, "quit"), "= bye");
    EXPECT_EQ(harness.Wait(), 0);

    // The message body went out as sent: 100 bytes behind the link's two.
    bool sent = false;
    for (const std::string& d : online.Received())
        sent = sent || (d.size() == 102 && d[2] == 11);
    EXPECT_TRUE(sent);
}

}  // namespace
