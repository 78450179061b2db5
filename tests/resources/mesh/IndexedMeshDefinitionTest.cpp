#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/scene/AttachmentPoint.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/indexed/CollisionGeometrySharingInterface.h"
#include "resources/mesh/ConfigParser.h"
#include "resources/mesh/MeshGeometrySettings.h"
#include "resources/mesh/MeshTestSupport.h"

namespace {

TEST(IndexedMeshDefinitionTest, AccessorsAfterALoad)
{
    TestMesh mesh = QuadMesh(2);
    mesh.position[1] = 5.0f;
    mesh.orientation[3] = 2.0f;  // normalised on reading
    mesh.chunks[0].geometry.positions[2] = -3.0f;
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness.definition;
    EXPECT_EQ(d.GetPosition(), (Nyx::Vector3f{0, 5, 0}));
    EXPECT_EQ(d.GetOrientation(), (Nyx::Quaternion{0, 0, 0, 1}));
    EXPECT_EQ(d.GetChunkCount(), 1u);
    EXPECT_EQ(d.GetChunkVertexCount(0), 8u);
    EXPECT_EQ(d.GetChunkIndexCount(0), 12u);
    EXPECT_EQ(d.GetChunkPrimitiveValue(0), 4u);
    EXPECT_EQ(d.GetChunkTexCoordSetCount(0), 1u);
    EXPECT_EQ(d.GetTotalFaces(), 4u);
    EXPECT_EQ(d.GetBoundsMin(), (Nyx::Vector3f{0, 0, -3}));
    EXPECT_EQ(d.GetBoundsMax(), (Nyx::Vector3f{2, 1, 0}));
    EXPECT_FALSE(d.IsMemoryFileOpen());
    EXPECT_EQ(d.GetChunkName(0), Nyx::PString("piece"));
    EXPECT_EQ(d.GetChunkName(1), Nyx::PString());
    EXPECT_EQ(d.GetChunkVertexCount(1), 0u);

    float positions[8][4] = {};
    ASSERT_TRUE(d.CopyChunkPositions(0, positions, 16));
    EXPECT_EQ(positions[5][0], 2.0f);
    EXPECT_EQ(positions[5][3], 0.0f);
    float uv[8][2] = {};
    ASSERT_TRUE(d.CopyChunkTexCoords(0, 0, uv, 8));
    EXPECT_EQ(uv[6][1], 1.0f);
    EXPECT_FALSE(d.CopyChunkTexCoords(0, 1, uv, 8));
    uint16_t indices[12] = {};
    ASSERT_TRUE(d.CopyChunkIndices(0, indices));
    EXPECT_EQ(indices[11], 7);
    float normals[8][3] = {};
    ASSERT_TRUE(d.CopyChunkNormals(0, normals, 12));
    EXPECT_EQ(normals[7][2], 1.0f);
    float faces[4][3] = {};
    ASSERT_TRUE(d.CopyChunkFaceNormals(0, faces));
    EXPECT_EQ(faces[3][2], 1.0f);
    EXPECT_FALSE(d.CopyChunkPositions(1, positions, 16));

    // 252 + per chunk its vertex size × vertices + 2 × indices.
    const uint32_t vertexSize = d.GetChunk(0)->GetVertexSize(-1);
    EXPECT_EQ(d.GetMemoryUsage(), 252 + vertexSize * 8 + 24);
    for (const auto& p : positions)
        EXPECT_TRUE(d.GetOrientedBox().Contains({p[0], p[1], p[2]}));
}

TEST(IndexedMeshDefinitionTest, TextureScale)
{
    struct Case {
        const char* name;
        uint32_t primitive;
        std::vector<float> positions;
        std::vector<float> uv;
        std::vector<uint16_t> indices;
        float expected;
    };
    const float r2 = std::sqrt(2.0f);
    const Case cases[] = {
        // World and texture edges alike: ratio 1, and the mean × 8 is held
        // to the largest ratio.
        {"list", 4, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}, {0, 1, 2}, 1.0f},
        {"texture twice the size", 4, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 2, 0, 0, 2}, {0, 1, 2}, 0.5f},
        {"all texture coordinates equal", 4, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 0, 0, 0, 0}, {0, 1, 2}, 0.0f},
        // The strip's first triangle has no texture area; its second (1, 3,
        // 2) counts: ratios 1/√2 and √2.
        {"strip", 8, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {0, 0, 0, 0, 0, 1, 1, 1}, {0, 1, 2, 3}, r2},
        {"fan", 16, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 1, 0, 1, 1, 0, 1}, {0, 1, 2, 3}, 1.0f},
        {"points have no triangles", 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}, {0, 1, 2}, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMesh mesh;
        TestChunk chunk;
        chunk.geometry.primitive = c.primitive;
        chunk.geometry.positions = c.positions;
        chunk.geometry.texCoords = c.uv;
        chunk.geometry.indices = c.indices;
        chunk.geometry.primitiveCount = 2;
        mesh.chunks.push_back(chunk);
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        EXPECT_NEAR(harness.definition->GetTextureScale(), c.expected, 1e-5f);
    }
}

