#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <tuple>

#include "nyx/files/File.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/GeometryChunkTemplate.h"
#include "resources/mesh/MeshTestSupport.h"

namespace {

struct FileCase {
    const char* name;
    std::function<void(TestMesh&)> edit;
    MeshLoadResult expected;
};

// Every check of the frame and the IDXM form, as a written file in and its
// load result out.
TEST(IndexedMeshFileTest, ResultCodeForEachFileFault)
{
    const FileCase cases[] = {
        {"a plain mesh loads", [](TestMesh&) {}, RES_OK},
        {"magic other than NIRF", [](TestMesh& m) { m.magic = "FRIN"; }, RES_FILE_FORMAT_ERROR},
        {"form other than IDXM", [](TestMesh& m) { m.form = "LODM"; }, RES_FILE_FORMAT_ERROR},
        {"frame size one byte more than the content", [](TestMesh& m) { m.frameSizeDelta = 1; },
         RES_FILE_FORMAT_ERROR},
        {"frame size one byte short", [](TestMesh& m) { m.frameSizeDelta = -1; }, RES_FILE_FORMAT_ERROR},
        {"INFO version 99", [](TestMesh& m) { m.infoVersion = 99; }, RES_FILE_VERSION_ERROR},
        {"INFO version 105", [](TestMesh& m) { m.infoVersion = 105; }, RES_FILE_VERSION_ERROR},
        {"INFO version 100", [](TestMesh& m) { m.infoVersion = 100; }, RES_OK},
        {"INFO version 104 with its six extra floats", [](TestMesh& m) { m.infoVersion = 104; }, RES_OK},
        {"GEOM version 100", [](TestMesh& m) { m.chunks[0].geometry.version = 100; }, RES_FILE_VERSION_ERROR},
        {"GEOM version 202", [](TestMesh& m) { m.chunks[0].geometry.version = 202; }, RES_FILE_VERSION_ERROR},
        {"GEOM version 101", [](TestMesh& m) { m.chunks[0].geometry.version = 101; }, RES_OK},
        {"GEOM version 104 with colours", [](TestMesh& m) { m.chunks[0].geometry.version = 104; }, RES_OK},
        {"GEOM version 201 with extra vectors",
         [](TestMesh& m) { m.chunks[0].geometry.geometryFlags = 1; }, RES_OK},
        {"primitive code 3", [](TestMesh& m) { m.chunks[0].geometry.primitive = 3; }, RES_FILE_FORMAT_ERROR},
        {"primitive code 0x21 reads as 1", [](TestMesh& m) { m.chunks[0].geometry.primitive = 0x21; }, RES_OK},
        {"index equal to the vertex count",
         [](TestMesh& m) { m.chunks[0].geometry.indices[2] = 4; }, RES_FILE_FORMAT_ERROR},
        {"MATL version 101", [](TestMesh& m) { m.chunks[0].material.version = 101; }, RES_FILE_VERSION_ERROR},
        {"MATL of an unknown type", [](TestMesh& m) { m.chunks[0].material.name = "body.m.nosuchtype"; },
         RES_UNKNOWN_MATERIAL},
        {"neither INFL, SKEL nor ATCH after the chunks", [](TestMesh&) {}, RES_OK},
        {"INFL version 101",
         [](TestMesh& m) { m.influences = TestInfluences{101, {}, {}, {}}; }, RES_FILE_FORMAT_ERROR},
        {"INFL with 1024 definitions reads none and misses its end",
         [](TestMesh& m) {
             m.influences = TestInfluences{};
             m.influences->definitions.resize(1);
             m.influences->definitions[0].bone = "root";
             m.influences->count = 1024;
         },
         RES_FILE_FORMAT_ERROR},
        {"SKEL with a BONE of version 20",
         [](TestMesh& m) { m.skeleton = TestSkeleton{100, TestBone{20, "root", {}, {0, 0, 0, 1}, {}, {}}}; }, RES_OK},
        {"SKEL with a BONE of version 101",
         [](TestMesh& m) { m.skeleton = TestSkeleton{100, TestBone{101, "root", {}, {0, 0, 0, 1}, {}, {}}}; },
         RES_FILE_FORMAT_ERROR},
        {"ATCH version 101", [](TestMesh& m) { m.attachments = TestAttachments{101, {{"a.x"}}, {}}; },
         RES_FILE_FORMAT_ERROR},
        {"ATCH version 100", [](TestMesh& m) { m.attachments = TestAttachments{100, {{"a.x"}}, {}}; }, RES_OK},
        {"NINF records of every face",
         [](TestMesh& m) { m.chunks[0].neighbours = std::vector<uint32_t>{1, 2, 3, 4, 5, 6}; }, RES_OK},
        {"more CHNKs promised than written", [](TestMesh& m) { m.chunkCount = 2; }, RES_FILE_FORMAT_ERROR},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestMesh mesh = QuadMesh();
        c.edit(mesh);
        MeshLoadHarness harness;
        EXPECT_EQ(harness.Load(mesh), c.expected);
    }
}

TEST(IndexedMeshFileTest, EmptyMemoryFileAndMissingManager)
{
    MeshLoadHarness harness;
    EXPECT_EQ(harness.Load(std::vector<uint8_t>{}), RES_FILE_OPEN_ERROR);
    KestroIndexedMeshDefinition definition;
    const std::vector<uint8_t> bytes = WriteMeshFile(QuadMesh());
    definition.SetFileData(bytes.data(), static_cast<uint32_t>(bytes.size()));
    MeshLoadResult result = RES_OK;
    EXPECT_EQ(definition.Load(result, &harness.kernel, nullptr, harness.owner, 0), RES_NO_MATERIAL_MANAGER);
}

}  // namespace

