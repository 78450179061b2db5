#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/NullMaterial.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/overlapped/OverlappedResourceSystem.h"
#include "resources/lod/LodTestSupport.h"

namespace {

struct FileCase {
    const char* name;
    std::function<void(TestLod&)> edit;
    MeshLoadResult expected;
};

// Every check of the LODM form, as a written file in and its result out;
// the base file has two levels (100, 200) of one quad each.
TEST(LodMeshFileTest, ResultCodeForEachFileFault)
{
    const FileCase cases[] = {
        {"two plain levels load", [](TestLod&) {}, RES_OK},
        {"INFO version 101", [](TestLod& l) { l.infoVersion = 101; }, RES_FILE_VERSION_ERROR},
        {"MATT version 101", [](TestLod& l) { l.mattVersion = 101; }, RES_FILE_VERSION_ERROR},
        {"MATL version 102", [](TestLod& l) { l.materials[0].version = 102; }, RES_FILE_VERSION_ERROR},
        {"cut-offs 50, 50, 200 load",
         [](TestLod& l) {
             l = LevelsLod({50, 50, 200});
         },
         RES_OK},
        {"cut-offs 50, 40", [](TestLod& l) { l = LevelsLod({50, 40}); }, RES_FILE_FORMAT_ERROR},
        {"a named mesh before a level",
         [](TestLod& l) {
             l.meshes[0].cutOff = -1.0f;
             l.named.push_back({0, "collision", 0});
         },
         RES_FILE_FORMAT_ERROR},
        {"only a named mesh: no detail level",
         [](TestLod& l) {
             l.meshes.pop_back();
             l.meshes[0].cutOff = -1.0f;
             l.named.push_back({0, "collision", 0});
         },
         RES_FILE_FORMAT_ERROR},
        {"a -1 mesh no entry names",
         [](TestLod& l) { l.meshes[1].cutOff = -1.0f; }, RES_FILE_FORMAT_ERROR},
        {"a named mesh after the levels",
         [](TestLod& l) {
             l.meshes[1].cutOff = -1.0f;
             l.named.push_back({1, "collision", 1});
         },
         RES_OK},
        {"no BONT, RBOT or ATCH", [](TestLod&) {}, RES_OK},
        {"an RBOT whose first record names a parent",
         [](TestLod& l) { l.rbot = std::vector<TestLodBone>{{"hip", "root"}}; }, RES_FILE_FORMAT_ERROR},
        {"an RBOT of a root and a child",
         [](TestLod& l) { l.rbot = std::vector<TestLodBone>{{"root", ""}, {"hip", "root"}}; }, RES_OK},
        {"GEOM version 100",
         [](TestLod& l) { l.meshes[0].pieces[0].geometry.version = 100; }, RES_FILE_VERSION_ERROR},
        {"GEOM version 202",
         [](TestLod& l) { l.meshes[0].pieces[0].geometry.version = 202; }, RES_FILE_VERSION_ERROR},
        {"GEOM version 101", [](TestLod& l) { l.meshes[0].pieces[0].geometry.version = 101; }, RES_OK},
        {"GEOM longer than its content",
         [](TestLod& l) {
             auto& g = l.meshes[0].pieces[0].geometry;
             g.size = 4 + 4 * 8 + 12 + 4 * (20 + 12) + 6 * 2 + 2 * 12 + 4;
         },
         RES_FILE_FORMAT_ERROR},
        {"primitive code 3", [](TestLod& l) { l.meshes[0].pieces[0].geometry.primitive = 3; }, RES_FILE_FORMAT_ERROR},
        {"an NINF record per face",
         [](TestLod& l) { l.meshes[0].pieces[0].neighbours = std::vector<uint32_t>(6, 7); }, RES_OK},
        // Faults the reader used to let through.
        {"material index past the table",
         [](TestLod& l) { l.meshes[1].pieces[0].materialIndex = 1; }, RES_FILE_FORMAT_ERROR},
        {"an index equal to the vertex count",
         [](TestLod& l) { l.meshes[0].pieces[0].geometry.indices[2] = 4; }, RES_FILE_FORMAT_ERROR},
        {"a mesh count no file can hold",
         [](TestLod& l) { l.meshCount = 0x40000000; }, RES_FILE_FORMAT_ERROR},
        {"a material count no file can hold",
         [](TestLod& l) { l.materialCount = 0xFFFFFFFF; }, RES_FILE_FORMAT_ERROR},
        {"a chunk count no file can hold",
         [](TestLod& l) { l.meshes[0].chunkCount = 0xFFFFFFFF; }, RES_FILE_FORMAT_ERROR},
        {"a named mesh past the meshes",
         [](TestLod& l) {
             l.meshes[1].cutOff = -1.0f;
             l.named.push_back({2, "collision", 0});
             l.named.push_back({1, "shadow", 0});
         },
         RES_FILE_FORMAT_ERROR},
        {"128 levels", [](TestLod& l) { l = LevelsLod(std::vector<float>(128, 10.0f)); }, RES_OK},
        {"129 levels", [](TestLod& l) { l = LevelsLod(std::vector<float>(129, 10.0f)); }, RES_FILE_FORMAT_ERROR},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestLod lod = LevelsLod({100, 200});
        c.edit(lod);
        LodLoadHarness harness;
        EXPECT_EQ(harness.Load(lod), c.expected);
    }
}

// A bone count the bytes cannot hold is refused before anything is made.
TEST(LodMeshFileTest, BoneCountWeighedAgainstTheBytesLeft)
{
    std::vector<uint8_t> bytes = WriteLodFile(LevelsLod({100}));
    TestLod withBones = LevelsLod({100});
    withBones.bont = std::vector<TestLodBone>{{"root", ""}};
    bytes = WriteLodFile(withBones);
    // The BONT's count follows its tag, size and version.
    const uint8_t tag[4] = {'B', 'O', 'N', 'T'};
    const auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
    ASSERT_NE(at, bytes.end());
    const uint32_t huge = 0x40000000;
    std::memcpy(&*(at + 12), &huge, 4);
    LodLoadHarness harness;
    EXPECT_EQ(harness.Load(bytes), RES_FILE_FORMAT_ERROR);
}

TEST(LodMeshFileTest, LevelsNamedMeshesAndTheOwnGeometry)
{
    // Levels of 500, 300 and 100 faces, then a named mesh.
    TestLod lod = LevelsLod({10, 20, 30});
    lod.meshes[0].pieces[0] = QuadPiece(250);
    lod.meshes[1].pieces[0] = QuadPiece(150);
    lod.meshes[2].pieces[0] = QuadPiece(50);
    TestLodMesh collision;
    collision.cutOff = -1.0f;
    collision.pieces.push_back(QuadPiece(2));
    lod.meshes.push_back(collision);
    lod.named.push_back({3, "collision", 7});
    lod.calcPoint = 2;
    lod.lod[0] = 0.5f;
    lod.lod[1] = 2.0f;
    LodLoadHarness harness;
    ASSERT_EQ(harness.Load(lod), RES_OK);
    const KestroIndexedMeshLODDefinition& d = *harness.definition;
    EXPECT_EQ(d.GetCutOffs(), (std::vector<float>{10, 20, 30}));
    EXPECT_EQ(d.GetMeshCount(), 4u);
    EXPECT_EQ(d.GetTotalFaces(), 100u);
    EXPECT_EQ(d.GetChunkCount(), 1u);
    EXPECT_EQ(d.GetChunk(0), (*(*d.GetMeshes())[2].chunks)[0]);
    EXPECT_EQ(d.FindNamedMesh(Nyx::PString("collision")), 3);
    EXPECT_EQ(d.FindNamedMesh(Nyx::PString("shadow")), -1);
    EXPECT_TRUE((*d.GetNamedMeshes())[0].animated);
    EXPECT_EQ(d.GetCalcPoint(), 2u);
    EXPECT_EQ(d.GetOffset(), 0.5f);
    EXPECT_EQ(d.GetMultiplier(), 2.0f);
    // The bounds are the last level's: 50 squares along x.
    EXPECT_EQ(d.GetBoundsMax().x, 50.0f);
    EXPECT_GT(d.GetSizeEstimate(), 0u);
}

TEST(LodMeshFileTest, MaterialsAndPieceNames)
{
    TestLod lod = LevelsLod({100});
    lod.materials[0].power = 4.0f;
    lod.materials[0].colours[3][0] = 0.8f;
    lod.materials[0].textures.push_back({1, "maps/paint.tga", 0.5f});
    lod.meshes[0].pieces[0].geometry.version = 102;
    lod.meshes[0].pieces.push_back(QuadPiece(1));
    lod.meshes[0].pieces[1].geometry.version = 103;
    lod.meshes[0].pieces[1].geometry.name = "door";
    LodLoadHarness harness;
    ASSERT_EQ(harness.Load(lod), RES_OK);
    const Nyx::Material* material = harness.definition->GetMaterial(0);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->GetDisplayMaterial().power, 4.0f);
    EXPECT_EQ(material->GetDisplayMaterial().colour[3].r, 0.4f);
    ASSERT_EQ(material->GetTextureFiles().size(), 1u);
    EXPECT_EQ(material->GetTextureFiles()[0].path, "assets/car/paint.tga");
    EXPECT_EQ(material->GetName().View(), "owner*assets/car/*body.m.onetex");
    EXPECT_EQ(harness.definition->GetChunkName(0).View(), "");
    EXPECT_EQ(harness.definition->GetChunkName(1).View(), "door");