// The scale as the sum over every triangle, one after another, of each
// triangle's own ratios: what the load must give to the bit.
float TextureScaleOneByOne(const KestroIndexedMeshDefinition& d, const TestMesh& mesh)
{
    double sum = 0.0;
    double weights = 0.0;
    double largest = 0.0;
    for (uint32_t c = 0; c < d.GetChunkCount(); ++c) {
        const TestGeometry& g = mesh.chunks[c].geometry;
        const size_t n = g.indices.size();
        const size_t triangles = g.primitive == 4 ? n / 3 : n >= 3 ? n - 2 : 0;
        for (size_t t = 0; t < triangles; ++t) {
            size_t a = 0, b = 0, k = 0;
            if (g.primitive == 4) {
                a = g.indices[3 * t], b = g.indices[3 * t + 1], k = g.indices[3 * t + 2];
            } else if (g.primitive == 8) {
                a = g.indices[t], b = g.indices[t + (t & 1 ? 2 : 1)], k = g.indices[t + (t & 1 ? 1 : 2)];
            } else {
                a = g.indices[0], b = g.indices[t + 1], k = g.indices[t + 2];
            }
            const float* p = g.positions.data();
            const float* uv = g.texCoords.data();
            const auto edge = [p](size_t i, size_t j) {
                return std::sqrt((p[3 * j] - p[3 * i]) * (p[3 * j] - p[3 * i]) +
                                 (p[3 * j + 1] - p[3 * i + 1]) * (p[3 * j + 1] - p[3 * i + 1]) +
                                 (p[3 * j + 2] - p[3 * i + 2]) * (p[3 * j + 2] - p[3 * i + 2]));
            };
            const auto span = [uv](size_t i, size_t j) {
                return std::sqrt((uv[2 * j] - uv[2 * i]) * (uv[2 * j] - uv[2 * i]) +
                                 (uv[2 * j + 1] - uv[2 * i + 1]) * (uv[2 * j + 1] - uv[2 * i + 1]));
            };
            const float l1 = edge(a, b);
            const float l2 = edge(a, k);
            const float t1 = span(a, b);
            const float t2 = span(a, k);
            if (std::fabs(t1 * t2) <= 0.00001f)
                continue;
            const float r1 = l1 / t1;
            const float r2 = l2 / t2;
            const float w = l1 * l2 * 0.5f;
            sum += double(r1 + r2) * w;
            weights += 2.0 * w;
            largest = std::max({largest, double(r1), double(r2)});
        }
    }
    const double mean = weights > 0.0 ? sum / weights : 0.0;
    return static_cast<float>(std::min(mean * 8.0, largest));
}