namespace {

// A material type whose chunks are made only for sane counts, and which
// remembers the largest vertex count it was asked for.
struct ProbeMaterial : Nyx::Material {
    using Nyx::Material::Material;
    static inline uint64_t largestRequest = 0;
    Nyx::GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                            uint32_t faceCount, uint32_t primitiveCode,
                                            const Nyx::StandardChunkHint& hint) override
    {
        largestRequest = std::max<uint64_t>({largestRequest, vertexCount, indexCount, faceCount});
        if (vertexCount > 1000 || indexCount > 1000 || faceCount > 1000)
            return nullptr;
        return Nyx::Material::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, primitiveCode,
                                                  hint);
    }
};

Nyx::Material* MakeProbe(const Nyx::PString& name, const Nyx::PString& type)
{
    Nyx::Material* material = new ProbeMaterial(name, type);
    material->AddRef();
    return material;
}

struct ProbeType {
    uint32_t token = Nyx::MaterialManager::RegisterType("probe", &MakeProbe);
    ~ProbeType() { Nyx::MaterialManager::UnregisterType(token); }
};

}  // namespace

// Counts are weighed against the bytes left before anything is made for
// them: a small file cannot ask for gigabytes.
TEST(IndexedMeshFileTest, CountsBeyondTheDataFailBeforeAnythingIsMade)
{
    ProbeType probe;
    const FileCase cases[] = {
        {"vertex count", [](TestMesh& m) { m.chunks[0].geometry.vertexCount = 0x10000000; }, RES_FILE_FORMAT_ERROR},
        {"index count", [](TestMesh& m) { m.chunks[0].geometry.indexCount = 0x20000000; }, RES_FILE_FORMAT_ERROR},
        {"face count", [](TestMesh& m) { m.chunks[0].geometry.faceCount = 0x08000000; }, RES_FILE_FORMAT_ERROR},
        {"texture-coordinate sets",
         [](TestMesh& m) {
             m.chunks[0].geometry.version = 150;
             m.chunks[0].geometry.texCoordSets = 0x40000000;
         },
         RES_FILE_FORMAT_ERROR},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestMesh mesh = QuadMesh();
        mesh.chunks[0].material.name = "body.m.probe";
        c.edit(mesh);
        ProbeMaterial::largestRequest = 0;
        MeshLoadHarness harness;
        EXPECT_EQ(harness.Load(mesh), c.expected);
        EXPECT_LE(ProbeMaterial::largestRequest, 6u);
    }
}

