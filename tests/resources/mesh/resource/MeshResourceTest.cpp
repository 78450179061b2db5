// The mesh resources through a resource database over a mount: which class
// each file makes, loading with and without a material manager, the
// instances each factory makes, and the answers of LoadAll and IsAllLoaded.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/resource/ResourceDatabase.h"
#include "nyx/scene/ViewPortParticle.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/lod/LodFileWriter.h"
#include "resources/mesh/MeshTestSupport.h"
#include "resources/mesh/resource/KestroIndexedMeshLODResource.h"
#include "resources/mesh/resource/KestroIndexedMeshResource.h"
#include "resources/mesh/resource/KestroProgressiveMeshResource.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "support/TempFolder.h"

namespace {

const Nyx::PString kMount("meshresourcetest");

class MeshResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KestroPluginRegistration::EnsureRegistered();
        Nyx::File::Subst::Add(kMount, Nyx::File::Path(folder_.Path() + "/"));
        kernel_.GetMaterialManager().SetRenderContext(&display_);
        Nyx::ResourceDatabase::SetMaterialManager(&kernel_.GetMaterialManager());
        database_ = std::make_unique<Nyx::ResourceDatabase>(kMount);
    }
    void TearDown() override
    {
        database_.reset();
        Nyx::ResourceDatabase::SetMaterialManager(nullptr);
        Nyx::File::Subst::Remove(kMount);
    }

    void Write(const std::string& file, const std::vector<uint8_t>& bytes)
    {
        folder_.Write(file, std::string(bytes.begin(), bytes.end()));
    }
    // The resource of the name, one reference held by the pointer.
    std::shared_ptr<Nyx::Resource> Get(const std::string& name)
    {
        Nyx::Resource* resource = database_->Get(Nyx::PString(name), Nyx::ResourceDatabase::kGetCreate);
        return std::shared_ptr<Nyx::Resource>(resource, [](Nyx::Resource* r) {
            if (r)
                r->ReleaseReference();
        });
    }
    static TestMesh SkinnedMesh()
    {
        TestMesh mesh;
        mesh.chunks.push_back(QuadStripChunk(1));
        TestInfluences influences;
        influences.definitions.push_back({"root", "", {0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {{0, {{0}}}}});
        mesh.influences = influences;
        mesh.maxInfluences = 1;
        mesh.maxChunkBones = 1;
        return mesh;
    }

    TempFolder folder_;
    Nyx::RenderKernel kernel_{nullptr, 1.0f};
    Nyx::Display display_;
    std::unique_ptr<Nyx::ResourceDatabase> database_;
};

TEST_F(MeshResourceTest, EachFileLoadsThroughItsTypeAndMakesItsInstance)
{
    Write("body.im", WriteMeshFile(QuadMesh()));
    Write("skin.im", WriteMeshFile(SkinnedMesh()));
    Write("far.pm", WriteMeshFile(QuadMesh()));
    Write("car.lm", WriteLodFile(LevelsLod({10, 20})));
    folder_.Write("text.lm.txt", "version 1.00\nmesh 50 { name body.im }\nmesh 90 { name body.im }\n");
    const struct {
        const char* file;
        uint32_t id;
    } cases[] = {{"body.im", 17}, {"skin.im", 18}, {"far.pm", 19}, {"car.lm", 21}, {"text.lm.txt", 21}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto resource = Get(c.file);
        auto* geometry = dynamic_cast<KestroGeometryBaseResource*>(resource.get());
        ASSERT_NE(geometry, nullptr);
        EXPECT_EQ(geometry->GetMaterialManager(), &kernel_.GetMaterialManager());
        EXPECT_EQ(geometry->CreateMeshInstance(), nullptr);
        EXPECT_EQ(geometry->IsAllLoaded(), Nyx::Resource::kStillLoading);
        ASSERT_TRUE(geometry->Lock());
        ASSERT_NE(geometry->GetDefinition(), nullptr);
        EXPECT_EQ(geometry->IsAllLoaded(), Nyx::Resource::kAllLoaded);
        EXPECT_TRUE(geometry->LoadAll());
        EXPECT_GT(geometry->GetDataSize(), 0u);
        std::unique_ptr<Nyx::ViewPortParticle> instance(geometry->CreateMeshInstance());
        ASSERT_NE(instance, nullptr);
        EXPECT_EQ(instance->GetID(), c.id);
        instance.reset();
        geometry->Unlock();
    }
}

TEST_F(MeshResourceTest, NoMaterialManagerNoDefinition)
{
    Write("body.im", WriteMeshFile(QuadMesh()));
    Write("car.lm", WriteLodFile(LevelsLod({10, 20})));
    folder_.Write("text.lm.txt", "version 1.00\nmesh 50 { name body.im }\n");
    Nyx::ResourceDatabase::SetMaterialManager(nullptr);
    for (const char* file : {"body.im", "car.lm", "text.lm.txt"}) {
        SCOPED_TRACE(file);
        auto resource = Get(file);
        auto* geometry = dynamic_cast<KestroGeometryBaseResource*>(resource.get());
        ASSERT_NE(geometry, nullptr);
        EXPECT_FALSE(geometry->Lock());
        EXPECT_EQ(geometry->GetDefinition(), nullptr);
        EXPECT_EQ(geometry->IsAllLoaded(), Nyx::Resource::kLoadFailedState);
        EXPECT_FALSE(geometry->LoadAll());
    }
}

