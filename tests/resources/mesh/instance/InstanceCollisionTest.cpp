// The instance's faces and its collision tests, face by face and through
// the definition's collision tree.
#include <gtest/gtest.h>

#include "nyx/scene/math/Ray.h"
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"
#include "resources/mesh/instance/InstanceTestSupport.h"
#include "resources/overlapped/OverlappedResourceSystem.h"

namespace {

using V = Nyx::Vector3f;

TEST(InstanceFaceTest, CornerPlacesFollowThePrimitiveKind)
{
    struct Case {
        uint32_t kind, face, corner;
        bool known;
        uint32_t position;
    };
    const Case cases[] = {
        {4, 0, 0, true, 0},  {4, 2, 2, true, 8},  {8, 3, 1, true, 5}, {8, 2, 1, true, 3},
        {8, 3, 2, true, 4},  {8, 0, 2, true, 2},  {16, 5, 0, true, 0}, {16, 5, 2, true, 7},
        {1, 0, 0, false, 0}, {4, 0, 3, false, 0},
    };
    for (const Case& c : cases) {
        uint32_t position = 0;
        EXPECT_EQ(KestroIndexedMeshInstance::CornerIndexPosition(c.kind, c.face, c.corner, position), c.known)
            << c.kind << "/" << c.face << "/" << c.corner;
        if (c.known) {
            EXPECT_EQ(position, c.position) << c.kind << "/" << c.face << "/" << c.corner;
        }
    }
}

// One chunk of two unit squares at z = 0 with neighbours, and a second
// chunk one unit above, with a degenerate last face.
TestMesh FaceMesh()
{
    TestMesh mesh;
    mesh.chunks.push_back(QuadStripChunk(2));
    mesh.chunks[0].neighbours = std::vector<uint32_t>{0xFFFFFFFFu, 1, 0xFFFFFFFFu,  // face 0
                                                      0,           2, (7u << 16) | 0,  // face 1: chunk 7 is none
                                                      (1u << 16) | 1, 0xFFFFFFFFu, 0xFFFFFFFFu,
                                                      0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    mesh.chunks.push_back(QuadStripChunk(1));
    TestGeometry& g = mesh.chunks[1].geometry;
    for (size_t i = 2; i < g.positions.size(); i += 3)
        g.positions[i] = 1.0f;
    g.faceNormals.clear();
    g.indices[3] = g.indices[4];  // face 1 becomes a line
    return mesh;
}

TEST(InstanceFaceTest, CentresNormalsNeighboursAndMaterials)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(FaceMesh()));
    auto instance = h.Bind();
    const Nyx::FaceReference face0{instance.get(), 0, 0};
    EXPECT_EQ(instance->GetFaceCorner(face0, 2), (V{1, 1, 0}));
    const V centre = instance->GetFaceCentre(face0);
    EXPECT_FLOAT_EQ(centre.x, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(centre.y, 1.0f / 3.0f);
    EXPECT_EQ(instance->GetFaceNormal(face0), (V{0, 0, 1}));  // stored
    EXPECT_EQ(instance->GetFaceMaterial({instance.get(), 0, 1}), instance->GetMaterial(1));

    const V computed = instance->GetFaceNormal({instance.get(), 0, 1});
    EXPECT_FLOAT_EQ(std::fabs(computed.z), 1.0f);
    EXPECT_EQ(instance->GetFaceNormal({instance.get(), 1, 1}), (V{1, 0, 0}));  // degenerate

    struct Case {
        uint32_t face, edge;
        bool found;
        Nyx::FaceReference neighbour;
    };
    const Case cases[] = {
        {0, 0, false, {}},
        {0, 1, true, {instance.get(), 1, 0}},
        {1, 1, true, {instance.get(), 2, 0}},
        {1, 2, false, {}},  // names chunk 7
        {2, 0, true, {instance.get(), 1, 1}},
        {9, 0, false, {}},  // no such face
        {0, 3, false, {}},  // no such edge
    };
    for (const Case& c : cases) {
        Nyx::FaceReference out;
        EXPECT_EQ(instance->GetFaceNeighbor({instance.get(), c.face, 0}, c.edge, out), c.found)
            << c.face << "/" << c.edge;
        if (c.found) {
            EXPECT_EQ(out, c.neighbour) << c.face << "/" << c.edge;
        }
    }
    Nyx::FaceReference none;
    EXPECT_FALSE(instance->GetFaceNeighbor({instance.get(), 0, 1}, 0, none));  // chunk without neighbours
}

TEST(InstanceCollisionTest, FaceByFaceTheNearerFaceWins)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(FaceMesh()));
    auto instance = h.Bind(false);  // no resource: no tree
    h.load.definition->GetMaterial(0)->SetFlags(KestroIndexedMeshInstance::kMaterialFlagTwoSided);
    h.load.definition->GetMaterial(1)->SetFlags(KestroIndexedMeshInstance::kMaterialFlagTwoSided);
    struct Case {
        const char* name;
        V start;
        V direction;
        float nearest;
        bool hit;
        float distance;
        Nyx::FaceReference face;
    };
    const Case cases[] = {
        {"from above through both chunks", {0.8f, 0.2f, 3}, {0, 0, -1}, 100, true, 2, {instance.get(), 0, 1}},
        {"from below through both chunks", {0.2f, 0.8f, -3}, {0, 0, 1}, 100, true, 3, {instance.get(), 1, 0}},
        {"beyond the given distance", {0.8f, 0.2f, 3}, {0, 0, -1}, 1.5f, false, 1.5f, {}},
        {"only the lower chunk", {1.8f, 0.2f, 3}, {0, 0, -1}, 100, true, 3, {instance.get(), 2, 0}},
        {"past the mesh", {5, 5, 3}, {0, 0, -1}, 100, false, 100, {}},
        {"behind the start", {0.8f, 0.2f, 3}, {0, 0, 1}, 100, false, 100, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float nearest = c.nearest;
        Nyx::FaceReference face;
        EXPECT_EQ(instance->TestCollisionGeometry(Nyx::Ray(c.start, c.direction), nearest, face), c.hit);
        EXPECT_FLOAT_EQ(nearest, c.distance);
        EXPECT_EQ(face, c.face);
    }
}