TEST(IndexedMeshFileTest, CountsOfTheOptionalChunksBeyondTheDataFail)
{
    const FileCase cases[] = {
        {"attachment count",
         [](TestMesh& m) { m.attachments = TestAttachments{100, {{"a.x"}}, 100000}; }, RES_FILE_FORMAT_ERROR},
        {"influence definition count",
         [](TestMesh& m) {
             m.influences = TestInfluences{};
             m.influences->definitions.resize(1);
             m.influences->count = 1000;
         },
         RES_FILE_FORMAT_ERROR},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestMesh mesh = QuadMesh();
        c.edit(mesh);
        MeshLoadHarness harness;
        EXPECT_EQ(harness.Load(mesh), c.expected);
        EXPECT_LE(harness.definition->GetAttachmentCount(), 1u);
        EXPECT_LE(harness.definition->GetInfluenceCount(), 1u);
    }
}

// A GEOM whose size points far past the data leaves the cursor at the
// data's end; the next CHNK is then missing.
TEST(IndexedMeshFileTest, GeometrySizePastTheDataStopsAtItsEnd)
{
    TestMesh mesh = QuadMesh();
    mesh.chunks.push_back(QuadStripChunk(1));
    mesh.chunks[0].geometry.size = 0x7FFFFFF0;
    MeshLoadHarness harness;
    EXPECT_EQ(harness.Load(mesh), RES_FILE_FORMAT_ERROR);

    mesh.chunks[0].geometry.size = -16;
    EXPECT_EQ(harness.Load(mesh), RES_FILE_FORMAT_ERROR);
}

namespace {

TestBone Chain(uint32_t depth)
{
    TestBone bone{100, "bone" + std::to_string(depth), {}, {0, 0, 0, 1}, {}, {}};
    if (depth > 0)
        bone.children.push_back(Chain(depth - 1));
    return bone;
}

}  // namespace

TEST(IndexedMeshFileTest, SkeletonDepthIsBounded)
{
    for (const auto& [depth, expected] : {std::pair{255u, RES_OK}, std::pair{256u, RES_FILE_FORMAT_ERROR}}) {
        SCOPED_TRACE(depth);
        TestMesh mesh = QuadMesh();
        mesh.skeleton = TestSkeleton{100, Chain(depth)};
        MeshLoadHarness harness;
        EXPECT_EQ(harness.Load(mesh), expected);
        if (expected == RES_OK) {
            ASSERT_NE(harness.definition->GetRootBone(), nullptr);
            EXPECT_EQ(harness.definition->GetRootBone()->CountBones(), depth + 1);
        }
    }
}

