#include "resources/collision/KSLeafTriangles.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "resources/collision/TriangleTests.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KS_LEAF_TRIANGLES_X86 1
#endif

using Nyx::Cross;
using Nyx::Dot;
using Nyx::Vector3f;
using Block = KSLeafTriangles::Block;
using Segment = KSLeafTriangles::Segment;

namespace {

constexpr uint32_t kLanes = KSLeafTriangles::kLanes;
constexpr uint32_t kNoHit = KSLeafTriangles::kNoHit;

Vector3f CornerOf(const Block& block, uint32_t lane, int corner) noexcept
{
    return {block.corner[corner][0][lane], block.corner[corner][1][lane], block.corner[corner][2][lane]};
}

// One triangle after another: the reference the other kernels must match,
// and the kernel of processors without SIMD registers.
uint32_t TestScalar(const Block* blocks, uint32_t count, const Segment& s, float& nearest) noexcept
{
    uint32_t hit = kNoHit;
    for (uint32_t i = 0; i < count; ++i) {
        const Block& block = blocks[i / kLanes];
        const uint32_t lane = i % kLanes;
        if (block.reference[lane] == KSLeafTriangles::kNoTriangle)
            continue;
        const Vector3f c0 = CornerOf(block, lane, 0);
        const Vector3f c1 = CornerOf(block, lane, 1);
        const Vector3f c2 = CornerOf(block, lane, 2);
        const Vector3f normal = Cross(c1 - c0, c2 - c0);
        const float plane = Dot(normal, c0);
        const float ds = Dot(normal, s.start);
        const float de = Dot(normal, s.end);
        if ((ds > plane && de > plane) || (ds < plane && de < plane))
            continue;
        const float t = ds == de ? 0.0f : (ds - plane) / (ds - de);
        if (!(t <= nearest))
            continue;
        const Vector3f point = s.start + s.vector * t;
        if (!PointInTriangle(normal, c0, c1, c2, point))
            continue;
        nearest = t;
        hit = i;
    }
    return hit;
}

#ifdef KS_LEAF_TRIANGLES_X86

// Of the lanes in `taken` (a bit per lane), the last one whose distance is
// the smallest: what a sequential walk over the lanes would have kept.
inline uint32_t LastNearest(const float* t, uint32_t lanes, uint32_t taken) noexcept
{
    float best = 0.0f;
    uint32_t at = kNoHit;
    for (uint32_t lane = 0; lane < lanes; ++lane) {
        if (!(taken >> lane & 1u))
            continue;
        if (at == kNoHit || t[lane] <= best) {
            best = t[lane];
            at = lane;
        }
    }
    return at;
}

// Four lanes at a time: half a block per step.
uint32_t TestSse2(const Block* blocks, uint32_t count, const Segment& s, float& nearest) noexcept
{
    const __m128 sx = _mm_set1_ps(s.start.x);
    const __m128 sy = _mm_set1_ps(s.start.y);
    const __m128 sz = _mm_set1_ps(s.start.z);
    const __m128 ex = _mm_set1_ps(s.end.x);
    const __m128 ey = _mm_set1_ps(s.end.y);
    const __m128 ez = _mm_set1_ps(s.end.z);
    const __m128 vx = _mm_set1_ps(s.vector.x);
    const __m128 vy = _mm_set1_ps(s.vector.y);
    const __m128 vz = _mm_set1_ps(s.vector.z);
    const __m128 zero = _mm_setzero_ps();
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128i none = _mm_set1_epi32(-1);
    const __m128i laneNumbers = _mm_setr_epi32(0, 1, 2, 3);
    __m128 limit = _mm_set1_ps(nearest);
    uint32_t hit = kNoHit;

    auto select = [](__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); };

