#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "nyx/gfx/chunks/GeometryChunkStreams.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/MeshTestSupport.h"

namespace {

TestInfluence Bone(const std::string& name, const std::string& parent, std::vector<TestInfluenceGroup> groups = {})
{
    TestInfluence bone;
    bone.bone = name;
    bone.parent = parent;
    bone.groups = std::move(groups);
    return bone;
}

// One chunk of four vertices skinned with `influences` weights a vertex.
TestMesh SkinnedMesh(uint32_t influences, uint32_t maxInfluences, uint32_t maxChunkBones,
                     std::vector<TestInfluence> bones = {Bone("root", "")})
{
    TestMesh mesh = QuadMesh();
    mesh.maxInfluences = maxInfluences;
    mesh.maxChunkBones = maxChunkBones;
    mesh.chunks[0].geometry.influences = influences;
    mesh.influences = TestInfluences{};
    mesh.influences->definitions = std::move(bones);
    return mesh;
}

GeometrySettings Settings(int softwareAnimation, int floatPrecision)
{
    GeometrySettings s;
    if (softwareAnimation >= 0) {
        s.present[GeometrySettings::kSoftwareAnimation] = 1;
        s.value[GeometrySettings::kSoftwareAnimation] = static_cast<uint8_t>(softwareAnimation);
    }
    if (floatPrecision >= 0) {
        s.present[GeometrySettings::kHardwareAnimationFloatPrecision] = 1;
        s.value[GeometrySettings::kHardwareAnimationFloatPrecision] = static_cast<uint8_t>(floatPrecision);
    }
    return s;
}

const Nyx::StandardChunkHint& HintOf(const KestroIndexedMeshDefinition& d, uint32_t i)
{
    return dynamic_cast<const Nyx::GeometryChunkStreams&>(*d.GetChunk(i)).GetCreationHint();
}

uint8_t IndexByte(const KestroIndexedMeshDefinition& d, uint32_t vertex, uint32_t b)
{
    const auto indices = d.GetChunk(0)->GetUDwordArray(Nyx::kItemBoneIndices);
    return reinterpret_cast<const uint8_t*>(&indices[vertex])[b];
}

}  // namespace

TEST(MeshSkinningTest, HardwareAnimationDecision)
{
    struct Case {
        const char* name;
        uint32_t maxInfluences;
        uint32_t maxChunkBones;
        bool capability;
        int softwareAnimation;
        bool hardware;
    };
    const Case cases[] = {
        {"capability, 24 bones", 4, 24, true, -1, true},
        {"capability, 25 bones", 4, 25, true, -1, false},
        {"five influences", 5, 10, true, -1, false},
        {"no influences", 0, 10, true, -1, false},
        {"without the capability", 2, 10, false, -1, false},
        {"software animation asked for", 2, 10, true, 1, false},
        {"software animation present but off", 2, 10, true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeshLoadHarness harness;
        harness.kernel.SetCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning, c.capability);
        ASSERT_EQ(harness.Load(SkinnedMesh(2, c.maxInfluences, c.maxChunkBones), Settings(c.softwareAnimation, -1)),
                  RES_OK);
        const KestroIndexedMeshDefinition& d = *harness.definition;
        EXPECT_EQ(d.HasAnimationCapability(), c.capability);
        EXPECT_EQ(d.GetPaletteLimit(), c.capability ? 24u : 25u);
        EXPECT_EQ(d.UsesHardwareAnimation(), c.hardware);
        const Nyx::StandardChunkHint& hint = HintOf(d, 0);
        EXPECT_TRUE(hint.flags & Nyx::StandardChunkHint::kSkinned);
        EXPECT_EQ((hint.flags & Nyx::StandardChunkHint::kSoftwareSkinning) != 0, !c.hardware);
        EXPECT_EQ(hint.skinWeights, c.hardware ? 4u : 0u);
        EXPECT_EQ(hint.skinPalette, c.hardware ? 24u : 0u);
    }
}

TEST(MeshSkinningTest, HintCarriesBufferModesAndLighting)
{
    GeometrySettings s;
    s.present[GeometrySettings::kSoftwareLighting] = 1;
    s.value[GeometrySettings::kSoftwareLighting] = 1;
    s.present[GeometrySettings::kDynamicVertex] = 1;
    s.value[GeometrySettings::kDynamicVertex] = 1;
    TestMesh mesh = QuadMesh();
    mesh.chunks[0].geometry.hintValue = 2.5f;
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh, s), RES_OK);
    const Nyx::StandardChunkHint& hint = HintOf(*harness.definition, 0);
    EXPECT_EQ(hint.version, 2u);
    EXPECT_EQ(hint.flags, Nyx::StandardChunkHint::kSoftwareLighting);
    EXPECT_EQ(hint.vertexBufferMode, 1u);
    EXPECT_EQ(hint.indexBufferMode, 2u);
    EXPECT_EQ(hint.texCoordSets, 1u);
    EXPECT_EQ(hint.hintValue, 2.5f);
    EXPECT_TRUE(harness.definition->GetChunk(0)->GetCreationFlags() & Nyx::GeometryChunk::kDynamicVertices);
}

