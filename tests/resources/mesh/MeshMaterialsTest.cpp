#include <gtest/gtest.h>

#include <string>

#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/MeshTestSupport.h"

namespace {

Nyx::Material* MakeNothing(const Nyx::PString&, const Nyx::PString&) { return nullptr; }

// Takes only textures whose file name starts with "ok"; answers 2 for the
// rest, and is flagged to go without them when its name says "optional".
struct PickyMaterial : Nyx::Material {
    PickyMaterial(const Nyx::PString& name, const Nyx::PString& type) : Nyx::Material(name, type)
    {
        if (name.View().find("optional") != std::string_view::npos)
            SetFlags(kFlagTexturesOptional);
    }
    uint32_t SetTextureFile(uint32_t kind, const Nyx::String& path, float value) override
    {
        if (Nyx::File::Path(path).FileName().rfind("ok", 0) != 0)
            return 2;
        return Nyx::Material::SetTextureFile(kind, path, value);
    }
};

Nyx::Material* MakePicky(const Nyx::PString& name, const Nyx::PString& type)
{
    Nyx::Material* material = new PickyMaterial(name, type);
    material->AddRef();
    return material;
}

struct MaterialTypes {
    uint32_t nothing = Nyx::MaterialManager::RegisterType("nothing", &MakeNothing);
    uint32_t picky = Nyx::MaterialManager::RegisterType("picky", &MakePicky);
    ~MaterialTypes()
    {
        Nyx::MaterialManager::UnregisterType(nothing);
        Nyx::MaterialManager::UnregisterType(picky);
    }
};

TEST(MeshMaterialsTest, MaterialsTheManagerCannotProvide)
{
    MaterialTypes types;
    struct Case {
        const char* name;
        const char* material;
        bool tolerant;
        MeshLoadResult expected;
    };
    const Case cases[] = {
        {"unknown type", "body.m.nosuchtype", false, RES_UNKNOWN_MATERIAL},
        {"known type that makes nothing", "body.m.nothing", false, RES_UNSUPPORTED_MATERIAL},
        {"no type at all", "body", false, RES_UNKNOWN_MATERIAL},
        {"unknown type, tolerated", "body.m.nosuchtype", true, RES_OK},
        {"known type that makes nothing, tolerated", "body.m.nothing", true, RES_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMesh mesh = QuadMesh();
        mesh.chunks[0].material.name = c.material;
        MeshLoadHarness harness;
        harness.owner.Options().toleratesMissingMaterials = c.tolerant ? 1 : 0;
        EXPECT_EQ(harness.Load(mesh), c.expected);
        const Nyx::PString full("owner*assets/car/*" + std::string(c.material));
        ASSERT_EQ(harness.owner.GetMissingMaterials().size(), 1u);
        EXPECT_EQ(harness.owner.GetMissingMaterials()[0], full);
        if (c.tolerant) {
            // The stand-in answers to the name that was asked for.
            EXPECT_EQ(harness.definition->GetChunkMaterialName(0), full);
            EXPECT_EQ(harness.definition->GetChunkMaterialType(0), Nyx::PString("notex"));
        }
    }
}

TEST(MeshMaterialsTest, OneMaterialPerFullNameWithItsDescription)
{
    TestMesh mesh = QuadMesh();
    mesh.chunks.push_back(QuadStripChunk(1));
    TestMaterial& m = mesh.chunks[0].material;
    m.properties = {{"shine", "low"}, {"rust", "3"}};
    m.flag = 1;
    m.leadingFloat = 0.25f;
    mesh.chunks[1].material = m;
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness.definition;
    EXPECT_EQ(d.GetMaterial(0), d.GetMaterial(1));
    EXPECT_EQ(d.GetChunkMaterialName(1), Nyx::PString("owner*assets/car/*body.m.onetex"));
    EXPECT_EQ(d.GetChunkMaterialType(0), Nyx::PString("onetex"));
    EXPECT_TRUE(d.GetChunkMaterialFlag(0));
    EXPECT_EQ(d.GetChunkMaterialFloat(0), 0.25f);
    EXPECT_EQ(d.GetChunkMaterialPropertyCount(0), 2u);
    EXPECT_EQ(d.GetChunkMaterialProperty(0, 1, false), Nyx::String("rust"));
    EXPECT_EQ(d.GetChunkMaterialProperty(0, 1, true), Nyx::String("3"));
    EXPECT_EQ(d.GetChunkMaterialProperty(0, 2, true), Nyx::String());
}

TEST(MeshMaterialsTest, PendingTexturesGoToTheirMaterialsAtFinish)
{
    MaterialTypes types;
    TestMesh mesh = QuadMesh();
    mesh.chunks.push_back(QuadStripChunk(1, "optional.m.picky"));
    mesh.chunks[0].material.name = "strict.m.picky";
    for (TestChunk& chunk : mesh.chunks)
        chunk.material.textures = {{0, "C:\\art\\okpaint.tga", 1.0f}, {1, "../dirt.tga", 0.5f}};
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    KestroIndexedMeshDefinition& d = *harness.definition;
    EXPECT_TRUE(d.GetMaterial(0)->GetTextureFiles().empty());
    EXPECT_EQ(d.FinishLoad(0), RES_OK);
    // Only the file name counts, in the folder of the mesh resource.
    ASSERT_EQ(d.GetMaterial(0)->GetTextureFiles().size(), 1u);
    EXPECT_EQ(d.GetMaterial(0)->GetTextureFiles()[0].path, Nyx::String("assets/car/okpaint.tga"));
    EXPECT_EQ(d.GetMaterial(1)->GetTextureFiles().size(), 1u);
    // The strict material's refusal is kept; the optional one's is not.
    ASSERT_EQ(d.GetRefusedTextures().size(), 1u);
    EXPECT_EQ(d.GetRefusedTextures()[0], (Nyx::MaterialTextureEntry{1, "assets/car/dirt.tga", 0.5f}));
    // The pending list is emptied.
    d.ApplyPendingTextures();
    EXPECT_EQ(d.GetMaterial(0)->GetTextureFiles().size(), 1u);
}

}  // namespace
