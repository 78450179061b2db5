// The tag rules: number lists, each rule passing and failing with its
// message, what a failing rule is recorded against, and the rules that fail
// without a word.
#include <gtest/gtest.h>

#include <cmath>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/mesh/MeshData.h"
#include "tetlib/rules/RulesTestSupport.h"

namespace {

using Lines = std::vector<std::string>;
using tetlibtest::Ruled;

TEST(ParseNumberListTest, PiecesBetweenSpacesAndCommas)
{
    struct Case {
        const char* text;
        std::vector<float> numbers;
    };
    const Case cases[] = {
        {"", {}},
        {"1", {1}},
        {"1 2 3", {1, 2, 3}},
        {"1, 2", {1, 2}},  // no empty piece between the comma and the blank
        {",1,,2,", {1, 2}},
        {"  -0.5  ", {-0.5f}},
        {"1e3,x,2", {1000, 0, 2}},  // what does not convert is 0, as atof has it
        {"1e999", {HUGE_VALF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TETLib::ParseNumberList(c.text), c.numbers);
    }
    EXPECT_EQ(TETLib::ParseIntegerList("0, 2,,7x 99999999999"), (std::vector<int32_t>{0, 2, 7, INT32_MAX}));
}

class TagRulesTest : public tetlibtest::RulesFixture {};

TEST_F(TagRulesTest, EachRulePassesAndFailsWithItsMessage)
{
    folder_.Write("local/asset/script.gse", "");
    folder_.Write("local/asset/sub/deep.gs", "");
    struct Case {
        const char* name;
        std::string body;
        Lines results;
        const char* build = "3.0";
    };
    const Case cases[] = {
        {"zero is not negative", "positive 0\n", {}},
        {"a negative number", "positive \"1 -0.5\"\n", {"3 The tag 'positive' may not hold negative values."}},
        {"no zero", "notzero \"2 3\"\n", {}},
        {"a zero", "notzero \"2 0\"\n", {"3 The tag 'notzero' may not hold 0."}},
        {"within range", "ranged \"1 5\"\n", {}},
        {"a comma and a blank make no zero", "ranged \"2, 3\"\n", {}},
        {"out of range once for all", "ranged \"0.5 9\"\n",
         {"3 The tag 'ranged' holds a value outside the range 1 to 5."}},
        // A value is held as a float: the bounds themselves are in range.
        {"the bounds themselves", "fractional \"0.7 1.3\"\n", {}},
        {"just past a bound", "fractional \"1.31\"\n",
         {"3 The tag 'fractional' holds a value outside the range 0.7 to 1.3."}},
        {"three numbers", "sized \"1 2 3\"\n", {}, "2.9"},
        {"two for three", "sized \"1 2\"\n", {"3 The tag 'sized' should hold 3 values but holds 2."}},
        {"not counted before 2.89", "sized \"1 2\"\n", {}, "2.8"},
        {"the script's compiled form", "scripted \"script.gs\"\n", {}},
        {"a script in a sub-folder", "scripted \"sub/deep\"\n", {}},
        {"from the top, found", "scripted \"/script.gs\"\n", {}},
        {"from the top, looked up too", "scripted \"/nowhere.gs\"\n",
         {"3 The script file '/nowhere.gs' does not exist."}},
        {"no script", "scripted \"missing.gs\"\n", {"3 The script file 'missing.gs' does not exist."}},
        {"both partners", "left \"a\"\nright \"b\"\npaired \"x\"\n", {}},
        {"no partner", "paired \"x\"\n",
         {"3 The tag 'right' needs the tag 'left' beside it.", "3 The tag 'left' needs the tag 'right' beside it."}},
        {"one partner", "right \"b\"\npaired \"x\"\n", {"3 The tag 'right' needs the tag 'left' beside it."}},
        {"an initial count of 0 needs none", "initial-count \"0\"\n", {}},
        {"another count does", "left \"a\"\ninitial-count \"1\"\n",
         {"3 The tag 'left' needs the tag 'right' beside it."}},
        {"collated", "collate-meshes \"1\"\ncollated \"x\"\n", {}},
        {"not collated", "collated \"x\"\n", {"3 The tag 'collated' needs the tag 'collate-meshes' in the same container."}},
        {"trackside", "type \"trackside\"\ntrackside-only \"x\"\n", {}},
        {"another type", "type \"static\"\ntrackside-only \"x\"\n",
         {"3 The 'type' tag should be 'trackside' for the tag 'trackside-only'."}},
        {"no type", "trackside-only \"x\"\n", {"3 The tag 'trackside-only' needs a 'type' tag of the value 'trackside'."}},
        {"a tag named as its container", "ruled \"x\"\n", {"3 A tag may not name its own container."}},
        {"a rule bound twice says it once", "twice -1\n", {"3 The tag 'twice' may not hold negative values."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool valid = false;
        EXPECT_EQ(Validate(Ruled(c.body, c.build), &valid), c.results);
        EXPECT_EQ(valid, c.results.empty());
    }
}

TEST_F(TagRulesTest, BindingAndSilentFailures)
{
    auto top = Checked(Ruled("twice 1\ntype \"static\"\ntrackside-only \"x\"\nsizeless 1\npositive \"\"\n"
                             "ranged \" , \"\n"));
    const TETLib::Tag* twice = FindTag(*top, "twice");
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->GetBoundRuleCount(), 1u);  // the unknown name binds nothing

    // A name twice under "validation" (the config reader keeps one of a
    // name, so the template entry is made here) binds twice.
    ChunkRef spec;
    ChunkRef validation;
    validation.EnsureContainer();
    for (const char* name : {"ispositive", "frobnicate", "ispositive"}) {
        ChunkRef rule;
        rule.EnsureContainer();
        validation->AddChild(Nyx::PString(name), rule);
    }
    TDBContainerTag::SetChildContainer(spec, Nyx::PString("validation"), validation);
    TETLib::Tag bound;
    bound.BindRules(spec);
    EXPECT_EQ(bound.GetBoundRuleCount(), 2u);

    TETLib::ErrorHandler::Instance()->Clear();
    ChunkRef written;
    EXPECT_FALSE(top->Export(written));
    // Only the wrong type speaks, and against the "type" tag; the size rule
    // without a size and the empty value fail silently; a value of
    // separators alone holds no number to test.
    const auto& messages = TETLib::ErrorHandler::Instance()->GetMessages();
    ASSERT_EQ(messages.size(), 1u) << messages.back()->key.Str();
    EXPECT_EQ(messages[0]->tag, FindTag(*top, "type")->Serial());

    for (const char* name : {"sizeless", "positive"}) {
        TETLib::Tag* tag = const_cast<TETLib::Tag*>(FindTag(*top, name));
        EXPECT_FALSE(tag->RunRules()) << name;
    }
    EXPECT_TRUE(const_cast<TETLib::Tag*>(FindTag(*top, "ranged"))->RunRules());
}

// An effect container two levels below its mesh-table entry, whose mesh and
// lights the rules look at.
TEST_F(TagRulesTest, EffectRulesLookAtTheirMeshTableEntry)
{
    TETLib::DataManager& manager = TETLib::DataManager::Instance();
    const std::string assetFolder = folder_ / "local/asset/";
    manager.SetCurrentAssetFolder(Nyx::File::Path(assetFolder), "local");
    auto top = Checked(Ruled("mesh-table\n{\n  body\n  {\n    auto-create 1\n    effects\n    {\n      glow\n      {\n"
                             "        own \"a.point\"\n        light \"0, 2 0\"\n      }\n    }\n"
                             "    lights\n    {\n      0\n      {\n      }\n    }\n  }\n"
                             "  bare\n  {\n    effects\n    {\n      spark\n      {\n        light \"1\"\n"
                             "        own \"x\"\n      }\n    }\n  }\n}\n"));
    const TETLib::Container& table = *top->GetSubContainers().at(0);
    const TETLib::Container& body = *table.GetSubContainers().at(0);
    const TETLib::Container& glow = *body.GetSubContainers().at(0)->GetSubContainers().at(0);
    const TETLib::Container& spark = *table.GetSubContainers().at(1)->GetSubContainers().at(0)->GetSubContainers().at(0);
    TETLib::Tag& own = *const_cast<TETLib::Tag*>(FindTag(glow, "own"));
    TETLib::Tag& light = *const_cast<TETLib::Tag*>(FindTag(glow, "light"));

    const auto run = [](TETLib::Tag& tag) {
        TETLib::ErrorHandler::Instance()->Clear();
        const bool ok = tag.RunRules();
        Lines out;
        for (const auto& m : TETLib::ErrorHandler::Instance()->GetMessages())
            out.push_back(std::to_string(m->severity) + " " + m->key.Str());
        return std::make_pair(ok, out);
    };
    // No mesh for the entry: silent failure.
    EXPECT_EQ(run(own), std::make_pair(false, Lines{}));

    struct Case {
        std::string meshPath;
        bool hasPoint;
        std::pair<bool, Lines> outcome;
    };
    const Case cases[] = {
        {assetFolder + "body.im", true, {true, {}}},
        {assetFolder + "body.im", false, {false, {"3 'a.point' is not an attachment point of the mesh 'body.im'."}}},
        // A mesh elsewhere, shorter than the asset folder's path, shows
        // its whole path.
        {"/m.im", false, {false, {"3 'a.point' is not an attachment point of the mesh '/m.im'."}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meshPath);
        auto mesh = std::make_unique<TETLib::MeshData>(Nyx::PString(c.meshPath), body.Serial());
        if (c.hasPoint)
            mesh->AttachmentPoints().push_back({{}, Nyx::PString("a.point")});
        manager.SetContainerMesh(body.Serial(), manager.StoreLoadedObject(Nyx::PString("body"), std::move(mesh)));
        EXPECT_EQ(run(own), c.outcome);
    }

    EXPECT_EQ(run(light), std::make_pair(false, Lines{"3 There is no light 2 in the 'lights' container."}));
    TETLib::Tag& sparkLight = *const_cast<TETLib::Tag*>(FindTag(spark, "light"));
    EXPECT_EQ(run(sparkLight), std::make_pair(false, Lines{"3 The mesh-table entry has no 'lights' container."}));
}

}  // namespace
