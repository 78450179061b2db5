#include "resources/materials/alpha/KestroAlphaBlendCache.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"

namespace Nyx {

KestroAlphaBlendCache::Bucket::Bucket(KestroAlphaBlendCache* cacheOwner) noexcept : owner(cacheOwner)
{
    nil.left = nil.right = nil.parent = &nil;
    header.left = &nil;
}

KestroAlphaBlendCache::KestroAlphaBlendCache() : AlphaBlendCache(0), pool_(new uint16_t[kPoolEntries])
{
    poolMarks_.push_back(0);
    AppendWindow();
    Clear();
}

KestroAlphaBlendCache::~KestroAlphaBlendCache()
{
    for (auto& bucket : buckets_)
        ClearBucket(*bucket);
    for (Node* node : freeNodes_)
        delete node;
}

void KestroAlphaBlendCache::AppendWindow()
{
    const size_t wanted = buckets_.size() + bucketsPerWindow_;
    buckets_.reserve((wanted + 127) / 128 * 128);
    for (uint32_t i = 0; i < bucketsPerWindow_; ++i)
        buckets_.push_back(std::make_unique<Bucket>(this));
}

KestroAlphaBlendCache::Node* KestroAlphaBlendCache::TakeNode()
{
    if (freeNodes_.empty())
        return new Node;
    Node* node = freeNodes_.back();
    freeNodes_.pop_back();
    return node;
}

void KestroAlphaBlendCache::ReleaseNode(Node* node)
{
    if (node->flags & kListOnHeap)
        delete[] node->indices;
    *node = Node{};
    freeNodes_.push_back(node);
}

void KestroAlphaBlendCache::ClearBucket(Bucket& bucket)
{
    std::vector<Node*> pending;
    if (bucket.Root() != &bucket.nil)
        pending.push_back(bucket.Root());
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        if (node->left != &bucket.nil)
            pending.push_back(node->left);
        if (node->right != &bucket.nil)
            pending.push_back(node->right);
        ReleaseNode(node);
    }
    bucket.Root() = &bucket.nil;
    bucket.count = 0;
}

void KestroAlphaBlendCache::Clear()
{
    for (uint32_t i = 0; i < bucketsPerWindow_; ++i)
        ClearBucket(*buckets_[base_ + i]);
    poolUsed_ = poolMarks_.back();
}

bool KestroAlphaBlendCache::IsEmpty() const
{
    for (uint32_t i = 0; i < bucketsPerWindow_; ++i)
        if (buckets_[base_ + i]->count != 0)
            return false;
    return true;
}

uint32_t KestroAlphaBlendCache::GetNodeCount(uint32_t number) const noexcept
{
    return number < bucketsPerWindow_ ? buckets_[base_ + number]->count : 0;
}

void KestroAlphaBlendCache::Enter(Display& /*display*/, ViewPoint* /*viewport*/, bool nested)
{
    if (nested) {
        base_ += bucketsPerWindow_;
        if (base_ + bucketsPerWindow_ > buckets_.size())
            AppendWindow();
        poolMarks_.push_back(poolUsed_);
    }
    Clear();
}

void KestroAlphaBlendCache::Leave(Display& display, ViewPoint* viewport, bool nested)
{
    if (!nested)
        return;
    RenderChunks(display, viewport);
    // The nested window's lists are not drawn again: its pool space goes
    // back to the window around it.
    if (base_ >= bucketsPerWindow_) {
        poolUsed_ = poolMarks_.back();
        poolMarks_.pop_back();
        base_ -= bucketsPerWindow_;
    }
}

// ---- distance and buckets ----

float KestroAlphaBlendCache::Distance(const Matrix4& world) noexcept
{
    const float x = world.m[3][0] * world.m[3][0] + world.m[3][1] * world.m[3][1] + world.m[3][2] * world.m[3][2];
    uint32_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    bits = 0x5F3759DFu - (bits >> 1);
    float r = 0.0f;
    std::memcpy(&r, &bits, sizeof r);
    r = r * (1.5f - 0.5f * x * r * r);
    return x * r;
}

uint32_t KestroAlphaBlendCache::BucketNumber(float distance) noexcept
{
    const float v = static_cast<float>(kBucketsPerWindow) / 1000.0f * distance;
    // Not a number, or behind: the nearest bucket.
    if (!(v >= 0.0f))
        return 0;
    if (v >= static_cast<float>(kBucketsPerWindow - 1))
        return kBucketsPerWindow - 1;
    return static_cast<uint32_t>(v);
}

uint32_t KestroAlphaBlendCache::GetBucket(float distance)
{
    const float v = distance * bucketsPerUnit_;
    marks_[0] = distance;
    markBuckets_[0] = !(v >= 0.0f) ? 0 : v >= 4294967040.0f ? 0xFFFFFF00u : static_cast<uint32_t>(v);
    return markBuckets_[0];
}

int KestroAlphaBlendCache::ComparePrimitives(const void* a, const void* b)
{
    const float da = static_cast<const PrimitiveRecord*>(a)->distance2;
    const float db = static_cast<const PrimitiveRecord*>(b)->distance2;
    if (da < db)
        return 1;
    if (da > db)
        return -1;
    return 0;
}

