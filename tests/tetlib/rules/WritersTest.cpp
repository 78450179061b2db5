// The export: every writer with what it stores and reports, the kind
// renames, the extension tables, the choice lists, the container rules,
// and the KUID checks against a scripted daemon.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "kad/requests/AssetRecord.h"
#include "tetlib/mesh/MeshData.h"
#include "tetlib/rules/RulesTestSupport.h"

namespace {

using Lines = std::vector<std::string>;
using tetlibtest::Ruled;

// The written config as text, one "name value" a line, sub-containers
// flattened as "outer/inner".
void Flatten(const ChunkRef& from, const std::string& prefix, Lines& out)
{
    const uint32_t count = from.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        from->GetChildAt(i, name, child);
        if (child->GetType() == ACS_TYPE_CONTAINER)
            Flatten(child, prefix + name.Str() + "/", out);
        else
            out.push_back(prefix + name.Str() + " " + TDBContainerTag::GetString(from, name).Str());
    }
}

class WritersTest : public tetlibtest::RulesFixture {
protected:
    // The lines the config's own tags (beyond the compulsory ones) were
    // written as, with the export's findings and result.
    struct Exported {
        Lines written;
        Lines findings;
        bool ok;
    };
    Exported Export(const std::string& body, const char* build = "3.0")
    {
        auto top = Checked(Ruled(body, build));
        TETLib::ErrorHandler::Instance()->Clear();
        ChunkRef target;
        Exported out;
        out.ok = top->Export(target);
        Lines all;
        Flatten(target, "", all);
        for (const std::string& line : all)
            if (line.rfind("kuid ", 0) != 0 && line.rfind("username ", 0) != 0 && line.rfind("kind ", 0) != 0
                && line.rfind("kestro-build ", 0) != 0 && line.rfind("author ", 0) != 0)
                out.written.push_back(line);
        out.findings = Findings();
        return out;
    }
};