TEST(IndexedMeshDefinitionTest, TextureScaleOfLargeMeshesIsTheOneByOneSumToTheBit)
{
    // Many chunks of every triangle kind, with lengths that are not whole
    // batches and triangles whose texture area is nil.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> any(-50.0f, 50.0f);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TestMesh mesh;
        for (uint32_t kind : {4u, 8u, 16u, 4u}) {
            TestChunk chunk;
            TestGeometry& g = chunk.geometry;
            g.primitive = kind;
            const uint32_t vertices = 50 + 37 * static_cast<uint32_t>(round);
            for (uint32_t v = 0; v < vertices; ++v) {
                g.positions.insert(g.positions.end(), {any(rng), any(rng), any(rng)});
                // Every fifth vertex shares the previous one's coordinates.
                if (v % 5 == 4)
                    g.texCoords.insert(g.texCoords.end(), {g.texCoords[2 * v - 2], g.texCoords[2 * v - 1]});
                else
                    g.texCoords.insert(g.texCoords.end(), {any(rng), any(rng)});
            }
            const uint32_t indices = kind == 4 ? 3 * (70 + 29 * static_cast<uint32_t>(round)) : 131;
            for (uint32_t i = 0; i < indices; ++i)
                g.indices.push_back(static_cast<uint16_t>(std::uniform_int_distribution<uint32_t>(0, vertices - 1)(rng)));
            g.primitiveCount = kind == 4 ? indices / 3 : indices - 2;
            mesh.chunks.push_back(chunk);
        }
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        const float expected = TextureScaleOneByOne(*harness.definition, mesh);
        EXPECT_GT(expected, 0.0f);
        EXPECT_EQ(harness.definition->GetTextureScale(), expected);
    }
}

TEST(IndexedMeshDefinitionTest, MeshWithoutVerticesKeepsZeroBounds)
{
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(TestMesh{}), RES_OK);
    EXPECT_EQ(harness.definition->GetBoundsMin(), Nyx::Vector3f{});
    EXPECT_EQ(harness.definition->GetBoundsMax(), Nyx::Vector3f{});
    EXPECT_EQ(harness.definition->GetTextureScale(), 0.0f);
    EXPECT_EQ(harness.definition->GetMemoryUsage(), 252u);
}

TEST(IndexedMeshDefinitionTest, CollisionAdapterReadsTrianglesInPlace)
{
    TestMesh mesh;
    for (uint32_t k = 0; k < 3; ++k) {
        mesh.chunks.push_back(QuadStripChunk(2));
        for (size_t p = 1; p < mesh.chunks[k].geometry.positions.size(); p += 3)
            mesh.chunks[k].geometry.positions[p] += static_cast<float>(10 * k);
    }
    MeshLoadHarness harness;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    const CollisionGeometrySharingInterface shared(*harness.definition);
    Nyx::Vector3f corners[3];
    // Chunk 2, from index 6: the second square's first triangle (4, 5, 6).
    ASSERT_TRUE(shared.GetTriangleCorners(2u << 16 | 6, corners));
    EXPECT_EQ(corners[0], (Nyx::Vector3f{1, 20, 0}));
    EXPECT_EQ(corners[1], (Nyx::Vector3f{2, 20, 0}));
    EXPECT_EQ(corners[2], (Nyx::Vector3f{2, 21, 0}));
    EXPECT_FALSE(shared.GetTriangleCorners(2u << 16 | 10, corners));
    EXPECT_FALSE(shared.GetTriangleCorners(3u << 16, corners));
    ASSERT_TRUE(shared.GetChunkTriangle(1, 3, corners));
    EXPECT_EQ(corners[2], (Nyx::Vector3f{1, 11, 0}));
    EXPECT_FALSE(shared.GetChunkTriangle(1, 4, corners));
}

// A chunk that answers whether it is usable as told, and counts the asks.
struct CheckedChunkMaterial : Nyx::Material {
    using Nyx::Material::Material;
    static inline uint32_t asks = 0;
    static inline uint32_t made = 0;
    struct Chunk : Nyx::GeometryChunk {
        Chunk(uint32_t v, uint32_t p, uint32_t i, uint32_t f, bool usable)
            : Nyx::GeometryChunk(v, p, i, f, 0), positions(size_t{v} * 3), usable(usable)
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
            return usable;
        }
        std::vector<float> positions;
        bool usable;
    };
    Nyx::GeometryChunk* CreateGeometryChunk(uint32_t v, uint32_t p, uint32_t i, uint32_t f, uint32_t,
                                            const Nyx::StandardChunkHint&) override
    {
        auto* chunk = new Chunk(v, p, i, f, made++ != 0);
        chunk->AddRef();
        return chunk;
    }
};

Nyx::Material* MakeChecked(const Nyx::PString& name, const Nyx::PString& type)
{
    Nyx::Material* material = new CheckedChunkMaterial(name, type);
    material->AddRef();
    return material;
}