TEST(MeshSkinningTest, InitialStreams)
{
    {
        SCOPED_TRACE("float weights");
        MeshLoadHarness harness;
        // No bones: the streams stay as the load set them.
        ASSERT_EQ(harness.Load(SkinnedMesh(3, 3, 4, {}), Settings(-1, 1)), RES_OK);
        const auto weights = harness.definition->GetChunk(0)->GetFloatArray(Nyx::kItemWeights1 + 2);
        ASSERT_TRUE(weights);
        const float* w = &weights[3];
        EXPECT_EQ(w[0], 1.0f);
        EXPECT_EQ(w[1], 0.0f);
        EXPECT_EQ(w[2], 0.0f);
        EXPECT_EQ(harness.definition->GetChunk(0)->GetUDwordArray(Nyx::kItemBoneIndices)[3], 0u);
    }
    {
        SCOPED_TRACE("packed weights");
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(SkinnedMesh(3, 3, 4, {}), Settings(-1, 0)), RES_OK);
        const auto packed = harness.definition->GetChunk(0)->GetUDwordArray(Nyx::kItemPackedWeights);
        ASSERT_TRUE(packed);
        EXPECT_EQ(packed[2], 0xFF000000u);
    }
}

TEST(MeshSkinningTest, WeightCountsWithoutAFloatStreamFailTheChunk)
{
    // The chunk's count comes from the file; INFO still asks for hardware
    // animation. Packed weights take no count, so only float weights fail.
    for (const uint32_t influences : {5u, 0x80000000u, 0xFFFFFFFDu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(influences);
        MeshLoadHarness harness;
        EXPECT_EQ(harness.Load(SkinnedMesh(influences, 4, 4, {}), Settings(-1, 1)), RES_FAIL_CHUNK_CREATE);
        ASSERT_EQ(harness.Load(SkinnedMesh(influences, 4, 4, {}), Settings(-1, 0)), RES_OK);
        EXPECT_TRUE(harness.definition->UsesHardwareAnimation());
    }
}

namespace {

// Makes chunks without any skinning streams, whatever the hint asks.
struct PlainMaterial : Nyx::Material {
    using Nyx::Material::Material;
    Nyx::GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                            uint32_t faceCount, uint32_t primitiveCode,
                                            const Nyx::StandardChunkHint& hint) override
    {
        Nyx::StandardChunkHint plain = hint;
        plain.flags &= ~Nyx::StandardChunkHint::kSkinned;
        return Nyx::Material::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, primitiveCode,
                                                  plain);
    }
};

Nyx::Material* MakePlain(const Nyx::PString& name, const Nyx::PString& type)
{
    Nyx::Material* material = new PlainMaterial(name, type);
    material->AddRef();
    return material;
}

}  // namespace

TEST(MeshSkinningTest, MissingSkinningStreamFailsTheChunk)
{
    const uint32_t token = Nyx::MaterialManager::RegisterType("plainskin", &MakePlain);
    TestMesh mesh = SkinnedMesh(2, 2, 4);
    mesh.chunks[0].material.name = "body.m.plainskin";
    MeshLoadHarness harness;
    EXPECT_EQ(harness.Load(mesh), RES_FAIL_CHUNK_CREATE);
    // Without hardware animation no stream is needed.
    harness.kernel.SetCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning, false);
    EXPECT_EQ(harness.Load(mesh), RES_OK);
    Nyx::MaterialManager::UnregisterType(token);
}

TEST(MeshSkinningTest, SkeletonFromInfluences)
{
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(SkinnedMesh(1, 1, 4,
                                       {Bone("hip", ""), Bone("knee", "hip"), Bone("other", ""),
                                        Bone("stray", "nobody"), Bone("a", "b"), Bone("b", "a"), Bone("self", "self")})),
              RES_OK);
    const KestroIndexedMeshDefinition& d = *harness.definition;
    Nyx::ParticleBone* root = d.GetRootBone();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), Nyx::PString("hip"));
    EXPECT_EQ(root->CountBones(), 7u);
    const auto parentOf = [&](const char* name) {
        const Nyx::ParticleBone* bone = root->Find(Nyx::PString(name));
        const auto* parent = bone ? dynamic_cast<const Nyx::ParticleBone*>(bone->GetParent()) : nullptr;
        return parent ? parent->GetName() : Nyx::PString("(none)");
    };
    EXPECT_EQ(parentOf("knee"), Nyx::PString("hip"));
    // A second parentless definition hangs below the first.
    EXPECT_EQ(parentOf("other"), Nyx::PString("hip"));
    EXPECT_EQ(d.GetInfluenceParentName(2), Nyx::PString("hip"));
    // A parent name that matches no bone becomes the root's.
    EXPECT_EQ(parentOf("stray"), Nyx::PString("hip"));
    EXPECT_EQ(d.GetInfluenceParentName(3), Nyx::PString("hip"));
    // Names that close a loop hang under the root rather than nowhere.
    EXPECT_EQ(parentOf("a"), Nyx::PString("b"));
    EXPECT_EQ(parentOf("b"), Nyx::PString("hip"));
    EXPECT_EQ(parentOf("self"), Nyx::PString("hip"));
    const auto* box = root->GetBoundingVolume();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetBox().max.x, 0.01f);
}

