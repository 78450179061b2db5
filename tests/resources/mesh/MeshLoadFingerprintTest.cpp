// What a load of a few varied meshes gives, pinned to the bit: the bounds,
// the oriented box, the texture scale and every byte of every chunk's
// streams, indices and face normals. Any change in how a load computes or
// copies these shows here as a changed fingerprint.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/VertexType.h"
#include "nyx/scene/math/OrientedBox.h"
#include "resources/mesh/MeshTestSupport.h"

namespace {

// FNV-1a over 64 bits.
struct Fingerprint {
    uint64_t value = 0xcbf29ce484222325ull;

    void Add(const void* bytes, size_t size)
    {
        for (size_t k = 0; k < size; ++k) {
            value ^= static_cast<const uint8_t*>(bytes)[k];
            value *= 0x100000001b3ull;
        }
    }
    void Add(uint32_t word) { Add(&word, sizeof word); }
    void Add(float f) { Add(&f, sizeof f); }
    void Add(const Nyx::Vector3f& v)
    {
        Add(v.x);
        Add(v.y);
        Add(v.z);
    }
};

// Deterministic values on every platform: a xorshift generator.
struct Numbers {
    uint32_t state;

    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Uniform in [lo, hi).
    float In(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }
};

std::string Show(const Nyx::Vector3f& v)
{
    char text[96];
    std::snprintf(text, sizeof text, "(%a, %a, %a)", v.x, v.y, v.z);
    return text;
}

std::string ShowBox(const Nyx::OrientedBox& box)
{
    return "centre " + Show(box.GetCentre()) + " axes " + Show(box.GetAxis(0)) + " " + Show(box.GetAxis(1)) + " " +
           Show(box.GetAxis(2)) + " half " + Show(box.GetHalfSize());
}

void AddBox(Fingerprint& f, const Nyx::OrientedBox& box)
{
    f.Add(box.GetCentre());
    for (int a = 0; a < 3; ++a)
        f.Add(box.GetAxis(a));
    f.Add(box.GetHalfSize());
}

// The bounds, the box and the texture scale.
uint64_t ResultsOf(const KestroIndexedMeshDefinition& d)
{
    Fingerprint f;
    f.Add(d.GetBoundsMin());
    f.Add(d.GetBoundsMax());
    AddBox(f, d.GetOrientedBox());
    f.Add(d.GetTextureScale());
    return f.value;
}

// Every chunk's counts and the bytes of each item it has, then its indices
// and face normals.
uint64_t StreamsOf(const KestroIndexedMeshDefinition& d)
{
    Fingerprint f;
    f.Add(d.GetChunkCount());
    for (uint32_t c = 0; c < d.GetChunkCount(); ++c) {
        Nyx::GeometryChunk* chunk = d.GetChunk(c);
        const uint32_t vertices = chunk->GetVertexCount();
        f.Add(vertices);
        for (uint32_t item = 0; item < Nyx::kItemCount; ++item) {
            const auto array = chunk->GetItemArray(item);
            if (!array)
                continue;
            f.Add(item);
            for (uint32_t v = 0; v < vertices; ++v)
                f.Add(&array[v], Nyx::VertexItemSize(item));
        }
        f.Add(chunk->GetIndexCount());
        if (const uint16_t* indices = chunk->GetIndexArray())
            f.Add(indices, size_t{chunk->GetIndexCount()} * 2);
        f.Add(chunk->GetFaceCount());
        if (const float* normals = chunk->GetFaceNormalArray())
            f.Add(normals, size_t{chunk->GetFaceCount()} * 12);
    }
    return f.value;
}

// A cloud of `count` points in a flattened ellipsoid, turned about two axes
// and moved far from the origin, joined by random triangles.
TestChunk TurnedCloud(Numbers& n, uint32_t count, int32_t version, uint32_t sets)
{
    TestChunk chunk;
    TestGeometry& g = chunk.geometry;
    g.version = version;
    g.texCoordSets = sets;
    const float c1 = std::cos(0.4f), s1 = std::sin(0.4f), c2 = std::cos(1.1f), s2 = std::sin(1.1f);
    for (uint32_t v = 0; v < count; ++v) {
        const float x = n.In(-40.0f, 40.0f), y = n.In(-9.0f, 9.0f), z = n.In(-2.0f, 2.0f);
        const float x1 = c1 * x - s1 * y, y1 = s1 * x + c1 * y;
        const float y2 = c2 * y1 - s2 * z, z2 = s2 * y1 + c2 * z;
        g.positions.insert(g.positions.end(), {x1 + 1000.0f, y2 - 2000.0f, z2 + 500.0f});
        for (uint32_t s = 0; s < sets; ++s)
            g.texCoords.insert(g.texCoords.end(), {n.In(-3.0f, 3.0f), n.In(0.0f, 1.0f)});
        g.normals.insert(g.normals.end(), {n.In(-1, 1), n.In(-1, 1), n.In(-1, 1)});
        g.colours.push_back(n.Next());
    }
    for (uint32_t t = 0; t < count + 7; ++t) {
        for (int k = 0; k < 3; ++k)
            g.indices.push_back(static_cast<uint16_t>(n.Next() % count));
        g.faceNormals.insert(g.faceNormals.end(), {n.In(-1, 1), n.In(-1, 1), n.In(-1, 1)});
    }
    return chunk;
}

TestMesh FlatStrips()
{
    // The bench's shape: squares in the plane z = 0, whose box has no depth.
    TestMesh mesh;
    for (int k = 0; k < 3; ++k) {
        mesh.chunks.push_back(QuadStripChunk(1001 + 2 * k, "part" + std::to_string(k) + ".m.onetex"));
        for (size_t p = 1; p < mesh.chunks.back().geometry.positions.size(); p += 3)
            mesh.chunks.back().geometry.positions[p] += 3.0f * static_cast<float>(k);
    }
    return mesh;
}

TestMesh TurnedClouds()
{
    Numbers n{12345};
    TestMesh mesh;
    mesh.chunks.push_back(TurnedCloud(n, 4099, 150, 2));
    mesh.chunks.push_back(TurnedCloud(n, 37, 201, 1));
    mesh.chunks.push_back(TurnedCloud(n, 1030, 103, 3));
    return mesh;
}

TestMesh MixedKinds()
{
    Numbers n{777};
    TestMesh mesh;
    // A strip, a fan, a chunk without indices (dropped), one with extra
    // vectors, and one of two vertices.
    TestChunk strip = TurnedCloud(n, 301, 201, 1);
    strip.geometry.primitive = 8;
    strip.geometry.indices.resize(299);
    strip.geometry.primitiveCount = 297;
    mesh.chunks.push_back(strip);
    TestChunk fan = TurnedCloud(n, 66, 201, 1);
    fan.geometry.primitive = 16;
    fan.geometry.indices.resize(50);
    fan.geometry.primitiveCount = 48;
    mesh.chunks.push_back(fan);
    TestChunk dropped = TurnedCloud(n, 20, 201, 1);
    dropped.geometry.indices.clear();
    mesh.chunks.push_back(dropped);
    TestChunk extra = TurnedCloud(n, 515, 201, 1);
    extra.geometry.geometryFlags = 1;
    for (size_t k = 0; k < extra.geometry.positions.size(); ++k)
        extra.geometry.extraVectors.push_back(n.In(-5, 5));
    mesh.chunks.push_back(extra);
    TestChunk pair = TurnedCloud(n, 2, 201, 1);
    mesh.chunks.push_back(pair);
    return mesh;
}

TestMesh OddValues()
{
    // Negative zeros, a NaN, an infinity and huge coordinates among plain
    // ones: the bounds and the box skip what does not compare, and of equal
    // zeros the first one seen counts.
    Numbers n{99};
    TestMesh mesh;
    TestChunk zeros = TurnedCloud(n, 40, 201, 1);
    for (size_t k = 0; k < zeros.geometry.positions.size(); ++k)
        zeros.geometry.positions[k] = k < 3 ? -0.0f : 0.0f;
    mesh.chunks.push_back(zeros);
    TestChunk chunk = TurnedCloud(n, 250, 201, 1);
    std::vector<float>& p = chunk.geometry.positions;
    for (size_t k = 1; k < p.size(); k += 21)
        p[k] = -0.0f;
    p[31] = std::numeric_limits<float>::quiet_NaN();
    p[64] = std::numeric_limits<float>::infinity();
    p[100] = 3.0e38f;
    mesh.chunks.push_back(chunk);
    return mesh;
}

TEST(MeshLoadFingerprintTest, LoadsGiveTheSameResultsAndBytes)
{
    struct Case {
        const char* name;
        TestMesh (*make)();
        uint64_t results;
        uint64_t streams;
    };
    const Case cases[] = {
        {"flat strips", &FlatStrips, 8423133253106144488ull, 11733520760099505909ull},
        {"turned clouds", &TurnedClouds, 1902106166954756874ull, 2460081763031336807ull},
        {"mixed kinds", &MixedKinds, 2847113401550578651ull, 12605477916060921526ull},
        {"odd values", &OddValues, 13535618572257785184ull, 10087412294745963797ull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeshLoadHarness harness;
        ASSERT_EQ(harness.Load(WriteMeshFile(c.make()), {}, 0x80402010u), RES_OK);
        const KestroIndexedMeshDefinition& d = *harness.definition;
        EXPECT_EQ(ResultsOf(d), c.results)
            << "bounds " << Show(d.GetBoundsMin()) << " " << Show(d.GetBoundsMax()) << " box "
            << ShowBox(d.GetOrientedBox()) << " texture scale " << d.GetTextureScale();
        EXPECT_EQ(StreamsOf(d), c.streams);
    }
}

TEST(MeshLoadFingerprintTest, BoxesOverStridedArraysGiveTheSameResults)
{
    // Arrays of several strides, some empty or absent, fitted together.
    Numbers n{4242};
    std::vector<float> wide(16 * 333);
    std::vector<float> packed(3 * 1001);
    std::vector<float> padded(8 * 77);
    for (float& v : wide)
        v = n.In(-7.0f, 3.0f);
    for (size_t k = 0; k < packed.size(); ++k)
        packed[k] = n.In(-1.0f, 1.0f) * (k % 3 == 0 ? 20.0f : 1.0f) + (k % 3 == 2 ? 0.5f * packed[k - 2] : 0.0f);
    for (float& v : padded)
        v = n.In(100.0f, 101.0f);
    // A NaN leaves the box on the world axes. Points of negative x and y in
    // the plane z = 0 project to their z there, zeros of both signs: of
    // equal bounds the first seen counts, and the centre shows its sign.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float zeros[2][27] = {{nan, nan, nan, -1, -2, -0.0f, -3, -1, -0.0f, -2, -2, -0.0f, -1, -1, 0.0f, -4, -3, -0.0f, -2,
                           -5, -0.0f, -1, -1, -0.0f, -3, -3, -0.0f}};
    std::memcpy(zeros[1], zeros[0], sizeof zeros[0]);
    std::swap(zeros[1][5], zeros[1][14]);
    const Nyx::OrientedBox::PointArray arrays[] = {
        {nullptr, 5, 12},        {wide.data(), 333, 64}, {packed.data(), 0, 12}, {packed.data(), 1001, 12},
        {padded.data(), 77, 32}, {padded.data(), 3, 8},  {zeros[0], 9, 12},      {zeros[1], 9, 12},
    };
    struct Case {
        const char* name;
        uint32_t first;
        uint32_t count;
        uint64_t expected;
    };
    const Case cases[] = {
        {"all together", 0, 6, 13027838493423169ull},
        {"one packed array", 3, 1, 12778107341874728067ull},
        {"one far array", 4, 1, 15313964758231553882ull},
        {"nothing to fit", 0, 1, 1610883005800523240ull},
        {"zeros, negative first", 6, 1, 16016751188363167461ull},
        {"zeros, positive first", 7, 1, 7491152125464355429ull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Nyx::OrientedBox box(arrays + c.first, c.count);
        Fingerprint f;
        AddBox(f, box);
        EXPECT_EQ(f.value, c.expected) << ShowBox(box);
    }
}

}  // namespace