// ---- adding ----

bool KestroAlphaBlendCache::AddChunk(OneTextureMaterial& material, GeometryChunk& chunk,
                                     const DisplayLightList* lights, const Matrix4& world)
{
    const float distance = Distance(world);
    const uint32_t number = BucketNumber(distance);
    Node* node = TakeNode();
    node->chunk = &chunk;
    node->material = &material;
    node->lights = lights;
    node->world = world;
    node->key = distance;
    node->primitiveCount = chunk.GetPrimitiveCount();
    node->primitiveType = GeometryChunk::primitiveLookup(chunk.GetPrimitiveFlags() & 0x1F);
    if (number < GetNearLimit())
        SortPrimitives(*node);
    Insert(*buckets_[base_ + number], node);
    return true;
}

uint16_t* KestroAlphaBlendCache::AllocateIndices(uint32_t count, bool& onHeap)
{
    if (count <= kPoolEntries - poolUsed_) {
        uint16_t* at = pool_.get() + poolUsed_;
        poolUsed_ += count;
        onHeap = false;
        return at;
    }
    onHeap = true;
    return new (std::nothrow) uint16_t[count];
}

void KestroAlphaBlendCache::SortPrimitives(Node& node)
{
    GeometryChunk& chunk = *node.chunk;
    const uint32_t kind = chunk.GetPrimitiveFlags() & 0x1F;
    const uint16_t* indices = chunk.GetIndexArray();
    const uint32_t n = indices ? chunk.GetIndexCount() : 0;
    uint32_t perPrimitive = 0;
    uint32_t step = 0;
    uint32_t count = 0;
    uint32_t outKind = kind;
    switch (kind) {
    case 0:
        perPrimitive = 1, step = 1, count = n;
        break;
    case 1:
        perPrimitive = 2, step = 2, count = n / 2;
        break;
    case 2:
        perPrimitive = 2, step = 1, count = n >= 1 ? n - 1 : 0, outKind = 1;
        break;
    case 4:
        perPrimitive = 3, step = 3, count = std::min(chunk.GetPrimitiveCount(), n / 3);
        break;
    case 8:
    case 16:
        perPrimitive = 3, step = 1, count = n >= 2 ? n - 2 : 0, outKind = 4;
        break;
    default:
        break;
    }
    node.primitiveType = GeometryChunk::primitiveLookup(outKind);
    if (count == 0) {
        node.key = 0.0f;
        node.primitiveCount = 0;
        return;
    }
    if (scratch_.size() < count)
        scratch_.resize(count);

    const Matrix4& w = node.world;
    const float t[3] = {w.m[3][0], w.m[3][1], w.m[3][2]};
    float viewer[3];
    for (int j = 0; j < 3; ++j)
        viewer[j] = -(t[0] * w.m[j][0] + t[1] * w.m[j][1] + t[2] * w.m[j][2]);

    const ItemArray<const Vector3Item> positions =
        static_cast<const GeometryChunk&>(chunk).GetVector3Array(kItemPosition);
    const uint32_t vertexCount = chunk.GetVertexCount();
    auto corner = [&](uint32_t k, uint32_t c) -> uint16_t {
        if (kind == 16)
            return c == 0 ? indices[0] : indices[k + c];
        if (kind == 8 && (k & 1) && c != 0)
            return indices[k + 3 - c];
        return indices[k * step + c];
    };
    for (uint32_t k = 0; k < count; ++k) {
        float c[3] = {0.0f, 0.0f, 0.0f};
        bool valid = static_cast<bool>(positions);
        for (uint32_t i = 0; i < perPrimitive && valid; ++i) {
            const uint16_t v = corner(k, i);
            if (v >= vertexCount) {
                valid = false;
                break;
            }
            c[0] += positions[v].x;
            c[1] += positions[v].y;
            c[2] += positions[v].z;
        }
        float d2 = 0.0f;
        // A primitive that names a vertex the chunk lacks has no place: it
        // is drawn last.
        if (valid) {
            const float inv = 1.0f / static_cast<float>(perPrimitive);
            const float dx = c[0] * inv - viewer[0];
            const float dy = c[1] * inv - viewer[1];
            const float dz = c[2] * inv - viewer[2];
            d2 = dx * dx + dy * dy + dz * dz;
        }
        scratch_[k] = {static_cast<int32_t>(k), d2};
    }
    // The cache's comparison, inlined; stable, so that primitives at equal
    // distances keep their order on every C library (a qsort through the
    // comparison function spends most of a frame in its calls).
    std::stable_sort(scratch_.begin(), scratch_.begin() + count,
                     [](const PrimitiveRecord& a, const PrimitiveRecord& b) { return a.distance2 > b.distance2; });
    node.key = (scratch_[0].distance2 + scratch_[count - 1].distance2) * 0.5f;

    const uint64_t listSize = uint64_t{count} * perPrimitive;
    bool onHeap = false;
    uint16_t* list = listSize <= 0xFFFFFFFFu ? AllocateIndices(static_cast<uint32_t>(listSize), onHeap) : nullptr;
    if (!list) {
        // Out of memory: the chunk is drawn whole at its sorted place.
        node.primitiveCount = chunk.GetPrimitiveCount();
        node.primitiveType = GeometryChunk::primitiveLookup(kind);
        return;
    }
    uint16_t* out = list;
    for (uint32_t r = 0; r < count; ++r) {
        const uint32_t k = static_cast<uint32_t>(scratch_[r].index);
        for (uint32_t i = 0; i < perPrimitive; ++i)
            *out++ = corner(k, i);
    }
    node.indices = list;
    node.indexCount = static_cast<uint32_t>(listSize);
    node.primitiveCount = count;
    node.flags |= kOwnsList | (onHeap ? kListOnHeap : 0);
}