TEST(MeshSkinningTest, InfluencesWithoutARootChangeNothing)
{
    TestMesh mesh = SkinnedMesh(1, 1, 4, {Bone("a", "b")});
    mesh.skeleton.reset();
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    EXPECT_EQ(harness.definition->GetRootBone(), nullptr);
}

TEST(MeshSkinningTest, PackedPaletteFill)
{
    // Bone 0 moves vertex 0 with 0.999 and vertex 1; bone 1 moves vertex 0.
    std::vector<TestInfluence> bones = {
        Bone("root", "", {{0, {{0, {0.999f, 0, 0, 0}}, {1, {0.5f, 0, 0, 0}}}}}),
        Bone("arm", "root", {{0, {{0, {0.25f, 0, 0, 0}}}}}),
    };
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(SkinnedMesh(2, 2, 4, bones), Settings(-1, 0)), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness.definition;
    const auto packed = d.GetChunk(0)->GetUDwordArray(Nyx::kItemPackedWeights);
    const auto* weights0 = reinterpret_cast<const uint8_t*>(&packed[0]);
    EXPECT_EQ(weights0[0], 254);
    EXPECT_EQ(weights0[1], 63);
    EXPECT_EQ(IndexByte(d, 0, 0), 0);
    EXPECT_EQ(IndexByte(d, 0, 1), 3);
    EXPECT_EQ(IndexByte(d, 0, 2), 0xFE);
    EXPECT_EQ(IndexByte(d, 1, 0), 0);
    EXPECT_EQ(IndexByte(d, 1, 1), 0xFE);
    EXPECT_EQ(d.GetChunk(0)->GetInfluenceMatrices(), (std::vector<uint32_t>{0, 1}));
}

TEST(MeshSkinningTest, FifthFloatEntryRestartsTheFill)
{
    std::vector<TestInfluenceEntry> entries;
    for (int k = 1; k <= 5; ++k)
        entries.push_back({0, {0.1f * k, 0, 0, 0}});
    std::vector<TestInfluence> bones = {Bone("root", "", {{0, {entries.begin(), entries.begin() + 2}}}),
                                        Bone("b1", "root", {{0, {entries[2]}}}), Bone("b2", "root", {{0, {entries[3]}}}),
                                        Bone("b3", "root", {{0, {entries[4]}}})};
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(SkinnedMesh(4, 4, 4, bones), Settings(-1, 1)), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness.definition;
    // Root takes slots 0 and 1 of vertex 0, b1 slot 2, b2 slot 3; b3 starts
    // again at slot 0 and clears the other weights.
    const auto weights = d.GetChunk(0)->GetFloatArray(Nyx::kItemWeights4);
    const float* w = &weights[0];
    EXPECT_FLOAT_EQ(w[0], 0.5f);
    EXPECT_EQ(w[1], 0.0f);
    EXPECT_EQ(w[3], 0.0f);
    EXPECT_EQ(IndexByte(d, 0, 0), 9);
    EXPECT_EQ(IndexByte(d, 0, 1), 0xFE);
    EXPECT_EQ(IndexByte(d, 0, 2), 0);
}

TEST(MeshSkinningTest, GroupsThatDoNotFitAreSkipped)
{
    std::vector<TestInfluence> bones = {
        // An entry naming a vertex past the chunk is passed over; its
        // neighbour still lands.
        Bone("root", "", {{0, {{4, {0.5f, 0, 0, 0}}, {2, {0.75f, 0, 0, 0}}}}}),
        // More entries than vertices: the whole group goes.
        Bone("arm", "root", {{0, std::vector<TestInfluenceEntry>(5)}}),
    };
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(SkinnedMesh(1, 1, 4, bones), Settings(-1, 1)), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness.definition;
    EXPECT_EQ(d.GetChunk(0)->GetFloatArray(Nyx::kItemWeights1)[2], 0.75f);
    EXPECT_EQ(d.GetChunk(0)->GetInfluenceMatrices().size(), 1u);

    // Chunks skinned in software take no palette.
    harness.kernel.SetCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning, false);
    ASSERT_EQ(harness.Load(SkinnedMesh(1, 1, 4, bones), Settings(-1, 1)), RES_OK);
    EXPECT_TRUE(harness.definition->GetChunk(0)->GetInfluenceMatrices().empty());
}