    // Without a manager the material is a stand-in of the type asked for.
    LodLoadHarness bare;
    ASSERT_EQ(bare.Load(WriteLodFile(lod), {}, false), RES_OK);
    const auto* stand = dynamic_cast<const Nyx::NullMaterial*>(bare.definition->GetMaterial(0));
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->GetCreationType().View(), "onetex");
}

TEST(LodMeshFileTest, EmptyPiecesAndEmptyGroupsGiveWay)
{
    TestLod lod = LevelsLod({100});
    lod.bont = std::vector<TestLodBone>{{"root", ""}};
    TestLodPiece empty = QuadPiece(1);
    empty.geometry.positions.clear();
    empty.geometry.normals.clear();
    empty.geometry.indices.clear();
    empty.geometry.faceNormals.clear();
    lod.meshes[0].pieces.insert(lod.meshes[0].pieces.begin(), empty);
    TestInfluenceGroup none{0, {}};
    TestInfluenceGroup some{1, {{2, {0.5f, 0, 0, 0}}}};
    lod.meshes[0].lodBones = std::vector<std::vector<TestInfluenceGroup>>{{none, some}};
    LodLoadHarness harness;
    ASSERT_EQ(harness.Load(lod), RES_OK);
    const LodMesh& mesh = (*harness.definition->GetMeshes())[0];
    EXPECT_EQ(mesh.chunkCount, 1u);
    EXPECT_EQ(mesh.chunks->Size(), 1u);
    const LodInfluenceBlock& block = harness.definition->GetInfluenceBlock(0, 0);
    ASSERT_EQ(block.size(), 1u);
    EXPECT_EQ(block[0].chunkIndex, 1u);
}

