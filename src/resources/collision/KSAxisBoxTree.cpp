#include "resources/collision/KSAxisBoxTree.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "resources/collision/KSMapKDTree.h"
#include "resources/collision/TriangleTests.h"

using Nyx::Cross;
using Nyx::Dot;
using Nyx::Vector3f;

struct KSAxisBoxTree::BuildData {
    struct Node {
        int32_t word0;
        int32_t word1;
        float min[3];
        float max[3];
    };

    BuildData()
    {
        vertices.reserve(kInitialRoom);
        triangles.reserve(3 * kInitialRoom);
        references.reserve(kInitialRoom);
        boxes.reserve(6 * kInitialRoom);
        nodes.reserve(kInitialRoom);
        leafTriangles.reserve(kInitialRoom);
    }

    std::vector<Vector3f> vertices;
    KSMapKDTree vertexMap;
    std::vector<uint32_t> triangles;  // three vertex indices each
    std::vector<uint32_t> references;
    std::vector<float> boxes;  // min x, y, z, max x, y, z each
    std::vector<Node> nodes;
    std::vector<uint32_t> leafTriangles;
    uint32_t leafLimit = std::max<uint32_t>(4, kLeafSizeLimit & ~1u);

    // Working space of the split.
    std::vector<uint32_t> order;
    std::vector<uint32_t> scratch;
    std::vector<uint32_t> best;
    std::vector<float> centres[3];
};

struct KSAxisBoxTree::Segment {
    KSLeafTriangles::Segment leaf;  // start, end and end - start
    Vector3f unit;
    float inverseLength;
    Vector3f midpoint;
    Vector3f half;
    Vector3f halfAbs;
    float unitDotStart;
};

KSAxisBoxTree::KSAxisBoxTree(int32_t setting) : setting_(setting) {}

KSAxisBoxTree::~KSAxisBoxTree() = default;

void KSAxisBoxTree::BeginBuild(const KSAxisBoxTreeExternalGeometry* geometry)
{
    geometry_ = geometry;
    build_ = std::make_unique<BuildData>();
    skipped_ = 0;
}

void KSAxisBoxTree::AddFace(const Vector3f& a, const Vector3f& b, const Vector3f& c, uint32_t chunk, uint32_t face)
{
    // Both the chunk and the face must survive the round trip through the
    // reference and the stored entry; otherwise a query would test another
    // triangle than the one that was added.
    if (chunk >= kMaxChunks || face > kMaxFirstIndex / 3) {
        ++skipped_;
        return;
    }
    AddTriangle(a, b, c, (chunk << 16) | (face * 3));
}

void KSAxisBoxTree::AddTriangle(const Vector3f& a, const Vector3f& b, const Vector3f& c, uint32_t reference)
{
    if (!build_)
        BeginBuild(geometry_);
    BuildData& data = *build_;
    if ((reference >> 16) >= kMaxChunks) {
        ++skipped_;
        return;
    }
    if (data.references.size() >= kMaxTriangles || data.vertices.size() >= kMaxVertices)
        return;
    if (!IsTriangleUsable(a, b, c)) {
        ++skipped_;
        return;
    }
    const Vector3f* corners[3] = {&a, &b, &c};
    uint32_t indices[3];
    const size_t verticesBefore = data.vertices.size();
    for (int i = 0; i < 3; ++i) {
        const float position[3] = {corners[i]->x, corners[i]->y, corners[i]->z};
        if (data.vertexMap.Find(position) > 0) {
            indices[i] = static_cast<uint32_t>(data.vertexMap.GetResults().front());
            continue;
        }
        if (data.vertices.size() + 1 >= kMaxVertices) {
            // Undo the corners this triangle added.
            for (size_t v = verticesBefore; v < data.vertices.size(); ++v) {
                const float undo[3] = {data.vertices[v].x, data.vertices[v].y, data.vertices[v].z};
                data.vertexMap.Delete(undo);
            }
            data.vertices.resize(verticesBefore);
            return;
        }
        indices[i] = static_cast<uint32_t>(data.vertices.size());
        data.vertices.push_back(*corners[i]);
        data.vertexMap.Insert(position, static_cast<int32_t>(indices[i]));
    }
    data.triangles.insert(data.triangles.end(), indices, indices + 3);
    data.references.push_back(reference);
    data.boxes.push_back(std::min({a.x, b.x, c.x}));
    data.boxes.push_back(std::min({a.y, b.y, c.y}));
    data.boxes.push_back(std::min({a.z, b.z, c.z}));
    data.boxes.push_back(std::max({a.x, b.x, c.x}));
    data.boxes.push_back(std::max({a.y, b.y, c.y}));
    data.boxes.push_back(std::max({a.z, b.z, c.z}));
}