    const uint32_t groups = (count + 3) / 4;
    for (uint32_t g = 0; g < groups; ++g) {
        const Block& block = blocks[g / 2];
        const uint32_t half = (g % 2) * 4;
        __m128i validLanes = _mm_xor_si128(
            _mm_cmpeq_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(&block.reference[half])), none), none);
        if (const uint32_t left = count - g * 4; left < 4)
            validLanes = _mm_and_si128(validLanes, _mm_cmplt_epi32(laneNumbers, _mm_set1_epi32(static_cast<int>(left))));
        const __m128 valid = _mm_castsi128_ps(validLanes);
        const __m128 c0x = _mm_load_ps(&block.corner[0][0][half]);
        const __m128 c0y = _mm_load_ps(&block.corner[0][1][half]);
        const __m128 c0z = _mm_load_ps(&block.corner[0][2][half]);
        const __m128 c1x = _mm_load_ps(&block.corner[1][0][half]);
        const __m128 c1y = _mm_load_ps(&block.corner[1][1][half]);
        const __m128 c1z = _mm_load_ps(&block.corner[1][2][half]);
        const __m128 c2x = _mm_load_ps(&block.corner[2][0][half]);
        const __m128 c2y = _mm_load_ps(&block.corner[2][1][half]);
        const __m128 c2z = _mm_load_ps(&block.corner[2][2][half]);
        const __m128 e1x = _mm_sub_ps(c1x, c0x);
        const __m128 e1y = _mm_sub_ps(c1y, c0y);
        const __m128 e1z = _mm_sub_ps(c1z, c0z);
        const __m128 e2x = _mm_sub_ps(c2x, c0x);
        const __m128 e2y = _mm_sub_ps(c2y, c0y);
        const __m128 e2z = _mm_sub_ps(c2z, c0z);
        const __m128 nx = _mm_sub_ps(_mm_mul_ps(e1y, e2z), _mm_mul_ps(e1z, e2y));
        const __m128 ny = _mm_sub_ps(_mm_mul_ps(e1z, e2x), _mm_mul_ps(e1x, e2z));
        const __m128 nz = _mm_sub_ps(_mm_mul_ps(e1x, e2y), _mm_mul_ps(e1y, e2x));
        const __m128 plane =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, c0x), _mm_mul_ps(ny, c0y)), _mm_mul_ps(nz, c0z));
        const __m128 ds = _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, sx), _mm_mul_ps(ny, sy)), _mm_mul_ps(nz, sz));
        const __m128 de = _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, ex), _mm_mul_ps(ny, ey)), _mm_mul_ps(nz, ez));
        const __m128 sameSide = _mm_or_ps(_mm_and_ps(_mm_cmpgt_ps(ds, plane), _mm_cmpgt_ps(de, plane)),
                                          _mm_and_ps(_mm_cmplt_ps(ds, plane), _mm_cmplt_ps(de, plane)));
        const __m128 t = _mm_andnot_ps(_mm_cmpeq_ps(ds, de), _mm_div_ps(_mm_sub_ps(ds, plane), _mm_sub_ps(ds, de)));
        __m128 taken = _mm_and_ps(valid, _mm_andnot_ps(sameSide, _mm_cmple_ps(t, limit)));
        if (_mm_movemask_ps(taken) == 0)
            continue;

        const __m128 px = _mm_add_ps(sx, _mm_mul_ps(vx, t));
        const __m128 py = _mm_add_ps(sy, _mm_mul_ps(vy, t));
        const __m128 pz = _mm_add_ps(sz, _mm_mul_ps(vz, t));
        // The axis of the normal's largest component is dropped: z keeps
        // (x, y), y keeps (z, x), x keeps (y, z).
        const __m128 ax = _mm_andnot_ps(sign, nx);
        const __m128 ay = _mm_andnot_ps(sign, ny);
        const __m128 az = _mm_andnot_ps(sign, nz);
        const __m128 dropZ = _mm_and_ps(_mm_cmpge_ps(az, ax), _mm_cmpge_ps(az, ay));
        const __m128 dropY = _mm_andnot_ps(dropZ, _mm_and_ps(_mm_cmpgt_ps(ay, az), _mm_cmpge_ps(ay, ax)));
        auto pick = [&](__m128 whenZ, __m128 whenY, __m128 whenX) {
            return select(dropZ, whenZ, select(dropY, whenY, whenX));
        };
        const __m128 pu = pick(px, pz, py);
        const __m128 pv = pick(py, px, pz);
        const __m128 w = pick(nz, ny, nx);
        const __m128 u[3] = {pick(c0x, c0z, c0y), pick(c1x, c1z, c1y), pick(c2x, c2z, c2y)};
        const __m128 v[3] = {pick(c0y, c0x, c0z), pick(c1y, c1x, c1z), pick(c2y, c2x, c2z)};
        __m128 outside = zero;
        for (int k = 0; k < 3; ++k) {
            const int q = (k + 2) % 3;
            const __m128 edge = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(_mm_sub_ps(u[k], u[q]), _mm_sub_ps(pv, v[q])),
                                                      _mm_mul_ps(_mm_sub_ps(v[k], v[q]), _mm_sub_ps(pu, u[q]))),
                                           w);
            outside = _mm_or_ps(outside, _mm_cmplt_ps(edge, zero));
        }
        taken = _mm_andnot_ps(outside, taken);
        const auto bits = static_cast<uint32_t>(_mm_movemask_ps(taken));
        if (bits == 0)
            continue;
        alignas(16) float distances[4];
        _mm_store_ps(distances, t);
        const uint32_t lane = LastNearest(distances, 4, bits);
        nearest = distances[lane];
        limit = _mm_set1_ps(nearest);
        hit = g * 4 + lane;
    }
    return hit;
}

