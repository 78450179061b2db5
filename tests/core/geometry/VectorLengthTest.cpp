#include "core/geometry/VectorLength.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>

namespace {

// Distance in units in the last place between two floats of the same sign.
int64_t UlpDistance(float a, float b)
{
    return std::llabs(static_cast<int64_t>(std::bit_cast<int32_t>(a)) - std::bit_cast<int32_t>(b));
}

// What the length must agree with: sqrtf of the squared length as a float.
float ReferenceLength(const Vector3& v)
{
    const double s = static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y + static_cast<double>(v.z) * v.z;
    return std::sqrt(static_cast<float>(s));
}

void ExpectAgrees(const Vector3& v)
{
    const float want = ReferenceLength(v);
    const float got = VectorLength(v);
    EXPECT_LE(UlpDistance(got, want), 2) << std::hexfloat << "(" << v.x << ", " << v.y << ", " << v.z << "): " << got
                                         << " against " << want;
}

TEST(VectorLengthTest, EstimatesAreTheInverseRootsOfTheBucketMiddles)
{
    for (int i = 0; i < 512; ++i) {
        const double bucket = 1.0 + ((i & 0xFF) + 0.5) / 256.0;
        const double middle = (i & 0x100) ? bucket : 2.0 * bucket;
        SCOPED_TRACE(testing::Message() << "entry " << i);
        EXPECT_LE(UlpDistance(kInverseSqrtEstimates[i], static_cast<float>(1.0 / std::sqrt(middle))), 1);
    }
}

TEST(VectorLengthTest, ExactCasesAndSpecialValues)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Row {
        Vector3 v;
        float length;
    };
    const Row rows[] = {
        {{0.0f, 0.0f, 0.0f}, 0.0f},
        {{-0.0f, -0.0f, -0.0f}, 0.0f},
        {{0.0f, 0.0f, -1.0f}, 1.0f},
        {{2.0f, 0.0f, 0.0f}, 2.0f},
        {{0.0f, -6.0f, 0.0f}, 6.0f},
        {{1e-40f, -1e-40f, 1e-40f}, 0.0f},  // subnormal components: s underflows to 0
        {{1e-23f, 0.0f, 0.0f}, 0.0f},
        {{FLT_MAX, 0.0f, 0.0f}, inf},  // s overflows
        {{2e19f, 0.0f, 0.0f}, inf},
        {{0.0f, -inf, 0.0f}, inf},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.v.x << ", " << row.v.y << ", " << row.v.z);
        EXPECT_EQ(VectorLength(row.v), row.length);
    }
    EXPECT_TRUE(std::isnan(VectorLength({std::nanf(""), 1.0f, 0.0f})));
}

TEST(VectorLengthTest, AgreesWithSqrtfInEveryBucketOfEveryExponent)
{
    // Squared lengths at the bottom, middle and top of each estimate bucket,
    // for every exponent of s, subnormal s included.
    for (uint32_t exponent = 0; exponent < 255; ++exponent) {
        for (uint32_t top = 0; top < 256; ++top) {
            for (uint32_t low : {0u, 0x4000u, 0x7FFFu}) {
                const uint32_t bits = (exponent << 23) | (top << 15) | low;
                if (bits == 0)
                    continue;
                const float s = std::bit_cast<float>(bits);
                ExpectAgrees({std::sqrt(s), 0.0f, 0.0f});
            }
        }
    }
}

TEST(VectorLengthTest, AgreesWithSqrtfOnRandomTinyHugeAndSubnormalInputs)
{
    std::mt19937 random(20240523);
    // Components of random sign and mantissa with exponents drawn from a
    // range: ordinary, tiny (s subnormal or near it), huge (s near the top).
    struct Band {
        const char* what;
        int minExponent;
        int maxExponent;
    };
    const Band bands[] = {
        {"ordinary", -20, 20},
        {"tiny", -75, -60},
        {"huge", 55, 63},
        {"subnormal components", -149, -127},
        {"anything", -149, 63},
    };
    for (const Band& band : bands) {
        SCOPED_TRACE(band.what);
        std::uniform_int_distribution<int> exponent(band.minExponent, band.maxExponent);
        std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
        std::bernoulli_distribution negative(0.5);
        auto component = [&] {
            const float f = std::ldexp(mantissa(random), exponent(random));
            return negative(random) ? -f : f;
        };
        for (int i = 0; i < 20000; ++i)
            ExpectAgrees({component(), component(), component()});
    }
}

}  // namespace
