// The check's entry (kind rules, kind definitions, alias), the typing of
// value tags and the template lookups, against the test definitions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/walk/WalkTestSupport.h"

namespace {

using tetlibtest::Thing;
using Lines = std::vector<std::string>;

class ContainerCheckTest : public tetlibtest::WalkFixture {};

TEST_F(ContainerCheckTest, TheKindRulesChooseTheDefinition)
{
    struct Case {
        std::string config;
        const char* type;  // empty: the check stops before the set-up
        Lines findings;
    };
    const Case cases[] = {
        {"kind \"bridge\"\nheight 0\n", "double-track", {}},
        {"kind \"bridge\"\nheight 0.001\n", "double-track", {}},
        {"kind \"bridge\"\nheight -0.001\n", "double-track", {}},
        {"kind \"bridge\"\nheight 0.002\n", "tunnel", {}},
        {"kind \"bridge\"\nheight -0.002\n", "bridge", {}},
        {"kind \"track\"\nkestro-build 2.8\nchunky_mesh 1\nunit_mesh 1\n", "chunky-track", {}},
        {"kind \"track\"\nkestro-build 2.8\nunit_mesh 1\n", "mesh-reducing-track", {}},
        {"kind \"track\"\nkestro-build 2.89\n", "obsolete-track", {}},
        {"kind \"track\"\nkestro-build 2.9\nchunky_mesh 1\nunit_mesh 1\n", "track", {}},
        {"kind \"scenery\"\ntrackside 2\n", "scenery-trackside", {}},
        {"kind \"THING\"\nkuid <kuid:1:1>\nusername \"u\"\n", "THING", {}},
        {"kind \"flat\"\n", "", {"3 The asset's kind has no definition."}},
        {"kind \"\"\n", "", {"3 The config has no 'kind' tag."}},
        {"username \"u\"\n", "", {"3 The config has no 'kind' tag."}},
        {"kind \"thing\"\nkuid <kuid:1:1>\nusername \"u\"\nalias <kuid:1:2>\n", "thing",
         {"2 The config has an 'alias' tag.", "3 The container 'alias' is not allowed in 'thing'."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        bool valid = true;
        auto container = Checked(c.config, &valid);
        EXPECT_EQ(container->GetTypeName().Str(), c.type);
        EXPECT_EQ(container->GetName().Str(), c.type);
        if (*c.type == 0) {
            EXPECT_FALSE(valid);
            EXPECT_EQ(Findings(), c.findings);
        } else if (c.type == std::string("thing") || c.type == std::string("THING")) {
            EXPECT_EQ(Findings(), c.findings);
        }
    }
    EXPECT_TRUE(TETLib::DataManager::Instance().alias);
    // The stored build carries its margin: 2.89 was read as 2.891.
    Checked("kind \"track\"\nkestro-build 2.89\n");
    EXPECT_FLOAT_EQ(TETLib::DataManager::Instance().assetBuild, 2.891f);
}

TEST_F(ContainerCheckTest, TypingChecksAndFillsValues)
{
    TETLib::DataManager::Instance().GetPersonalDetails().author = Nyx::PString("A. Builder");
    auto top = Checked(Thing("flag \"true\"\nmount \"\"\nanchor \"x\"\nchoice \"x\"\nnumber \"3\"\nasset \"\"\n"
                             "colour \"blue;GREEN\"\npick \"blue\"\n"));
    EXPECT_EQ(Findings(), Lines{"2 The tag 'flag' in 'thing' should be 0 or 1."});
    struct Expected {
        const char* name;
        const char* value;
        int32_t type;
    };
    const Expected expected[] = {
        {"flag", "true", TETLib::kTypeBool},        {"mount", "", TETLib::kTypeCombobox},
        {"anchor", "x", TETLib::kTypeCombobox},     {"choice", "", TETLib::kTypeCombobox},
        {"number", "", TETLib::kTypeIntCombobox},   {"asset", "<NULL>", TETLib::kTypeKUID},
        {"colour", "blue;GREEN", TETLib::kTypeListbox}, {"pick", "", TETLib::kTypeCombobox},
        {"kestro-build", "3", TETLib::kTypeFloat},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const TETLib::Tag* tag = FindTag(*top, e.name);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->value.Str(), e.value);
        EXPECT_EQ(tag->valueType, e.type);
        EXPECT_EQ(tag->owner, top.get());
    }
    // Attachment choices go to the data manager's lists, by "unique".
    const TETLib::DataManager& manager = TETLib::DataManager::Instance();
    EXPECT_EQ(manager.GetTagList9(), std::vector<TETLib::Tag*>{const_cast<TETLib::Tag*>(FindTag(*top, "mount"))});
    EXPECT_EQ(manager.GetTagList8(), std::vector<TETLib::Tag*>{const_cast<TETLib::Tag*>(FindTag(*top, "anchor"))});
    EXPECT_TRUE(FindTag(*top, "mount")->hasSource);
    // Tags made from the template alone take the personal details, and
    // the config's own tags replace them.
    Lines optional;
    for (const auto& tag : top->GetOptionalTags()) {
        optional.push_back(tag->name.Str());
        if (tag->name.View() == "author") {
            EXPECT_EQ(tag->value.Str(), "A. Builder");
        }
    }
    EXPECT_EQ(optional,
              (Lines{"category-era", "category-class", "category-region", "description", "author", "wheel0", "axle0"}));
    top.reset();
    EXPECT_TRUE(manager.GetTagList8().empty());
    EXPECT_TRUE(manager.GetTagList9().empty());
}

TEST_F(ContainerCheckTest, UndefinedTagsAreReportedByBuild)
{
    struct Case {
        const char* build;
        const char* tag;
        Lines results;
    };
    const Case cases[] = {
        {"2.8", "category-era-x", {"2 The tag 'category-era-x' in 'thing' is obsolete."}},
        {"2.9", "category-region-x", {"3 The tag 'category-region-x' in 'thing' is obsolete."}},
        {"3.0", "category-era-x", {"3 The tag 'category-era-x' in 'thing' is obsolete."}},
        {"2.4", "rem", {}},
        {"2.4", "!", {}},
        // The upgrade of an old config drops "rem" and ";" before the walk.
        {"2.5", "!", {"3 The container '!' is not allowed in 'thing'."}},
        {"3.0", "frobnicate", {"3 The container 'frobnicate' is not allowed in 'thing'."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " in " + c.build);
        EXPECT_EQ(Validate(Thing(std::string(c.tag) + " \"x\"\n", c.build)), c.results);
    }
}

TEST_F(ContainerCheckTest, TemplateLookups)
{
    TETLib::DataManager::Instance().LoadDefinitions();
    TETLib::Container container;
    const ChunkRef numbered = container.GetDefinition(Nyx::PString("numbered"));
    ASSERT_TRUE(numbered);
    const auto entryName = [&](const ChunkRef& entry) {
        const ChunkRef subs = TDBContainerTag::GetChildContainer(numbered, Nyx::PString("subpossibilities"));
        for (uint32_t i = 0; i < subs.ChildCount(); ++i)
            if (TDBContainerTag::GetChildContainerAt(subs, i) == entry)
                return TDBContainerTag::GetChildName(subs, i).Str();
        return std::string(entry ? "?" : "");
    };
    const std::pair<const char*, const char*> lookups[] = {
        {"first", "first"}, {"7", "second"}, {"0", "second"}, {"-3", "second"}, {"x7", ""}, {"00", ""},
    };
    for (const auto& [name, found] : lookups)
        EXPECT_EQ(entryName(container.FindSubpossibility(numbered, Nyx::PString(name))), found) << name;

    const ChunkRef effect = TDBContainerTag::GetChildContainer(
        TDBContainerTag::GetChildContainer(container.GetDefinition(Nyx::PString("thing")),
                                           Nyx::PString("subpossibilities")),
        Nyx::PString("effect"));
    const std::pair<const char*, const char*> types[] = {
        {"fancy", "effect-fancy"}, {"plain", "effect-plain"}, {"effect", "effect-plain"}, {"zzz", "effect-plain"},
    };
    for (const auto& [kind, type] : types)
        EXPECT_EQ(container.MatchContainerType(effect, Nyx::PString(kind)).Str(), type) << kind;

    EXPECT_EQ(container.GetCompulsoryElementNames(container.GetDefinition(Nyx::PString("identity"))),
              (std::vector<Nyx::PString>{Nyx::PString("kuid"), Nyx::PString("username")}));

    // A listbox value passes when any of its tokens is a choice, in any case.
    ChunkRef spec;
    TDBContainerTag::SetString(spec, Nyx::PString("source"), Nyx::PString("colours"));
    const std::pair<const char*, bool> values[] = {{"blue;GREEN", true}, {"red", true}, {"blue", false}, {"", false}};
    for (const auto& [value, possible] : values)
        EXPECT_EQ(container.IsListboxPossibility(Nyx::PString(value), spec), possible) << value;

    // Identity tags in any capitalisation are kept apart until moved first.
    for (const char* name : {"flag", "UserName", "KUID"}) {
        auto tag = std::make_unique<TETLib::Tag>();
        tag->name = Nyx::PString(name);
        container.AddTag(std::move(tag));
    }
    EXPECT_EQ(TagNames(container.GetTags()), Lines{"flag"});
    TETLib::Container::MoveIdentityTagsFirst(container);
    EXPECT_EQ(TagNames(container.GetTags()), (Lines{"UserName", "KUID", "flag"}));
}

}  // namespace