TEST_F(WritersTest, EachWriterStoresAndReports)
{
    struct Case {
        const char* name;
        std::string body;
        Lines written;
        Lines findings;
        bool ok;
        const char* build = "3.0";
    };
    const Case cases[] = {
        {"float", "ratio 0.25\n", {"ratio 0.25"}, {}, true},
        {"float out of range", "ratio 2\n", {"ratio 2"}, {"3 The tag 'ratio' holds a value outside the range 0 to 1."},
         false},
        {"int", "count 12\n", {"count 12"}, {}, true},
        {"bool", "flag 1\n", {"flag 1"}, {}, true},
        {"bool not exactly 1", "flag \"yes\"\n", {"flag 0"}, {}, true},
        {"vector of the wrong size is stored anyway", "v3 \"1 2\"\n", {"v3 1,2"},
         {"3 The tag 'v3' should hold 3 values but holds 2."}, false},
        {"vectors", "v2 \"1 2\"\nv4 \"1 2 3 4\"\nv5 \"1,2,3,4,5\"\n", {"v2 1,2", "v4 1,2,3,4", "v5 1,2,3,4,5"}, {},
         true},
        // An old config is upgraded first, which gives it the category defaults.
        {"a vector not counted before 2.89", "v2 \"1\"\n",
         {"v2 1", "category-era 1800s", "category-class ZX", "category-region 00"}, {}, true, "2.8"},
        {"kuid", "asset <kuid:5:6>\n", {"asset <kuid:5:6>"}, {}, true},
        {"string kuid under its lower-cased name", "Named-Asset <kuid:5:6>\n", {"named-asset <kuid:5:6>"}, {}, true},
        {"double string", "Double-Name \"a b\"\n", {"double-name a b"}, {}, true},
        {"empty double string", "Double-Name \"\"\n", {"double-name "},
         {"2 The tag 'double-name' in 'ruled' has an empty value."}, false},
        {"mesh", "meshfile \"body.lm.txt\"\n", {"meshfile body.lm"}, {}, true},
        {"a mesh text only in the editable form", "meshfile \"body.txt\"\nmeshedit \"Body.TXT\"\n",
         {"meshfile body", "meshedit Body"}, {"3 The tag 'meshfile' in 'ruled' names a file that is not a mesh."},
         true},
        {"an empty mesh", "meshfile \"\"\n", {"meshfile "},
         {"3 The tag 'meshfile' in 'ruled' has an empty value.",
          "3 The tag 'meshfile' in 'ruled' names a file that is not a mesh."},
         false},
        {"an image", "image \"skin.texture.txt\"\n", {"image skin.texture"}, {}, true},
        {"a png is no image here", "image \"skin.png\"\n", {"image skin.png"},
         {"3 The tag 'image' in 'ruled' names a file that is not an image."}, true},
        {"animation", "anim \"walk.KIN\"\n", {"anim walk.KIN"}, {}, true},
        {"not an animation", "anim \"walk.im\"\n", {"anim walk.im"},
         {"3 The tag 'anim' in 'ruled' names an animation file that does not end in '.kin'."},
         true},
        {"another data type is not checked", "other-file \"a.wav\"\n", {"other-file a.wav"}, {}, true},
        {"an empty string", "left \"\"\n", {"left "}, {"3 The tag 'left' in 'ruled' has no value."}, false},
        // Every writer runs, also after one has failed.
        {"after a failing int", "count -1\nleft \"\"\nratio 3\n", {"count -1", "left ", "ratio 3"},
         {"3 The tag 'count' may not hold negative values.", "3 The tag 'left' in 'ruled' has no value.",
          "3 The tag 'ratio' holds a value outside the range 0 to 1."},
         false},
        {"an empty int combobox is 0", "number \"\"\n", {"number 0"},
         {"3 The tag 'number' in 'ruled' has no choice selected."}, true},
        {"a choice", "pick \"green\"\nlist \"Red;Green\"\n", {"pick green", "list Red;Green"}, {}, true},
        {"no choice", "pick \"blue\"\nlist \"blue\"\n", {"pick ", "list "},
         {"3 The tag 'pick' in 'ruled' has no choice selected.", "3 The tag 'list' in 'ruled' has no entry selected."},
         true},
        {"an empty sound string before 3.2", "sound\n{\n  file \"\"\n}\n", {"sound/file "}, {}, true, "3.1"},
        {"an empty sound string from 3.2", "sound\n{\n  file \"\"\n}\n", {"sound/file "},
         {"3 The tag 'file' in 'sound' has no value."}, false, "3.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Exported out = Export(c.body, c.build);
        EXPECT_EQ(out.written, c.written);
        EXPECT_EQ(out.findings, c.findings);
        EXPECT_EQ(out.ok, c.ok);
    }
}

TEST_F(WritersTest, KindsAreWrittenUnderTheirNewNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Double-Track", "bridge"}, {"tunnel", "bridge"},           {"CHUNKY-TRACK", "track"},
        {"mesh-reducing-track", "track"}, {"obsolete-track", "track"}, {"scenery-trackside", "scenery"},
        {"SPLINE", "spline"},       {"ruled", "ruled"},
    };
    for (const auto& [kind, written] : cases) {
        SCOPED_TRACE(kind);
        TETLib::Container top;
        auto tag = std::make_unique<TETLib::Tag>();
        tag->name = Nyx::PString("kind");
        tag->value = Nyx::PString(kind);
        tag->valueType = TETLib::kTypeString;
        top.AddTag(std::move(tag));
        ChunkRef target;
        EXPECT_TRUE(top.Export(target));
        EXPECT_EQ(TDBContainerTag::GetString(target, Nyx::PString("kind")).Str(), written);
    }
}

