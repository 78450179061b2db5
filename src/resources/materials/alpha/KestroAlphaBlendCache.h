// The product's cache for alpha-blended chunks drawn back to front: each
// chunk goes by its distance from the viewer into one of 200 buckets, kept
// in a red-black tree per bucket ordered by distance; chunks near the
// viewer also have their primitives sorted, farthest first, into an index
// list of their own. A scene drawn inside another (nested) gets a window of
// 200 buckets of its own, drawn when it is left.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/gfx/display/DisplayLight.h"
#include "nyx/gfx/materials/MaterialCaches.h"
#include "nyx/gfx/display/Matrix4.h"

namespace Nyx {

class KestroAlphaBlendCache : public AlphaBlendCache {
public:
    static constexpr uint32_t kId = AlphaBlendCacheID;
    static constexpr uint32_t kBucketsPerWindow = 200;
    static constexpr uint32_t kPoolEntries = 10000;
    // The blend factors of the engine's enumeration each chunk is drawn
    // with, and those the pass ends with.
    static constexpr int32_t kSourceBlend = 4;
    static constexpr int32_t kDestinationBlend = 5;

    // What the primitive sort orders: a primitive and its squared distance.
    struct PrimitiveRecord {
        int32_t index;
        float distance2;
    };
    using CompareFunction = int (*)(const void*, const void*);

    KestroAlphaBlendCache();
    ~KestroAlphaBlendCache() override;

    void Clear() override;
    void ClearUnlessHeld() override {}
    void RenderChunks(Display& display, ViewPoint* viewport) override;
    void Enter(Display& display, ViewPoint* viewport, bool nested) override;
    void Leave(Display& display, ViewPoint* viewport, bool nested) override;
    bool IsEmpty() const override;
    bool AddChunk(OneTextureMaterial& material, GeometryChunk& chunk, const DisplayLightList* lights,
                  const Matrix4& world) override;
    void BeginPass(Display& display) override;
    void EndPass(Display& display) override;

    // Records the distance as the first distance mark; its bucket number.
    uint32_t GetBucket(float distance);
    CompareFunction GetCompareFunction() const noexcept { return &ComparePrimitives; }
    // Farther sorts first; equal distances compare equal.
    static int ComparePrimitives(const void* a, const void* b);
    // The length of the world matrix's translation, by the fast inverse
    // square root with one Newton step.
    static float Distance(const Matrix4& world) noexcept;
    // trunc(0.2 × distance) within the window: 0 … 199.
    static uint32_t BucketNumber(float distance) noexcept;

    uint32_t GetWindowBase() const noexcept { return base_; }
    uint32_t GetBucketCount() const noexcept { return static_cast<uint32_t>(buckets_.size()); }
    // Nodes in bucket `number` of the current window (0 past the window).
    uint32_t GetNodeCount(uint32_t number) const noexcept;
    uint32_t GetPoolUsed() const noexcept { return poolUsed_; }
    uint32_t GetFreeNodeCount() const noexcept { return static_cast<uint32_t>(freeNodes_.size()); }
    uint32_t GetNearLimit() const noexcept { return markBuckets_[1]; }
    float GetMark(uint32_t i) const noexcept { return marks_[i & 1]; }
    uint32_t GetMarkBucket(uint32_t i) const noexcept { return markBuckets_[i & 1]; }

private:
    struct Node {
        GeometryChunk* chunk = nullptr;
        OneTextureMaterial* material = nullptr;
        const DisplayLightList* lights = nullptr;
        Matrix4 world;
        uint16_t* indices = nullptr;
        uint32_t indexCount = 0;
        uint32_t primitiveCount = 0;
        uint32_t primitiveType = 0;
        float key = 0.0f;
        Node* left = nullptr;
        Node* right = nullptr;
        Node* parent = nullptr;
        uint32_t flags = 0;
    };
    static constexpr uint32_t kRed = 1;
    static constexpr uint32_t kOwnsList = 2;
    static constexpr uint32_t kListOnHeap = 4;

    // A red-black tree anchored at its header (whose left is the root),
    // with the nil node as every leaf.
    struct Bucket {
        explicit Bucket(KestroAlphaBlendCache* owner) noexcept;
        Bucket(const Bucket&) = delete;
        Bucket& operator=(const Bucket&) = delete;
        Node*& Root() noexcept { return header.left; }
        uint32_t count = 0;
        Node header;
        Node nil;
        KestroAlphaBlendCache* owner;
    };

    Node* TakeNode();
    void ReleaseNode(Node* node);
    void ClearBucket(Bucket& bucket);
    void AppendWindow();
    void SortPrimitives(Node& node);
    uint16_t* AllocateIndices(uint32_t count, bool& onHeap);
    static void Insert(Bucket& bucket, Node* node);
    static void RotateLeft(Bucket& bucket, Node* x);
    static void RotateRight(Bucket& bucket, Node* x);
    static void DrawFromFarthest(Display& display, ViewPoint* viewport, const Bucket& bucket, const Node* node);

    std::vector<std::unique_ptr<Bucket>> buckets_;
    uint32_t base_ = 0;
    float maxDistance_ = 1000.0f;
    float bucketsPerUnit_ = 0.2f;
    uint32_t bucketsPerWindow_ = kBucketsPerWindow;
    float marks_[2] = {250.0f, 350.00003f};
    uint32_t markBuckets_[2] = {50, 70};
    uint32_t engineFlag_ = 1;
    std::vector<Node*> freeNodes_;
    std::vector<PrimitiveRecord> scratch_;
    std::unique_ptr<uint16_t[]> pool_;
    uint32_t poolUsed_ = 0;
    // Where the pool stood when each window level was entered: a window
    // gives back only what it took, so an outer window's lists survive a
    // nested scene.
    std::vector<uint32_t> poolMarks_;
};

}  // namespace Nyx