TEST(LodMeshFileTest, CullMarksComeOffAndGoBackOnSaving)
{
    TestLod lod = LevelsLod({100});
    TestAttachments points;
    points.points = {{"a.light:Cull"}, {"a.door:cull"}, {"a.seat"}};
    lod.attachments = points;
    LodLoadHarness harness;
    ASSERT_EQ(harness.Load(lod), RES_OK);
    const auto& d = *harness.definition;
    EXPECT_EQ(d.GetAttachmentName(0).View(), "a.light");
    EXPECT_EQ(d.GetAttachmentName(1).View(), "a.door");
    EXPECT_EQ(d.GetCullList(), (std::vector<Nyx::PString>{Nyx::PString("a.light"), Nyx::PString("a.door")}));
    const std::vector<uint8_t> saved = harness.Save();
    const std::string text(saved.begin(), saved.end());
    EXPECT_NE(text.find("a.light:Cull"), std::string::npos);
    EXPECT_NE(text.find("a.door:Cull"), std::string::npos);
    EXPECT_EQ(text.find("a.seat:Cull"), std::string::npos);
}

struct AnimationCase {
    uint32_t maxInfluences;
    uint32_t maxChunkBones;
    bool capability;
    bool hardware;
};

// The LOD loads keep a palette of 25 where the indexed load uses 24.
TEST(LodMeshFileTest, HardwareAnimationDecidedPerMesh)
{
    const AnimationCase cases[] = {
        {4, 25, true, true},
        {4, 26, true, false},
        {5, 2, true, false},
        {0, 2, true, false},
        {4, 25, false, false},
    };
    for (const AnimationCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.maxInfluences << " " << c.maxChunkBones << " " << c.capability);
        TestLod lod = LevelsLod({100});
        lod.meshes[0].maxInfluences = c.maxInfluences;
        lod.meshes[0].maxChunkBones = c.maxChunkBones;
        LodLoadHarness harness;
        harness.kernel.SetCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning, c.capability);
        ASSERT_EQ(harness.Load(lod), RES_OK);
        EXPECT_EQ((*harness.definition->GetMeshes())[0].hardwareAnimation, c.hardware);
        EXPECT_EQ(harness.definition->GetPaletteLimit(), 25u);
        EXPECT_EQ(harness.definition->HasAnimationCapability(), c.capability);
    }
}

