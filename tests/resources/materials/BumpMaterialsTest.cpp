// The bump family drawn into the recording display: the constants and
// registers of each pass against hand arithmetic, the passes' blending, the
// display left as found, and the plug-ins that make the materials.
#include <gtest/gtest.h>

#include <cmath>

#include "MaterialTestSupport.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/gfx/display/TextureCombiner.h"
#include "nyx/gfx/display/VertexProgram.h"
#include "resources/materials/bump/KestroBumpEnvMaterial.h"
#include "resources/materials/bump/KestroBumpGlossMaterial.h"
#include "resources/materials/nofog/KestroNoFogMaterial.h"
#include "resources/materials/plugins/KestroBumpMaterialPlugins.h"

namespace {

using materialtest::Rgba;
using Nyx::DisplayLight;

constexpr float kTol = 1e-5f;

void ExpectColour(const Nyx::DisplayColour& got, const Nyx::DisplayColour& want, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_NEAR(got.r, want.r, kTol);
    EXPECT_NEAR(got.g, want.g, kTol);
    EXPECT_NEAR(got.b, want.b, kTol);
    EXPECT_NEAR(got.a, want.a, kTol);
}

void ExpectConstant(const Nyx::PipelineDraw& draw, uint32_t index, float x, float y, float z)
{
    SCOPED_TRACE("local " + std::to_string(index));
    auto it = draw.localConstants.find(index);
    ASSERT_NE(it, draw.localConstants.end());
    EXPECT_NEAR(it->second[0], x, kTol);
    EXPECT_NEAR(it->second[1], y, kTol);
    EXPECT_NEAR(it->second[2], z, kTol);
}

class BumpMaterialsTest : public materialtest::MaterialFixture {
protected:
    void SetUp() override
    {
        MaterialFixture::SetUp();
        // World: a translation by (1, 2, 3); the camera at (0, 0, 10), so
        // M = view × world⁻¹ translates by (−1, −2, −13).
        world_.m[3][0] = 1.0f;
        world_.m[3][1] = 2.0f;
        world_.m[3][2] = 3.0f;
        parallel_.SetAmbient(Rgba(0.4f, 0.4f, 0.4f, 1.0f));
        parallel_.SetDiffuse(Rgba(1.0f, 1.0f, 1.0f, 1.0f));
        parallel_.SetSpecular(Rgba(0.5f, 0.5f, 0.5f, 1.0f));
        parallel_.SetDirection({0.0f, -1.0f, 0.0f});
        spot_.SetDiffuse(Rgba(0.5f, 0.5f, 0.5f, 1.0f));
        spot_.SetSpecular(Rgba(1.0f, 1.0f, 1.0f, 1.0f));
        spot_.SetAngle(60.0f);
        spot_.SetRange(4.0f);
        spot_.SetPosition({2.0f, 4.0f, 6.0f});
        spot_.SetDirection({1.0f, 0.0f, 0.0f});
        Display().SetGlobalAmbient(Rgba(0.2f, 0.2f, 0.2f, 1.0f));
        Display().SetWorldTransform(world_);
    }
    template <class T>
    T* MakeColoured(const std::string& type)
    {
        T* material = Make<T>(type);
        if (material) {
            Nyx::DisplayMaterial colours;
            colours.colour[0] = Rgba(0.5f, 0.5f, 0.5f, 1.0f);
            colours.colour[1] = Rgba(0.8f, 0.6f, 0.4f, 0.9f);
            colours.colour[2] = Rgba(1.0f, 0.5f, 0.25f, 1.0f);
            colours.colour[3] = Rgba(0.1f, 0.1f, 0.1f, 1.0f);
            material->SetDisplayMaterialProperties(colours);
        }
        return material;
    }
    // Draws and checks that the display's state is as before.
    void Draw(Nyx::OneTextureMaterial& material, Nyx::GeometryChunk& chunk, const Nyx::DisplayLightList* lights)
    {
        const Nyx::PipelineState before = Display().GetPipelineState();
        material.RenderChunk(Display(), &viewport_, chunk, lights, world_, -1);
        EXPECT_EQ(Display().GetPipelineState(), before);
    }
    const std::vector<Nyx::PipelineDraw>& Draws() { return Display().GetPipelineDraws(); }

