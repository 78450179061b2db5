// A tree of axis-aligned boxes over a mesh's triangles, for ray queries.
// Triangles are gathered (AddTriangle), the tree is built once (Build) into
// a compact stored form (20-byte nodes with 16-bit boxes, 3-byte triangle
// entries). For queries the build also keeps the nodes' boxes as floats (32
// bytes a node) and reads the leaves' triangles once through the external
// geometry given to BeginBuild, keeping their corners laid out for testing
// eight at a time (40 bytes a triangle).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/scene/math/VectorOps.h"
#include "resources/collision/KSAxisBoxTreeExternalGeometry.h"
#include "resources/collision/KSLeafTriangles.h"

struct KSAxisBoxTreeResult {
    Nyx::Vector3f point;
    Nyx::Vector3f normal;
    // A fraction of the query's segment.
    float distance = 3.4028235e38f;
    int32_t reference = -1;
    int32_t unused = -1;
};

class KSAxisBoxTree {
public:
    static constexpr uint32_t kMaxChunks = 512;
    static constexpr uint32_t kMaxFirstIndex = 0xFFFF;
    static constexpr uint32_t kMaxTriangles = 8300000;
    static constexpr uint32_t kMaxVertices = 16700000;
    static constexpr uint32_t kLeafSizeLimit = 64;
    static constexpr uint32_t kInitialRoom = 1000;

    // 20 bytes: an inner node's children, or a leaf's complemented first
    // position in the leaf-triangle list and its count; then the box.
    struct StoredNode {
        int32_t word0;
        int32_t word1;
        int16_t centre[3];
        uint16_t halfExtent[3];
    };
    static_assert(sizeof(StoredNode) == 20);

    // The setting is kept and has no use.
    explicit KSAxisBoxTree(int32_t setting = 8);
    KSAxisBoxTree(const KSAxisBoxTree&) = delete;
    KSAxisBoxTree& operator=(const KSAxisBoxTree&) = delete;
    ~KSAxisBoxTree();

    // Starts gathering with the geometry that the build reads the leaves'
    // triangles from (not owned; it must outlive the build). Without one the
    // tree answers no query.
    void BeginBuild(const KSAxisBoxTreeExternalGeometry* geometry);
    // Offers one triangle with its reference (chunk << 16 | face × 3).
    // Chunks from 512 up and triangles without area are skipped and counted;
    // past the triangle or vertex limits the triangle is dropped uncounted.
    void AddTriangle(const Nyx::Vector3f& a, const Nyx::Vector3f& b, const Nyx::Vector3f& c, uint32_t reference);
    // The same for a mesh face: the reference is made from the chunk and
    // face; a face whose reference would not fit 16 bits is skipped and
    // counted instead of being aliased to another face.
    void AddFace(const Nyx::Vector3f& a, const Nyx::Vector3f& b, const Nyx::Vector3f& c, uint32_t chunk,
                 uint32_t face);
    // Builds the stored form and drops the gathered data. False, with no
    // tree, when nothing was gathered or past the limits.
    bool Build();

    // The nearest triangle that the segment from start to end meets.
    bool Query(const Nyx::Vector3f& start, const Nyx::Vector3f& end, KSAxisBoxTreeResult& result) const;

    bool IsBuilt() const noexcept { return !nodes_.empty(); }
    int32_t GetSetting() const noexcept { return setting_; }
    uint32_t GetSkippedCount() const noexcept { return skipped_; }
    uint32_t GetDepth() const noexcept { return depth_; }
    const std::vector<StoredNode>& GetNodes() const noexcept { return nodes_; }
    uint32_t GetLeafEntryCount() const noexcept { return static_cast<uint32_t>(leafEntries_.size() / 3); }
    // The reference of a leaf-triangle entry (< GetLeafEntryCount()).
    uint32_t GetLeafReference(uint32_t entry) const noexcept;
    float GetCentreScale() const noexcept { return centreScale_; }
    float GetExtentScale() const noexcept { return extentScale_; }
    // A stored node's box as the queries see it.
    void GetNodeBox(const StoredNode& node, Nyx::Vector3f& centre, Nyx::Vector3f& extents) const noexcept;
    static bool IsLeaf(const StoredNode& node) noexcept { return node.word0 < 0; }

private:
    struct BuildData;
    struct Segment;

    void SplitNode(uint32_t node, uint32_t lo, uint32_t hi, uint32_t depth);
    void ConvertToStored();
    bool QuantiseAll(float extentScale, std::vector<StoredNode>& out) const;
    void Walk(const Segment& s, KSAxisBoxTreeResult& result) const;
    void LayOutForQueries();

    // What queries walk: a stored node with its box turned back into floats,
    // and a leaf's first block of laid-out triangles (complemented) in word0.
    struct QueryNode {
        Nyx::Vector3f centre;
        Nyx::Vector3f extents;
        int32_t word0;
        int32_t word1;
    };
    static_assert(sizeof(QueryNode) == 32);

    int32_t setting_;
    const KSAxisBoxTreeExternalGeometry* geometry_ = nullptr;
    std::unique_ptr<BuildData> build_;
    uint32_t skipped_ = 0;
    uint32_t depth_ = 0;
    std::vector<StoredNode> nodes_;
    std::vector<uint8_t> leafEntries_;
    std::vector<QueryNode> queryNodes_;
    KSLeafTriangles leafTriangles_;
    float centreScale_ = 0.0f;
    float extentScale_ = 0.0f;
    float centreStep_ = 0.0f;  // 1 / scale, or 0
    float extentStep_ = 0.0f;
};