// Two bones over one skinned piece.
TestLod SkinnedLod(uint32_t maxInfluences)
{
    TestLod lod = LevelsLod({100});
    lod.bont = std::vector<TestLodBone>{{"root", ""}, {"arm", "root"}};
    TestLodMesh& mesh = lod.meshes[0];
    mesh.maxInfluences = maxInfluences;
    mesh.maxChunkBones = 2;
    mesh.pieces[0].geometry.influences = 2;
    mesh.lodBones = std::vector<std::vector<TestInfluenceGroup>>{
        {{0, {{0, {1.0f, 0, 0, 0}}, {1, {0.5f, 0, 0, 0}}}}},
        {{0, {{1, {0.5f, 0, 0, 0}}, {9, {0.25f, 0, 0, 0}}}}},
    };
    return lod;
}

TEST(LodMeshFileTest, SkinningFillsSlotsInOrderOfEntries)
{
    LodLoadHarness harness;
    ASSERT_EQ(harness.Load(SkinnedLod(2)), RES_OK);
    Nyx::GeometryChunk* chunk = harness.definition->GetChunk(0);
    ASSERT_NE(chunk, nullptr);
    EXPECT_EQ(chunk->GetInfluenceMatrices().size(), 2u);
    const auto indices = chunk->GetUDwordArray(Nyx::kItemBoneIndices);
    const auto weights = chunk->GetUDwordArray(Nyx::kItemPackedWeights);
    ASSERT_TRUE(indices && weights);
    // Vertex 0: one entry of bone 0 in slot 0.
    EXPECT_EQ(indices[0], 0x0000FE00u);
    EXPECT_EQ(weights[0], 0x000000FFu);
    // Vertex 1: bone 0 then bone 1 (slot 1, written as 3).
    EXPECT_EQ(indices[1], 0x00FE0300u);
    EXPECT_EQ(weights[1], 0x00007F7Fu);
    EXPECT_EQ(harness.definition->GetBoneTable()[1].parentName, "root");
    ASSERT_NE(harness.definition->GetRootBone(), nullptr);
    EXPECT_NE(harness.definition->GetRootBone()->Find(Nyx::PString("arm")), nullptr);

    // Pieces skinned in software get no slot.
    LodLoadHarness software;
    ASSERT_EQ(software.Load(SkinnedLod(5)), RES_OK);
    EXPECT_TRUE(software.definition->GetChunk(0)->GetInfluenceMatrices().empty());
}

// A load asks for the last level's collision tree where a background
// system runs, and only there.
TEST(LodMeshFileTest, CollisionTreeOfTheLastLevelRequested)
{
    {
        LodLoadHarness harness;
        ASSERT_EQ(harness.Load(LevelsLod({10, 20}, 3)), RES_OK);
        EXPECT_FALSE(harness.definition->HasPendingCollisionTreeRequest());
    }
    OverlappedResourceSystem system;
    TestLod lod = LevelsLod({10, 20}, 3);
    lod.meshes[1].pieces[0] = QuadPiece(1);
    LodLoadHarness harness;
    ASSERT_EQ(harness.Load(lod), RES_OK);
    EXPECT_TRUE(harness.definition->HasPendingCollisionTreeRequest());
    EXPECT_EQ(system.RunQueued(), 1u);
    const KSAxisBoxTree* tree = harness.definition->EnsureCollisionTree();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->GetLeafEntryCount(), 2u);
}