TEST(InstanceCollisionTest, FaceByFaceStripsAndFansAreReadByTheirRule)
{
    for (uint32_t kind : {8u, 16u}) {
        SCOPED_TRACE(kind);
        InstanceHarness h;
        TestMesh mesh;
        mesh.chunks.push_back(QuadStripChunk(1));
        TestGeometry& g = mesh.chunks[0].geometry;
        g.primitive = kind;
        g.faceNormals.clear();
        g.indices = kind == 8 ? std::vector<uint16_t>{0, 1, 3, 2} : std::vector<uint16_t>{0, 1, 2, 3};
        g.primitiveCount = 2;
        ASSERT_TRUE(h.Load(mesh));
        auto instance = h.Bind(false);
        h.load.definition->GetMaterial(0)->SetFlags(KestroIndexedMeshInstance::kMaterialFlagTwoSided);
        // The second face: the upper right half of a strip, the upper left
        // of a fan.
        const V at = kind == 8 ? V{0.9f, 0.9f, 2} : V{0.1f, 0.8f, 2};
        float nearest = 100;
        Nyx::FaceReference face;
        ASSERT_TRUE(instance->TestCollisionGeometry(Nyx::Ray(at, {0, 0, -1}), nearest, face));
        EXPECT_EQ(face, (Nyx::FaceReference{instance.get(), 1, 0}));
        EXPECT_FLOAT_EQ(nearest, 2.0f);
    }
}

TEST(InstanceCollisionTest, ThroughTheTreeTheSameFaceAndDistance)
{
    OverlappedResourceSystem system;
    InstanceHarness h;
    ASSERT_TRUE(h.Load(FaceMesh()));
    auto instance = h.Bind();
    float nearest = 100;
    Nyx::FaceReference face;
    const Nyx::Ray ray({1.8f, 0.2f, 3}, {0, 0, -1});
    ASSERT_TRUE(instance->TestCollisionGeometry(ray, nearest, face));  // face by face; the build is queued
    EXPECT_EQ(system.RunQueued(), 1u);
    ASSERT_NE(h.load.definition->EnsureCollisionTree(), nullptr);
    float treeNearest = 100;
    Nyx::FaceReference treeFace;
    ASSERT_TRUE(instance->TestCollisionGeometry(ray, treeNearest, treeFace));
    EXPECT_FLOAT_EQ(treeNearest, nearest);
    EXPECT_EQ(treeFace, face);
    float tooNear = 1.0f;
    EXPECT_FALSE(instance->TestCollisionGeometry(ray, tooNear, treeFace));
    EXPECT_EQ(tooNear, 1.0f);
}

TEST(InstanceCollisionTest, AScaledInstanceTestsInObjectSpaceAndAnswersInWorldUnits)
{
    for (bool withTree : {false, true}) {
        SCOPED_TRACE(withTree);
        std::unique_ptr<OverlappedResourceSystem> system;
        if (withTree)
            system = std::make_unique<OverlappedResourceSystem>();
        InstanceHarness h;
        ASSERT_TRUE(h.Load(FaceMesh()));
        auto instance = h.Bind();
        h.load.definition->GetMaterial(0)->SetFlags(KestroIndexedMeshInstance::kMaterialFlagTwoSided);
        h.load.definition->GetMaterial(1)->SetFlags(KestroIndexedMeshInstance::kMaterialFlagTwoSided);
        if (system) {
            h.load.definition->RequestCollisionTree();
            system->RunQueued();
            ASSERT_NE(h.load.definition->EnsureCollisionTree(), nullptr);
        }
        instance->SetScale(2, 2, 4);
        // The lower chunk's second square lies at x 2..4 in the world, z 0.
        float nearest = 100;
        Nyx::FaceReference face;
        ASSERT_TRUE(instance->TestCollisionGeometry(Nyx::Ray({3.6f, 0.4f, 10}, {0, 0, -1}), nearest, face));
        EXPECT_NEAR(nearest, 10.0f, 1e-4f);
        EXPECT_EQ(face, (Nyx::FaceReference{instance.get(), 2, 0}));

        instance->SetScale(1, 0, 1);
        nearest = 100;
        EXPECT_FALSE(instance->TestCollisionGeometry(Nyx::Ray({0.5f, 0.5f, 3}, {0, 0, -1}), nearest, face));
        EXPECT_EQ(nearest, 100.0f);
    }
}

}  // namespace
