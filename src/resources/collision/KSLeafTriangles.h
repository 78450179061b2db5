// The triangles of a collision tree's leaves, copied out of the mesh when the
// tree is built and laid out eight to a block (each corner coordinate of the
// eight side by side), so that a ray meets a whole block at once in SIMD
// registers instead of one triangle at a time through the external geometry.
//
// Every kernel gives the answer of the plain one-by-one test bit for bit:
// the same float operations in the same order per triangle, and of several
// hits the one a sequential walk over the leaf would keep (the smallest
// distance, the last triangle on a tie).
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/scene/math/VectorOps.h"

class KSLeafTriangles {
public:
    static constexpr uint32_t kLanes = 8;
    // The reference of a lane that holds no triangle: padding at a leaf's
    // end, or a triangle the geometry could not give corners for.
    static constexpr uint32_t kNoTriangle = 0xFFFFFFFFu;
    // What Test returns when no triangle of the leaf was taken.
    static constexpr uint32_t kNoHit = 0xFFFFFFFFu;

    struct alignas(32) Block {
        float corner[3][3][kLanes];  // [corner][axis][lane]
        uint32_t reference[kLanes];
    };
    static_assert(sizeof(Block) == 320);

    // The segment as the tree's triangle test sees it: vector = end - start.
    struct Segment {
        Nyx::Vector3f start;
        Nyx::Vector3f end;
        Nyx::Vector3f vector;
    };

    enum class Kernel { Scalar, Sse2, Avx2 };

    // The fastest kernel this processor runs; chosen once.
    static Kernel Best() noexcept;
    static bool IsSupported(Kernel kernel) noexcept;
    static const char* NameOf(Kernel kernel) noexcept;

    void Clear() noexcept;
    // Starts a new leaf at a block boundary; returns its first block.
    uint32_t BeginLeaf();
    // Appends a triangle to the current leaf; corners null gives a lane
    // that never hits.
    void Add(uint32_t reference, const Nyx::Vector3f* corners);
    // Returns unused room after the last leaf.
    void Trim() { blocks_.shrink_to_fit(); }

    // Tests `count` triangles from `firstBlock` on. A triangle whose hit is
    // not farther than `nearest` is taken: `nearest` becomes its distance
    // (a fraction of the segment) and its position (block × 8 + lane) is
    // returned; kNoHit when none was taken. The range is one that BeginLeaf
    // and Add laid out. TestWith runs a given kernel (the plain one when the
    // processor lacks it).
    uint32_t Test(uint32_t firstBlock, uint32_t count, const Segment& segment, float& nearest) const noexcept;
    uint32_t TestWith(Kernel kernel, uint32_t firstBlock, uint32_t count, const Segment& segment,
                      float& nearest) const noexcept;

    uint32_t GetReference(uint32_t position) const noexcept
    {
        return blocks_[position / kLanes].reference[position % kLanes];
    }
    void GetCorners(uint32_t position, Nyx::Vector3f corners[3]) const noexcept;
    // The triangle's plane normal as the test takes it (not unit length).
    Nyx::Vector3f GetNormal(uint32_t position) const noexcept;
    size_t GetBlockCount() const noexcept { return blocks_.size(); }

private:
    std::vector<Block> blocks_;
    uint32_t used_ = 0;  // lanes used in the last block
};
