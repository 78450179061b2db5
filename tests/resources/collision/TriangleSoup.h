// Triangles held as plain corners for the collision tree tests: triangle i
// is face i % kFacesPerChunk of chunk i / kFacesPerChunk, so references stay
// within 16 bits however many triangles there are.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "resources/collision/KSAxisBoxTree.h"
#include "resources/collision/TriangleTests.h"

class TriangleSoup : public KSAxisBoxTreeExternalGeometry {
public:
    static constexpr uint32_t kFacesPerChunk = 21845;
    using Triangle = std::array<Nyx::Vector3f, 3>;

    std::vector<Triangle> triangles;

    static uint32_t ReferenceOf(uint32_t i) noexcept
    {
        return ((i / kFacesPerChunk) << 16) | ((i % kFacesPerChunk) * 3);
    }
    static uint32_t IndexOf(uint32_t reference) noexcept
    {
        return (reference >> 16) * kFacesPerChunk + (reference & 0xFFFF) / 3;
    }

    bool GetTriangleCorners(uint32_t reference, Nyx::Vector3f corners[3]) const override
    {
        const uint32_t i = IndexOf(reference);
        if (i >= triangles.size())
            return false;
        for (int c = 0; c < 3; ++c)
            corners[c] = triangles[i][c];
        return true;
    }

    void AddAllTo(KSAxisBoxTree& tree) const
    {
        tree.BeginBuild(this);
        for (uint32_t i = 0; i < triangles.size(); ++i)
            tree.AddFace(triangles[i][0], triangles[i][1], triangles[i][2], i / kFacesPerChunk, i % kFacesPerChunk);
    }

    // Random small triangles in a cube of the given size placed at `base`.
    static TriangleSoup Random(uint32_t count, uint32_t seed, float size, float triangleSize, Nyx::Vector3f base = {})
    {
        TriangleSoup soup;
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> where(0.0f, size);
        std::uniform_real_distribution<float> offset(-triangleSize, triangleSize);
        for (uint32_t i = 0; i < count; ++i) {
            const Nyx::Vector3f c{base.x + where(rng), base.y + where(rng), base.z + where(rng)};
            Triangle t;
            for (auto& corner : t)
                corner = {c.x + offset(rng), c.y + offset(rng), c.z + offset(rng)};
            soup.triangles.push_back(t);
        }
        return soup;
    }
};

// The nearest triangle along a ray of unit direction within a distance, by
// testing every triangle; -1 when none is hit.
struct BruteForceHit {
    int64_t triangle = -1;
    float distance = 0.0f;
};

inline BruteForceHit BruteForce(const TriangleSoup& soup, const Nyx::Vector3f& origin,
                                const Nyx::Vector3f& direction, float within)
{
    BruteForceHit hit;
    float nearest = within;
    for (size_t i = 0; i < soup.triangles.size(); ++i) {
        const float before = nearest;
        const auto& t = soup.triangles[i];
        if (RayTriangleIntersect(t[0], t[1], t[2], origin, direction, true, nearest) && nearest < before)
            hit.triangle = static_cast<int64_t>(i);
    }
    hit.distance = nearest;
    return hit;
}
