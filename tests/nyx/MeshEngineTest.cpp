#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "nyx/files/MemoryFile.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/chunks/MeshFileSupport.h"
#include "nyx/scene/math/OrientedBox.h"
#include "nyx/scene/math/Quaternion.h"

namespace {

TEST(MeshEngineTest, MemoryFileReadsFailCleanlyAtTheEnd)
{
    const uint8_t bytes[] = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9, 9};
    Nyx::MemoryFile file;
    file.Open(bytes, sizeof bytes);
    uint32_t u = 7;
    int32_t i = 7;
    float f = 7.0f;
    EXPECT_TRUE(file.Read(u));
    EXPECT_EQ(u, 1u);
    EXPECT_TRUE(file.Read(i));
    EXPECT_EQ(i, -1);
    EXPECT_FALSE(file.Read(f));
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(file.Tell(), 8u);
    uint8_t two[3];
    EXPECT_FALSE(file.ReadBytes(two, 3));
    EXPECT_TRUE(file.ReadBytes(two, 2));
    EXPECT_EQ(file.Remaining(), 0u);
    file.Seek(1000);
    EXPECT_EQ(file.Tell(), 10u);
    file.Close();
    EXPECT_TRUE(file.Empty());
}

TEST(MeshEngineTest, MemoryFileBuffersAreReusedButNeverShared)
{
    std::vector<uint8_t> large(300000, 0xAA);
    std::vector<uint8_t> small(1000);
    for (size_t k = 0; k < small.size(); ++k)
        small[k] = static_cast<uint8_t>(k);
    const uint8_t other[] = {5, 6, 7};

    Nyx::MemoryFile first;
    first.Open(large.data(), static_cast<uint32_t>(large.size()));
    const uint8_t* buffer = first.GetData();
    first.Close();
    // The closed file's buffer serves the next one, which sees only its own
    // bytes and ends where they end.
    Nyx::MemoryFile reused;
    reused.Open(small.data(), static_cast<uint32_t>(small.size()));
    EXPECT_EQ(reused.GetData(), buffer);
    EXPECT_EQ(reused.GetSize(), 1000u);
    std::vector<uint8_t> read(1001);
    EXPECT_FALSE(reused.ReadBytes(read.data(), 1001));
    ASSERT_TRUE(reused.ReadBytes(read.data(), 1000));
    read.pop_back();
    EXPECT_EQ(read, small);
    // A file opened while that one is open gets a buffer of its own.
    Nyx::MemoryFile alongside;
    alongside.Open(other, sizeof other);
    EXPECT_NE(alongside.GetData(), reused.GetData());
    EXPECT_EQ(std::vector<uint8_t>(reused.GetData(), reused.GetData() + 1000), small);
    EXPECT_EQ(std::vector<uint8_t>(alongside.GetData(), alongside.GetData() + 3), std::vector<uint8_t>({5, 6, 7}));
}

TEST(MeshEngineTest, PaddedStrings)
{
    for (const std::string text : {"", "a", "ab", "abc", "abcd", "abcde"}) {
        SCOPED_TRACE(text);
        std::vector<uint8_t> out;
        Nyx::MeshFileSupport::WritePaddedString(out, text);
        EXPECT_EQ(out.size(), 4 + (text.size() + 3) / 4 * 4);
        Nyx::MemoryFile file;
        file.Open(out.data(), static_cast<uint32_t>(out.size()));
        Nyx::String read;
        EXPECT_TRUE(Nyx::MeshFileSupport::ReadPaddedString(file, read));
        EXPECT_EQ(read, Nyx::String(text));
        EXPECT_EQ(file.Remaining(), 0u);
        // Cut by one byte: nothing read, nothing taken.
        if (!text.empty()) {
            file.Open(out.data(), static_cast<uint32_t>(out.size() - 1));
            Nyx::PString cut("x");
            EXPECT_FALSE(Nyx::MeshFileSupport::ReadPaddedString(file, cut));
            EXPECT_TRUE(cut.Empty());
            EXPECT_EQ(file.Tell(), 0u);
        }
    }
    std::vector<uint8_t> out;
    Nyx::MeshFileSupport::WritePaddedString(out, "longer");
    Nyx::MemoryFile file;
    file.Open(out.data(), static_cast<uint32_t>(out.size()));
    char small[4];
    EXPECT_TRUE(Nyx::MeshFileSupport::ReadPaddedString(file, small, sizeof small));
    EXPECT_STREQ(small, "lon");
}

TEST(MeshEngineTest, SizeMarks)
{
    std::vector<uint8_t> out;
    Nyx::MeshFileSupport::WriteTag(out, "INFO");
    const uint32_t mark = Nyx::MeshFileSupport::MarkSizePos(out);
    Nyx::MeshFileSupport::WriteU32(out, 100);
    Nyx::MeshFileSupport::WritePaddedString(out, "x");
    Nyx::MeshFileSupport::WriteSizeAtMark(out, mark);
    Nyx::MemoryFile file;
    file.Open(out.data(), static_cast<uint32_t>(out.size()));
    file.Seek(4);
    uint32_t size = 0;
    ASSERT_TRUE(file.Read(size));
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(size, file.Remaining());
}