TEST(LodMeshFileTest, SaveWithoutMeshesWritesNothing)
{
    KestroIndexedMeshLODDefinition empty;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(empty.Save(bytes), RES_UNKNOWN);
    EXPECT_TRUE(bytes.empty());
}

// Saving, loading and saving again gives the same bytes; with bones, the
// same content.
TEST(LodMeshFileTest, SaveAndReloadKeepsTheDefinition)
{
    TestLod lod = LevelsLod({50, 50, 200}, 2);
    lod.materials.push_back(TestMaterial{});
    lod.materials[1].name = "glass.m.onetex";
    lod.materials[1].properties = {{"alpha", "0.5"}};
    lod.materials[1].colours[3][1] = 0.3f;
    lod.meshes[1].pieces.push_back(QuadPiece(1, 1));
    lod.meshes[1].pieces[1].neighbours = std::vector<uint32_t>(6, 1);
    lod.meshes[2].pieces[0].geometry.geometryFlags = 1;
    lod.meshes[2].pieces[0].geometry.hintValue = 0.25f;
    TestLodMesh collision;
    collision.cutOff = -1.0f;
    collision.pieces.push_back(QuadPiece(1, 1));
    lod.meshes.push_back(collision);
    lod.named.push_back({3, "collision", 1});
    TestAttachments points;
    points.points = {{"a.light:Cull"}, {"a.seat"}};
    lod.attachments = points;

    LodLoadHarness first;
    ASSERT_EQ(first.Load(lod), RES_OK);
    const std::vector<uint8_t> saved = first.Save();
    LodLoadHarness second;
    ASSERT_EQ(second.Load(saved), RES_OK);
    EXPECT_EQ(second.Save(), saved);
    // The tangents of the last level came through.
    const auto extra = second.definition->GetChunk(0)->GetVector3Array(Nyx::kItemExtraVector);
    ASSERT_TRUE(extra);
    // The materials come back in first-use order with their bare names.
    EXPECT_EQ(second.definition->GetMaterialTable().size(), 2u);
    EXPECT_EQ(second.definition->GetMaterialTable()[1]->GetDisplayMaterial().colour[3].g, 0.15f);

    // With bones: the same table, blocks and skinning.
    LodLoadHarness skinned;
    ASSERT_EQ(skinned.Load(SkinnedLod(2)), RES_OK);
    LodLoadHarness again;
    ASSERT_EQ(again.Load(skinned.Save()), RES_OK);
    ASSERT_EQ(again.definition->GetBoneTable().size(), 2u);
    EXPECT_EQ(again.definition->GetBoneTable()[1].name, "arm");
    EXPECT_EQ(again.definition->GetInfluenceBlock(1, 0).size(), 1u);
    EXPECT_EQ(again.definition->GetInfluenceBlock(1, 0)[0].entries.size(), 2u);
    EXPECT_EQ(again.definition->GetChunk(0)->GetInfluenceMatrices().size(), 2u);
    EXPECT_EQ(again.Save(), skinned.Save());

    // A bone tree without a table is written as RBOT.
    TestLod tree = LevelsLod({100});
    tree.rbot = std::vector<TestLodBone>{{"root", ""}, {"hip", "root"}, {"knee", "hip"}};
    LodLoadHarness withTree;
    ASSERT_EQ(withTree.Load(tree), RES_OK);
    LodLoadHarness treeAgain;
    ASSERT_EQ(treeAgain.Load(withTree.Save()), RES_OK);
    ASSERT_NE(treeAgain.definition->GetRootBone(), nullptr);
    EXPECT_EQ(treeAgain.definition->GetRootBone()->CountBones(), 3u);
    const Nyx::ParticleBone* knee = treeAgain.definition->GetRootBone()->Find(Nyx::PString("knee"));
    ASSERT_NE(knee, nullptr);
    EXPECT_EQ(static_cast<const Nyx::ParticleBone*>(knee->GetParent())->GetName().View(), "hip");
}

