// The harness's endpoint mode as a process started as the tool starts, in a
// laid-out data root whose stand-in daemon holds the profile and the
// ticket, against the Python stand-in of the service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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
    for (int i = 0; i < 400 && status != "= status 7"; ++i)
        status = Ask(harness, "update 0.01");
    ASSERT_EQ(status, "= status 7") << log_;

    EXPECT_EQ(Ask(harness, "send 100"), "= result 0");
    EXPECT_EQ(Ask(harness, "send 32001"), "= result 4");
    ASSERT_EQ(online.Command("message 5 6 1 later"), "ok");
    for (int i = 0; i < 400 && log_.find("Storing iKestro message") == std::string::npos; ++i)
        Ask(harness, "update 0.01");
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