TEST(MeshEngineTest, OrientedBoxFitsTurnedPointsAndFallsBackToTheAxes)
{
    // A 4 × 2 × 1 box turned 30° about z.
    Nyx::Quaternion turn{0, 0, std::sin(0.2618f), std::cos(0.2618f)};
    std::vector<Nyx::Vector3f> points;
    for (float x : {-2.0f, 2.0f})
        for (float y : {-1.0f, 1.0f})
            for (float z : {-0.5f, 0.5f})
                points.push_back(turn.Rotate({x, y, z}) + Nyx::Vector3f{5, 0, 0});
    const Nyx::OrientedBox box(points.data(), static_cast<uint32_t>(points.size()), sizeof(Nyx::Vector3f));
    for (const Nyx::Vector3f& p : points)
        EXPECT_TRUE(box.Contains(p));
    const float volume = box.GetHalfSize().x * box.GetHalfSize().y * box.GetHalfSize().z * 8;
    EXPECT_NEAR(volume, 8.0f, 0.05f);
    EXPECT_NEAR(box.GetCentre().x, 5.0f, 1e-4f);

    // A cube's covariance has one value three times: the world axes.
    std::vector<Nyx::Vector3f> cube;
    for (float x : {0.0f, 1.0f})
        for (float y : {0.0f, 1.0f})
            for (float z : {0.0f, 1.0f})
                cube.push_back({x, y, z});
    const Nyx::OrientedBox aligned(cube.data(), 8, sizeof(Nyx::Vector3f));
    EXPECT_EQ(aligned.GetAxis(0), (Nyx::Vector3f{1, 0, 0}));
    EXPECT_EQ(aligned.GetHalfSize(), (Nyx::Vector3f{0.5f, 0.5f, 0.5f}));
    const Nyx::OrientedBox none(nullptr, 0, 12);
    EXPECT_EQ(none.GetHalfSize(), Nyx::Vector3f{});
}

TEST(MeshEngineTest, QuaternionFromMatrix)
{
    const Nyx::Quaternion turns[] = {{0, 0, 0, 1}, {0.6f, 0, 0, 0.8f}, {0, 1, 0, 0}, {0.5f, 0.5f, 0.5f, 0.5f}};
    for (const Nyx::Quaternion& q : turns) {
        Nyx::Quaternion back;
        back.Set(q.ToMatrix());
        const float dot = q.x * back.x + q.y * back.y + q.z * back.z + q.w * back.w;
        EXPECT_NEAR(std::fabs(dot), 1.0f, 1e-5f);
    }
    // A stored matrix of garbage still gives a rotation.
    Nyx::Matrix3 garbage;
    for (auto& row : garbage.m)
        for (float& v : row)
            v = std::nanf("");
    Nyx::Quaternion fallback;
    fallback.Set(garbage);
    EXPECT_EQ(fallback, (Nyx::Quaternion{0, 0, 0, 1}));
}

Nyx::Material* MakeNothing(const Nyx::PString&, const Nyx::PString&) { return nullptr; }

TEST(MeshEngineTest, MaterialFindOrCreate)
{
    const uint32_t token = Nyx::MaterialManager::RegisterType("nothingmade", &MakeNothing);
    Nyx::MaterialManager manager;
    Nyx::Material* first = nullptr;
    Nyx::Material* second = nullptr;
    EXPECT_EQ(manager.FindOrCreate(Nyx::PString("a*b*c.m.onetex"), first), Nyx::MaterialManager::kFound);
    EXPECT_EQ(manager.FindOrCreate(Nyx::PString("a*b*c.m.onetex"), second), Nyx::MaterialManager::kFound);
    EXPECT_EQ(first, second);
    EXPECT_EQ(manager.GetLoadCount(), 1u);
    first->Release();
    second->Release();
    Nyx::Material* none = nullptr;
    EXPECT_EQ(manager.FindOrCreate(Nyx::PString("c.m.nothingmade"), none), Nyx::MaterialManager::kNotCreatable);
    EXPECT_EQ(manager.FindOrCreate(Nyx::PString("c.m.unheardof"), none), Nyx::MaterialManager::kUnknownType);
    EXPECT_EQ(manager.FindOrCreate(Nyx::PString("plain"), none), Nyx::MaterialManager::kUnknownType);
    EXPECT_EQ(none, nullptr);
    Nyx::MaterialManager::UnregisterType(token);

    Nyx::PString base;
    Nyx::PString type;
    Nyx::MaterialManager::SplitDecoratedMaterialName(Nyx::PString("x.m.y.m.gloss"), base, type);
    EXPECT_EQ(base, Nyx::PString("x.m.y"));
    EXPECT_EQ(type, Nyx::PString("gloss"));
    EXPECT_EQ(Nyx::Material::VerifyDecoratedName(Nyx::PString("x"), 0), Nyx::PString("x.m.notex"));
    EXPECT_EQ(Nyx::Material::VerifyDecoratedName(Nyx::PString("x"), 2), Nyx::PString("x.m.onetex"));
    EXPECT_EQ(Nyx::Material::VerifyDecoratedName(Nyx::PString("x.m.gloss"), 2), Nyx::PString("x.m.gloss"));
}

TEST(MeshEngineTest, CapabilityQuery)
{
    Nyx::RenderKernel kernel(nullptr, 1.0f);
    EXPECT_TRUE(kernel.QueryCapability(29));
    EXPECT_FALSE(kernel.QueryCapability(28));
    EXPECT_FALSE(kernel.QueryCapability(500));
    kernel.SetCapability(29, false);
    EXPECT_FALSE(kernel.QueryCapability(29));
}

}  // namespace