bool KSAxisBoxTree::Build()
{
    nodes_.clear();
    leafEntries_.clear();
    queryNodes_.clear();
    leafTriangles_.Clear();
    if (!build_)
        return false;
    std::unique_ptr<BuildData> hold = std::move(build_);
    BuildData& data = *hold;
    const auto count = static_cast<uint32_t>(data.references.size());
    if (count >= kMaxTriangles || data.vertices.size() >= kMaxVertices || count < 1 || data.vertices.empty())
        return false;
    build_ = std::move(hold);

    data.order.resize(count);
    for (uint32_t t = 0; t < count; ++t)
        data.order[t] = t;
    for (int axis = 0; axis < 3; ++axis) {
        data.centres[axis].resize(count);
        for (uint32_t t = 0; t < count; ++t)
            data.centres[axis][t] = (data.boxes[6 * t + axis] + data.boxes[6 * t + 3 + axis]) * 0.5f;
    }
    BuildData::Node root{0, 0, {FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}};
    for (const Vector3f& v : data.vertices) {
        const float p[3] = {v.x, v.y, v.z};
        for (int axis = 0; axis < 3; ++axis) {
            root.min[axis] = std::min(root.min[axis], p[axis]);
            root.max[axis] = std::max(root.max[axis], p[axis]);
        }
    }
    data.nodes.push_back(root);
    depth_ = 0;
    SplitNode(0, 0, count, 0);
    ConvertToStored();
    build_.reset();
    LayOutForQueries();
    return true;
}