TEST(IndexedMeshFileTest, EmptyChunksAreDroppedAndInfluencesFollowTheirChunks)
{
    TestMesh mesh;
    mesh.chunks.push_back(QuadStripChunk(1));
    TestChunk empty = QuadStripChunk(1);
    empty.geometry.positions.clear();
    empty.geometry.texCoords.clear();
    empty.geometry.normals.clear();
    empty.geometry.indices.clear();
    empty.geometry.faceNormals.clear();
    mesh.chunks.push_back(empty);
    mesh.chunks.push_back(QuadStripChunk(2));
    mesh.chunks[2].geometry.name = "third";
    mesh.influences = TestInfluences{};
    TestInfluence bone;
    bone.bone = "root";
    bone.groups = {{0, {{0}}}, {1, {{0}}}, {2, {{5}}}, {2, {}}};
    mesh.influences->definitions.push_back(bone);

    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness.definition;
    EXPECT_EQ(d.GetChunkCount(), 2u);
    EXPECT_EQ(d.GetChunkVertexCount(1), 8u);
    EXPECT_EQ(d.GetChunkName(1), Nyx::PString("third"));
    EXPECT_EQ(d.GetChunkName(2), Nyx::PString());
    EXPECT_EQ(d.GetTotalVertices(), 12u);
    // The group of the dropped chunk and the one without entries are gone;
    // the third CHNK's group names array entry 1.
    ASSERT_EQ(d.GetInfluenceGroupCount(0), 2u);
    EXPECT_EQ(d.GetInfluenceGroupChunk(0, 0), 0u);
    EXPECT_EQ(d.GetInfluenceGroupChunk(0, 1), 1u);
    EXPECT_EQ(d.GetChunkMaxVertexInfluences(1), 1u);
}

// A line piece has no faces but is drawn: only vertex, index and primitive
// counts of 0 make a chunk empty.
TEST(IndexedMeshFileTest, ChunkWithoutFacesIsKept)
{
    TestMesh mesh;
    TestChunk lines = QuadStripChunk(1);
    lines.geometry.primitive = 1;
    lines.geometry.faceNormals.clear();
    lines.geometry.primitiveCount = 3;
    mesh.chunks.push_back(lines);
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    EXPECT_EQ(harness.definition->GetChunkCount(), 1u);
    EXPECT_EQ(harness.definition->GetChunk(0)->GetPrimitiveCode(), 3u);
    EXPECT_EQ(harness.definition->GetTotalFaces(), 0u);
}

TEST(IndexedMeshFileTest, MaterialColourAndPowerRules)
{
    for (const auto& [version, power, expectedPower] :
         {std::tuple{102u, 40.0f, 10.0f}, std::tuple{103u, 4.0f, 10.0f}, std::tuple{103u, 40.0f, 40.0f}}) {
        SCOPED_TRACE(version);
        TestMesh mesh = QuadMesh();
        TestMaterial& m = mesh.chunks[0].material;
        m.name = "paint" + std::to_string(version) + std::to_string(static_cast<int>(power)) + ".m.onetex";
        m.version = version;
        m.power = power;
        m.colours[3][0] = 0.8f;
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        const Nyx::DisplayMaterial display = harness.definition->GetChunkDisplayMaterial(0);
        EXPECT_EQ(display.power, expectedPower);
        EXPECT_FLOAT_EQ(display.colour[3].r, 0.4f);
        EXPECT_FLOAT_EQ(display.colour[3].a, 0.5f);
        if (version == 102)
            EXPECT_EQ(display.colour[2], (Nyx::DisplayColour{0, 0, 0, 0}));
        else
            EXPECT_FLOAT_EQ(display.colour[2].r, 0.5f);
    }
}

TEST(IndexedMeshFileTest, StoredColoursReplaceTheDefault)
{
    TestMesh mesh = QuadMesh();
    mesh.chunks[0].geometry.version = 150;
    mesh.chunks[0].geometry.colours = {0x11223344u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u};
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(WriteMeshFile(mesh), {}, 0x80808080u), RES_OK);
    uint32_t colours[4] = {};
    ASSERT_TRUE(harness.definition->CopyChunkColours(0, true, colours, 4, 0));
    EXPECT_EQ(colours[0], 0x11223344u);
    EXPECT_EQ(colours[3], 0xDDEEFF00u);

    mesh.chunks[0].geometry.version = 201;
    ASSERT_EQ(harness.Load(WriteMeshFile(mesh), {}, 0x80808080u), RES_OK);
    ASSERT_TRUE(harness.definition->CopyChunkColours(0, true, colours, 4, 0));
    EXPECT_EQ(colours[2], 0x80808080u);
    // The second colour stream is not kept by this engine: the fill value.
    ASSERT_TRUE(harness.definition->CopyChunkColours(0, false, colours, 4, 7));
    EXPECT_EQ(colours[0], 7u);
}

