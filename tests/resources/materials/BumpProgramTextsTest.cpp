// The built-in program texts: their layout and headers as the managers
// read them, and what they compute when run through the test interpreter.
#include <gtest/gtest.h>

#include <cmath>

#include "ProgramInterpreter.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/display/TextureCombiner.h"
#include "nyx/gfx/display/VertexProgram.h"
#include "resources/materials/programs/KestroBumpPrograms.h"

namespace {

using Nyx::KestroBumpPrograms;
using programtest::Vec4;

constexpr float kTol = 1e-4f;

void ExpectVec(const Vec4& got, const Vec4& want, int count, const char* what)
{
    SCOPED_TRACE(what);
    for (int i = 0; i < count; ++i)
        EXPECT_NEAR(got[i], want[i], kTol) << i;
}

std::set<std::string> SectionsOf(std::string_view program)
{
    const auto programs = Nyx::VertexProgramManager::ParseDeclarations(std::string(KestroBumpPrograms::kVertexSet),
                                                                        KestroBumpPrograms::VertexSetText());
    auto it = programs.find(std::string(program));
    return it == programs.end() ? std::set<std::string>{} : std::set<std::string>(it->second.begin(), it->second.end());
}

TEST(BumpProgramTextsTest, TextsAreCrLfWithTheirNameAndVersionLines)
{
    std::vector<std::pair<std::string, std::string>> texts = {
        {"# KestroBumpMaterial_Vtx\r\nversion 2.0\r\n", KestroBumpPrograms::VertexSetText()}};
    for (std::string_view name : KestroBumpPrograms::CombinerNames())
        texts.emplace_back("# " + std::string(name) + "_Pxl\r\nversion 1.1\r\n",
                           KestroBumpPrograms::CombinerText(name));
    for (const auto& [opening, text] : texts) {
        SCOPED_TRACE(opening);
        EXPECT_EQ(text.rfind(opening, 0), 0u);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
            }
        }
    }
    // A second, commented block in all but the two environment texts.
    for (std::string_view name : KestroBumpPrograms::CombinerNames()) {
        const bool environment = name.find("Env") != std::string_view::npos;
        EXPECT_EQ(KestroBumpPrograms::CombinerText(name).find("/*\r\nAPI(common)") != std::string::npos, !environment)
            << name;
    }
    EXPECT_TRUE(KestroBumpPrograms::CombinerText("KestroBumpMat_SpotLight").empty());
}

TEST(BumpProgramTextsTest, TheSetDeclaresSixProgramsByTheirSections)
{
    using S = std::set<std::string>;
    const std::pair<std::string_view, S> expected[] = {
        {KestroBumpPrograms::kBumpParallel, S{"ParallelLight", "OneTex", "Fog"}},
        {KestroBumpPrograms::kBumpSpot, S{"SpotLight", "OneTex", "Fog"}},
        {KestroBumpPrograms::kGlossParallel, S{"ParallelLight", "OneTex", "SphereMap", "Fog"}},
        {KestroBumpPrograms::kGlossSpot, S{"SpotLight", "OneTex", "SphereMap", "Fog"}},
        {KestroBumpPrograms::kEnvParallel, S{"ParallelLight", "OneTex", "cubeMap", "Fog"}},
        {KestroBumpPrograms::kEnvSpot, S{"SpotLight", "OneTex", "cubeMap", "Fog"}},
    };
    for (const auto& [name, sections] : expected)
        EXPECT_EQ(SectionsOf(name), sections) << name;
}

