// The language setting: the code table, and the first load asking the
// daemon for the code (request 102).
#include "tetlib/data/LanguageSelection.h"

#include <gtest/gtest.h>

#include <string>

#include "TETLibTestSupport.h"
#include "core/streams/TStream.h"
#include "kad/requests/KADRequests.h"

namespace {

TEST(LanguageSelectionTest, CodesSelectTheirLocalesWithoutRegardToCase)
{
    struct Case {
        const char* code;
        uint32_t locale;
    };
    const Case cases[] = {
        {"de", 0x0407}, {"UK", 0x0809}, {"us", 0x0C09}, {"ES", 0x0C0A}, {"CH", 0x100C},
        {"Kr", 0x0412}, {"XX", 0x0C09}, {"DEU", 0x0C09}, {"", 0x0C09},   {nullptr, 0x0C09},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TETLib::LocaleIdForLanguageCode(c.code), c.locale) << (c.code ? c.code : "(none)");
}

// What the scripted daemon answers to request 102, and what it was asked.
struct Script {
    bool answers = true;
    std::string reply;
    std::string section;
    std::string key;
    int calls = 0;
};
Script g_script;

bool ScriptedDaemon(uint32_t number, TStream& payload, TStream& reply, KADClientCallback*, ResultsLog*, bool)
{
    if (number != KADRequests::kGetSetting)
        return false;
    ++g_script.calls;
    Nyx::PString section;
    Nyx::PString key;
    payload.ReadPString(section);
    payload.ReadPString(key);
    g_script.section = section.Str();
    g_script.key = key.Str();
    if (!g_script.answers)
        return false;
    reply.WritePString(Nyx::PString(g_script.reply));
    return true;
}

class LanguageSettingTest : public tetlibtest::ValidationDataFixture {
protected:
    void SetUp() override
    {
        ValidationDataFixture::SetUp();
        KADRequests::SetTransport(&ScriptedDaemon);
    }
    void TearDown() override
    {
        KADRequests::SetTransport(nullptr);
        ValidationDataFixture::TearDown();
    }
};

TEST_F(LanguageSettingTest, TheFirstLoadAsksTheDaemonAndRecordsTheLocale)
{
    struct Case {
        bool answers;
        const char* reply;
        uint32_t locale;
    };
    const Case cases[] = {
        {true, "de", 0x0407}, {true, "UK", 0x0809}, {true, "", 0x0C09}, {true, "XX", 0x0C09}, {false, "", 0x0C09},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        g_script = Script();
        g_script.answers = c.answers;
        g_script.reply = c.reply;
        Manager();
        EXPECT_EQ(TETLib::DataManager::Instance().GetLocaleId(), c.locale);
        EXPECT_EQ(g_script.calls, 1);
        EXPECT_EQ(g_script.section, "internet");
        EXPECT_EQ(g_script.key, "language");
        TETLib::DataManager::Destroy();
    }
}

}  // namespace