TEST(IndexedMeshFileTest, OpenFileReadsThroughTheOwnersFileSystem)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("mesh_open_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> bytes = WriteMeshFile(QuadMesh());
    std::ofstream(folder / "body.im", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    MeshLoadHarness harness;
    KestroIndexedMeshDefinition definition;
    MeshLoadResult result = RES_UNKNOWN;
    EXPECT_EQ(definition.OpenFile(result, harness.owner, Nyx::String((folder / "none.im").string())),
              RES_FILE_OPEN_ERROR);
    // The mount the owner names is where relative paths are found.
    Nyx::File::Subst::Add(Nyx::PString("meshopentest"), Nyx::File::Path(folder.string()));
    harness.owner.SetFileBase(Nyx::PString("meshopentest"));
    ASSERT_EQ(definition.OpenFile(result, harness.owner, Nyx::String("body.im")), RES_OK);
    EXPECT_EQ(definition.GetName(), Nyx::PString("body.im"));
    EXPECT_TRUE(definition.IsMemoryFileOpen());
    EXPECT_EQ(definition.Load(result, &harness.kernel, &harness.kernel.GetMaterialManager(), harness.owner, 0),
              RES_OK);
    EXPECT_EQ(definition.GetChunkCount(), 1u);
    Nyx::File::Subst::Remove(Nyx::PString("meshopentest"));
    std::filesystem::remove_all(folder);
}

namespace {

// A material type whose chunks keep position, normal and texture
// coordinates interleaved in one vertex record.
Nyx::Material* MakePacked(const Nyx::PString& name, const Nyx::PString& type)
{
    struct PackedMaterial : Nyx::Material {
        using Nyx::Material::Material;
        Nyx::GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                                uint32_t faceCount, uint32_t, const Nyx::StandardChunkHint&) override
        {
            auto* chunk = new Nyx::GeometryChunkPNT(vertexCount, primitiveCount, indexCount, faceCount, 0);
            chunk->AddRef();
            return chunk;
        }
    };
    Nyx::Material* material = new PackedMaterial(name, type);
    material->AddRef();
    return material;
}

}  // namespace

TEST(IndexedMeshFileTest, VerticesAndIndicesReadAlikeIntoSeparateAndInterleavedStreams)
{
    const uint32_t token = Nyx::MaterialManager::RegisterType("packed", &MakePacked);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> any(-100.0f, 100.0f);
    TestMesh mesh;
    TestChunk chunk;
    TestGeometry& g = chunk.geometry;
    const uint32_t vertices = 301;
    for (uint32_t v = 0; v < vertices; ++v) {
        g.positions.insert(g.positions.end(), {any(rng), any(rng), any(rng)});
        g.texCoords.insert(g.texCoords.end(), {any(rng), any(rng)});
        g.normals.insert(g.normals.end(), {any(rng), any(rng), any(rng)});
    }
    for (uint32_t i = 0; i < 3 * 200; ++i)
        g.indices.push_back(static_cast<uint16_t>(std::uniform_int_distribution<uint32_t>(0, vertices - 1)(rng)));
    g.indices.back() = vertices - 1;
    g.primitiveCount = 200;
    mesh.chunks.push_back(chunk);

    for (const char* material : {"body.m.onetex", "body.m.packed"}) {
        SCOPED_TRACE(material);
        mesh.chunks[0].material.name = material;
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        const KestroIndexedMeshDefinition& d = *harness.definition;
        std::vector<float> positions(3 * vertices);
        std::vector<float> uv(2 * vertices);
        std::vector<float> normals(3 * vertices);
        std::vector<uint16_t> indices(g.indices.size());
        ASSERT_TRUE(d.CopyChunkPositions(0, positions.data(), 12));
        ASSERT_TRUE(d.CopyChunkTexCoords(0, 0, uv.data(), 8));
        ASSERT_TRUE(d.CopyChunkNormals(0, normals.data(), 12));
        ASSERT_TRUE(d.CopyChunkIndices(0, indices.data()));
        EXPECT_EQ(positions, g.positions);
        EXPECT_EQ(uv, g.texCoords);
        EXPECT_EQ(normals, g.normals);
        EXPECT_EQ(indices, g.indices);
    }
    Nyx::MaterialManager::UnregisterType(token);
}

