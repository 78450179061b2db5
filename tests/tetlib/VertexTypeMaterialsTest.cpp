// The preview scene and the dummy-material registration over stand-in
// engine objects, with material types that fail on purpose.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TETLibTestSupport.h"
#include "core/process/EngineContext.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/materials/RenderingCache.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/scene/ParallelLight.h"
#include "nyx/scene/SceneGraph.h"
#include "nyx/scene/Viewer.h"
#include "nyx/gfx/materials/MaterialPlugin.h"
#include "resources/AlphaBlendCaches.h"
#include "resources/materials/bump/KestroBumpGlossMaterial.h"
#include "resources/materials/nofog/KestroNoFogMaterial.h"
#include "resources/materials/glossrust/KestroGlossRustMaterial.h"
#include "resources/materials/onetex/KestroOneTexNoAlphaMaterial.h"
#include "resources/materials/plugins/KestroMaterialPlugins.h"

namespace {

using TETLib::DataManager;

Nyx::Material* MakeMaterial(const Nyx::PString& name, const Nyx::PString& type)
{
    Nyx::Material* material = new Nyx::OneTextureMaterial(name, type);
    material->AddRef();
    return material;
}
Nyx::Material* FailToMake(const Nyx::PString&, const Nyx::PString&) { return nullptr; }

// The types of the product's own materials, and of those no plug-in serves.
const char* const kOtherTypes[] = {"tbumptex",       "tbumpcoltex", "tbumpglosscol", "tbumpenv", "tgroundonetex",
                                   "tgroundonetexvs", "tonetexnoalpha", "tbumpgloss", "tglossrust", "nofogtex"};

class VertexTypeTest : public tetlibtest::ValidationDataFixture {
protected:
    void SetUp() override
    {
        ValidationDataFixture::SetUp();
        kernel_ = std::make_unique<Nyx::RenderKernel>(nullptr, 8.0f);
        context_.renderKernel = kernel_.get();
        Manager();
    }
    void TearDown() override
    {
        ValidationDataFixture::TearDown();
        for (uint32_t token : tokens_)
            Nyx::MaterialManager::UnregisterType(token);
        kernel_.reset();
    }

    void Enrol(const char* type, Nyx::MaterialManager::Factory factory)
    {
        tokens_.push_back(Nyx::MaterialManager::RegisterType(type, factory));
    }
    void EnrolEveryType()
    {
        for (const char* type : kOtherTypes)
            Enrol(type, &MakeMaterial);
    }
    std::vector<std::string> RegistrationLog() const
    {
        const std::string prefix = "DataManager::RegisterKestroBumpVertexType> ";
        std::vector<std::string> lines;
        for (const std::string& line : LogLines())
            if (line.rfind(prefix, 0) == 0)
                lines.push_back(line.substr(prefix.size()));
        return lines;
    }
    std::string Loaded() const
    {
        std::string out;
        for (uint32_t i = 0; i < DataManager::kVertexTypeMaterialCount; ++i)
            out += DataManager::GetVertexTypeMaterial(i) ? '+' : '-';
        return out;
    }

    std::unique_ptr<Nyx::RenderKernel> kernel_;
    EngineContext context_;
    std::vector<uint32_t> tokens_;
};

TEST_F(VertexTypeTest, FailuresAmongTheFirstNineAreSkippedAndAmongTheLastFiveEndTheRegistration)
{
    struct Case {
        const char* name;
        std::vector<const char*> failing;
        bool enrolProductTypes;
        std::string loaded;
        std::vector<std::string> unloaded;  // the type words logged
        uint32_t chunks;
    };
    const std::vector<std::string> everyOther(std::begin(kOtherTypes), std::end(kOtherTypes));
    const Case cases[] = {
        {"every type served", {}, true, "++++++++++++++", {}, 4},
        {"tbumptex fails", {"tbumptex"}, true, "-+++++++++++++", {"tbumptex"}, 4},
        {"notex fails", {"notex"}, true, "+++++++++-----", {"notex"}, 0},
        {"gloss fails", {"gloss"}, true, "++++++++++++--", {"gloss"}, 0},
        {"only the engine's types", {}, false, "---------++---", everyOther, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t logBefore = RegistrationLog().size();
        const size_t tokensBefore = tokens_.size();
        if (c.enrolProductTypes)
            EnrolEveryType();
        for (const char* type : c.failing)
            Enrol(type, &FailToMake);

        DataManager::Instance().SetupPreviewScene(context_);
        DataManager::Instance().RegisterKestroBumpVertexType();
        EXPECT_TRUE(DataManager::IsVertexTypeRegistered());
        EXPECT_EQ(Loaded(), c.loaded);
        std::vector<std::string> expectedLog;
        for (const std::string& type : c.unloaded)
            expectedLog.push_back("Unable to load 'm." + type + "'");
        const std::vector<std::string> log = RegistrationLog();
        EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<long>(logBefore), log.end()), expectedLog);
        EXPECT_EQ(DataManager::GetVertexTypeChunkCount(), c.chunks);
        // The caches are enrolled whatever the materials did.
        Nyx::RenderingCacheManager& caches = kernel_->GetRenderingCacheManager();
        EXPECT_NE(caches.FindCache(Nyx::KestroAlphaBlendCache::kId), nullptr);
        EXPECT_NE(caches.FindCache(Nyx::AlphaBlendCacheUnsorted::kId), nullptr);
        ASSERT_NE(caches.FindCache(Nyx::UnsortedAlphaBlendCache::kId), nullptr);
        EXPECT_EQ(static_cast<Nyx::UnsortedAlphaBlendCache*>(caches.FindCache(Nyx::UnsortedAlphaBlendCache::kId))
                      ->GetMode(),
                  1);

        DataManager::ReleaseVertexTypeMaterials();
        EXPECT_FALSE(DataManager::IsVertexTypeRegistered());
        EXPECT_EQ(Loaded(), "--------------");
        EXPECT_EQ(caches.GetCacheCount(), 0u);
        while (tokens_.size() > tokensBefore) {
            Nyx::MaterialManager::UnregisterType(tokens_.back());
            tokens_.pop_back();
        }
    }
}