// Eight lanes at a time: a block per step.
__attribute__((target("avx2"))) uint32_t TestAvx2(const Block* blocks, uint32_t count, const Segment& s,
                                                  float& nearest) noexcept
{
    const __m256 sx = _mm256_set1_ps(s.start.x);
    const __m256 sy = _mm256_set1_ps(s.start.y);
    const __m256 sz = _mm256_set1_ps(s.start.z);
    const __m256 ex = _mm256_set1_ps(s.end.x);
    const __m256 ey = _mm256_set1_ps(s.end.y);
    const __m256 ez = _mm256_set1_ps(s.end.z);
    const __m256 vx = _mm256_set1_ps(s.vector.x);
    const __m256 vy = _mm256_set1_ps(s.vector.y);
    const __m256 vz = _mm256_set1_ps(s.vector.z);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256i none = _mm256_set1_epi32(-1);
    const __m256i laneNumbers = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256 limit = _mm256_set1_ps(nearest);
    uint32_t hit = kNoHit;

    const uint32_t steps = (count + kLanes - 1) / kLanes;
    for (uint32_t b = 0; b < steps; ++b) {
        const Block& block = blocks[b];
        __m256i validLanes = _mm256_xor_si256(
            _mm256_cmpeq_epi32(_mm256_load_si256(reinterpret_cast<const __m256i*>(block.reference)), none), none);
        if (const uint32_t left = count - b * kLanes; left < kLanes)
            validLanes = _mm256_and_si256(
                validLanes, _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(left)), laneNumbers));
        const __m256 valid = _mm256_castsi256_ps(validLanes);
        const __m256 c0x = _mm256_load_ps(block.corner[0][0]);
        const __m256 c0y = _mm256_load_ps(block.corner[0][1]);
        const __m256 c0z = _mm256_load_ps(block.corner[0][2]);
        const __m256 c1x = _mm256_load_ps(block.corner[1][0]);
        const __m256 c1y = _mm256_load_ps(block.corner[1][1]);
        const __m256 c1z = _mm256_load_ps(block.corner[1][2]);
        const __m256 c2x = _mm256_load_ps(block.corner[2][0]);
        const __m256 c2y = _mm256_load_ps(block.corner[2][1]);
        const __m256 c2z = _mm256_load_ps(block.corner[2][2]);
        const __m256 e1x = _mm256_sub_ps(c1x, c0x);
        const __m256 e1y = _mm256_sub_ps(c1y, c0y);
        const __m256 e1z = _mm256_sub_ps(c1z, c0z);
        const __m256 e2x = _mm256_sub_ps(c2x, c0x);
        const __m256 e2y = _mm256_sub_ps(c2y, c0y);
        const __m256 e2z = _mm256_sub_ps(c2z, c0z);
        const __m256 nx = _mm256_sub_ps(_mm256_mul_ps(e1y, e2z), _mm256_mul_ps(e1z, e2y));
        const __m256 ny = _mm256_sub_ps(_mm256_mul_ps(e1z, e2x), _mm256_mul_ps(e1x, e2z));
        const __m256 nz = _mm256_sub_ps(_mm256_mul_ps(e1x, e2y), _mm256_mul_ps(e1y, e2x));
        const __m256 plane =
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, c0x), _mm256_mul_ps(ny, c0y)), _mm256_mul_ps(nz, c0z));
        const __m256 ds =
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, sx), _mm256_mul_ps(ny, sy)), _mm256_mul_ps(nz, sz));
        const __m256 de =
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, ex), _mm256_mul_ps(ny, ey)), _mm256_mul_ps(nz, ez));
        const __m256 sameSide =
            _mm256_or_ps(_mm256_and_ps(_mm256_cmp_ps(ds, plane, _CMP_GT_OQ), _mm256_cmp_ps(de, plane, _CMP_GT_OQ)),
                         _mm256_and_ps(_mm256_cmp_ps(ds, plane, _CMP_LT_OQ), _mm256_cmp_ps(de, plane, _CMP_LT_OQ)));
        const __m256 t = _mm256_andnot_ps(_mm256_cmp_ps(ds, de, _CMP_EQ_OQ),
                                          _mm256_div_ps(_mm256_sub_ps(ds, plane), _mm256_sub_ps(ds, de)));
        __m256 taken = _mm256_and_ps(valid, _mm256_andnot_ps(sameSide, _mm256_cmp_ps(t, limit, _CMP_LE_OQ)));
        if (_mm256_movemask_ps(taken) == 0)
            continue;

        const __m256 px = _mm256_add_ps(sx, _mm256_mul_ps(vx, t));
        const __m256 py = _mm256_add_ps(sy, _mm256_mul_ps(vy, t));
        const __m256 pz = _mm256_add_ps(sz, _mm256_mul_ps(vz, t));
        const __m256 ax = _mm256_andnot_ps(sign, nx);
        const __m256 ay = _mm256_andnot_ps(sign, ny);
        const __m256 az = _mm256_andnot_ps(sign, nz);
        const __m256 dropZ = _mm256_and_ps(_mm256_cmp_ps(az, ax, _CMP_GE_OQ), _mm256_cmp_ps(az, ay, _CMP_GE_OQ));
        const __m256 dropY = _mm256_andnot_ps(
            dropZ, _mm256_and_ps(_mm256_cmp_ps(ay, az, _CMP_GT_OQ), _mm256_cmp_ps(ay, ax, _CMP_GE_OQ)));
        // blendv takes its second operand where the mask is set.
