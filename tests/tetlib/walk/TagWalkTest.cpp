// The tag walk over configs against the test definitions: what it accepts,
// what it reports and in which order, and the containers and tags it makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tetlib/walk/WalkTestSupport.h"

namespace {

using tetlibtest::Thing;
using Lines = std::vector<std::string>;

class TagWalkTest : public tetlibtest::WalkFixture {};

TEST_F(TagWalkTest, ConfigsGiveTheWalksMessagesInOrder)
{
    struct Case {
        const char* name;
        std::string config;
        Lines results;
        bool valid;
    };
    const Case cases[] = {
        {"a clean config", Thing("flag 1\nwheel5 2\nwheel12 3\n"), {}, true},
        // A missing string tag is written back empty.
        {"compulsory tags missing", "kind \"thing\"\nkestro-build 3.0\n",
         {"2 The required tag 'kuid' is missing.", "2 The required tag 'username' is missing.",
          "3 The tag 'username' in 'thing' has no value."},
         false},
        {"an obsolete container without inheritance is undefined",
         "kind \"plain-kind\"\nkestro-build 3.0\nold-box\n{\n}\n",
         {"3 The container 'old-box' is not allowed in 'plain-kind'."}, false},
        {"an obsolete container with inheritance", Thing("old-box\n{\n}\n"),
         {"2 The tag 'old-box' in 'thing' is obsolete."}, true},
        {"an entry the asset has outlived is obsolete", Thing("oldtag \"x\"\nplainold \"y\"\n", "2.6"),
         {"2 The tag 'oldtag' in 'thing' is obsolete.", "2 The tag 'plainold' in 'thing' is obsolete."}, true},
        {"an entry older than the asset is accepted", Thing("oldtag \"x\"\nplainold \"y\"\n", "2.5"), {}, true},
        {"an old cache container", Thing(".cache\n{\n}\n"),
         {"3 The container '.cache' is not allowed in 'thing'.", "3 The container '.cache' is no longer used."},
         false},
        {"a language description does not stand for the compulsory one",
         "kind \"described\"\nkestro-build 3.0\ndescription-de \"Wagen\"\n",
         {"2 The required tag 'description' is missing.", "3 The tag 'description' in 'described' has no value."},
         false},
        {"numbered tags need a base with a sequence", Thing("axle12 1\nwheel123 2\n"),
         {"3 The container 'axle12' is not allowed in 'thing'.",
          "3 The container 'wheel123' is not allowed in 'thing'."},
         false},
        {"smoke that names a file needs no parameters", Thing("smoke0\n{\n  file \"puff\"\n}\n"), {}, true},
        {"smoke without a file", Thing("smoke1\n{\n  rate 2\n}\n"),
         {"2 The required tag 'lifetime' is missing."}, true},
        {"a failing sub-walk ends the walk", "kind \"thing\"\nlamp\n{\n}\nflag \"maybe\"\n",
         {"3 There is no definition of the container type 'no-such-box'."}, false},
        {"a value entry used as a container", Thing("flag\n{\n}\n"),
         {"3 The template allows no container of the kind 'value' here."}, false},
        {"an element's own compulsory tags", Thing("body\n{\n}\n"), {"2 The required tag 'size' is missing."},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool valid = !c.valid;
        EXPECT_EQ(Validate(c.config, &valid), c.results);
        EXPECT_EQ(valid, c.valid);
        EXPECT_EQ(TETLib::Container::LiveCount(), 0);
        EXPECT_EQ(TETLib::Tag::LiveCount(), 0);
    }
}

TEST_F(TagWalkTest, SubContainersAreNumberedAcrossTheirKindsAndChooseTheirTypes)
{
    auto top = Checked(Thing("effect\n{\n  kind \"fancy\"\n}\nbody\n{\n  size 1\n}\nsmoke0\n{\n  file \"x\"\n}\n"
                             "string-table-de\n{\n  greeting \"hallo\"\n}\n"));
    EXPECT_EQ(Findings(), Lines{});
    struct Expected {
        const char* name;
        const char* type;
    };
    const Expected expected[] = {
        {"effect", "effect-fancy"}, {"body", "box"}, {"smoke0", "smoke"}, {"string-table-de", "strings"},
    };
    ASSERT_EQ(top->GetSubContainers().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const TETLib::Container& sub = *top->GetSubContainers()[i];
        EXPECT_EQ(sub.GetIndex(), static_cast<int32_t>(i));
        EXPECT_EQ(sub.GetName().Str(), expected[i].name);
        EXPECT_EQ(sub.GetTypeName().Str(), expected[i].type);
        EXPECT_EQ(sub.GetParent(), top.get());
        EXPECT_FALSE(sub.IsTopLevel());
    }
    EXPECT_TRUE(top->IsTopLevel());
    EXPECT_EQ(top->GetIndex(), 0);
    // The element's array types: the walk's always, its definition's once;
    // a container type is registered under its parent's name.
    EXPECT_EQ(top->GetSubContainers()[1]->GetAllowedElementTypes(),
              (std::vector<Nyx::PString>{Nyx::PString(), Nyx::PString("box")}));
    const auto* registered = TETLib::DataManager::Instance().FindNamedItems(Nyx::PString("thing"));
    ASSERT_NE(registered, nullptr);
    EXPECT_EQ(*registered, std::vector<TETLib::Container*>{top->GetSubContainers()[0].get()});
}

TEST_F(TagWalkTest, IdentityTagsStandFirstInTheirOrderOfAppearance)
{
    auto top = Checked("flag 1\nkind \"thing\"\nusername \"u\"\nkestro-build 3.0\nkuid <kuid:1:2>\n");
    EXPECT_EQ(TagNames(top->GetTags()), (Lines{"username", "kuid", "flag", "kind", "kestro-build"}));
    EXPECT_TRUE(top->GetIdentityTags().empty());
    EXPECT_EQ(Findings(), Lines{});
}

}  // namespace