    Nyx::Matrix4 world_;
    DisplayLight parallel_{DisplayLight::kParallel};
    DisplayLight spot_{DisplayLight::kSpot};
};

TEST_F(BumpMaterialsTest, BumpPassesCarryTheHandWorkedConstants)
{
    auto* bump = MakeColoured<Nyx::KestroBumpMaterial>("tbumptex");
    ASSERT_NE(bump, nullptr);
    Nyx::GeometryChunk* chunk = Chunk(*bump);
    const Nyx::DisplayLightList lights{&parallel_, &spot_};
    Draw(*bump, *chunk, &lights);
    ASSERT_EQ(Draws().size(), 2u);

    const Nyx::PipelineDraw& lit = Draws()[0];
    EXPECT_EQ(lit.vertexProgram, "KestroBump_ParallelLight");
    EXPECT_EQ(lit.combiner, "KestroBumpMat_ParallelLight");
    ExpectConstant(lit, 7, 0.0f, -1.0f, 0.0f);
    ExpectConstant(lit, 13, -1.0f, -2.0f, -3.0f);
    ExpectColour(lit.registers[0], Rgba(0.8f, 0.6f, 0.4f, 0.9f), "LightDiff");
    // Ambient sum 0.2 + 0.4; 0.5 × 0.6 + 0.1.
    ExpectColour(lit.registers[1], Rgba(0.4f, 0.4f, 0.4f, 1.0f), "LightAmb");
    ExpectColour(lit.registers[2], Rgba(0.5f, 0.25f, 0.125f, 0.75f), "Specular");
    EXPECT_FALSE(lit.state.blend && lit.state.sourceBlend == 4);

    const Nyx::PipelineDraw& spot = Draws()[1];
    EXPECT_EQ(spot.vertexProgram, "KestroBump_SpotLight");
    EXPECT_EQ(spot.combiner, "KestroBumpMat_ParallelLight");
    ExpectConstant(spot, 5, 1.0f, 2.0f, -7.0f);
    ExpectConstant(spot, 6, 0.5f, 0.25f, 0.0f);
    ExpectConstant(spot, 7, 1.0f, 0.0f, 0.0f);
    ExpectConstant(spot, 13, -1.0f, -2.0f, -3.0f);
    ExpectColour(spot.registers[0], Rgba(0.4f, 0.3f, 0.2f, 0.9f), "spot LightDiff");
    ExpectColour(spot.registers[1], Rgba(0.0f, 0.0f, 0.0f, 1.0f), "spot LightAmb");
    ExpectColour(spot.registers[2], Rgba(1.0f, 0.5f, 0.25f, 0.75f), "spot Specular");
    EXPECT_TRUE(spot.state.blend);
    EXPECT_EQ(spot.state.sourceBlend, 4);
    EXPECT_EQ(spot.state.destinationBlend, 1);
    EXPECT_EQ(spot.state.fogMode, 0);
    EXPECT_EQ(spot.state.stages[1].texture, bump->GetBumpTexture());
}

TEST_F(BumpMaterialsTest, ParallelSetUpEdgeCases)
{
    DisplayLight dim{DisplayLight::kParallel};
    dim.SetDiffuse(Rgba(1.0f, 1.0f, 1.0f, 1.0f));
    dim.SetDirection({1.0f, 0.0f, 0.0f});
    DisplayLight bright = dim;
    bright.SetDiffuse(Rgba(2.0f, 2.0f, 2.0f, 1.0f));
    bright.SetDirection({0.0f, 0.0f, 1.0f});
    DisplayLight glare{DisplayLight::kAmbient};
    glare.SetAmbient(Rgba(3.0f, 3.0f, 3.0f, 1.0f));
    DisplayLight point{DisplayLight::kPoint};
    point.SetAmbient(Rgba(5.0f, 5.0f, 5.0f, 1.0f));
    struct Case {
        const char* name;
        Nyx::DisplayLightList lights;
        Nyx::Vector3f direction;
        Nyx::DisplayColour diffuse;
        Nyx::DisplayColour ambient;
        size_t draws;
    };
    const Case cases[] = {
        // Without lights: black LightDiff, LightAmb from the global ambient alone.
        {"no lights", {}, {0, 0, 0}, Rgba(0, 0, 0, 1), Rgba(0.2f, 0.2f, 0.2f, 1), 1},
        // A parallel light adds its ambient colour: 0.5 × (0.2 + 0.4) + 0.1.
        {"equal brightness keeps the first", {&dim, &parallel_}, {1, 0, 0}, Rgba(0.8f, 0.6f, 0.4f, 0.9f),
         Rgba(0.4f, 0.4f, 0.4f, 1), 1},
        {"brighter replaces", {&dim, &bright}, {0, 0, 1}, Rgba(1.6f, 1.2f, 0.8f, 0.9f), Rgba(0.2f, 0.2f, 0.2f, 1), 1},
        // 0.5 × (0.2 + 3) + 0.1 clamps to 1; point lights add nothing and draw no pass.
        {"ambient clamped, others ignored", {&glare, &point}, {0, 0, 0}, Rgba(0, 0, 0, 1), Rgba(1, 1, 1, 1), 1},
    };
    auto* bump = MakeColoured<Nyx::KestroBumpMaterial>("tbumptex");
    ASSERT_NE(bump, nullptr);
    Nyx::GeometryChunk* chunk = Chunk(*bump);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Display().ClearPipelineDraws();
        Draw(*bump, *chunk, &c.lights);
        ASSERT_EQ(Draws().size(), c.draws);
        ExpectConstant(Draws()[0], 7, c.direction.x, c.direction.y, c.direction.z);
        ExpectColour(Draws()[0].registers[0], c.diffuse, "LightDiff");
        ExpectColour(Draws()[0].registers[1], c.ambient, "LightAmb");
    }
}