namespace {

// A material type that asks its chunks for two more texture-coordinate
// sets than the file brings.
Nyx::Material* MakeExtraSets(const Nyx::PString& name, const Nyx::PString& type)
{
    struct ExtraSetsMaterial : Nyx::Material {
        using Nyx::Material::Material;
        Nyx::GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                                uint32_t faceCount, uint32_t primitiveCode,
                                                const Nyx::StandardChunkHint& hint) override
        {
            Nyx::StandardChunkHint more = hint;
            more.texCoordSets += 2;
            return Nyx::Material::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount,
                                                      primitiveCode, more);
        }
    };
    Nyx::Material* material = new ExtraSetsMaterial(name, type);
    material->AddRef();
    return material;
}

bool AllZero(const std::vector<float>& values)
{
    return std::all_of(values.begin(), values.end(), [](float v) { return v == 0.0f && !std::signbit(v); });
}

}  // namespace

// The reader fills what the file brings; whatever else a chunk has, and what
// a load that stops part-way has not reached, reads as zeros.
TEST(IndexedMeshFileTest, WhatTheFileDoesNotFillReadsAsZeros)
{
    const uint32_t token = Nyx::MaterialManager::RegisterType("extrasets", &MakeExtraSets);
    TestMesh mesh = QuadMesh(40);
    TestGeometry& g = mesh.chunks[0].geometry;
    for (float& n : g.normals)
        n = 0.5f;
    for (size_t k = 0; k < g.faceNormals.size(); ++k)
        g.faceNormals[k] = 0.25f;
    const uint32_t vertices = static_cast<uint32_t>(g.positions.size() / 3);
    {
        SCOPED_TRACE("sets the material adds");
        mesh.chunks[0].material.name = "body.m.extrasets";
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        const KestroIndexedMeshDefinition& d = *harness.definition;
        ASSERT_EQ(d.GetChunkTexCoordSetCount(0), 3u);
        std::vector<float> uv(2 * vertices);
        ASSERT_TRUE(d.CopyChunkTexCoords(0, 0, uv.data(), 8));
        EXPECT_EQ(uv, g.texCoords);
        for (uint32_t set : {1u, 2u}) {
            ASSERT_TRUE(d.CopyChunkTexCoords(0, set, uv.data(), 8));
            EXPECT_TRUE(AllZero(uv)) << "set " << set;
        }
    }
    {
        SCOPED_TRACE("an index past the vertices");
        mesh.chunks[0].material.name = "body.m.onetex";
        g.indices[7] = static_cast<uint16_t>(vertices);
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_FILE_FORMAT_ERROR);
        const KestroIndexedMeshDefinition& d = *harness.definition;
        ASSERT_NE(d.GetChunk(0), nullptr);
        std::vector<float> positions(3 * vertices);
        ASSERT_TRUE(d.CopyChunkPositions(0, positions.data(), 12));
        EXPECT_EQ(positions, g.positions);
        std::vector<float> normals(3 * vertices);
        ASSERT_TRUE(d.CopyChunkNormals(0, normals.data(), 12));
        EXPECT_TRUE(AllZero(normals));
        std::vector<float> faces(g.faceNormals.size());
        ASSERT_TRUE(d.CopyChunkFaceNormals(0, faces.data()));
        EXPECT_TRUE(AllZero(faces));
    }
    Nyx::MaterialManager::UnregisterType(token);
}