TEST_F(MeshResourceTest, ASkinnedMeshWithoutInfluenceDataGivesNoInstance)
{
    Write("skin.im", WriteMeshFile(SkinnedMesh()));
    auto resource = Get("skin.im");
    auto* geometry = dynamic_cast<KestroGeometryBaseResource*>(resource.get());
    ASSERT_TRUE(geometry && geometry->Lock());
    ASSERT_GT(geometry->GetDefinition()->GetInfluenceCount(), 0u);
    const_cast<std::vector<Nyx::InfluenceDefinition>&>(geometry->GetDefinition()->GetInfluences()).clear();
    EXPECT_EQ(geometry->CreateMeshInstance(), nullptr);
    geometry->Unlock();
}

// A material whose chunks the display could not draw.
struct UndrawableMaterial : Nyx::Material {
    using Nyx::Material::Material;
    struct Chunk : Nyx::GeometryChunk {
        Chunk(uint32_t v, uint32_t p, uint32_t i, uint32_t f) : Nyx::GeometryChunk(v, p, i, f, 0), positions(size_t{v} * 3)
        {
        }
        Nyx::ItemArray<unsigned char> GetItemArray(uint32_t item) noexcept override
        {
            if (item != Nyx::kItemPosition)
                return {};
            return {12, reinterpret_cast<unsigned char*>(positions.data())};
        }
        bool IsUsable(uint32_t) const override
        {
            ++asks;
            return false;
        }
        std::vector<float> positions;
    };
    Nyx::GeometryChunk* CreateGeometryChunk(uint32_t v, uint32_t p, uint32_t i, uint32_t f, uint32_t,
                                            const Nyx::StandardChunkHint&) override
    {
        auto* chunk = new Chunk(v, p, i, f);
        chunk->AddRef();
        return chunk;
    }
    static Nyx::Material* Make(const Nyx::PString& name, const Nyx::PString& type)
    {
        Nyx::Material* material = new UndrawableMaterial(name, type);
        material->AddRef();
        return material;
    }
    static inline uint32_t asks = 0;
};

TEST_F(MeshResourceTest, AChunkThatCannotBeDrawnFailsTheCompletedLoad)
{
    const uint32_t token = Nyx::MaterialManager::RegisterType("undrawable", &UndrawableMaterial::Make);
    TestMesh mesh;
    mesh.chunks.push_back(QuadStripChunk(1, "a.m.undrawable"));
    mesh.chunks.push_back(QuadStripChunk(1, "b.m.undrawable"));
    Write("body.im", WriteMeshFile(mesh));
    Write("far.pm", WriteMeshFile(mesh));
    for (const char* file : {"body.im", "far.pm"}) {
        SCOPED_TRACE(file);
        UndrawableMaterial::asks = 0;
        auto resource = Get(file);
        auto* geometry = dynamic_cast<KestroGeometryBaseResource*>(resource.get());
        ASSERT_TRUE(geometry && geometry->Lock());
        EXPECT_EQ(UndrawableMaterial::asks, 2u);  // every chunk, also after the first said no
        EXPECT_EQ(geometry->IsAllLoaded(), Nyx::Resource::kLoadFailedState);
        EXPECT_FALSE(geometry->LoadAll());
        std::unique_ptr<Nyx::ViewPortParticle> instance(geometry->CreateMeshInstance());
        EXPECT_EQ(instance, nullptr);
        instance.reset();
        geometry->Unlock();
    }
    Nyx::MaterialManager::UnregisterType(token);
}

// A resource whose materials the test hands in.
class MaterialsResource : public KestroIndexedMeshResource {
public:
    using KestroIndexedMeshResource::KestroIndexedMeshResource;
    std::vector<Nyx::Material*> GetAllMaterials() const override { return materials; }
    std::vector<Nyx::Material*> materials;
};

TEST_F(MeshResourceTest, LoadAllAndIsAllLoadedOverTheMaterialsTextures)
{
    Write("body.im", WriteMeshFile(QuadMesh()));
    struct Case {
        const char* name;
        bool heldBack;
        bool failed;
        uint32_t before;
        bool loadAll;
        uint32_t after;
    };
    const Case cases[] = {
        {"loaded", false, false, Nyx::Resource::kAllLoaded, true, Nyx::Resource::kAllLoaded},
        {"held back", true, false, Nyx::Resource::kStillLoading, true, Nyx::Resource::kAllLoaded},
        {"failed", true, true, Nyx::Resource::kLoadFailedState, false, Nyx::Resource::kLoadFailedState},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MaterialsResource resource(Nyx::PString("body.im"), database_.get());
        resource.SetFileName(Nyx::File::Path("body.im"));
        resource.SetMaterialManager(&kernel_.GetMaterialManager());
        ASSERT_TRUE(resource.Lock());
        auto* ready = new Nyx::OneTextureMaterial(Nyx::PString("a.m.onetex"), Nyx::PString("onetex"));
        auto* waiting = new Nyx::OneTextureMaterial(Nyx::PString("b.m.onetex"), Nyx::PString("onetex"));
        auto* texture = new Nyx::Texture(Nyx::PString("b.tga"));
        texture->SetLoaded(!c.heldBack);
        texture->SetFailed(c.failed);
        waiting->SetTexture(texture, 0, 1.0f);
        waiting->SetTextureDefinition(0, Nyx::PString("b.tga"), 1.0f);
        resource.materials = {ready, waiting};
        EXPECT_EQ(resource.IsAllLoaded(), c.before);
        EXPECT_EQ(resource.LoadAll(), c.loadAll);
        EXPECT_EQ(texture->GetLoadRequestCount(), c.heldBack ? 1u : 0u);
        EXPECT_EQ(resource.IsAllLoaded(), c.after);
        resource.materials.clear();
        resource.Unlock();
        ready->AddRef();
        ready->Release();
        waiting->AddRef();
        waiting->Release();
    }
}

}  // namespace