// Cut short anywhere, or with any chunk's size off by one, a file is
// refused with a format error, never a crash.
TEST(LodMeshFileTest, CutShortAndHostileFilesAreRefused)
{
    TestLod lod = SkinnedLod(2);
    TestAttachments points;
    points.points = {{"a.light"}};
    lod.attachments = points;
    lod.meshes[0].pieces[0].neighbours = std::vector<uint32_t>(6, 1);
    const std::vector<uint8_t> bytes = WriteLodFile(lod);
    // Where each chunk starts, and the file's end.
    std::vector<size_t> boundaries{bytes.size()};
    for (const char* tag : {"INFO", "MATT", "MATL", "BONT", "ATCH", "MESH", "LODB", "LCHK", "GEOM", "NINF"})
        for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), tag, tag + 4)) != bytes.end(); ++at)
            boundaries.push_back(static_cast<size_t>(at - bytes.begin()));
    ASSERT_GT(boundaries.size(), 10u);
    for (size_t cut : boundaries) {
        LodLoadHarness harness;
        EXPECT_EQ(harness.Load(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut - (cut == bytes.size()))),
                  RES_FILE_FORMAT_ERROR)
            << "cut at " << cut;
    }
    // Cut anywhere else, a version field read short may speak first.
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        LodLoadHarness harness;
        const MeshLoadResult result = harness.Load(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
        EXPECT_TRUE(result == RES_FILE_FORMAT_ERROR || result == RES_FILE_VERSION_ERROR)
            << "cut at " << cut << " gave " << result;
    }
    // Each checked size field one more and one less (ATCH keeps the indexed
    // form's rule: its size is read and passed over).
    for (const char* tag : {"INFO", "MATT", "BONT", "MESH", "LODB", "LCHK", "GEOM"}) {
        for (int delta : {1, -1}) {
            std::vector<uint8_t> changed = bytes;
            const auto at = std::search(changed.begin(), changed.end(), tag, tag + 4);
            ASSERT_NE(at, changed.end()) << tag;
            uint32_t size;
            std::memcpy(&size, &*(at + 4), 4);
            size += static_cast<uint32_t>(delta);
            std::memcpy(&*(at + 4), &size, 4);
            LodLoadHarness harness;
            EXPECT_EQ(harness.Load(changed), RES_FILE_FORMAT_ERROR) << tag << " " << delta;
        }
    }
}

// A piece whose load stops at an index past its vertices keeps what was
// read, and zeros where nothing was.
TEST(LodMeshFileTest, PieceStoppedPartWayReadsAsZerosBeyond)
{
    TestLod lod = LevelsLod({50}, 40);
    TestGeometry& g = lod.meshes[0].pieces[0].geometry;
    for (float& n : g.normals)
        n = 0.5f;
    for (float& n : g.faceNormals)
        n = 0.25f;
    const uint32_t vertices = static_cast<uint32_t>(g.positions.size() / 3);
    g.indices[7] = static_cast<uint16_t>(vertices);
    LodLoadHarness harness;
    ASSERT_EQ(harness.Load(lod), RES_FILE_FORMAT_ERROR);
    Nyx::GeometryChunk* chunk = (*(*harness.definition->GetMeshes())[0].chunks)[0];
    ASSERT_NE(chunk, nullptr);
    const auto positions = chunk->GetVector3Array(Nyx::kItemPosition);
    const auto normals = chunk->GetVector3Array(Nyx::kItemNormal);
    ASSERT_TRUE(positions && normals && chunk->GetFaceNormalArray());
    for (uint32_t v = 0; v < vertices; ++v) {
        EXPECT_EQ(positions[v].x, g.positions[3 * v]);
        EXPECT_TRUE(normals[v].x == 0.0f && normals[v].y == 0.0f && normals[v].z == 0.0f) << "vertex " << v;
    }
    const float* faces = chunk->GetFaceNormalArray();
    EXPECT_TRUE(std::all_of(faces, faces + g.faceNormals.size(), [](float f) { return f == 0.0f; }));
}

}  // namespace