TEST(IndexedMeshDefinitionTest, CheckChunksAsksEveryChunk)
{
    const uint32_t token = Nyx::MaterialManager::RegisterType("checked", &MakeChecked);
    TestMesh mesh;
    for (int k = 0; k < 3; ++k)
        mesh.chunks.push_back(QuadStripChunk(1, "c" + std::to_string(k) + ".m.checked"));
    MeshLoadHarness harness;
    CheckedChunkMaterial::made = 0;
    CheckedChunkMaterial::asks = 0;
    ASSERT_EQ(harness.Load(mesh), RES_OK);
    EXPECT_EQ(harness.definition->FinishLoad(0), RES_FILE_DATA_ERROR);
    EXPECT_EQ(CheckedChunkMaterial::asks, 3u);
    Nyx::MaterialManager::UnregisterType(token);
}

TEST(IndexedMeshDefinitionTest, AttachmentPointsPlacedByName)
{
    TestMesh mesh = QuadMesh();
    mesh.attachments = TestAttachments{};
    for (const char* name : {"a.root", "A.none", "b.root", ""})
        mesh.attachments->points.push_back({name, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 2, 3}});
    {
        SCOPED_TRACE("without a skeleton");
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        EXPECT_EQ(harness.definition->GetAttachmentCount(), 4u);
        EXPECT_EQ(harness.definition->GetAttachmentName(2), Nyx::PString("b.root"));
        Nyx::ParticleStructure instance;
        harness.definition->PlaceAttachmentPoints(instance);
        ASSERT_EQ(instance.GetAttachmentPoints().size(), 2u);
        EXPECT_EQ(instance.GetAttachmentPoints()[1]->GetFirstName(), Nyx::PString("A"));
        EXPECT_EQ(instance.GetAttachmentPoints()[1]->GetSecondName(), Nyx::PString("none"));
        EXPECT_EQ(instance.GetAttachmentPoints()[0]->GetPosition(), (Nyx::Vector3f{1, 2, 3}));
    }
    {
        SCOPED_TRACE("with a skeleton");
        mesh.skeleton = TestSkeleton{100, TestBone{100, "root", {1, 0, 0}, {0, 0, 0, 1}, {}, {}}};
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(mesh), RES_OK);
        Nyx::ParticleStructure instance;
        instance.SetSkeleton(harness.definition->GetRootBone());
        harness.definition->PlaceAttachmentPoints(instance);
        ASSERT_EQ(instance.GetAttachmentPoints().size(), 2u);
        // On the bone, in its frame; the other as a plain child.
        const Nyx::AttachmentPoint* onBone = instance.GetAttachmentPoints()[0];
        EXPECT_EQ(onBone->GetParent(), harness.definition->GetRootBone());
        EXPECT_EQ(onBone->GetPosition(), (Nyx::Vector3f{0, 2, 3}));
        EXPECT_EQ(instance.GetAttachmentPoints()[1]->GetParent(), &instance);
        EXPECT_EQ(instance.GetAttachmentPoints()[1]->GetPosition(), (Nyx::Vector3f{1, 2, 3}));
        harness.definition->GetRootBone()->RemoveChild(const_cast<Nyx::AttachmentPoint*>(onBone));
    }
}

TEST(IndexedMeshDefinitionTest, SettingsReader)
{
    ChunkRef root;
    ASSERT_EQ(Nyx::ConfigParser::ParseText(
                  "version 1\nMesh \"body.im\"\nSoftwareLighting 1\nDynamicIndex 0\nHardwareAnimationFloatPrecision 1\n",
                  root),
              Nyx::ConfigParser::kOk);
    GeometrySettings settings;
    ReadGeometrySettings(root, settings);
    EXPECT_TRUE(settings.IsOn(GeometrySettings::kSoftwareLighting));
    EXPECT_FALSE(settings.present[GeometrySettings::kSoftwareAnimation]);
    EXPECT_TRUE(settings.present[GeometrySettings::kDynamicIndex]);
    EXPECT_EQ(settings.value[GeometrySettings::kDynamicIndex], 0);
    EXPECT_TRUE(settings.IsOn(GeometrySettings::kHardwareAnimationFloatPrecision));
}

// ---- the text form ----

class MeshTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = std::filesystem::temp_directory_path() /
                  ("mesh_text_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    MeshLoadResult LoadText(const std::string& text, const char* name = "body.imtxt")
    {
        const std::filesystem::path path = folder_ / name;
        if (!text.empty() || name[0] != '-')
            std::ofstream(path, std::ios::binary) << text;
        harness_.definition = std::make_unique<KestroIndexedMeshDefinition>();
        MeshLoadResult result = RES_OK;
        return harness_.definition->LoadText(result, &harness_.kernel, &harness_.kernel.GetMaterialManager(),
                                             harness_.owner, Nyx::String(path.string()));
    }

    std::filesystem::path folder_;
    MeshLoadHarness harness_;
};

constexpr const char* kTriangle = R"(version 1
orientation 0,0,0,1
chunks
{
  0
  {
    name "tri"
    material ""
    power 0.5
    diffuse 1,0.5,0.25,1
    flag 1
    float 0.75
    properties
    {
      0
      {
        name "shine"
        value "high"
      }
    }
    textures
    {
      0
      {
        kind 0
        file "art/paint.tga"
        value 1
      }
    }
    positions 0,0,0,1,0,0,0,1,0
    texcoords0 0,0,1,0,0,1
    indices 0,1,2
    normals 0,0,1,0,0,1,0,0,1
    colours 1,0,0,1,0,1,0,1,0,0,1,1
    facenormals 0,0,1
  }
}
attachments
{
  0
  {
    name "a.top"
    orientation 1,0,0,0,1,0,0,0,1
    position 0,1,0
  }
}
)";

std::string Nested(int depth)
{
    std::string text;
    for (int k = 0; k < depth; ++k)
        text += "c\n{\n";
    return text;
}

TEST_F(MeshTextTest, ParseResults)
{
    struct Case {
        const char* name;
        std::string text;
        const char* file;
        MeshLoadResult expected;
    };
    const Case cases[] = {
        {"a triangle", kTriangle, "body.imtxt", RES_OK},
        {"a newer version", "version 2\n", "body.imtxt", RES_FILE_VERSION_ERROR},
        {"no version", "chunks\n{\n}\n", "body.imtxt", RES_FILE_FORMAT_ERROR},
        {"no tags at all", "", "body.imtxt", RES_FILE_FORMAT_ERROR},
        {"no file", "", "-missing.imtxt", RES_FILE_OPEN_ERROR},
        {"nesting past the tree's depth", "version 1\n" + Nested(1100), "body.imtxt", RES_FILE_FORMAT_ERROR},
        {"an index past the vertices and nothing else", "version 1\nchunks\n{\n0\n{\nindices 4\n}\n}\n", "body.imtxt",
         RES_FILE_FORMAT_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadText(c.text, c.file), c.expected);
    }
}

TEST_F(MeshTextTest, AMalformedListIsLeftOutAndTheMeshStillLoads)
{
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        uint32_t indices;
        float normalZ;  // of the first vertex
    };
    const Case cases[] = {
        {"an index past the vertices drops the indices", "indices 0,1,2", "indices 0,1,3", 0, 1.0f},
        {"normals of the wrong length stay zero", "normals 0,0,1,0,0,1,0,0,1", "normals 0,0,1", 3, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = kTriangle;
        text.replace(text.find(c.from), std::string(c.from).size(), c.to);
        ASSERT_EQ(LoadText(text), RES_OK);
        const KestroIndexedMeshDefinition& d = *harness_.definition;
        ASSERT_EQ(d.GetChunkCount(), 1u);
        EXPECT_EQ(d.GetChunkVertexCount(0), 3u);
        EXPECT_EQ(d.GetChunkIndexCount(0), c.indices);
        float normals[9] = {};
        ASSERT_TRUE(d.CopyChunkNormals(0, normals, 12));
        EXPECT_EQ(normals[2], c.normalZ);
    }
}

