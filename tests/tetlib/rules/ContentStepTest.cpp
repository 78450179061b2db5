// The content step's results: every warning and error it found, also when
// the step passed, and nothing for an empty config.
#include <gtest/gtest.h>

#include "config/results/ResultsLog.h"
#include "kad/ScriptedDaemon.h"
#include "tetlib/rules/RulesTestSupport.h"
#include "tetlib/steps/ValidateAssetContent.h"

namespace {

using Lines = std::vector<std::string>;
using tetlibtest::Ruled;

class ContentStepTest : public tetlibtest::RulesFixture {};

TEST_F(ContentStepTest, FindingsThatDoNotFailTheStepAreShown)
{
    // No daemon answers: the asset is not in the database.
    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> { return std::nullopt; });
    struct Case {
        const char* name;
        std::string body;
        Lines results;
        bool valid;
    };
    const Case cases[] = {
        {"a KUID warning alone", "engine <kuid:400001:100>\n",
         {"2 The asset <kuid:400001:100> is not in the asset database."}, true},
        {"a wrong extension alone", "image \"skin.png\"\n",
         {"3 The tag 'image' in 'ruled' names a file that is not an image."}, false},
        {"an empty choice alone", "pick \"blue\"\n", {"3 The tag 'pick' in 'ruled' has no choice selected."}, false},
        {"nothing at all", "ratio 0.5\n", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool valid = !c.valid;
        EXPECT_EQ(Validate(Ruled(c.body), &valid), c.results);
        EXPECT_EQ(valid, c.valid);
    }
}

TEST_F(ContentStepTest, AnEmptyConfigIsNotChecked)
{
    TETLib::ErrorHandler::Instance()->ReportError(Nyx::PString("left over"));
    TETLib::Container unchecked;
    ResultsLog log;
    EXPECT_TRUE(TETLib::ValidateAssetContent(unchecked, log));
    EXPECT_EQ(tetlibtest::ResultLines(log), Lines{});
    EXPECT_EQ(TETLib::ErrorHandler::Instance()->GetMessages().size(), 1u);
}

}  // namespace