TEST(BumpProgramTextsTest, ManagersLoadByDeclaredNamesWithTheHeaderDefaults)
{
    Nyx::RenderKernel kernel(nullptr, 8.0f);
    Nyx::RenderDevice& device = kernel.GetDisplay().GetRenderDevice();
    Nyx::VertexProgramManager& vertex = *device.GetVertexProgramManager();
    Nyx::TextureCombinerManager& combiners = *device.GetTextureCombinerManager();
    const std::string set(KestroBumpPrograms::kVertexSet);
    vertex.RegisterBuiltInPrograms(set, KestroBumpPrograms::VertexSetText());
    vertex.RegisterBuiltInPrograms(set, KestroBumpPrograms::VertexSetText());  // again: allowed
    Nyx::VertexProgram* program = nullptr;
    EXPECT_EQ(vertex.LoadVertexProgram(set, "KestroBumpGloss_SpotLight", &kernel, program, 99, 0), 0u);
    ASSERT_NE(program, nullptr);
    program->Release();
    EXPECT_EQ(vertex.LoadVertexProgram(set, "KestroBump_Nowhere", &kernel, program, 99, 0), Nyx::kProgramUndeclared);
    EXPECT_EQ(vertex.LoadVertexProgram("OtherSet", "KestroBump_SpotLight", &kernel, program, 99, 0),
              Nyx::kProgramUnknownText);

    struct Registers {
        std::string_view name;
        std::vector<std::pair<std::string, Nyx::DisplayColour>> registers;
    };
    const std::pair<std::string, Nyx::DisplayColour> diff{"LightDiff", {0, 0, 0, 1}}, amb{"LightAmb", {0, 0, 0, 1}},
        spec3{"Specular", {0.9f, 0.9f, 0.9f, 0.75f}};
    const Registers cases[] = {
        {KestroBumpPrograms::kBumpMatParallel, {diff, amb, spec3}},
        {KestroBumpPrograms::kEnvMatParallel, {diff, amb, spec3}},
        {KestroBumpPrograms::kEnvMatSpot, {diff, amb, spec3}},
        {KestroBumpPrograms::kGlossMatParallel, {diff, amb, {"Lerp", {0, 0, 1, 1}}, spec3}},
        {KestroBumpPrograms::kGlossMatSpot, {diff, amb, {"Lerp", {0, 0, 1, 1}}, spec3}},
        {KestroBumpPrograms::kRustMatParallel, {diff, amb, {"RustColor", {0, 0, 1, 1}}, spec3}},
    };
    for (const Registers& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name(c.name);
        Nyx::TextureCombiner* combiner = nullptr;
        EXPECT_EQ(combiners.LoadTextureCombiner(name, &kernel, combiner), Nyx::kProgramUnknownText);
        combiners.RegisterBuiltInPrograms(name, KestroBumpPrograms::CombinerText(c.name));
        ASSERT_EQ(combiners.LoadTextureCombiner(name, &kernel, combiner), 0u);
        for (uint32_t i = 0; i < c.registers.size(); ++i) {
            EXPECT_EQ(combiner->GetRegisterName(i), c.registers[i].first);
            EXPECT_EQ(combiner->GetRegister(i), c.registers[i].second);
        }
        combiner->Release();
    }
    // A text whose header names another program does not load under this name.
    combiners.RegisterBuiltInPrograms("Elsewhere", KestroBumpPrograms::CombinerText(KestroBumpPrograms::kEnvMatSpot));
    Nyx::TextureCombiner* combiner = nullptr;
    EXPECT_EQ(combiners.LoadTextureCombiner("Elsewhere", &kernel, combiner), Nyx::kProgramUndeclared);
}

// One pixel lit straight on: N = L = H = (0, 0, 1), diffuse 0.5, bump alpha
// 1, LightDiff 0.25, Specular (0.2, 0.2, 0.2, 0.75), per-vertex specular
// 0.5. lit = 2 × 0.25 × 0.5 = 0.25; d⁴ = 1 and N.z = 1 pass the threshold
// 0.75 fully, so the specular is the per-vertex 0.5.
programtest::PixelInputs StraightOn(float diffuseAlpha)
{
    programtest::PixelInputs in;
    in.textures[0] = {0.5f, 0.5f, 0.5f, diffuseAlpha};
    in.textures[1] = {0.5f, 0.5f, 1.0f, 1.0f};
    in.textures[2] = {0.5f, 0.5f, 1.0f, 1.0f};
    in.textures[3] = {0.1f, 0.2f, 0.3f, 1.0f};
    in.primary = {0.5f, 0.5f, 1.0f, 1.0f};
    in.secondary = {0.5f, 0.5f, 0.5f, 0.5f};
    in.registers = {{"LightDiff", {0.25f, 0.25f, 0.25f, 0.8f}},
                    {"LightAmb", {0.0f, 0.0f, 0.0f, 1.0f}},
                    {"Specular", {0.2f, 0.2f, 0.2f, 0.75f}},
                    {"Lerp", {0.0f, 0.0f, 0.0f, 0.0f}},
                    {"RustColor", {0.0f, 0.0f, 1.0f, 0.0f}}};
    return in;
}