TEST_F(MeshTextTest, TriangleLoadsWithItsMaterialAndAttachment)
{
    ASSERT_EQ(LoadText(kTriangle), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness_.definition;
    ASSERT_EQ(d.GetChunkCount(), 1u);
    EXPECT_EQ(d.GetChunkName(0), Nyx::PString("tri"));
    EXPECT_EQ(d.GetChunkVertexCount(0), 3u);
    EXPECT_EQ(d.GetBoundsMax(), (Nyx::Vector3f{1, 1, 0}));
    EXPECT_NEAR(d.GetTextureScale(), 1.0f, 1e-6f);
    uint32_t colours[3] = {};
    ASSERT_TRUE(d.CopyChunkColours(0, true, colours, 4, 0));
    EXPECT_EQ(colours[1], 0xFF00FF00u);
    // An unnamed material: a made-up name that starts with the file's stem,
    // decorated by its texture count; power 0.5 × 128.
    const std::string name(d.GetChunkMaterialName(0).View());
    EXPECT_EQ(name.rfind("KestroIndexedMeshDefinition::CreateMaterial> *body*", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 10), "*.m.onetex");
    EXPECT_EQ(d.GetChunkDisplayMaterial(0).power, 64.0f);
    EXPECT_EQ(d.GetChunkDisplayMaterial(0).colour[1].g, 0.5f);
    EXPECT_TRUE(d.GetChunkMaterialFlag(0));
    EXPECT_EQ(d.GetChunkMaterialFloat(0), 0.75f);
    EXPECT_EQ(d.GetChunkMaterialPropertyCount(0), 1u);
    EXPECT_EQ(d.GetChunkMaterialProperty(0, 0, true), Nyx::String("high"));
    EXPECT_EQ(d.GetAttachmentCount(), 1u);
    EXPECT_EQ(d.GetAttachmentPosition(0), (Nyx::Vector3f{0, 1, 0}));
}

// The example of the text form in docs/mesh-files.md loads as written,
// through the config-text reader, texture and all.
TEST_F(MeshTextTest, TheDocumentedExampleLoadsWithItsTexture)
{
    std::ostringstream read;
    read << std::ifstream(std::string(KESTRO_TEST_DATA_DIR) + "/../../docs/mesh-files.md").rdbuf();
    const std::string doc = read.str();
    const size_t section = doc.find("## The \".imtxt\" text form");
    ASSERT_NE(section, std::string::npos);
    const size_t open = doc.find("```\n", section);
    ASSERT_NE(open, std::string::npos);
    const size_t close = doc.find("\n```", open);
    ASSERT_NE(close, std::string::npos);
    ASSERT_EQ(LoadText(doc.substr(open + 4, close + 1 - (open + 4))), RES_OK);
    KestroIndexedMeshDefinition& d = *harness_.definition;
    ASSERT_EQ(d.GetChunkCount(), 1u);
    EXPECT_EQ(d.GetChunkMaterialPropertyCount(0), 1u);
    EXPECT_EQ(d.GetInfluenceCount(), 1u);
    EXPECT_EQ(d.GetAttachmentCount(), 1u);
    d.ApplyPendingTextures();
    ASSERT_NE(d.GetMaterial(0), nullptr);
    std::vector<Nyx::MaterialTextureEntry> textures = d.GetMaterial(0)->GetTextureFiles();
    textures.insert(textures.end(), d.GetRefusedTextures().begin(), d.GetRefusedTextures().end());
    ASSERT_EQ(textures.size(), 1u);
    EXPECT_EQ(textures[0].kind, 0u);
    EXPECT_EQ(std::filesystem::path(textures[0].path.Str()).filename(), "paint.tga");
    EXPECT_EQ(textures[0].value, 1.0f);
}

TEST_F(MeshTextTest, TextInfluencesBuildTheSkeletonAndPalettes)
{
    const std::string text = std::string(kTriangle) + R"(influences
{
  0
  {
    bone "hip"
    parent ""
    position 0,0,0
    orientation 1,0,0,0,1,0,0,0,1
    groups
    {
      0
      {
        chunk 0
        entries 1,0.5,0,0,0
      }
      1
      {
        chunk 0
      }
    }
  }
}
)";
    std::string skinned = text;
    skinned.replace(skinned.find("    indices"), 0, "    influences 1\n");
    harness_.kernel.SetCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning, false);
    ASSERT_EQ(LoadText(skinned), RES_OK);
    const KestroIndexedMeshDefinition& d = *harness_.definition;
    ASSERT_NE(d.GetRootBone(), nullptr);
    EXPECT_EQ(d.GetRootBone()->GetName(), Nyx::PString("hip"));
    EXPECT_EQ(d.GetInfluenceGroupCount(0), 1u);
    EXPECT_EQ(d.GetInfluenceGroupEntryCount(0, 0), 1u);
    EXPECT_EQ(d.GetChunkMaxVertexInfluences(0), 1u);
}

}  // namespace
