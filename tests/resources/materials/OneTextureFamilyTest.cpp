// The gloss-rust, ground-base, one-texture-no-alpha and multi-effect
// materials drawn into the recording display: stage constants by age,
// batches drawing as single draws, the display left as found, chunk
// choices, effect textures and the plug-ins' set-ups.
#include <gtest/gtest.h>

#include <memory>

#include "MaterialTestSupport.h"
#include "nyx/gfx/textures/Texture.h"
#include "resources/materials/glossrust/KestroGlossRustMaterial.h"
#include "resources/materials/multipfx/KestroMultiPFXMaterial.h"
#include "resources/materials/onetex/KestroOneTexNoAlphaMaterial.h"
#include "resources/materials/plugins/KestroGlossRustMaterialPlugin.h"
#include "resources/materials/plugins/KestroMultiPFXMaterialPlugin.h"
#include "resources/materials/plugins/KestroOneTexNoAlphaMaterialPlugin.h"
#include "resources/mesh/GeometryChunkTemplate.h"

namespace {

using materialtest::Rgba;
using Nyx::DisplayLight;

constexpr float kTol = 1e-5f;

void ExpectColour(const Nyx::DisplayColour& got, const Nyx::DisplayColour& want)
{
    EXPECT_NEAR(got.r, want.r, kTol);
    EXPECT_NEAR(got.g, want.g, kTol);
    EXPECT_NEAR(got.b, want.b, kTol);
    EXPECT_NEAR(got.a, want.a, kTol);
}

class OneTextureFamilyTest : public materialtest::MaterialFixture {
protected:
    void SetUp() override
    {
        MaterialFixture::SetUp();
        for (const char* type : {"tglossrust", "tonetexnoalpha", "tmpfx"})
            plugins_.push_back(Nyx::KestroMaterialPlugins::Create(type));
        world_.m[3][2] = -5.0f;
        Display().SetWorldTransform(world_);
        Display().SetGlobalAmbient(Rgba(0.2f, 0.2f, 0.2f, 1.0f));
        light_.SetDiffuse(Rgba(0.5f, 0.6f, 0.9f, 1.0f));
        texture_ = new Nyx::Texture(Nyx::PString("base"));
        texture_->AddRef();
    }
    void TearDown() override
    {
        texture_->Release();
        MaterialFixture::TearDown();
    }
    Nyx::KestroGlossRustMaterial* GlossRust(float reflectivity = 0.8f)
    {
        auto* m = Make<Nyx::KestroGlossRustMaterial>("tglossrust");
        if (m) {
            m->SetReflectivity(reflectivity);
            m->SetTexture(texture_, 0, 1.0f);
            Nyx::DisplayMaterial colours;
            colours.colour[0] = Rgba(0.5f, 0.4f, 0.2f, 1.0f);
            colours.colour[2] = Rgba(0.8f, 0.6f, 0.4f, 1.0f);
            m->SetDisplayMaterialProperties(colours);
        }
        return m;
    }
    Nyx::GeometryChunk* AgedChunk(Nyx::OneTextureMaterial& material, float age)
    {
        Nyx::GeometryChunk* chunk = Chunk(material);
        chunk->SetChunkProperty(Nyx::PString("RustAge"), age);
        return chunk;
    }
    // Draws and checks that the display's state is as before.
    void Draw(Nyx::OneTextureMaterial& material, Nyx::GeometryChunk& chunk)
    {
        const Nyx::PipelineState before = Display().GetPipelineState();
        material.RenderChunk(Display(), &viewport_, chunk, &lights_, world_, -1);
        EXPECT_EQ(Display().GetPipelineState(), before);
    }
    const std::vector<Nyx::PipelineDraw>& Draws() { return Display().GetPipelineDraws(); }