#define KS_PICK(whenZ, whenY, whenX) _mm256_blendv_ps(_mm256_blendv_ps(whenX, whenY, dropY), whenZ, dropZ)
        const __m256 pu = KS_PICK(px, pz, py);
        const __m256 pv = KS_PICK(py, px, pz);
        const __m256 w = KS_PICK(nz, ny, nx);
        const __m256 u[3] = {KS_PICK(c0x, c0z, c0y), KS_PICK(c1x, c1z, c1y), KS_PICK(c2x, c2z, c2y)};
        const __m256 v[3] = {KS_PICK(c0y, c0x, c0z), KS_PICK(c1y, c1x, c1z), KS_PICK(c2y, c2x, c2z)};
#undef KS_PICK
        __m256 outside = zero;
        for (int k = 0; k < 3; ++k) {
            const int q = (k + 2) % 3;
            const __m256 edge = _mm256_mul_ps(
                _mm256_sub_ps(_mm256_mul_ps(_mm256_sub_ps(u[k], u[q]), _mm256_sub_ps(pv, v[q])),
                              _mm256_mul_ps(_mm256_sub_ps(v[k], v[q]), _mm256_sub_ps(pu, u[q]))),
                w);
            outside = _mm256_or_ps(outside, _mm256_cmp_ps(edge, zero, _CMP_LT_OQ));
        }
        taken = _mm256_andnot_ps(outside, taken);
        const auto bits = static_cast<uint32_t>(_mm256_movemask_ps(taken));
        if (bits == 0)
            continue;
        alignas(32) float distances[kLanes];
        _mm256_store_ps(distances, t);
        const uint32_t lane = LastNearest(distances, kLanes, bits);
        nearest = distances[lane];
        limit = _mm256_set1_ps(nearest);
        hit = b * kLanes + lane;
    }
    return hit;
}

