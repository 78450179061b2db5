// The stand-in's request 102 asked through the tool's own client: the
// language comes from the state file, and no save of the state loses it.
#include "kaddaemon/SettingRequests.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "kad/requests/KADRequests.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/DaemonState.h"

namespace {

using namespace clienttest;

void WriteState(const std::string& root, const std::string& text)
{
    std::ofstream(root + "/" + kaddaemon::DaemonState::kFileName, std::ios::binary) << text;
}

class SettingRequestsTest : public StandInClient {
protected:
    SettingRequestsTest() { kaddaemon::RegisterSettingRequests(server_.Requests(), root_); }

    void SetUp() override
    {
        Serve();
        ASSERT_TRUE(StartClient());
    }

    static std::string Ask(const char* section, const char* key)
    {
        return KADRequests::GetSetting(Nyx::PString(section), Nyx::PString(key)).Str();
    }
};

TEST_F(SettingRequestsTest, TheLanguageComesFromTheStateFileAndEverythingElseIsEmpty)
{
    struct Case {
        const char* state;  // null: no state file
        const char* section;
        const char* key;
        const char* answer;
    };
    const Case cases[] = {
        {nullptr, "internet", "language", ""},
        {"next-content 4\r\n", "internet", "language", ""},
        {"language \"de\"\r\n", "internet", "language", "de"},
        {"language \"UK\"\r\n", "Internet", "LANGUAGE", "UK"},
        {"language \"de\"\r\n", "internet", "proxy", ""},
        {"language \"de\"\r\n", "display", "language", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        std::remove((root_ + "/" + kaddaemon::DaemonState::kFileName).c_str());
        if (c.state)
            WriteState(root_, c.state);
        EXPECT_EQ(Ask(c.section, c.key), c.answer);
    }
}

TEST(DaemonStateLanguageTest, ASaveKeepsTheLanguage)
{
    TempFolder temp;
    WriteState(temp.Path(), "language \"FR\"\r\nassets\r\n{\r\n}\r\n");
    kaddaemon::DaemonState state;
    std::string error;
    ASSERT_TRUE(state.Load(temp.Path(), error)) << error;
    EXPECT_EQ(state.Language(), "FR");
    ASSERT_TRUE(state.SetKeywords(KUID(1, 2, 0), "coal"));

    kaddaemon::DaemonState again;
    ASSERT_TRUE(again.Load(temp.Path(), error)) << error;
    EXPECT_EQ(again.Language(), "FR");
    ASSERT_NE(again.Find(KUID(1, 2, 0)), nullptr);
}

}  // namespace