TEST_F(VertexTypeTest, GlossAndReflectShareTheWhiteTextureAndChunksAreMadeOnce)
{
    EnrolEveryType();
    DataManager::Instance().SetupPreviewScene(context_);
    DataManager::Instance().RegisterKestroBumpVertexType();
    DataManager::Instance().RegisterKestroBumpVertexType();  // runs once
    EXPECT_EQ(kernel_->GetMaterialManager().GetLoadCount(), 14u);
    const uint32_t chunkRows[] = {9, 10, 12, 13};  // notex, onetex, gloss, reflect
    ASSERT_EQ(DataManager::GetVertexTypeChunkCount(), 4u);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(DataManager::GetVertexTypeChunk(i)->GetMaterial(), DataManager::GetVertexTypeMaterial(chunkRows[i]));
    for (uint32_t row = 0; row < DataManager::kVertexTypeMaterialCount; ++row) {
        auto* material = static_cast<Nyx::OneTextureMaterial*>(DataManager::GetVertexTypeMaterial(row));
        const bool shares = row == 12 || row == 13;
        ASSERT_EQ(material->GetTexture() != nullptr, shares) << DataManager::kVertexTypeMaterialNames[row];
        if (shares) {
            EXPECT_EQ(material->GetTexture()->GetName().Str(), "white");
            EXPECT_EQ(material->GetTextureSlot(), 9u);
        }
    }
}

TEST_F(VertexTypeTest, TheProductsPluginsServeTheirDummyMaterialsAndTheCachesAreTheProducts)
{
    std::vector<Nyx::MaterialPlugin*> plugins;
    for (const char* type : {"tglossrust", "tonetexnoalpha"})
        plugins.push_back(Nyx::KestroMaterialPlugins::Create(type));
    for (const char* type : kOtherTypes)
        if (std::string(type) != "tglossrust" && std::string(type) != "tonetexnoalpha")
            Enrol(type, &MakeMaterial);
    DataManager::Instance().SetupPreviewScene(context_);
    DataManager::Instance().RegisterKestroBumpVertexType();
    EXPECT_EQ(Loaded(), "++++++++++++++");
    EXPECT_NE(dynamic_cast<Nyx::KestroOneTexNoAlphaMaterial*>(DataManager::GetVertexTypeMaterial(6)), nullptr);
    EXPECT_NE(dynamic_cast<Nyx::KestroGlossRustMaterial*>(DataManager::GetVertexTypeMaterial(8)), nullptr);
    Nyx::RenderingCacheManager& caches = kernel_->GetRenderingCacheManager();
    EXPECT_NE(dynamic_cast<Nyx::KestroAlphaBlendCache*>(caches.FindCache(Nyx::KestroAlphaBlendCache::kId)), nullptr);
    EXPECT_NE(dynamic_cast<Nyx::AlphaBlendCacheUnsorted*>(caches.FindCache(Nyx::AlphaBlendCacheUnsorted::kId)),
              nullptr);
    DataManager::ReleaseVertexTypeMaterials();
    for (Nyx::MaterialPlugin* plugin : plugins)
        plugin->ReleaseReference();
}