TEST_F(BumpMaterialsTest, ADrawSetsAndRestoresTheDisplayInTheBumpOrder)
{
    auto* bump = MakeColoured<Nyx::KestroBumpMaterial>("tbumptex");
    ASSERT_NE(bump, nullptr);
    Nyx::GeometryChunk* chunk = Chunk(*bump);
    Display().ClearRecording();
    Draw(*bump, *chunk, nullptr);
    const std::vector<std::string> expected = {
        "SetStageTexture", "SetCullMode", "ClearStageTexture", "SetAlphaBlendFunction", "SetAlphaBlendMode",
        "SetWorldTransform", "KestroBump_ParallelLight.SetLocalConstant", "KestroBumpMat_ParallelLight.SetConstantRegister",
        "KestroBump_ParallelLight.SetLocalConstant", "KestroBumpMat_ParallelLight.SetConstantRegister",
        "KestroBumpMat_ParallelLight.SetConstantRegister", "KestroBumpMat_ParallelLight.Enable", "DrawGeometry",
        "KestroBumpMat_ParallelLight.Disable", "ResetStage", "SetCullMode", "SetAlphaBlendMode",
        "SetAlphaBlendFunction", "ResetStage"};
    EXPECT_EQ(EventNames(), expected);
    // Without a viewport nothing happens.
    Display().ClearRecording();
    bump->RenderChunk(Display(), nullptr, *chunk, nullptr, world_, -1);
    EXPECT_TRUE(Display().GetEvents().empty());
}