TEST_F(WritersTest, SourcedChoicesAndContainerPaths)
{
    const std::string att = "mesh-table\n{\n  body\n  {\n    auto-create 1\n    att \"nowhere\"\n";
    struct Case {
        const char* name;
        std::string body;
        Lines findings;
    };
    const Case cases[] = {
        {"no att-parent", att + "  }\n  shadow\n  {\n  }\n}\n",
         {"3 The container 'body' has no 'att-parent' tag."}},
        {"an att-parent without a mesh", att + "    att-parent \"shadow\"\n  }\n  shadow\n  {\n  }\n}\n", {}},
        {"the path of a nested choice",
         "mesh-table\n{\n  body\n  {\n    auto-create 1\n    effects\n    {\n      glow\n      {\n        inner\n"
         "        {\n          pick \"q\"\n        }\n      }\n    }\n  }\n  shadow\n  {\n  }\n}\n",
         {"3 The tag 'pick' has the value 'q', which is not a choice offered in 'mesh-table\\body\\effects\\glow\\inner'."}},
        {"a listbox in an effect is tested as any other",
         "mesh-table\n{\n  body\n  {\n    auto-create 1\n    effects\n    {\n      glow\n      {\n"
         "        att \"p\"\n        att-list \"p\"\n      }\n    }\n  }\n  shadow\n  {\n  }\n}\n",
         {"3 The tag 'att-list' in 'glow' has no entry selected."}},
        {"a top-level queue choice", "queue-pick \"q\"\n",
         {"3 The tag 'queue-pick' has the value 'q', which is not a choice offered in ''."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Export(c.body).findings, c.findings);
    }

    // A sourced listbox in an effect container is tested as in any other
    // container, not through the entry's mesh; a sourced combobox there is
    // tested through it.
    auto top = Checked(Ruled("mesh-table\n{\n  body\n  {\n    effects\n    {\n      glow\n      {\n      }\n"
                             "    }\n  }\n}\n"));
    TETLib::Container& body = *top->GetSubContainers().at(0)->GetSubContainers().at(0);
    TETLib::Container& glow = *body.GetSubContainers().at(0)->GetSubContainers().at(0);
    TETLib::DataManager& manager = TETLib::DataManager::Instance();
    manager.SetContainerMesh(body.Serial(), manager.StoreLoadedObject(Nyx::PString("m"), std::make_unique<TETLib::MeshData>(
                                                                         Nyx::PString("/c/local/asset/body.im"), body.Serial())));
    for (const TETLib::ValueType type : {TETLib::kTypeListbox, TETLib::kTypeCombobox}) {
        auto tag = std::make_unique<TETLib::Tag>();
        tag->name = Nyx::PString(type == TETLib::kTypeListbox ? "att-list" : "att");
        tag->value = Nyx::PString("p");
        tag->valueType = type;
        tag->owner = &glow;
        tag->hasSource = true;
        tag->source = Nyx::PString("attachment");
        glow.AddTag(std::move(tag));
    }
    TETLib::ErrorHandler::Instance()->Clear();
    ChunkRef target;
    EXPECT_FALSE(glow.Export(target));
    EXPECT_EQ(Findings(), (Lines{"3 The tag 'att-list' has the value 'p', which is not a choice offered in "
                                 "'mesh-table\\body\\effects\\glow'.",
                                 "3 'p' in 'glow' is not an attachment point of the mesh 'local/asset/body.im'."}));
}

TEST_F(WritersTest, NamesOfKUIDTags)
{
    // Lower-cased by the string-KUID writer, kept by the browser's.
    for (const TETLib::ValueType type : {TETLib::kTypeStringKUID, TETLib::kTypeStringKUIDBrowser}) {
        TETLib::Container top;
        auto tag = std::make_unique<TETLib::Tag>();
        tag->name = Nyx::PString("Some-Asset");
        tag->value = Nyx::PString("<kuid:-1:-1>");
        tag->valueType = type;
        tag->owner = &top;
        top.AddTag(std::move(tag));
        auto unnamed = std::make_unique<TETLib::Tag>();
        unnamed->valueType = type;
        unnamed->owner = &top;
        top.AddTag(std::move(unnamed));
        ChunkRef target;
        EXPECT_FALSE(top.Export(target));
        const char* kept = type == TETLib::kTypeStringKUID ? "some-asset" : "Some-Asset";
        EXPECT_EQ(TDBContainerTag::GetChildName(target, 0).Str(), kept);
        const auto& messages = TETLib::ErrorHandler::Instance()->GetMessages();
        EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const auto& m) {
            return m->key.Str() == "A tag of 'ruled' has an empty name." || m->key.Str() == "A tag of '' has an empty name.";
        }));
    }
}