TEST_F(VertexTypeTest, WithoutTheSharedTextureNoChunkIsMade)
{
    EnrolEveryType();
    kernel_->GetSharedTextures().Clear();
    DataManager::Instance().SetupPreviewScene(context_);
    DataManager::Instance().RegisterKestroBumpVertexType();
    EXPECT_EQ(Loaded(), "++++++++++++++");
    EXPECT_EQ(DataManager::GetVertexTypeChunkCount(), 0u);
    EXPECT_EQ(RegistrationLog(), std::vector<std::string>{"SharedTextureCollection failed"});
}

TEST_F(VertexTypeTest, ThePreviewSceneHangsBelowTheKernelsSceneAndLightsItsViewer)
{
    DataManager& manager = DataManager::Instance();
    Nyx::SceneGraph& graph = *kernel_->GetSceneGraph();

    // Without a viewer: only the scene root.
    ASSERT_TRUE(manager.SetupPreviewScene(context_));
    ASSERT_NE(manager.GetSceneRoot(), nullptr);
    EXPECT_EQ(manager.GetSceneRoot()->GetParent(), &graph.GetRoot());
    EXPECT_EQ(manager.GetPreviewLight(), nullptr);
    EXPECT_EQ(kernel_->GetDisplay().GetFogMode(), 0);

    // With one, which the manager takes over.
    context_.previewTarget = new Nyx::Viewer;
    ASSERT_TRUE(manager.SetupPreviewScene(context_));
    EXPECT_EQ(graph.GetRoot().GetChildren().size(), 1u);
    Nyx::ParallelLight* light = manager.GetPreviewLight();
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(context_.previewTarget->GetScene(), manager.GetSceneRoot());
    EXPECT_EQ(light->GetParent(), manager.GetSceneRoot());
    EXPECT_EQ(light->GetRange(), 100000.0f);
    EXPECT_EQ(light->GetPriority(), 3);
    EXPECT_TRUE(light->HasFlag(Nyx::Particle::kFlagActive));
    EXPECT_EQ(light->GetAmbient(), (Nyx::Colour{0.1f, 0.1f, 0.1f, 1.0f}));
    EXPECT_EQ(light->GetDiffuse(), (Nyx::Colour{0.7f, 0.7f, 0.7f, 1.0f}));
    EXPECT_EQ(light->GetSpecular(), (Nyx::Colour{0.6f, 0.6f, 0.6f, 1.0f}));
    EXPECT_EQ(kernel_->GetDisplay().GetFogDensity(), 1e-18f);
    EXPECT_EQ(kernel_->GetDisplay().GetFogMode(), 3);

    // A mesh on death row goes at the next garbage collection.
    auto* doomed = new Nyx::Particle;
    graph.QueueDelete(doomed);
    manager.CollectGarbage();
    EXPECT_EQ(graph.GetDeathRowCount(), 0u);

    DataManager::Destroy();
    EXPECT_TRUE(graph.GetRoot().GetChildren().empty());
    context_.previewTarget = nullptr;  // deleted with the manager
}

}  // namespace

namespace {

TEST_F(VertexTypeTest, BumpFamilyDummyMaterialsAreMadeByTheirPlugins)
{
    std::vector<Nyx::MaterialPlugin*> plugins;
    for (const char* type : {"tbumpgloss", "tbumptex", "tbumpenv", "nofogtex"})
        plugins.push_back(Nyx::KestroMaterialPlugins::Create(type));
    // Stand-ins for the types no plug-in here serves.
    for (const char* type : kOtherTypes) {
        const std::string word(type);
        if (word != "tbumpgloss" && word != "tbumptex" && word != "tbumpenv" && word != "nofogtex")
            Enrol(type, &MakeMaterial);
    }
    DataManager::Instance().SetupPreviewScene(context_);
    DataManager::Instance().RegisterKestroBumpVertexType();
    const std::pair<uint32_t, const char*> rows[] = {{0, "tbumptex"}, {3, "tbumpenv"}, {7, "tbumpgloss"}, {11, "nofogtex"}};
    for (const auto& [row, type] : rows) {
        Nyx::Material* material = DataManager::GetVertexTypeMaterial(row);
        ASSERT_NE(material, nullptr) << type;
        EXPECT_EQ(material->GetType().Str(), type);
        ASSERT_NE(material->GetPluginType(), nullptr) << type;
        EXPECT_EQ(material->GetPluginType()->GetName().Str(), type);
    }
    EXPECT_NE(dynamic_cast<Nyx::KestroBumpGlossMaterial*>(DataManager::GetVertexTypeMaterial(7)), nullptr);
    EXPECT_NE(dynamic_cast<Nyx::KestroNoFogMaterial*>(DataManager::GetVertexTypeMaterial(11)), nullptr);
    DataManager::ReleaseVertexTypeMaterials();
    for (Nyx::MaterialPlugin* plugin : plugins)
        plugin->ReleaseReference();
}

}  // namespace