// ---- the trees ----

void KestroAlphaBlendCache::RotateLeft(Bucket& bucket, Node* x)
{
    Node* y = x->right;
    x->right = y->left;
    if (y->left != &bucket.nil)
        y->left->parent = x;
    y->parent = x->parent;
    if (x->parent->left == x)
        x->parent->left = y;
    else
        x->parent->right = y;
    y->left = x;
    x->parent = y;
}

void KestroAlphaBlendCache::RotateRight(Bucket& bucket, Node* x)
{
    Node* y = x->left;
    x->left = y->right;
    if (y->right != &bucket.nil)
        y->right->parent = x;
    y->parent = x->parent;
    if (x->parent->left == x)
        x->parent->left = y;
    else
        x->parent->right = y;
    y->right = x;
    x->parent = y;
}

void KestroAlphaBlendCache::Insert(Bucket& bucket, Node* node)
{
    Node* parent = &bucket.header;
    Node* at = bucket.Root();
    bool right = false;
    while (at != &bucket.nil) {
        parent = at;
        // Equal keys go right: they stay in arrival order.
        right = at->key <= node->key;
        at = right ? at->right : at->left;
    }
    node->parent = parent;
    node->left = node->right = &bucket.nil;
    node->flags |= kRed;
    if (parent == &bucket.header)
        bucket.Root() = node;
    else if (right)
        parent->right = node;
    else
        parent->left = node;

    Node* z = node;
    while (z->parent->flags & kRed) {
        Node* p = z->parent;
        Node* g = p->parent;
        if (p == g->left) {
            Node* uncle = g->right;
            if (uncle->flags & kRed) {
                p->flags &= ~kRed;
                uncle->flags &= ~kRed;
                g->flags |= kRed;
                z = g;
                continue;
            }
            if (z == p->right) {
                z = p;
                RotateLeft(bucket, z);
                p = z->parent;
            }
            p->flags &= ~kRed;
            g->flags |= kRed;
            RotateRight(bucket, g);
        } else {
            Node* uncle = g->left;
            if (uncle->flags & kRed) {
                p->flags &= ~kRed;
                uncle->flags &= ~kRed;
                g->flags |= kRed;
                z = g;
                continue;
            }
            if (z == p->left) {
                z = p;
                RotateRight(bucket, z);
                p = z->parent;
            }
            p->flags &= ~kRed;
            g->flags |= kRed;
            RotateLeft(bucket, g);
        }
    }
    bucket.Root()->flags &= ~kRed;
    ++bucket.count;
}

// ---- drawing ----

void KestroAlphaBlendCache::DrawFromFarthest(Display& display, ViewPoint* viewport, const Bucket& bucket,
                                             const Node* node)
{
    if (node == &bucket.nil)
        return;
    DrawFromFarthest(display, viewport, bucket, node->right);
    display.SetAlphaBlendFunction(kSourceBlend, kDestinationBlend);
    if (node->flags & kOwnsList)
        node->material->RenderPrimitives(
            display, viewport, *node->chunk, node->lights, node->world,
            PrimitiveRange{node->primitiveCount, node->indices, node->indexCount, node->primitiveType}, -1);
    else
        node->material->RenderChunk(display, viewport, *node->chunk, node->lights, node->world, -1);
    DrawFromFarthest(display, viewport, bucket, node->left);
}

void KestroAlphaBlendCache::RenderChunks(Display& display, ViewPoint* viewport)
{
    BeginPass(display);
    for (uint32_t i = bucketsPerWindow_; i-- > 0;) {
        const Bucket& bucket = *buckets_[base_ + i];
        DrawFromFarthest(display, viewport, bucket, bucket.header.left);
    }
    // The nodes keep their index lists until Clear, so the pool is given
    // back there (and when a nested window is left), not here: a chunk
    // added after this draw must not write over lists still held.
    EndPass(display);
}

void KestroAlphaBlendCache::BeginPass(Display& display)
{
    display.SetAlphaTestMode(false);
    display.SetAlphaBlendMode(true);
    display.SetDepthWriteMode(false);
}

void KestroAlphaBlendCache::EndPass(Display& display)
{
    display.SetAlphaBlendFunction(1, 0);
    display.SetAlphaBlendMode(false);
    display.SetAlphaTestMode(false);
    display.SetDepthWriteMode(true);
}

}  // namespace Nyx