    Nyx::Matrix4 world_;
    DisplayLight light_{DisplayLight::kParallel};
    Nyx::DisplayLightList lights_{&light_};
    Nyx::Texture* texture_ = nullptr;
};

TEST_F(OneTextureFamilyTest, GlossRustStageConstantsAndSpecularFollowTheAge)
{
    struct Case {
        float age;
        bool gloss;
        Nyx::DisplayColour constant;
        float specularScale;
    };
    // Rust: (0.2 + light) clamped, times the ambient (0.5, 0.4, 0.2).
    const Case cases[] = {
        {0.0f, true, Rgba(0.8f, 0.8f, 0.8f, 0.8f), 1.0f},
        {0.5f, false, Rgba(0.35f, 0.32f, 0.2f, 0.0f), 1.0f},
        {1.0f, false, Rgba(0.35f, 0.32f, 0.2f, 1.0f), 0.5f},
    };
    auto* material = GlossRust();
    ASSERT_NE(material, nullptr);
    auto* plugin = static_cast<Nyx::KestroGlossRustMaterialPlugin*>(Plugin("tglossrust"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.age);
        Display().ClearPipelineDraws();
        Nyx::GeometryChunk* chunk = AgedChunk(*material, c.age);
        Draw(*material, *chunk);
        ASSERT_EQ(Draws().size(), 1u);
        const Nyx::PipelineDraw& draw = Draws()[0];
        ExpectColour(draw.state.stages[0].constant, c.constant);
        ExpectColour(draw.state.stages[1].constant, c.constant);
        const uint32_t first = c.gloss ? 0 : 2;
        EXPECT_EQ(draw.state.stages[0].setup, plugin->GetSetups()[first]->GetNumber() + 1);
        EXPECT_EQ(draw.state.stages[1].setup, plugin->GetSetups()[first + 1]->GetNumber() + 1);
        EXPECT_EQ(draw.state.stages[1].texture, texture_);
        ExpectColour(draw.lighting.material.colour[2], Rgba(0.8f * c.specularScale, 0.6f * c.specularScale,
                                                            0.4f * c.specularScale, c.specularScale));
        ExpectColour(draw.lighting.material.colour[0], Rgba(1, 1, 1, 1));
        // The material's own colours are back.
        ExpectColour(material->GetColour(2), Rgba(0.8f, 0.6f, 0.4f, 1.0f));
        ExpectColour(material->GetColour(0), Rgba(0.5f, 0.4f, 0.2f, 1.0f));
    }
}

TEST_F(OneTextureFamilyTest, GlossRustBatchesDrawEveryChunkAsTheSingleDrawDoes)
{
    struct Case {
        const char* name;
        float reflectivity;
        std::vector<float> ages;
    };
    const Case cases[] = {
        {"mixed ages", 0.8f, {0.0f, 0.75f, 0.25f, 1.0f, 0.5f}},
        // No gloss at all: every chunk, young or old, rusts.
        {"reflectivity 0", 0.0f, {0.25f, 0.0f, 0.9f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* material = GlossRust(c.reflectivity);
        std::vector<Nyx::GeometryChunk*> chunks;
        std::vector<const Nyx::Matrix4*> worlds;
        std::vector<const Nyx::DisplayLightList*> lights;
        for (float age : c.ages) {
            chunks.push_back(AgedChunk(*material, age));
            worlds.push_back(&world_);
            lights.push_back(&lights_);
        }
        Display().ClearPipelineDraws();
        for (Nyx::GeometryChunk* chunk : chunks)
            Draw(*material, *chunk);
        const std::vector<Nyx::PipelineDraw> single = Draws();

        Display().ClearPipelineDraws();
        const Nyx::PipelineState before = Display().GetPipelineState();
        material->RenderNumChunks(Display(), &viewport_, chunks.data(), lights.data(), worlds.data(),
                                  static_cast<uint32_t>(chunks.size()));
        EXPECT_EQ(Display().GetPipelineState(), before);
        ASSERT_EQ(Draws().size(), chunks.size());
        for (const Nyx::PipelineDraw& batched : Draws()) {
            size_t i = 0;
            while (i < chunks.size() && chunks[i] != batched.chunk)
                ++i;
            ASSERT_LT(i, chunks.size());
            SCOPED_TRACE(c.ages[i]);
            EXPECT_EQ(batched.state, single[i].state);
            EXPECT_EQ(batched.lighting, single[i].lighting);
        }
    }
}

TEST_F(OneTextureFamilyTest, GlossRustChunksCarryRustAgeAndCubeMapsTurnWithTheView)
{
    auto* material = GlossRust();
    Nyx::GeometryChunk* chunk = Chunk(*material);
    float age = -1.0f;
    EXPECT_TRUE(chunk->GetChunkProperty(Nyx::PString("RustAge"), age));
    EXPECT_EQ(age, 0.0f);
    EXPECT_TRUE(chunk->GetVertexDataShared().asked);
    Nyx::GeometryChunk* bare = Chunk(*Make<Nyx::OneTextureMaterial>("onetex"));
    EXPECT_EQ(Nyx::KestroGlossRustMaterial::RustAge(*bare), 0.0f);

    // A cube map with display coordinates: the transposed view rotation
    // times the reflection matrix on stage 1, generation on and undone.
    texture_->SetKind(Nyx::Texture::kCubeMap);
    material->SetReflectionFlags(Nyx::ReflectiveMaterial::kFlagCubeTexGen);
    Nyx::Matrix4 reflection;
    reflection.m[0][1] = 2.0f;
    material->SetReflectionMatrix(reflection);
    Display().ClearPipelineDraws();
    Draw(*material, *chunk);
    ASSERT_EQ(Draws().size(), 1u);
    const Nyx::StageState& stage = Draws()[0].state.stages[1];
    EXPECT_TRUE(stage.matrixSet);
    EXPECT_EQ(stage.matrix, reflection);  // the camera looks down −z unturned
    EXPECT_EQ(stage.texGenMode, 2u);

    // Without a texture nothing is drawn.
    auto* bareGloss = Make<Nyx::KestroGlossRustMaterial>("tglossrust");
    Display().ClearPipelineDraws();
    bareGloss->RenderChunk(Display(), &viewport_, *chunk, &lights_, world_, -1);
    EXPECT_TRUE(Draws().empty());
}

TEST_F(OneTextureFamilyTest, GlossRustSetupsAreMadeInOrderAndAllGivenBackOnAFailure)
{
    Nyx::RenderDevice& device = Display().GetRenderDevice();
    device.SetStageSetupBudget(2);
    EXPECT_EQ(Make("tglossrust"), nullptr);
    auto* plugin = static_cast<Nyx::KestroGlossRustMaterialPlugin*>(Plugin("tglossrust"));
    EXPECT_EQ(plugin->GetSetupCount(), 0u);
    const uint32_t live = device.GetLiveStageSetupCount();

    Display().SetRenderDeviceAvailable(false);
    device.SetStageSetupBudget(-1);
    EXPECT_EQ(Make("tglossrust"), nullptr);
    Display().SetRenderDeviceAvailable(true);

    ASSERT_NE(Make("tglossrust"), nullptr);
    EXPECT_EQ(device.GetLiveStageSetupCount(), live + 4);
    const uint32_t stages[] = {0, 1, 0, 1};
    for (uint32_t i = 0; i < 4; ++i) {
        const Nyx::TextureStageSetup* setup = plugin->GetSetups()[i];
        EXPECT_EQ(setup->GetStage(), stages[i]);
        EXPECT_EQ(setup->GetColourArgs(), Nyx::KestroGlossRustMaterialPlugin::kSetupArgs[i][0]);
        EXPECT_EQ(setup->GetAlphaArgs(), Nyx::KestroGlossRustMaterialPlugin::kSetupArgs[i][1]);
    }

    Display().SetCapability(Nyx::DisplayPipeline::kCapabilityStageConstants, false);
    EXPECT_EQ(Make("tglossrust")->GetType().Str(), "onetex");
}

TEST_F(OneTextureFamilyTest, GroundBaseRestoresAlphaTestAndLeavesDepthWritesOn)
{
    auto* material = Make<Nyx::KestroOneTexNoAlphaMaterial>("tonetexnoalpha");
    ASSERT_NE(material, nullptr);
    material->SetAlphaTestMode(true);
    material->SetDepthWriteMode(false);
    for (bool alphaTest : {true, false}) {
        SCOPED_TRACE(alphaTest);
        Display().SetAlphaTestMode(alphaTest);
        Display().SetDepthWriteMode(false);
        material->SetDisplayState(Display());
        EXPECT_TRUE(Display().GetAlphaTestMode());
        EXPECT_FALSE(Display().GetDepthWriteMode());
        EXPECT_EQ(Display().GetPipelineState().colourMaterialMode, 5);
        material->ClearDisplayState(Display());
        EXPECT_EQ(Display().GetAlphaTestMode(), alphaTest);
        EXPECT_TRUE(Display().GetDepthWriteMode());
        EXPECT_EQ(Display().GetPipelineState().colourMaterialMode, 0);
    }
    const size_t events = Display().GetEvents().size();
    material->Bind(Display(), &viewport_, 1);
    material->Unbind(Display(), &viewport_, 1);
    EXPECT_EQ(Display().GetEvents().size(), events);

    // The plug-in's set-up is held, never applied; the alpha hint is 0.
    Display().ClearPipelineDraws();
    Draw(*material, *Chunk(*material));
    ASSERT_EQ(Draws().size(), 1u);
    EXPECT_EQ(Draws()[0].state.stages[0].setup, 0u);
    EXPECT_NE(material->GetSetupHandle(), nullptr);
    material->SetTexture(texture_, 0, 1.0f);
    material->CacheAlphaHint();
    EXPECT_EQ(material->GetAlphaHint(), 0u);
}

TEST_F(OneTextureFamilyTest, OneTexNoAlphaChunksFollowTheHint)
{
    struct Case {
        const char* name;
        uint32_t validity;
        uint8_t items;
        uint32_t vertexUsage;
        bool withNormals;
        bool dynamic;
        bool shared;
        uint8_t itemsAfter;
    };
    const Case cases[] = {
        {"plain", 0, 0, 0, false, false, false, 0},
        {"item byte not valid", 0, 2, 2, false, false, false, 2},
        {"marked, engine's usage", 1, 2, 2, false, true, true, 6},
        {"separate normals", 1, 1, 1, true, true, true, 1},
        {"marked already", 1, 6, 0, false, false, true, 6},
    };
    auto* material = Make<Nyx::KestroOneTexNoAlphaMaterial>("tonetexnoalpha");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Nyx::StandardChunkHint hint(1, 0);
        hint.validity = c.validity;
        hint.items = c.items;
        hint.vertexBufferMode = c.vertexUsage;
        Nyx::GeometryChunk* chunk = material->CreateGeometryChunk(4, 2, 6, 2, 0, &hint);
        ASSERT_NE(chunk, nullptr);
        chunks_.push_back(chunk);
        EXPECT_EQ(dynamic_cast<Nyx::GeometryChunkNmlPCT*>(chunk) != nullptr, c.withNormals);
        EXPECT_EQ(dynamic_cast<Nyx::GeometryChunkPNT*>(chunk) != nullptr, !c.withNormals);
        EXPECT_EQ(chunk->GetVertexDataDynamic().asked, c.dynamic);
        EXPECT_EQ(chunk->GetVertexDataShared().asked, c.shared);
        EXPECT_EQ(hint.items, c.itemsAfter);
    }
}

TEST_F(OneTextureFamilyTest, OneTexNoAlphaWithoutARenderDeviceHoldsNoSetup)
{
    Display().SetRenderDeviceAvailable(false);
    auto* material = Make<Nyx::KestroOneTexNoAlphaMaterial>("tonetexnoalpha");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->GetSetupHandle(), nullptr);
}

TEST_F(OneTextureFamilyTest, MultiEffectKeepsItsEffectTextureApartFromTheBase)
{
    auto* material = Make<Nyx::KestroMultiPFXMaterial>("tmpfx");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->IsLoaded(), Nyx::Material::kTextureNotLoaded);
    for (uint32_t index : {11u, 13u}) {
        material->SetTexture(texture_, index, 1.0f);
        EXPECT_EQ(material->GetEffectTexture(), nullptr);
    }
    auto* effect = new Nyx::Texture(Nyx::PString("effect"));
    effect->AddRef();
    effect->SetLoaded(false);
    EXPECT_EQ(material->SetTexture(effect, 12, 1.0f), Nyx::Material::kOk);
    EXPECT_EQ(material->IsLoaded(), Nyx::Material::kTextureNotLoaded);
    effect->SetLoaded(true);
    EXPECT_EQ(material->IsLoaded(), Nyx::Material::kOk);
    EXPECT_EQ(material->SetTexture(nullptr, 12, 1.0f), Nyx::Material::kMissingTexture);
    EXPECT_EQ(material->GetTexture(12), effect);

