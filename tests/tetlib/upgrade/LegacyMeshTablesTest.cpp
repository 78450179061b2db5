// The mesh-table conversions with the asset's meshes served by the fake.
#include <gtest/gtest.h>

#include <string>

#include "tetlib/upgrade/LegacyMeshTables.h"
#include "tetlib/upgrade/UpgradeTestSupport.h"

namespace {

using tetlibtest::CompactTree;
using tetlibtest::ReadTree;

class LegacyMeshTablesTest : public tetlibtest::UpgradeFixture {
protected:
    template <class Step>
    static std::string Converted(const char* text, Step step)
    {
        ChunkRef config = ReadTree(text);
        step(config);
        return CompactTree(config);
    }
};

TEST_F(LegacyMeshTablesTest, TablesFromTheTreeAlone)
{
    const Nyx::PString af("bg");
    EXPECT_EQ(Converted("", [&](ChunkRef& c) { TETLib::ConvertBogeyMeshTable(c, af); }),
              "mesh-table|{|default|{|mesh \"bg.pm\"|auto-create 1|}|shadow|{|mesh \"bg_shadow/bg_shadow.pm\"|"
              "auto-create 0|}|}");
    // The loop stops at the first index with neither tag.
    EXPECT_EQ(Converted("bogey <kuid:1:1>\nbogey-1-r <kuid:1:2>\n", TETLib::ConvertTraincarBogeys),
              "bogey-1-r <kuid:1:2>|bogeys|{|0|{|bogey <kuid:1:1>|reversed 0|}|}");
    EXPECT_EQ(Converted("bogey-r <kuid:1:1>\nbogey-0 <kuid:1:2>\nbogey-0-r <kuid:1:3>\nbogey-1 <kuid:1:4>\n",
                        TETLib::ConvertTraincarBogeys),
              "bogeys|{|0|{|bogey <kuid:1:1>|reversed 1|}|1|{|bogey <kuid:1:2>|reversed 0|}|2|{|bogey "
              "<kuid:1:3>|reversed 1|}|3|{|bogey <kuid:1:4>|reversed 0|}|}");
    EXPECT_EQ(Converted("", TETLib::ConvertTraincarBogeys), "bogeys|{|}");
    EXPECT_EQ(Converted("mode0 \"Left\"\nmode1 \"Right\"\n", TETLib::ConvertJunctionMeshTable),
              "mesh-table|{|left|{|mesh \"Left/Left.im\"|auto-create \"1\"|}|right|{|mesh "
              "\"Right/Right.im\"|auto-create \"0\"|}|}");
    EXPECT_EQ(Converted("attachment\n{\n  door\n  {\n    att \"a.door\"\n  }\n  seat\n  {\n    att \"a.s\"\n"
                        "    att-parent \"cab\"\n  }\n  note \"x\"\n}\nmesh \"cab.im\"\n",
                        TETLib::ConvertInteriorMeshTable),
              "mesh-table|{|door|{|att \"a.door\"|att-parent \"default\"|}|seat|{|att \"a.s\"|att-parent "
              "\"cab\"|}|default|{|mesh \"cab.im\"|auto-create 1|}|}");
    EXPECT_EQ(Converted("", TETLib::ConvertInteriorMeshTable), "mesh-table|{|}");
}

TEST_F(LegacyMeshTablesTest, SceneryNamesItsNamePoints)
{
    Serve("sign.im", {"a.name0", "a.name1", "a.name3"});
    const Nyx::PString af("sign");
    EXPECT_EQ(TETLib::CountNameAttachments(Nyx::PString("local/asset/sign.im")), 2);
    EXPECT_EQ(TETLib::CountNameAttachments(Nyx::PString("local/asset/none.im")), 0);
    EXPECT_EQ(Converted("auto-animation 1\nfontcolor \"255,0,0\"\nnight \"dark\"\n",
                        [&](ChunkRef& c) { TETLib::ConvertSceneryMeshTable(c, af); }),
              "fontcolor \"255,0,0\"|mesh-table|{|default|{|auto-create 1|mesh \"sign.im\"|anim "
              "\"anim.kin\"|animation-loop-speed 1|effects|{|0|{|kind \"name\"|att \"a.name0\"|fontcolor "
              "\"255,0,0\"|name \"name\"|}|1|{|kind \"name\"|att \"a.name1\"|fontcolor \"255,0,0\"|name "
              "\"name\"|}|}|}|night|{|mesh \"dark/dark.im\"|night-mesh-base \"default\"|}|}");
    EXPECT_TRUE(TETLib::ErrorHandler::Instance()->GetMessages().empty());
}

TEST_F(LegacyMeshTablesTest, TurntablesAttachTheirTrackPieces)
{
    Serve("deck.im", {"a.otrack0a", "a.otrack0b", "a.otrack1a"});
    Serve("pit.im", {"a.itrack0a", "a.itrack0b"});
    const char* config = "mode0 \"deck\"\nmode1 \"pit\"\ntrack <kuid:1:9>\n";
    EXPECT_EQ(Converted(config, TETLib::ConvertTurntableMeshTable),
              "mesh-table|{|default|{|mesh \"deck.im\"|auto-create 1|}|turntable|{|mesh \"pit.im\"|}|}|"
              "attached-track|{|tracko0|{|vertices|{|0 \"a.otrack0a\"|1 \"a.otrack0b\"|}|track "
              "<kuid:1:9>|useadjoiningtracktype 0|}|tracki0|{|vertices|{|0 \"a.itrack0a\"|1 \"a.itrack0b\"|}|track "
              "<kuid:1:9>|useadjoiningtracktype 0|}|}");
    // A mesh that fails builds no track and leaves "track" where it was.
    fake_.meshes.erase("local/asset/pit.im");
    EXPECT_EQ(Converted(config, TETLib::ConvertTurntableMeshTable),
              "track <kuid:1:9>|mesh-table|{|default|{|mesh \"deck.im\"|auto-create 1|}|turntable|{|mesh "
              "\"pit.im\"|}|}");
    EXPECT_EQ(Converted("mesh-table\n{\n}\nmode0 \"deck\"\n", TETLib::ConvertTurntableMeshTable),
              "mesh-table|{|}|mode0 \"deck\"");
}

TEST_F(LegacyMeshTablesTest, CrossingsAttachRoadsThenTracks)
{
    folder_.Write("local/asset/anim.kin", "");
    Serve("gate.im", {"a.track0a", "a.track0b", "a.road0a", "a.road0b"});
    EXPECT_EQ(Converted("mode0 \"gate\"\nmode1 \"x\"\ntrack <kuid:1:1>\nroad <kuid:1:2>\n",
                        TETLib::ConvertCrossingMeshTable),
              "track <kuid:1:1>|road <kuid:1:2>|mesh-table|{|default|{|mesh \"gate.im\"|anim \"anim.kin\"|"
              "auto-create 1|}|}|attached-track|{|road0|{|vertices|{|0 \"a.road0a\"|1 \"a.road0b\"|}|track "
              "<kuid:1:2>|useadjoiningtracktype 1|}|track0|{|vertices|{|0 \"a.track0a\"|1 \"a.track0b\"|}|track "
              "<kuid:1:1>|useadjoiningtracktype 1|}|}");
    EXPECT_TRUE(TETLib::ErrorHandler::Instance()->GetMessages().empty());
    // Without a mode the mesh is "mode0.im", which is not there.
    EXPECT_EQ(Converted("", TETLib::ConvertCrossingMeshTable),
              "mesh-table|{|default|{|mesh \"mode0.im\"|anim \"anim.kin\"|auto-create 1|}|}");
}

}  // namespace