TEST_F(BumpMaterialsTest, BatchedBumpDrawsAllParallelPassesThenTheSpotPasses)
{
    auto* bump = MakeColoured<Nyx::KestroBumpMaterial>("tbumptex");
    ASSERT_NE(bump, nullptr);
    Nyx::GeometryChunk* chunks[3] = {Chunk(*bump, 1), Chunk(*bump, 2), Chunk(*bump, 3)};
    const Nyx::DisplayLightList spotLit{&spot_};
    const Nyx::DisplayLightList* lights[3] = {&spotLit, nullptr, &spotLit};
    const Nyx::Matrix4* worlds[3] = {&world_, &world_, &world_};
    const Nyx::PipelineState before = Display().GetPipelineState();
    bump->RenderNumChunks(Display(), &viewport_, chunks, lights, worlds, 3);
    EXPECT_EQ(Display().GetPipelineState(), before);
    ASSERT_EQ(Draws().size(), 5u);
    const std::pair<const Nyx::GeometryChunk*, std::string> order[] = {
        {chunks[0], "KestroBump_ParallelLight"}, {chunks[1], "KestroBump_ParallelLight"},
        {chunks[2], "KestroBump_ParallelLight"}, {chunks[0], "KestroBump_SpotLight"},
        {chunks[2], "KestroBump_SpotLight"}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Draws()[i].chunk, order[i].first) << i;
        EXPECT_EQ(Draws()[i].vertexProgram, order[i].second) << i;
    }
}