#endif

}  // namespace

KSLeafTriangles::Kernel KSLeafTriangles::Best() noexcept
{
    static const Kernel best = [] {
#ifdef KS_LEAF_TRIANGLES_X86
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2"))
            return Kernel::Avx2;
        if (__builtin_cpu_supports("sse2"))
            return Kernel::Sse2;
#endif
        return Kernel::Scalar;
    }();
    return best;
}

bool KSLeafTriangles::IsSupported(Kernel kernel) noexcept
{
    switch (kernel) {
    case Kernel::Scalar:
        return true;
    case Kernel::Sse2:
        return Best() != Kernel::Scalar;
    case Kernel::Avx2:
        return Best() == Kernel::Avx2;
    }
    return false;
}

const char* KSLeafTriangles::NameOf(Kernel kernel) noexcept
{
    switch (kernel) {
    case Kernel::Scalar:
        return "scalar";
    case Kernel::Sse2:
        return "SSE2";
    case Kernel::Avx2:
        return "AVX2";
    }
    return "?";
}

void KSLeafTriangles::Clear() noexcept
{
    blocks_.clear();
    used_ = 0;
}

uint32_t KSLeafTriangles::BeginLeaf()
{
    used_ = kLanes;  // the next triangle opens a block
    return static_cast<uint32_t>(blocks_.size());
}

void KSLeafTriangles::Add(uint32_t reference, const Vector3f* corners)
{
    if (used_ == kLanes) {
        Block& fresh = blocks_.emplace_back();
        std::memset(&fresh, 0, sizeof fresh);
        std::fill(std::begin(fresh.reference), std::end(fresh.reference), kNoTriangle);
        used_ = 0;
    }
    Block& block = blocks_.back();
    const uint32_t lane = used_++;
    if (!corners)
        return;
    block.reference[lane] = reference;
    for (int c = 0; c < 3; ++c) {
        block.corner[c][0][lane] = corners[c].x;
        block.corner[c][1][lane] = corners[c].y;
        block.corner[c][2][lane] = corners[c].z;
    }
}

namespace {

using KernelFunction = uint32_t (*)(const Block*, uint32_t, const Segment&, float&) noexcept;

KernelFunction FunctionOf(KSLeafTriangles::Kernel kernel) noexcept
{
    switch (kernel) {
#ifdef KS_LEAF_TRIANGLES_X86
    case KSLeafTriangles::Kernel::Avx2:
        return TestAvx2;
    case KSLeafTriangles::Kernel::Sse2:
        return TestSse2;
#endif
    default:
        return TestScalar;
    }
}

}  // namespace

uint32_t KSLeafTriangles::Test(uint32_t firstBlock, uint32_t count, const Segment& segment,
                               float& nearest) const noexcept
{
    static const KernelFunction best = FunctionOf(Best());
    if (count == 0)
        return kNoHit;
    const uint32_t hit = best(&blocks_[firstBlock], count, segment, nearest);
    return hit == kNoHit ? kNoHit : firstBlock * kLanes + hit;
}

uint32_t KSLeafTriangles::TestWith(Kernel kernel, uint32_t firstBlock, uint32_t count, const Segment& segment,
                                   float& nearest) const noexcept
{
    if (count == 0 || firstBlock >= blocks_.size())
        return kNoHit;
    // A kernel the processor lacks falls back to the plain one.
    const uint32_t hit = FunctionOf(IsSupported(kernel) ? kernel : Kernel::Scalar)(&blocks_[firstBlock], count,
                                                                                    segment, nearest);
    return hit == kNoHit ? kNoHit : firstBlock * kLanes + hit;
}

void KSLeafTriangles::GetCorners(uint32_t position, Vector3f corners[3]) const noexcept
{
    const Block& block = blocks_[position / kLanes];
    for (int c = 0; c < 3; ++c)
        corners[c] = CornerOf(block, position % kLanes, c);
}

Vector3f KSLeafTriangles::GetNormal(uint32_t position) const noexcept
{
    Vector3f c[3];
    GetCorners(position, c);
    return Cross(c[1] - c[0], c[2] - c[0]);
}
