// The legacy upgrade, step by step: a config tree in, the golden tree out.
// The category defaults of step 17 are left out of the golden trees unless
// a case is about them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tetlib/container/Container.h"
#include "tetlib/steps/ValidateAssetJob.h"
#include "tetlib/upgrade/LegacyConfigUpgrade.h"
#include "tetlib/upgrade/UpgradeTestSupport.h"

namespace {

using tetlibtest::CompactTree;
using tetlibtest::ReadTree;

constexpr const char* kDefaults[] = {"category-era \"1800s\"", "category-class \"ZX\"", "category-region \"00\""};

std::string WithoutDefaults(std::string tree)
{
    for (const char* line : kDefaults) {
        const std::string text(line);
        for (size_t at; (at = tree.find(text)) != std::string::npos;) {
            size_t end = at + text.size();
            if (end < tree.size() && tree[end] == '|')
                ++end;
            else if (at > 0 && tree[at - 1] == '|')
                --at;
            tree.erase(at, end - at);
        }
    }
    return tree;
}

class LegacyConfigUpgradeTest : public tetlibtest::UpgradeFixture {
protected:
    std::string Upgraded(const std::string& text, bool defaults = false)
    {
        ChunkRef config = ReadTree(text);
        TETLib::UpgradeLegacyConfig(config);
        const std::string out = CompactTree(config);
        return defaults ? out : WithoutDefaults(out);
    }
};

struct Case {
    const char* what;
    const char* in;
    const char* out;
    bool defaults = false;
};

TEST_F(LegacyConfigUpgradeTest, EachStepRewritesTheTree)
{
    const Case cases[] = {
        // 1
        {"a name becomes the user name", "name \"N\"\n", "username \"N\""},
        {"the file name stands in for a user name", "asset-filename \"af\"\n", "username \"af\""},
        {"a user name stays; the old name goes in step 21", "username \"U\"\nname \"N\"\n", "username \"U\""},
        // 2, 14
        {"a map's null region goes", "kind \"map\"\nregion \"x\"\n", "kind \"map\""},
        {"a map's region stays", "kind \"map\"\nregion <kuid:1:2>\n", "kind \"map\"|region <kuid:1:2>"},
        {"Map is not the word map, and is a map ignoring case", "kind \"Map\"\nregion \"x\"\n",
         "kind \"Map\"|region \"x\""},
        {"other kinds lose the region", "kind \"scenery\"\nregion <kuid:1:2>\ntype \"t\"\n", "kind \"scenery\""},
        // 3
        {"cached names go", "thumbnail \"t\"\n.cache 1\n__filename \"f\"\n__dir \"d\"\nkept 1\n", "kept 1"},
        // 4
        {"regions join upper-cased", "category-region-0 \"eu\"\ncategory-region-1 \"na\"\n",
         "category-region \"EU;NA\""},
        {"a single any-region value becomes 00", "category-region-0 \"eu\"\n",
         "category-era \"1800s\"|category-class \"ZX\"|category-region \"00\"", true},
        {"an empty first region is passed over", "category-region-1 \"na\"\n", "category-region \"NA\""},
        {"a gap after the first ends the walk", "category-region-0 \"fr\"\ncategory-region-2 \"na\"\n",
         "category-region-2 \"na\"|category-region \"FR\""},
        // 5
        {"eras end in s", "category-era-0 \"1950\"\ncategory-era-1 \"1960s\"\n", "category-era \"1950s;1960s\""},
        // 6, 7
        {"an empty licence goes", "license \"\"\n", ""},
        {"a licence stays", "license \"free\"\n", "license \"free\""},
        {"two colour fields are too few", "rgb 1,2\n", ""},
        {"three colour fields stay", "rgb 1,2,3\n", "rgb 1,2,3"},
        // 8, 9, 10
        {"libraries are renamed", "scriptlibrary \"s\"\nclasslibrary \"c\"\nscript \"old\"\n",
         "script \"s\"|class \"c\""},
        {"the file name goes", "username \"u\"\nasset-filename \"af\"\n", "username \"u\""},
        // 11
        {"a bogey gets its meshes", "username \"u\"\nkind \"bogey\"\nasset-filename \"bg\"\nlight 1\n",
         "username \"u\"|kind \"bogey\"|mesh-table|{|default|{|mesh \"bg.pm\"|auto-create 1|}|shadow|{|mesh "
         "\"bg_shadow/bg_shadow.pm\"|auto-create 0|}|}"},
        {"a behaviour gets its thumbnail", "kind \"behavior\"\nicon-texture \"i.tga\"\n",
         "kind \"behavior\"|thumbnails|{|0|{|image \"i.tga\"|width 64|height 64|}|}"},
        {"a texture names its texture file",
         "username \"u\"\nkind \"texture\"\nasset-filename \"g\"\nrgb 1,2,3\nlight 1\n",
         "username \"u\"|kind \"texture\"|texture \"g.texture\""},
        {"a mesh loses its light", "kind \"mesh\"\nlight 1\n", "kind \"mesh\""},
        {"a junction lists its modes", "username \"u\"\nkind \"mojunction\"\nasset-filename \"j\"\nmode0 \"Left\"\n",
         "username \"u\"|kind \"mojunction\"|mesh-table|{|left|{|mesh \"Left/Left.im\"|auto-create \"1\"|}|}"},
        {"a crossing loses its track and road",
         "username \"u\"\nkind \"mocrossing\"\nasset-filename \"c\"\nmode0 \"x\"\ntrack <kuid:1:1>\nroad <kuid:1:2>\n",
         "username \"u\"|kind \"mocrossing\"|mesh-table|{|default|{|mesh \"x.im\"|anim \"anim.kin\"|auto-create "
         "1|}|}"},
        {"a traincar gets meshes and bogeys",
         "username \"u\"\nkind \"traincar\"\nasset-filename \"car\"\nbogey <kuid:1:5>\nrunning-numbers\n{\n}\n",
         "username \"u\"|kind \"traincar\"|mesh-table|{|default|{|mesh \"car_body/car_body.pm\"|auto-create "
         "1|}|shadow|{|mesh \"car_shadow/car_shadow.pm\"|auto-create 0|}|}|bogeys|{|0|{|bogey "
         "<kuid:1:5>|reversed 0|}|}"},
        {"a named track loses height and mini", "username \"u\"\nkind \"track\"\nasset-filename \"t\"\nheight 1\nmini 1\n",
         "username \"u\"|kind \"track\""},
        {"an unnamed track keeps them", "kind \"track\"\nheight 1\nmini 1\n", "kind \"track\"|height 1|mini 1"},
        {"a named bridge loses mini", "username \"u\"\nkind \"bridge\"\nasset-filename \"b\"\nheight 1\nmini 1\n",
         "username \"u\"|kind \"bridge\"|height 1"},
        {"scenery loses bendy", "kind \"scenery\"\nbendy 1\n", "kind \"scenery\""},
        {"a buildable gets its mesh", "username \"u\"\nkind \"buildable\"\nasset-filename \"b\"\n",
         "username \"u\"|kind \"buildable\"|mesh-table|{|default|{|auto-create 1|mesh \"b.im\"|effects|{|}|}|}"},
        {"an interior's camera joins the list", "kind \"interior\"\ncamera 1,2,3,4,5\n",
         "kind \"interior\"|cameralist|{|camera0 1,2,3,4,5,0,0|}|cameradefault 0"},
        {"a second camera is numbered after the first",
         "kind \"interior\"\ncameralist\n{\n  camera0 1,1\n}\ncamera 2,2\ncameradefault 1\n",
         "kind \"interior\"|cameralist|{|camera0 1,1|camera1 2,2,0,0|}|cameradefault 1"},
        // 12, 13
        {"fonts go", "fontsize 2\nfontcolor 1,2,3\n", ""},
        {"name effects are named after themselves",
         "mesh-table\n{\n  default\n  {\n    effects\n    {\n      sign\n      {\n        kind \"name\"\n      }\n"
         "      other\n      {\n        kind \"Name\"\n      }\n    }\n  }\n}\nnight \"n\"\n",
         "mesh-table|{|default|{|effects|{|sign|{|kind \"name\"|name \"sign\"|}|other|{|kind \"Name\"|}|}|}|}"},
        // 15
        {"sound lists are numbered",
         "soundscript\n{\n  bell\n  {\n    sound\n    {\n      ring.wav\n      volume 2\n    }\n  }\n}\n",
         "soundscript|{|bell|{|sound|{|0 \"ring.wav\"|volume 2|}|}|}"},
        // 16
        {"a speed board loses its function", "kind \"MOSpeedboard\"\nfunction 1\n", "kind \"MOSpeedboard\""},
        {"trackside objects lose it", "kind \"scenery\"\ntrackside 1\nfunction 1\n", "kind \"scenery\"|trackside 1"},
        {"signals keep it", "kind \"mosignal\"\ntrackside 1\nfunction 1\n",
         "kind \"mosignal\"|trackside 1|function 1"},
        // 17
        {"category defaults", "kind \"scenery\"\n", "kind \"scenery\"|category-era \"1800s\"|category-class "
                                                    "\"ZX\"|category-region \"00\"",
         true},
        {"regions of the whole world are 00", "category-region \"World Trees\"\ncategory-era \"1900s\"\n",
         "category-era \"1900s\"|category-class \"ZX\"|category-region \"00\"", true},
        // 19, 20, 24
        {"comments, legacy and stray words go",
         "rem \"x\"\nlicence \"l\"\norigin \"o\"\nversion 2\nby \"me\"\ncopyright 1\nkeep 1\n", ""},
        // 21
        {"old names", "auteur \"A\"\nauthor \"B\"\norganization \"O\"\nuser-name \"U\"\ndescription: \"D\"\n",
         "author \"A\"|organisation \"O\"|username \"U\"|description \"D\""},
        {"new names win", "organisation \"new\"\norganization \"old\"\n", "organisation \"new\""},
        // 22
        {"a description's stray lines go up to a top-level tag",
         "description \"A long\"\nline \"two\"\nand \"three\"\ntrackside 1\nlast \"x\"\n",
         "description \"A long\"|trackside 1|last \"x\""},
        {"and up to a container", "description \"A\"\nline \"two\"\nkuid-table\n{\n}\nafter 1\n",
         "description \"A\"|kuid-table|{|}|after 1"},
        // 23
        {"asset tags", "asset \"a\"\nasset-x 1\nasset-y 2\nassets 3\n", "assets 3"},
        // 25
        {"the final sweep", "1 \"x\"\n__ \"y\"\na1 \"z\"\nx{ 1\n", "a1 \"z\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Upgraded(c.in, c.defaults), c.out);
    }
}

TEST_F(LegacyConfigUpgradeTest, OnlyBuildsBefore290AreUpgradedAndStamped)
{
    struct Build {
        float build;
        bool upgraded;
    };
    for (const Build& b : {Build{2.849f, true}, Build{2.85f, true}, Build{2.899f, true}, Build{2.9f, false},
                           Build{3.1f, false}}) {
        SCOPED_TRACE(b.build);
        manager_->assetBuild = b.build;
        ChunkRef config = ReadTree("kind \"track\"\nthumbnail \"t\"\ncategory-era \"1900s\"\n");
        TETLib::UpgradeConfigIfLegacy(config);
        EXPECT_EQ(WithoutDefaults(CompactTree(config)),
                  b.upgraded ? "kind \"track\"|category-era \"1900s\"|kestro-build 2.9"
                             : "kind \"track\"|thumbnail \"t\"|category-era \"1900s\"");
    }
    // Through the check, whose stored build carries a margin of 0.001.
    for (const Build& b : {Build{2.898f, true}, Build{2.9f, false}}) {
        ChunkRef config = ReadTree(std::string("kind \"track\"\nthumbnail \"t\"\nkestro-build ") +
                                   (b.upgraded ? "2.898" : "2.9") + "\n");
        TETLib::Container container;
        container.Check(config);
        EXPECT_EQ(CompactTree(config).find("thumbnail") == std::string::npos, b.upgraded);
    }
}

// The shipped definitions hold what the upgrade builds.
TEST_F(LegacyConfigUpgradeTest, AnOldConfigThatUpgradesCleanlyValidatesCleanly)
{
    Serve("shed.im", {"a.name0"});
    folder_.Write("local/asset/shed.tga", "");
    folder_.Write("local/asset/config.txt",
                  "kuid <kuid:400001:900>\nname \"Shed\"\nkind \"scenery\"\nkestro-build 2.5\n"
                  "asset-filename \"shed\"\nicon-texture \"shed.tga\"\ncategory-region-0 \"uk\"\n"
                  "category-era-0 \"1950\"\ncategory-class \"BD\"\nfontsize 2\ndescription \"An old shed\"\n"
                  "built \"by\"\nsomebody \"else\"\nlicence \"free\"\n");
    ResultsLog log;
    const bool valid =
        TETLib::RunValidateAssetJob(Nyx::PString(), Nyx::File::Path(folder_ / "local/asset"), log);
    EXPECT_EQ(tetlibtest::ResultLines(log), std::vector<std::string>{});
    EXPECT_TRUE(valid);
}

TEST_F(LegacyConfigUpgradeTest, TopLevelTagsComeFromTheDefinitions)
{
    EXPECT_TRUE(TETLib::IsTopLevelTagName(Nyx::PString("trackside")));
    EXPECT_TRUE(TETLib::IsTopLevelTagName(Nyx::PString("mass")));
    EXPECT_TRUE(TETLib::IsTopLevelTagName(Nyx::PString("username")));
    // Tags of definitions not marked top-level do not count.
    EXPECT_FALSE(TETLib::IsTopLevelTagName(Nyx::PString("mesh-table")));
    EXPECT_FALSE(TETLib::IsTopLevelTagName(Nyx::PString("line")));
}

}  // namespace