TEST_F(BumpMaterialsTest, GlossWeightLerpAndSpecularRegisters)
{
    struct Case {
        const char* name;
        float strength;
        float rustAge;
        float lerp;          // register 2 of the parallel draw
        size_t draws;        // with a parallel and a spot light
    };
    const Case cases[] = {
        {"g = 0.8 × (1 − 0.5)", 0.8f, 0.25f, 0.4f, 2},
        {"new chunk at strength 0 shows its lit base", 0.0f, 0.0f, 0.0f, 1},
        {"rust age 0.5 leaves no gloss", 1.0f, 0.5f, 0.0f, 1},
        {"one step of gloss is not enough", 1.0f / 255.0f, 0.0f, 0.0f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* gloss = MakeColoured<Nyx::KestroBumpGlossMaterial>("tbumpgloss");
        ASSERT_NE(gloss, nullptr);
        Nyx::Texture* texture = new Nyx::Texture(Nyx::PString("gloss"));
        texture->AddRef();
        ASSERT_EQ(gloss->SetTexture(texture, 9, c.strength), 0u);
        texture->Release();
        Nyx::GeometryChunk* chunk = Chunk(*gloss);
        ASSERT_TRUE(chunk->SetChunkProperty(Nyx::PString("RustAge"), c.rustAge));
        Display().ClearPipelineDraws();
        const Nyx::DisplayLightList lights{&parallel_, &spot_};
        Draw(*gloss, *chunk, &lights);
        ASSERT_EQ(Draws().size(), c.draws);
        const Nyx::PipelineDraw& lit = Draws()[0];
        EXPECT_EQ(lit.combiner, "KestroBumpGlossMat_ParallelLight");
        EXPECT_EQ(lit.state.stages[3].texture, texture);
        ExpectColour(lit.registers[2], Rgba(c.lerp, c.lerp, c.lerp, c.lerp), "Lerp");
        ExpectColour(lit.registers[3], Rgba(0.5f, 0.25f, 0.125f, 0.75f), "Specular");
        // The ambient colour counts as white for the draw: 0.6 + 0.1.
        ExpectColour(lit.registers[1], Rgba(0.7f, 0.7f, 0.7f, 1.0f), "LightAmb");
        ExpectColour(gloss->GetColour(Nyx::Material::kAmbient), Rgba(0.5f, 0.5f, 0.5f, 1.0f), "ambient kept");
        if (c.draws == 2) {
            const Nyx::PipelineDraw& spot = Draws()[1];
            EXPECT_EQ(spot.combiner, "KestroBumpGlossMat_SpotLight");
            EXPECT_EQ(spot.state.sourceBlend, 1);
            EXPECT_EQ(spot.state.destinationBlend, 1);
            ExpectColour(spot.registers[2], Rgba(c.lerp, c.lerp, c.lerp, c.lerp), "spot Lerp");
            ExpectColour(spot.registers[3], Rgba(1.0f, 0.5f, 0.25f, 0.75f), "spot Specular");
        }
    }
}

TEST_F(BumpMaterialsTest, EnvironmentLayerAndItsKeptSpecular)
{
    auto* env = MakeColoured<Nyx::KestroBumpEnvMaterial>("tbumpenv");
    ASSERT_NE(env, nullptr);
    Nyx::GeometryChunk* chunk = Chunk(*env);
    // Turn the camera a quarter round y, so that the stage-1 matrix is the
    // transposed view rotation times the axis matrix.
    const float s = std::sqrt(0.5f);
    viewport_.GetCamera().SetFrame({0.0f, 0.0f, 10.0f}, Nyx::Quaternion{0.0f, s, 0.0f, s});
    env->GetParallelCombiner()->SetConstantRegister(2, Rgba(0.3f, 0.3f, 0.3f, 0.3f));
    const Nyx::DisplayLightList lights{&spot_};
    Draw(*env, *chunk, &lights);
    ASSERT_EQ(Draws().size(), 2u);
    const Nyx::PipelineDraw& lit = Draws()[0];
    EXPECT_TRUE(lit.state.stages[3].environmentMap);
    ASSERT_TRUE(lit.state.stages[1].matrixSet);
    const Nyx::Matrix4 view = Nyx::KestroBumpMaterial::ViewTransform(viewport_);
    Nyx::Matrix4 t;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t.m[r][c] = view.m[c][r];
    const Nyx::Matrix4 expected = t * env->GetAxisMatrix();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(lit.state.stages[1].matrix.m[r][c], expected.m[r][c], kTol) << r << "," << c;
    // No parallel light: Specular keeps what it had.
    ExpectColour(lit.registers[2], Rgba(0.3f, 0.3f, 0.3f, 0.3f), "Specular kept");
    EXPECT_EQ(Draws()[1].combiner, "KestroBumpEnvMat_SpotLight");
    EXPECT_EQ(Draws()[1].state.sourceBlend, 4);

    // Without a second texture: no matrix, the environment map all the same.
    kernel_->GetSharedTextures().Clear();
    auto* bare = MakeColoured<Nyx::KestroBumpEnvMaterial>("tbumpenv");
    ASSERT_NE(bare, nullptr);
    ASSERT_EQ(bare->GetSecondTexture(), nullptr);
    Display().ClearPipelineDraws();
    Draw(*bare, *Chunk(*bare), nullptr);
    ASSERT_EQ(Draws().size(), 1u);
    EXPECT_FALSE(Draws()[0].state.stages[1].matrixSet);
    EXPECT_TRUE(Draws()[0].state.stages[3].environmentMap);
}

TEST_F(BumpMaterialsTest, RangedDrawsOfTheLayeredMaterialsDrawTheRange)
{
    const uint16_t indices[] = {0, 1, 2};
    const Nyx::PrimitiveRange range{1, indices, 3, 0};
    for (const char* type : {"tbumptex", "tbumpenv", "tbumpgloss"}) {
        SCOPED_TRACE(type);
        auto* material = MakeColoured<Nyx::KestroBumpMaterial>(type);
        ASSERT_NE(material, nullptr);
        material->SetTexture(material->GetTexture(9) ? material->GetTexture(9) : nullptr, 9, 1.0f);
        Nyx::GeometryChunk* chunk = Chunk(*material);
        Display().ClearPipelineDraws();
        const Nyx::DisplayLightList lights{&parallel_, &spot_};
        const Nyx::PipelineState before = Display().GetPipelineState();
        material->RenderPrimitives(Display(), &viewport_, *chunk, &lights, world_, range, -1);
        EXPECT_EQ(Display().GetPipelineState(), before);
        ASSERT_EQ(Draws().size(), 2u);
        for (const Nyx::PipelineDraw& draw : Draws()) {
            EXPECT_TRUE(draw.ranged);
            EXPECT_EQ(draw.primitiveCount, 1u);
        }
    }
}

TEST_F(BumpMaterialsTest, LayeredBatchesDrawChunkByChunk)
{
    for (const char* type : {"tbumpenv", "tbumpgloss"}) {
        SCOPED_TRACE(type);
        auto* material = MakeColoured<Nyx::KestroBumpMaterial>(type);
        ASSERT_NE(material, nullptr);
        material->SetTexture(material->GetTexture(9), 9, 0.5f);
        Nyx::GeometryChunk* chunks[2] = {Chunk(*material, 1), Chunk(*material, 2)};
        const Nyx::DisplayLightList first{&parallel_, &spot_};
        const Nyx::DisplayLightList second{&spot_};
        const Nyx::DisplayLightList* lights[2] = {&first, &second};
        const Nyx::Matrix4* worlds[2] = {&world_, &world_};
        Display().ClearPipelineDraws();
        material->RenderNumChunks(Display(), &viewport_, chunks, lights, worlds, 2);
        const std::vector<Nyx::PipelineDraw> batched = Draws();
        Display().ClearPipelineDraws();
        for (int i = 0; i < 2; ++i)
            material->RenderChunk(Display(), &viewport_, *chunks[i], lights[i], world_, -1);
        ASSERT_EQ(batched.size(), Draws().size());
        ASSERT_EQ(batched.size(), 4u);
        for (size_t i = 0; i < batched.size(); ++i) {
            EXPECT_EQ(batched[i].chunk, Draws()[i].chunk);
            EXPECT_EQ(batched[i].vertexProgram, Draws()[i].vertexProgram);
            EXPECT_EQ(batched[i].localConstants, Draws()[i].localConstants);
            EXPECT_EQ(batched[i].registers, Draws()[i].registers);
            EXPECT_EQ(batched[i].state, Draws()[i].state);
        }
    }
}

TEST_F(BumpMaterialsTest, ChunkHintRules)
{
    struct Case {
        const char* name;
        uint32_t validity;
        uint8_t items;
        uint32_t vertexUsage;
        uint32_t indexUsage;
        uint8_t itemsAfter;
        bool dynamic;
        bool shared;
        bool dynamicIndices;
    };
    const Case cases[] = {
        {"items not valid", 0, 0x3, 1, 0, 0x3, true, false, false},
        {"marked, bit 2 added", 1, 0x3, 2, 1, 0x6, true, true, true},
        {"marked already", 1, 0x6, 0, 0, 0x6, false, true, false},
        {"not marked, usage 2", 1, 0x1, 2, 0, 0x0, false, false, false},
    };
    auto* bump = Make<Nyx::KestroBumpMaterial>("tbumptex");
    auto* gloss = Make<Nyx::KestroBumpGlossMaterial>("tbumpgloss");
    ASSERT_TRUE(bump && gloss);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Nyx::StandardChunkHint hint(1, 0);
        hint.validity = c.validity;
        hint.items = c.items;
        hint.vertexBufferMode = c.vertexUsage;
        hint.indexBufferMode = c.indexUsage;
        Nyx::GeometryChunk* chunk = bump->CreateGeometryChunk(4, 2, 6, 2, 0, &hint);
        ASSERT_NE(chunk, nullptr);
        chunks_.push_back(chunk);
        EXPECT_EQ(hint.items, c.itemsAfter);
        EXPECT_EQ(chunk->GetVertexTypeID(), Nyx::kVertexTypePNTA);
        EXPECT_EQ(chunk->GetVertexDataDynamic().asked, c.dynamic);
        EXPECT_EQ(chunk->GetVertexDataShared().asked, c.shared);
        EXPECT_EQ(chunk->IsIndexDataDynamic(), c.dynamicIndices);
    }
    // The gloss chunk carries "RustAge" at 0 and shares its stream unless lit in software.
    Nyx::StandardChunkHint hint(1, 0);
    Nyx::GeometryChunk* chunk = gloss->CreateGeometryChunk(4, 2, 6, 2, 0, &hint);
    chunks_.push_back(chunk);
    float age = -1.0f;
    EXPECT_TRUE(chunk->GetChunkProperty(Nyx::PString("RustAge"), age));
    EXPECT_EQ(age, 0.0f);
    EXPECT_EQ(chunk->GetVertexDataShared(), (Nyx::GeometryChunk::BufferRequest{true, 0, -3, false}));
    hint.flags = Nyx::StandardChunkHint::kSoftwareLighting;
    chunk = gloss->CreateGeometryChunk(4, 2, 6, 2, 0, &hint);
    chunks_.push_back(chunk);
    EXPECT_FALSE(chunk->GetVertexDataShared().asked);
}