void KSAxisBoxTree::SplitNode(uint32_t node, uint32_t lo, uint32_t hi, uint32_t depth)
{
    BuildData& data = *build_;
    depth_ = std::max(depth_, depth);
    const uint32_t count = hi - lo;
    if (count <= data.leafLimit) {
        data.nodes[node].word0 = ~static_cast<int32_t>(data.leafTriangles.size());
        data.nodes[node].word1 = static_cast<int32_t>(count);
        data.leafTriangles.insert(data.leafTriangles.end(), data.order.begin() + lo, data.order.begin() + hi);
        return;
    }

    const BuildData::Node box = data.nodes[node];
    const float x = std::fabs(box.max[0] - box.min[0]);
    const float y = std::fabs(box.max[1] - box.min[1]);
    const float z = std::fabs(box.max[2] - box.min[2]);
    int axes[3];
    if (x >= y) {
        if (z > x)
            axes[0] = 2, axes[1] = 0, axes[2] = 1;
        else if (z >= y)
            axes[0] = 0, axes[1] = 2, axes[2] = 1;
        else
            axes[0] = 0, axes[1] = 1, axes[2] = 2;
    } else {
        if (z > y)
            axes[0] = 2, axes[1] = 1, axes[2] = 0;
        else if (x >= z)
            axes[0] = 1, axes[1] = 0, axes[2] = 2;
        else
            axes[0] = 1, axes[1] = 2, axes[2] = 0;
    }

    uint32_t leftCount = count / 2;
    if (leftCount % 2 == 1 && (count - leftCount) % 2 == 1)
        --leftCount;
    const bool moved = leftCount != count / 2;

    float bestRatio = 0.0f;
    bool haveBest = false;
    BuildData::Node bestLeft{};
    BuildData::Node bestRight{};
    for (int axis : axes) {
        const std::vector<float>& centre = data.centres[axis];
        data.scratch.assign(data.order.begin() + lo, data.order.begin() + hi);
        // The triangle number breaks ties, so that every run and platform
        // builds the same tree.
        std::sort(data.scratch.begin(), data.scratch.end(), [&centre](uint32_t a, uint32_t b) {
            return centre[a] < centre[b] || (centre[a] == centre[b] && a < b);
        });
        if (moved) {
            const uint32_t last = data.scratch[leftCount];
            data.scratch.erase(data.scratch.begin() + leftCount);
            data.scratch.push_back(last);
        }
        BuildData::Node halves[2];
        for (int h = 0; h < 2; ++h) {
            const uint32_t from = h == 0 ? 0 : leftCount;
            const uint32_t to = h == 0 ? leftCount : count;
            BuildData::Node& out = halves[h];
            out = BuildData::Node{0, 0, {FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}};
            for (uint32_t i = from; i < to; ++i) {
                const float* b = &data.boxes[6 * size_t{data.scratch[i]}];
                for (int a = 0; a < 3; ++a) {
                    out.min[a] = std::min(out.min[a], b[a]);
                    out.max[a] = std::max(out.max[a], b[3 + a]);
                }
            }
        }
        const float extent = box.max[axis] - box.min[axis];
        const float ratio = extent > 0.0f ? (halves[0].max[axis] - halves[1].min[axis]) / extent : 0.0f;
        if (!haveBest || ratio < bestRatio) {
            haveBest = true;
            bestRatio = ratio;
            bestLeft = halves[0];
            bestRight = halves[1];
            data.best.swap(data.scratch);
        }
    }
    std::copy(data.best.begin(), data.best.end(), data.order.begin() + lo);

    const auto left = static_cast<uint32_t>(data.nodes.size());
    data.nodes.push_back(bestLeft);
    data.nodes.push_back(bestRight);
    data.nodes[node].word0 = static_cast<int32_t>(left);
    data.nodes[node].word1 = static_cast<int32_t>(left + 1);
    SplitNode(left, lo, lo + leftCount, depth + 1);
    SplitNode(left + 1, lo + leftCount, hi, depth + 1);
}

namespace {

// Stored values are turned back into floats by the reciprocal of their scale
// (0 for a scale of 0, whose largest value, and so every value, is 0). The
// build checks its boxes with this very function, so what it proves is what
// the queries see.
inline float Dequantise(int32_t stored, float reciprocal) noexcept
{
    return static_cast<float>(stored) * reciprocal;
}

inline float Reciprocal(float scale) noexcept { return scale != 0.0f ? 1.0f / scale : 0.0f; }

}  // namespace

void KSAxisBoxTree::GetNodeBox(const StoredNode& node, Vector3f& centre, Vector3f& extents) const noexcept
{
    centre = {Dequantise(node.centre[0], centreStep_), Dequantise(node.centre[1], centreStep_),
              Dequantise(node.centre[2], centreStep_)};
    extents = {Dequantise(node.halfExtent[0], extentStep_), Dequantise(node.halfExtent[1], extentStep_),
               Dequantise(node.halfExtent[2], extentStep_)};
}