    // A name nobody knows keeps the effect texture it had.
    EXPECT_EQ(material->SetTexture(12, nullptr, Nyx::PString("nowhere"), 1.0f), Nyx::Material::kMissingTexture);
    EXPECT_EQ(material->GetEffectTexture(), effect);

    // Sharing one effect texture compares equal; a duplicate does not.
    auto* other = Make<Nyx::KestroMultiPFXMaterial>("tmpfx");
    other->SetTexture(texture_, 0, 1.0f);
    other->SetTexture(effect, 12, 1.0f);
    EXPECT_TRUE(material->Equals(*other));
    EXPECT_EQ(other->DuplicateTexture(12), Nyx::Material::kOk);
    EXPECT_FALSE(material->Equals(*other));
    effect->Release();
}

TEST_F(OneTextureFamilyTest, MultiEffectDrawsWithItsSetupsAndVertexType)
{
    auto* material = Make<Nyx::KestroMultiPFXMaterial>("tmpfx");
    ASSERT_NE(material, nullptr);
    Nyx::Matrix4 effectMatrix;
    effectMatrix.m[3][0] = 0.5f;
    material->SetEffectMatrix(effectMatrix);
    Nyx::GeometryChunk* chunk = Chunk(*material);
    Chunk(*material);
    Nyx::RenderDevice& device = Display().GetRenderDevice();
    EXPECT_EQ(device.GetVertexTypeRegistrationCount(), 1u);
    const Nyx::VertexType* type = material->GetVertexType();
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(chunk->GetVertexType(), device.FindVertexType(99));
    EXPECT_EQ(type->size, 24u);
    EXPECT_EQ(type->GetItemCount(), 4u);
    EXPECT_EQ(type->itemOffset[Nyx::kItemTexCoord0 + 1], type->itemOffset[Nyx::kItemTexCoord0]);
    EXPECT_EQ(type->GetItem(3).aliasOf, static_cast<int32_t>(Nyx::kItemTexCoord0));

    // Without an effect texture stage 1 is cleared and still placed.
    Display().ClearPipelineDraws();
    Draw(*material, *chunk);
    ASSERT_EQ(Draws().size(), 1u);
    const Nyx::PipelineState& state = Draws()[0].state;
    auto* plugin = static_cast<Nyx::KestroMultiPFXMaterialPlugin*>(Plugin("tmpfx"));
    EXPECT_EQ(state.stages[0].setup, plugin->GetSetup(0)->GetNumber() + 1);
    EXPECT_EQ(state.stages[1].setup, plugin->GetSetup(1)->GetNumber() + 1);
    EXPECT_EQ(state.stages[1].texture, nullptr);
    EXPECT_EQ(state.stages[1].matrix, effectMatrix);

    Display().SetStageCount(1);
    EXPECT_EQ(Make("tmpfx")->GetType().Str(), "onetex");
}

TEST_F(OneTextureFamilyTest, MultiEffectGivesBackTheFirstSetupWhenTheSecondFails)
{
    Nyx::RenderDevice& device = Display().GetRenderDevice();
    const uint32_t live = device.GetLiveStageSetupCount();
    device.SetStageSetupBudget(1);
    EXPECT_EQ(Make("tmpfx"), nullptr);
    EXPECT_EQ(device.GetLiveStageSetupCount(), live);
    device.SetStageSetupBudget(-1);
    EXPECT_NE(Make("tmpfx"), nullptr);
    EXPECT_EQ(device.GetLiveStageSetupCount(), live + 2);
}

}  // namespace