TEST(BumpProgramTextsTest, CombinersComputeTheBaseAndOnlyTheBumpAlphaFollowsTheTexture)
{
    struct Case {
        std::string_view name;
        float colour;  // red, at diffuse alpha 1
        float alphaAtHalf;
    };
    const Case cases[] = {
        {KestroBumpPrograms::kBumpMatParallel, 0.25f + 0.5f * 0.2f, 0.4f},
        // Reflection mixed in by the diffuse alpha (1): the reflection's red.
        {KestroBumpPrograms::kEnvMatParallel, 0.1f + 0.5f * 0.2f, 0.8f},
        {KestroBumpPrograms::kEnvMatSpot, 0.35f, 0.8f},
        {KestroBumpPrograms::kGlossMatParallel, 0.35f, 0.8f},  // Lerp 0: no gloss
        {KestroBumpPrograms::kGlossMatSpot, 0.35f, 0.8f},
        {KestroBumpPrograms::kRustMatParallel, 0.35f, 0.8f},   // rust scale 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = KestroBumpPrograms::CombinerText(c.name);
        const Vec4 full = programtest::RunCombiner(text, StraightOn(1.0f));
        EXPECT_NEAR(full[0], c.colour, kTol);
        EXPECT_NEAR(full[3], 0.8f, kTol);
        const Vec4 half = programtest::RunCombiner(text, StraightOn(0.5f));
        EXPECT_NEAR(half[3], c.alphaAtHalf, kTol);
    }
    // Full gloss shows the gloss texture; full rust the rust colour, unlit by specular.
    programtest::PixelInputs glossy = StraightOn(1.0f);
    glossy.registers["Lerp"] = {1.0f, 1.0f, 1.0f, 1.0f};
    EXPECT_NEAR(programtest::RunCombiner(KestroBumpPrograms::CombinerText(KestroBumpPrograms::kGlossMatParallel),
                                         glossy)[0],
                0.1f + 0.5f * 0.2f, kTol);
    programtest::PixelInputs rusty = StraightOn(0.0f);
    rusty.registers["RustColor"] = {1.0f, 0.0f, 0.0f, 1.0f};
    // rust amount 1: diffuse red 1, lit 2 × 0.25 × 1 = 0.5; specular colour × 0.
    EXPECT_NEAR(programtest::RunCombiner(KestroBumpPrograms::CombinerText(KestroBumpPrograms::kRustMatParallel),
                                         rusty)[0],
                0.5f, kTol);
}

programtest::VertexInputs LitVertex()
{
    programtest::VertexInputs in;
    in.locals[7] = {0.0f, 0.0f, -1.0f, 1.0f};   // light direction
    in.locals[13] = {0.0f, 0.0f, 10.0f, 1.0f};  // camera
    in.locals[5] = {0.0f, 0.0f, 2.0f, 1.0f};    // spot position
    in.locals[6] = {0.5f, 0.25f, 0.0f, 1.0f};   // cos 60°, range 4
    in.texCoord = {0.25f, 0.75f, 0.0f, 1.0f};
    return in;
}

TEST(BumpProgramTextsTest, LightSectionsMapVectorsIntoTangentSpace)
{
    const std::string& set = KestroBumpPrograms::VertexSetText();
    // Straight on: light vector, half angle and specular all along the normal.
    programtest::VertexOutputs out = programtest::RunVertexProgram(set, SectionsOf("KestroBump_ParallelLight"), LitVertex());
    ExpectVec(out.primary, {0.5f, 0.5f, 1.0f, 1.0f}, 4, "light vector");
    ExpectVec(out.texCoord[2], {0.5f, 0.5f, 1.0f, 1.0f}, 4, "half angle");
    ExpectVec(out.secondary, {1.0f, 1.0f, 1.0f, 1.0f}, 4, "specular");
    ExpectVec(out.texCoord[0], {0.25f, 0.75f, 0.0f, 1.0f}, 4, "diffuse coordinates");
    ExpectVec(out.texCoord[1], {0.25f, 0.75f, 0.0f, 1.0f}, 4, "bump coordinates");

    // The parallel programs ignore the light position.
    programtest::VertexInputs moved = LitVertex();
    moved.locals[5] = {9.0f, -3.0f, 1.0f, 1.0f};
    const auto same = programtest::RunVertexProgram(set, SectionsOf("KestroBump_ParallelLight"), moved);
    ExpectVec(same.primary, out.primary, 4, "no position");

    // A light from (−1, 0, −1)/√2 gives the light vector (1, 0, 1)/√2; the
    // half angle normalise((0, 0, 1) + (1, 0, 1)/√2); specular its z^32.
    programtest::VertexInputs slanted = LitVertex();
    const float r = std::sqrt(0.5f);
    slanted.locals[7] = {-r, 0.0f, -r, 1.0f};
    out = programtest::RunVertexProgram(set, SectionsOf("KestroBump_ParallelLight"), slanted);
    ExpectVec(out.primary, {r * 0.5f + 0.5f, 0.5f, r * 0.5f + 0.5f, 1.0f}, 3, "slanted light");
    const float hl = std::sqrt(r * r + (1 + r) * (1 + r));
    const float hx = r / hl, hz = (1 + r) / hl;
    ExpectVec(out.texCoord[2], {hx * 0.5f + 0.5f, 0.5f, hz * 0.5f + 0.5f, 1.0f}, 3, "slanted half angle");
    EXPECT_NEAR(out.secondary[0], std::pow(hz, 32.0f), kTol);
}

