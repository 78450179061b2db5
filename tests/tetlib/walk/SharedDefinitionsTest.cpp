// The definitions tree is shared by every job of the process: no job
// changes it, whatever its configs and however its definitions inherit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/streams/TStream.h"
#include "nyx/base/DynamicBuffer.h"
#include "tetlib/walk/WalkTestSupport.h"

namespace {

using tetlibtest::Thing;

class SharedDefinitionsTest : public tetlibtest::WalkFixture {
protected:
    static std::string DefinitionsText()
    {
        TETLib::DataManager& manager = TETLib::DataManager::Instance();
        manager.LoadDefinitions();
        std::unique_ptr<TBuffer> text = ConfigToTextBuffer(manager.GetDefinitions());
        return std::string(reinterpret_cast<const char*>(text->GetBuffer()->Data()), text->GetBuffer()->DataLength());
    }
};

TEST_F(SharedDefinitionsTest, NoJobChangesTheDefinitions)
{
    const std::string before = DefinitionsText();
    // A definition with rules of its own that inherits more.
    for (const std::string& config : {Thing("flag 1\n"), Thing("body\n{\n  size 1\n}\n"),
                                      Thing("oldtag \"x\"\n", "2.5"), Thing("plainold \"x\"\n", "2.5")}) {
        Validate(config);
        EXPECT_TRUE(DefinitionsText() == before) << config;
    }
}

TEST_F(SharedDefinitionsTest, IdenticalAssetsGetIdenticalResultsInAnyOrder)
{
    const std::vector<std::string> configs = {
        Thing("oldtag \"x\"\nplainold \"y\"\n", "2.5"), Thing("oldtag \"x\"\nplainold \"y\"\n", "3.0"),
        Thing("oldtag \"x\"\n", "2.6"),                     Thing("old-box\n{\n}\nflag 2\n", "2.0"),
        Thing("body\n{\n}\nwheel3 1\n"),                     "kind \"plain-kind\"\nold-box\n{\n}\n",
    };
    std::vector<std::vector<std::string>> forward(configs.size());
    std::vector<std::vector<std::string>> backward(configs.size());
    for (size_t i = 0; i < configs.size(); ++i)
        forward[i] = Validate(configs[i]);
    for (size_t i = configs.size(); i-- > 0;)
        backward[i] = Validate(configs[i]);
    for (size_t i = 0; i < configs.size(); ++i) {
        EXPECT_EQ(forward[i], backward[i]) << configs[i];
        EXPECT_EQ(Validate(configs[i]), forward[i]) << configs[i];
    }
    // An asset of 3.0 finds the entry obsolete even after one of 2.5 took it.
    EXPECT_EQ(forward[1], (std::vector<std::string>{"3 The tag 'oldtag' in 'thing' is obsolete.",
                                                    "3 The tag 'plainold' in 'thing' is obsolete."}));
}

TEST_F(SharedDefinitionsTest, EachAncestorIsMergedOnceAndAnInheritLoopIsLoggedOnce)
{
    const auto loops = [&]() {
        size_t count = 0;
        for (const std::string& line : LogLines())
            count += line.find("inherits itself") != std::string::npos ? 1 : 0;
        return count;
    };
    const std::string before = DefinitionsText();
    struct Case {
        const char* config;
        std::vector<std::string> inherited;
        size_t loopsLogged;
    };
    const Case cases[] = {
        {"kind \"loop-a\"\na-tag \"a\"\nb-tag \"b\"\n", {"loop-b"}, 1},
        {"kind \"loop-a\"\n", {"loop-b"}, 1},
        {"kind \"selfish\"\n", {}, 2},
        {"kind \"diamond\"\n", {"left", "base", "right"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        EXPECT_EQ(Validate(c.config), std::vector<std::string>{});
        auto top = Checked(c.config);
        std::vector<std::string> inherited;
        for (const Nyx::PString& name : top->GetInheritedNames())
            inherited.push_back(name.Str());
        EXPECT_EQ(inherited, c.inherited);
        EXPECT_EQ(loops(), c.loopsLogged);
    }
    EXPECT_TRUE(DefinitionsText() == before);
}

}  // namespace