bool KSAxisBoxTree::QuantiseAll(float extentScale, std::vector<StoredNode>& out) const
{
    const BuildData& data = *build_;
    const float centreStep = Reciprocal(centreScale_);
    const float extentStep = Reciprocal(extentScale);
    out.resize(data.nodes.size());
    for (size_t n = 0; n < data.nodes.size(); ++n) {
        const BuildData::Node& exact = data.nodes[n];
        StoredNode& stored = out[n];
        stored.word0 = exact.word0;
        stored.word1 = exact.word1;
        for (int a = 0; a < 3; ++a) {
            const float centre = (exact.min[a] + exact.max[a]) * 0.5f;
            const float half = (exact.max[a] - exact.min[a]) * 0.5f;
            stored.centre[a] = static_cast<int16_t>(std::trunc(centre * centreScale_));
            const float storedCentre = Dequantise(stored.centre[a], centreStep);
            // Start near the half-extent that covers the truncated centre's
            // error too, then grow one step at a time until it contains the
            // exact box as the queries will compute it.
            const float needed = std::max(storedCentre - exact.min[a], exact.max[a] - storedCentre);
            const float start = std::trunc(std::max(half, needed) * extentScale) - 1.0f;
            if (!(start < 65535.0f))
                return false;
            uint32_t h = start > 0.0f ? static_cast<uint32_t>(start) : 0u;
            for (;;) {
                const float e = Dequantise(static_cast<int32_t>(h), extentStep);
                if (storedCentre - e <= exact.min[a] && storedCentre + e >= exact.max[a])
                    break;
                if (h >= 65535)
                    return false;
                ++h;
            }
            stored.halfExtent[a] = static_cast<uint16_t>(h);
        }
    }
    return true;
}

void KSAxisBoxTree::ConvertToStored()
{
    BuildData& data = *build_;
    float largestCentre = 0.0f;
    float largestHalf = 0.0f;
    for (const BuildData::Node& node : data.nodes) {
        for (int a = 0; a < 3; ++a) {
            largestCentre = std::max(largestCentre, std::fabs((node.min[a] + node.max[a]) * 0.5f));
            largestHalf = std::max(largestHalf, (node.max[a] - node.min[a]) * 0.5f);
        }
    }
    centreScale_ = largestCentre > 0.0f ? 32767.0f / largestCentre : 0.0f;
    extentScale_ = largestHalf > 0.0f ? 32767.0f / largestHalf : 0.0f;
    // A mesh far from the origin has a coarse centre step and small boxes:
    // the half-extents that cover the step may not fit 16 bits at the first
    // scale. A coarser extent scale for the whole tree always fits in the
    // end, and boxes only grow with it.
    for (int attempt = 0; attempt < 256; ++attempt) {
        if (QuantiseAll(extentScale_, nodes_))
            break;
        extentScale_ *= 0.5f;
    }
    centreStep_ = Reciprocal(centreScale_);
    extentStep_ = Reciprocal(extentScale_);

    leafEntries_.resize(3 * data.leafTriangles.size());
    for (size_t i = 0; i < data.leafTriangles.size(); ++i) {
        const uint32_t reference = data.references[data.leafTriangles[i]];
        const uint32_t entry = (((reference >> 16) & 0x1FF) << 15) | ((reference & 0xFFFF) / 3);
        leafEntries_[3 * i] = static_cast<uint8_t>(entry);
        leafEntries_[3 * i + 1] = static_cast<uint8_t>(entry >> 8);
        leafEntries_[3 * i + 2] = static_cast<uint8_t>(entry >> 16);
    }
}

void KSAxisBoxTree::LayOutForQueries()
{
    if (!geometry_)
        return;
    queryNodes_.resize(nodes_.size());
    for (size_t n = 0; n < nodes_.size(); ++n) {
        const StoredNode& node = nodes_[n];
        QueryNode& out = queryNodes_[n];
        GetNodeBox(node, out.centre, out.extents);
        out.word0 = node.word0;
        out.word1 = node.word1;
        if (!IsLeaf(node))
            continue;
        // Each triangle as the stored entry names it, so that a query tests
        // what the stored form holds.
        out.word0 = ~static_cast<int32_t>(leafTriangles_.BeginLeaf());
        const auto first = static_cast<uint32_t>(~node.word0);
        for (uint32_t i = 0; i < static_cast<uint32_t>(node.word1); ++i) {
            const uint32_t reference = GetLeafReference(first + i);
            Vector3f corners[3];
            const bool known = geometry_->GetTriangleCorners(reference, corners);
            leafTriangles_.Add(reference, known ? corners : nullptr);
        }
    }
    leafTriangles_.Trim();
}