TEST_F(BumpMaterialsTest, TexturesLoadingAndEquality)
{
    auto* gloss = Make<Nyx::KestroBumpGlossMaterial>("tbumpgloss");
    auto* other = Make<Nyx::KestroBumpGlossMaterial>("tbumpgloss");
    ASSERT_TRUE(gloss && other);
    Nyx::Texture* shine = new Nyx::Texture(Nyx::PString("shine"));
    kernel_->GetMaterialManager().GetTextureManager().AddTexture(nullptr, shine);
    EXPECT_EQ(gloss->SetTexture(9, nullptr, Nyx::PString("shine"), 0.5f), 0u);
    EXPECT_EQ(gloss->GetAlphaHint(), 0xFFFFFFFFu);
    EXPECT_EQ(other->SetTexture(shine, 9, 0.25f), 0u);
    EXPECT_FALSE(gloss->Equals(*other));  // same textures, other strengths
    EXPECT_EQ(other->SetTexture(shine, 9, 0.5f), 0u);
    EXPECT_TRUE(gloss->Equals(*other));
    Nyx::OneTextureMaterial* copy = gloss->CreateInstance();
    copy->AddRef();
    EXPECT_TRUE(copy->Equals(*gloss));
    copy->Release();

    // A name the texture manager cannot find keeps the old texture.
    Nyx::Texture* bump = gloss->GetBumpTexture();
    EXPECT_EQ(gloss->SetTexture(8, nullptr, Nyx::PString("missing"), 1.0f), 3u);
    EXPECT_EQ(gloss->GetBumpTexture(), bump);
    EXPECT_EQ(gloss->SetTexture(nullptr, 8, 1.0f), 3u);

    EXPECT_EQ(gloss->IsLoaded(), 0u);
    shine->SetLoaded(false);
    EXPECT_EQ(gloss->IsLoaded(), 4u);  // the second texture, bump and base loaded
    shine->SetLoaded(true);
    bump->SetLoaded(false);
    EXPECT_EQ(gloss->IsLoaded(), 4u);
    bump->SetLoaded(true);
    gloss->CacheAlphaHint();
    EXPECT_EQ(gloss->GetAlphaHint(), 0u);
}