TEST(BumpProgramTextsTest, SpotProgramsCutOffOutsideTheConeAndRange)
{
    const std::string& set = KestroBumpPrograms::VertexSetText();
    struct Case {
        const char* name;
        Vec4 position;  // of the spot light
        bool lit;
    };
    const Case cases[] = {
        {"on the axis, inside the range", {0.0f, 0.0f, 2.0f, 1.0f}, true},
        // At (0, 2, 1) the vertex is 63° off the axis (0, 0, −1): outside 60°.
        {"outside the cone", {0.0f, 2.0f, 1.0f, 1.0f}, false},
        {"beyond the range", {0.0f, 0.0f, 5.0f, 1.0f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        programtest::VertexInputs in = LitVertex();
        in.locals[5] = c.position;
        const auto out = programtest::RunVertexProgram(set, SectionsOf("KestroBump_SpotLight"), in);
        if (!c.lit) {
            ExpectVec(out.primary, {0.5f, 0.5f, 0.5f, 1.0f}, 4, "light vector");
            ExpectVec(out.texCoord[2], {0.5f, 0.5f, 0.5f, 1.0f}, 4, "half angle");
            ExpectVec(out.secondary, {0.0f, 0.0f, 0.0f, 0.0f}, 4, "specular");
            continue;
        }
        // factor = 1 × 1 × (1 − (2 × 0.25)²) = 0.75, along the normal.
        ExpectVec(out.primary, {0.5f, 0.5f, 0.5f + 0.375f, 1.0f}, 4, "light vector");
        // The half angle comes from the direction (0, 0, −1): (0, 0, 1), scaled.
        ExpectVec(out.texCoord[2], {0.5f, 0.5f, 0.875f, 1.0f}, 4, "half angle");
        EXPECT_NEAR(out.secondary[0], std::pow(0.75f, 32.0f), kTol);
    }
}

TEST(BumpProgramTextsTest, FogSphereAndCubeSections)
{
    const std::string& set = KestroBumpPrograms::VertexSetText();
    programtest::VertexInputs in = LitVertex();
    // The eye sees the vertex at (3, 4, 0): 5 away, though at depth 0.
    in.modelView[0][3] = 3.0f;
    in.modelView[1][3] = 4.0f;
    auto out = programtest::RunVertexProgram(set, SectionsOf("KestroBump_ParallelLight"), in);
    EXPECT_NEAR(out.fog[0], 5.0f, kTol);

    // Sphere map: normal (0, 1, 0) in eye space, y negated, to 0..1, plus
    // 0.05 × the coordinates.
    in.normal = {0.0f, 1.0f, 0.0f, 0.0f};
    out = programtest::RunVertexProgram(set, SectionsOf("KestroBumpGloss_ParallelLight"), in);
    ExpectVec(out.texCoord[3], {0.5f + 0.0125f, 0.0f + 0.0375f, 0.5f, 1.0f}, 4, "sphere map");

    // Cube map: looking along (3, 4, 0)/5 at a normal (−1, 0, 0) reflects to
    // (3, 4, 0)/5 with x turned: (−3, 4, 0)/5.
    in.normal = {-1.0f, 0.0f, 0.0f, 0.0f};
    out = programtest::RunVertexProgram(set, SectionsOf("KestroBumpEnv_ParallelLight"), in);
    ExpectVec(out.texCoord[3], {-0.6f, 0.8f, 0.0f, 1.0f}, 4, "reflection");
}

}  // namespace