uint32_t KSAxisBoxTree::GetLeafReference(uint32_t entry) const noexcept
{
    const uint8_t* p = &leafEntries_[3 * size_t{entry}];
    const uint32_t packed = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
    return ((packed >> 15) << 16) | ((packed & 0x7FFF) * 3);
}

bool KSAxisBoxTree::Query(const Vector3f& start, const Vector3f& end, KSAxisBoxTreeResult& result) const
{
    if (queryNodes_.empty() || !geometry_)
        return false;
    Segment s;
    s.leaf.start = start;
    s.leaf.end = end;
    s.leaf.vector = end - start;
    const float length = s.leaf.vector.Length();
    s.inverseLength = length != 0.0f ? 1.0f / length : 0.0f;
    s.unit = s.leaf.vector * s.inverseLength;
    s.midpoint = (start + end) * 0.5f;
    s.half = s.leaf.vector * 0.5f;
    s.halfAbs = {std::fabs(s.half.x), std::fabs(s.half.y), std::fabs(s.half.z)};
    s.unitDotStart = Dot(s.unit, start);
    Walk(s, result);
    if (result.distance == 3.4028235e38f)
        return false;
    result.normal = Nyx::Normalised(result.normal);
    return true;
}

void KSAxisBoxTree::Walk(const Segment& s, KSAxisBoxTreeResult& result) const
{
    // Every split halves a node's triangles, so a path from the root is at
    // most log2 of the triangle limit long, and each node on it leaves at
    // most one child waiting.
    struct Waiting {
        uint32_t node;
        float near;
    };
    Waiting waiting[64];
    uint32_t waitingCount = 0;
    uint32_t index = 0;
    for (;;) {
        const QueryNode& node = queryNodes_[index];
        if (SegmentOverlapsBox(s.midpoint, s.half, s.halfAbs, node.centre, node.extents)) {
            if (node.word0 < 0) {
                const uint32_t hit = leafTriangles_.Test(static_cast<uint32_t>(~node.word0),
                                                         static_cast<uint32_t>(node.word1), s.leaf, result.distance);
                if (hit != KSLeafTriangles::kNoHit) {
                    result.point = s.leaf.start + s.leaf.vector * result.distance;
                    result.normal = leafTriangles_.GetNormal(hit);
                    result.reference = static_cast<int32_t>(leafTriangles_.GetReference(hit));
                }
            } else {
                // The child nearer along the segment first; the other waits
                // until the first one's subtree is done and is then walked
                // unless a hit nearer than its box was found meanwhile.
                const uint32_t children[2] = {static_cast<uint32_t>(node.word0), static_cast<uint32_t>(node.word1)};
                float nears[2];
                for (int child = 0; child < 2; ++child) {
                    const QueryNode& box = queryNodes_[children[child]];
                    const Vector3f& h = box.extents;
                    nears[child] = (Dot(s.unit, box.centre) - s.unitDotStart) -
                                   (std::fabs(s.unit.x) * h.x + std::fabs(s.unit.y) * h.y + std::fabs(s.unit.z) * h.z);
                }
                const int first = nears[0] < nears[1] ? 0 : 1;
                const int other = 1 - first;
                waiting[waitingCount++] = {children[other], nears[other]};
                if (!(nears[first] * s.inverseLength > result.distance)) {
                    index = children[first];
                    continue;
                }
            }
        }
        for (;;) {
            if (waitingCount == 0)
                return;
            const Waiting next = waiting[--waitingCount];
            if (!(next.near * s.inverseLength > result.distance)) {
                index = next.node;
                break;
            }
        }
    }
}