TEST_F(BumpMaterialsTest, NoFogDrawsWithoutFogAndRestoresIt)
{
    struct Case {
        const char* name;
        uint32_t flags;
        int32_t cullDuring;
        bool blendEvents;
    };
    const Case cases[] = {
        {"plain", 0, 1, true},
        {"cull mode 0", 1, 0, true},
        {"blending left alone", 2, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* nofog = Make<Nyx::KestroNoFogMaterial>("nofogtex");
        ASSERT_NE(nofog, nullptr);
        ASSERT_NE(nofog->GetStageSetup(), nullptr);
        nofog->SetFlags(c.flags);
        Display().SetFogMode(3);
        Display().ClearRecording();
        Display().ClearPipelineDraws();
        const Nyx::PipelineState before = Display().GetPipelineState();
        nofog->RenderChunk(Display(), &viewport_, *Chunk(*nofog), nullptr, world_, -1);
        EXPECT_EQ(Display().GetPipelineState(), before);
        ASSERT_EQ(Draws().size(), 1u);
        EXPECT_EQ(Draws()[0].state.fogMode, 0);
        EXPECT_EQ(Draws()[0].state.cullMode, c.cullDuring);
        EXPECT_EQ(Draws()[0].state.stages[0].texture, nullptr);
        EXPECT_EQ(Display().GetFogMode(), 3);
        const std::vector<std::string> names = EventNames();
        EXPECT_EQ(std::count(names.begin(), names.end(), "SetAlphaBlendMode") != 0, c.blendEvents);
        EXPECT_EQ(names.front(), "SetFogMode");
    }
}

TEST_F(BumpMaterialsTest, PluginFallbacksWhenTheDisplayLacksACapability)
{
    struct Case {
        const char* type;
        const char* fallback;
    };
    const Case cases[] = {{"tbumpgloss", "tglossrust"}, {"tbumpenv", "tonetexnoalpha"}, {"tbumptex", "onetex"}};
    for (uint32_t capability : {21u, 17u}) {
        Display().SetCapability(capability, false);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.type);
            Nyx::PString fallback;
            EXPECT_FALSE(Plugin(c.type)->IsSupported(Display(), fallback));
            EXPECT_EQ(fallback.Str(), c.fallback);
        }
        Display().SetCapability(capability, true);
    }
    // The manager makes the fallback type instead.
    Display().SetCapability(21, false);
    Nyx::OneTextureMaterial* material = Make("tbumptex");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->GetType().Str(), "onetex");
    // The fallback of "tbumpenv" is served only once the program's whole
    // set of plug-ins is enrolled (another test of this program may have).
    Nyx::PluginType* served = Nyx::PluginBase::LookupPluginType(Nyx::UId(Nyx::kMaterialPluginFamily),
                                                                Nyx::PString("tonetexnoalpha"));
    const Nyx::Material* env = Make<Nyx::Material>("tbumpenv");
    EXPECT_EQ(env ? env->GetType().Str() : "none", served ? "tonetexnoalpha" : "none");
    if (served)
        served->ReleaseReference();
}