TEST_F(WritersTest, ContainerRules)
{
    folder_.Write("local/asset/skin.texture.txt", "Primary=skin.bmp\n");
    folder_.Write("local/asset/skin.texture", "compiled");
    struct Case {
        const char* name;
        std::string body;
        Lines results;
    };
    const std::string table = "mesh-table\n{\n  a\n  {\n    auto-create 0\n  }\n";
    const Case cases[] = {
        {"names used once", "box\n{\n}\n", {}},
        {"every entry hidden", table + "  shadow\n  {\n    auto-create 0\n  }\n}\n",
         {"2 No mesh of the mesh-table is shown: every 'auto-create' is 0."}},
        {"one entry shown", table + "  b\n  {\n    auto-create 1\n  }\n  shadow\n  {\n  }\n}\n", {}},
        {"no shadow", "mesh-table\n{\n  a\n  {\n    auto-create 1\n  }\n}\n", {"2 The mesh-table has no 'shadow' entry."}},
        {"the description alone", "textured\n{\n  texture \"skin.bmp\"\n}\n", {}},
        {"no texture named", "textured\n{\n}\n", {"3 No texture file is named."}},
        {"no texture there", "textured\n{\n  asset-filename \"hide\"\n}\n",
         {"3 The texture file 'hide' does not exist."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The description names an image that is not there: that finding
        // is the texture check's, in every case.
        Lines results = Validate(Ruled(c.body));
        ASSERT_FALSE(results.empty());
        EXPECT_EQ(results.front(), "3 The image 'skin.bmp' named by 'skin.texture.txt' does not exist.");
        results.erase(results.begin());
        EXPECT_EQ(results, c.results);
    }
}

// The config reader keeps one child of a name, so the repeats are made
// here.
TEST_F(WritersTest, NamesUsedMoreThanOnce)
{
    auto top = Checked(Ruled("box\n{\n}\nleft \"a\"\n"));
    // Containers box, crate, crate, box: the pairs are taken by their first
    // member, so box (1, 4) comes before crate (2, 3).
    int32_t index = 1;
    for (const char* name : {"crate", "crate", "box"})
        TETLib::Container::AddSubContainer(
            *top, top->CreateSubContainer(Nyx::PString(name), *top, Nyx::PString("box"), index++, ChunkRef()));
    for (int i = 0; i < 2; ++i) {
        auto tag = std::make_unique<TETLib::Tag>();
        tag->name = Nyx::PString("left");
        top->AddTag(std::move(tag));
    }
    TETLib::ErrorHandler::Instance()->Clear();
    EXPECT_FALSE(top->RunRules());
    // Tag pairs (1, 2), (1, 3) and (2, 3); a repeat against the same tag is
    // not kept twice.
    const Lines expected = {
        "3 The container name 'box' is used more than once in 'ruled'.",
        "3 The container name 'crate' is used more than once in 'ruled'.",
        "3 The tag 'left' appears more than once in 'ruled'.",
        "3 The tag 'left' appears more than once in 'ruled'.",
    };
    EXPECT_EQ(Findings(), expected);
    const auto& messages = TETLib::ErrorHandler::Instance()->GetMessages();
    EXPECT_EQ(messages[0]->container, top->GetSubContainers()[3]->Serial());
    EXPECT_EQ(messages[1]->container, top->GetSubContainers()[2]->Serial());
    std::vector<TETLib::TagSerial> lefts;
    for (const auto& tag : top->GetTags())
        if (tag->name.View() == "left")
            lefts.push_back(tag->Serial());
    ASSERT_EQ(lefts.size(), 3u);
    EXPECT_EQ(messages[2]->tag, lefts[1]);
    EXPECT_EQ(messages[3]->tag, lefts[2]);
}

TEST_F(WritersTest, KUIDsAskTheAssetDatabase)
{
    const KUID engine(400001, 101, 0);
    AssetRecord record;
    record.known = true;
    record.categoryText = Nyx::String("VE;ENG");
    record.flagBytes[0] = 1 | 8;
    bool known = true;
    ScriptedDaemon daemon([&](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 26)
            return wire::Bytes().Kuid(engine).Str();
        wire::Output out;
        AssetRecord answer = record;
        answer.known = known;
        WriteAssetInfo(out.stream, answer);
        return out.Str();
    });
    struct Case {
        const char* name;
        std::string body;
        uint8_t flags;
        const char* categories;
        bool known;
        Lines results;
        int requests;
    };
    const Case cases[] = {
        {"installed, of the category", "engine <kuid:400001:100>\n", 9, "VE;ENG", true, {}, 2},
        {"the null KUID", "engine <kuid:-1:-1>\n", 9, "VE;ENG", true,
         {"2 The tag 'engine' holds the null asset id."}, 0},
        {"unknown", "engine <kuid:400001:100>\n", 9, "VE;ENG", false,
         {"2 The asset <kuid:400001:101> is not in the asset database."}, 2},
        {"not installed", "engine <kuid:400001:100>\n", 1, "VE;ENG", true,
         {"2 The asset <kuid:400001:101> is not installed on this computer."}, 2},
        {"another category", "engine <kuid:400001:100>\n", 9, "VE;WAG", true,
         {"3 The asset that the tag 'engine' names is not of the expected category."}, 2},
        {"a mesh asset may be of any", "mesh-asset <kuid:400001:100>\n", 9, "VE;WAG", true, {}, 2},
        {"obsolete entries are not asked about", "obsolete-table\n{\n  0 <kuid:400001:100>\n}\n", 9, "XX", true, {},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        record.flagBytes[0] = c.flags;
        record.categoryText = Nyx::String(c.categories);
        known = c.known;
        daemon.Clear();
        bool valid = false;
        EXPECT_EQ(Validate(Ruled(c.body), &valid), c.results);
        EXPECT_EQ(valid, c.results.empty() || c.results[0][0] == '2');
        EXPECT_EQ(daemon.Count(26), c.requests / 2);
        EXPECT_EQ(daemon.Count(21), c.requests / 2);
    }
    // The database is asked for the texts of the resolved asset.
    daemon.Clear();
    Validate(Ruled("engine <kuid:400001:100>\n"));
    ASSERT_EQ(daemon.Count(21), 1);
    EXPECT_EQ(daemon.Requests()[1].payload, wire::Bytes().Kuid(engine).U32(4).Str());
}

}  // namespace
