// Skinned meshes for the skinning tests: two quads in a row, the first
// moved by "root" at the origin and the second by "arm" one unit along x,
// with a reference weighted sum to check deformed positions against.
#pragma once

#include <cmath>
#include <vector>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/display/Matrix4.h"
#include "resources/mesh/MeshTestSupport.h"

inline Nyx::Vector3f QuadVertex(uint32_t v)
{
    const float x = static_cast<float>(v / 4);
    const float corners[4][2] = {{x, 0}, {x + 1, 0}, {x + 1, 1}, {x, 1}};
    return {corners[v % 4][0], corners[v % 4][1], 0.0f};
}

// `chunks` chunks of two quads each; vertex 4 of every chunk also hangs a
// quarter on root (and three quarters on arm).
inline TestMesh SkinnedQuads(uint32_t chunks = 1)
{
    TestMesh mesh;
    mesh.maxInfluences = 2;
    mesh.maxChunkBones = 2;
    TestInfluence root{"root", "", {0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {}};
    TestInfluence arm{"arm", "root", {1, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {}};
    for (uint32_t c = 0; c < chunks; ++c) {
        mesh.chunks.push_back(QuadStripChunk(2));
        mesh.chunks.back().geometry.influences = 2;
        TestInfluenceGroup rootGroup{c, {}};
        TestInfluenceGroup armGroup{c, {}};
        for (uint32_t v = 0; v < 8; ++v) {
            const Nyx::Vector3f p = QuadVertex(v);
            const float weight = v == 4 ? 0.75f : 1.0f;
            if (v < 4 || v == 4)
                rootGroup.entries.push_back({v, {v == 4 ? 0.25f : 1.0f, p.x, p.y, p.z}});
            if (v >= 4)
                armGroup.entries.push_back({v, {weight, p.x - 1.0f, p.y, p.z}});
        }
        root.groups.push_back(rootGroup);
        arm.groups.push_back(armGroup);
    }
    mesh.influences = TestInfluences{100, {root, arm}, {}, {}};
    return mesh;
}

// Where vertex v of a SkinnedQuads chunk goes when arm stands at `armAt`
// turned by `armTurn` (root left at rest).
inline Nyx::Vector3f ExpectedQuadVertex(uint32_t v, const Nyx::Vector3f& armAt, const Nyx::Quaternion& armTurn)
{
    const Nyx::Vector3f p = QuadVertex(v);
    if (v < 4)
        return p;
    const Nyx::Vector3f onArm = armAt + armTurn.Rotate(p - Nyx::Vector3f{1, 0, 0});
    if (v > 4)
        return onArm;
    return p * 0.25f + onArm * 0.75f;
}

inline Nyx::Quaternion QuarterTurnZ()
{
    const float h = std::sqrt(0.5f);
    return {0.0f, 0.0f, h, h};
}

inline void ExpectNear(const Nyx::Vector3f& a, const Nyx::Vector3f& b)
{
    EXPECT_NEAR(a.x, b.x, 1e-4f);
    EXPECT_NEAR(a.y, b.y, 1e-4f);
    EXPECT_NEAR(a.z, b.z, 1e-4f);
}

inline Nyx::Vector3f PositionOf(Nyx::GeometryChunk& chunk, uint32_t v)
{
    const Nyx::Vector3Item& p = chunk.GetVector3Array(Nyx::kItemPosition)[v];
    return {p.x, p.y, p.z};
}