TEST_F(BumpMaterialsTest, PluginsShareCachesAndProgramsAndRetryAfterAFailedLoad)
{
    Nyx::RenderDevice& device = Display().GetRenderDevice();
    auto* first = Make<Nyx::KestroBumpMaterial>("tbumptex");
    const uint32_t registrations = device.GetVertexProgramManager()->GetRegistrationCount();
    const uint32_t loads = device.GetVertexProgramManager()->GetLoadCount();
    auto* second = Make<Nyx::KestroBumpMaterial>("tbumptex");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(device.GetVertexProgramManager()->GetRegistrationCount(), registrations);
    EXPECT_EQ(device.GetVertexProgramManager()->GetLoadCount(), loads);
    EXPECT_EQ(first->GetParallelProgram(), second->GetParallelProgram());
    EXPECT_EQ(first->GetChunkCache(), second->GetChunkCache());

    // The environment plug-in's spot combiner fails: what loaded before it goes.
    device.GetTextureCombinerManager()->SetRefused("KestroBumpEnvMat_SpotLight", true);
    EXPECT_EQ(Make("tbumpenv"), nullptr);
    auto* envPlugin = static_cast<Nyx::KestroBumpPluginBase*>(Plugin("tbumpenv"));
    for (uint32_t field = 0; field < 4; ++field) {
        EXPECT_EQ(envPlugin->GetVertexProgram(field), nullptr);
        EXPECT_EQ(envPlugin->GetCombiner(field), nullptr);
    }
    EXPECT_EQ(envPlugin->GetChunkCache(), first->GetChunkCache());  // the caches stay, shared
    const uint32_t combinerRegistrations = device.GetTextureCombinerManager()->GetRegistrationCount();
    device.GetTextureCombinerManager()->SetRefused("KestroBumpEnvMat_SpotLight", false);
    auto* env = Make<Nyx::KestroBumpEnvMaterial>("tbumpenv");
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(device.GetTextureCombinerManager()->GetRegistrationCount(), combinerRegistrations + 2);
    EXPECT_EQ(env->GetSpotCombiner()->GetName(), "KestroBumpEnvMat_SpotLight");

    auto* gloss = Make<Nyx::KestroBumpGlossMaterial>("tbumpgloss");
    ASSERT_NE(gloss, nullptr);
    EXPECT_EQ(gloss->GetRustParallelProgram()->GetName(), "KestroBump_ParallelLight");
    EXPECT_EQ(gloss->GetRustSpotProgram()->GetName(), "KestroBump_SpotLight");
    EXPECT_EQ(gloss->GetRustParallelCombiner(), gloss->GetRustSpotCombiner());
    EXPECT_EQ(gloss->GetRustSpotCombiner()->GetName(), "KestroBumpRustMat_ParallelLight");
    EXPECT_EQ(gloss->GetPluginType(), Plugin("tbumpgloss"));
}

}  // namespace
