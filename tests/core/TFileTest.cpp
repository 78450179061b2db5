#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/StreamTestSupport.h"
#include "core/streams/TStream.h"

using namespace streamtest;

namespace {

class TFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/kestro-tfile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string PathOf(const char* name) const { return dir_ + "/" + name; }
    std::string Put(const char* name, const Bytes& bytes) const
    {
        std::string p = PathOf(name);
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return p;
    }
    static Bytes Get(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string dir_;
};

TEST_F(TFileTest, ShortFileReadRecordsCode1BeforeTheRecordCode)
{
    // The read-ahead asks for 4096 bytes and gets 3: the file's code 1 comes
    // first, so the cut-short record cannot replace it with 4.
    TFile s;
    s.Open(Put("three", {1, 2, 3}).c_str(), Nyx::File::kModeRead);
    ASSERT_TRUE(s.IsOpen());
    int32_t v = 0;
    s.ReadInt32(v, 42);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(s.GetError(), 1u);
    s.ReadInt32(v, 43);
    EXPECT_EQ(s.GetError(), 1u);
    EXPECT_TRUE(s.IsEOF());
}

TEST_F(TFileTest, WriteThenReadBack)
{
    std::string path = PathOf("records");
    {
        TFile s;
        s.Open(path.c_str(), Nyx::File::kModeWriteShared);
        ASSERT_TRUE(s.IsOpen());
        uint32_t at = s.BeginBlock();
        s.WriteInt32(-5);
        s.WritePString(Nyx::PString("abc"));
        s.WriteFloat(0.5f);
        s.EndBlock(at);
        s.WriteUInt64(0x1122334455667788ull);
        EXPECT_EQ(s.Tell(), 28u);
        EXPECT_EQ(s.GetError(), 0u);
    }
    Bytes b = Get(path);
    ASSERT_EQ(b.size(), 28u);
    EXPECT_EQ((Bytes{b.begin(), b.begin() + 4}), (Bytes{16, 0, 0, 0}));

    TFile s;
    s.Open(path.c_str(), Nyx::File::kModeRead);
    EXPECT_EQ(s.GetSize(), 28u);
    uint32_t len;
    int32_t i;
    Nyx::PString p;
    float f;
    uint64_t u;
    s.ReadInt32(len, 0);
    s.ReadInt32(i, 0);
    s.ReadPString(p);
    s.ReadFloat(f, 0);
    s.ReadUInt64(u, 0);
    EXPECT_EQ(len, 16u);
    EXPECT_EQ(i, -5);
    EXPECT_EQ(p.Str(), "abc");
    EXPECT_EQ(f, 0.5f);
    EXPECT_EQ(u, 0x1122334455667788ull);
    EXPECT_EQ(s.Tell(), 28u);
    // The read-ahead met the end of the file.
    EXPECT_EQ(s.GetError(), 1u);
}

TEST_F(TFileTest, WriteAfterPartialReadLandsAtTheLogicalPosition)
{
    std::string path = Put("rw", Pattern(12));
    TFile s;
    s.Open(path.c_str(), Nyx::File::kModeRead | 0x0F);  // existing file, read and write
    ASSERT_TRUE(s.IsOpen());
    int32_t v;
    s.ReadInt32(v, 0);
    s.WriteInt32(-1);
    EXPECT_EQ(s.Tell(), 8u);
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(8));
    s.ReleaseFile();
    EXPECT_EQ(Get(path), (Bytes{0, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF, 8, 9, 10, 11}));
}

TEST_F(TFileTest, NoFile)
{
    TFile s;
    EXPECT_FALSE(s.IsOpen());
    EXPECT_TRUE(s.IsEOF());
    EXPECT_EQ(s.Tell(), 0u);
    EXPECT_EQ(s.WriteBytes("ab", 2), 0u);
    EXPECT_EQ(s.GetError(), 1u);

    TFile missing;
    missing.Open(PathOf("absent").c_str(), Nyx::File::kModeRead);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_NE(missing.GetFile(), nullptr);
    int32_t v;
    missing.ReadInt32(v, 3);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(missing.GetError(), 1u);
    // Opening again releases the failed file and clears its code.
    missing.Open(Put("present", {7, 0, 0, 0}).c_str(), Nyx::File::kModeRead);
    EXPECT_EQ(missing.GetError(), 0u);
    missing.ReadInt32(v, 3);
    EXPECT_EQ(v, 7);
}

TEST_F(TFileTest, OpenInTakesAFolderAndAName)
{
    Put("inside", {5, 0, 0, 0});
    TFile s;
    s.OpenIn(Nyx::PString(dir_), "inside", Nyx::File::kModeRead);
    ASSERT_TRUE(s.IsOpen());
    int32_t v;
    s.ReadInt32(v, 0);
    EXPECT_EQ(v, 5);
}

TEST_F(TFileTest, ResetReopensTheSameFileForWriting)
{
    std::string path = Put("reset", Pattern(8));
    TFile s;
    s.Open(path.c_str(), Nyx::File::kModeRead);
    int32_t v;
    uint64_t u;
    s.ReadInt32(v, 0);
    s.ReadUInt64(u, 0);  // past the end
    EXPECT_NE(s.GetError(), 0u);
    uint32_t flags = s.GetFile()->GetFlags();
    s.Reset();
    EXPECT_EQ(s.GetError(), 0u);
    EXPECT_EQ(s.GetFile()->GetMode(), 0x101u);
    EXPECT_EQ(s.GetFile()->GetFlags(), flags);
    EXPECT_EQ(s.Tell(), 0u);
    s.WriteUInt8(9);
    s.ReleaseFile();
    EXPECT_EQ(Get(path), Bytes{9});
}

TEST_F(TFileTest, ReleasingABorrowedFileLeavesItAtTheLogicalPosition)
{
    std::string path = Put("borrowed", Pattern(100));
    Nyx::File file;
    ASSERT_TRUE(file.Open(path.c_str(), Nyx::File::kModeRead));
    {
        TFile s(&file, false);
        int32_t v;
        s.ReadInt32(v, 0);  // the read-ahead pulled the whole file
        EXPECT_EQ(file.Tell(), 100);
        s.SetError(4);
        s.ReleaseFile();
        EXPECT_EQ(s.GetError(), 0u);
        EXPECT_EQ(s.GetFile(), nullptr);
    }
    EXPECT_EQ(file.Tell(), 4);
    EXPECT_TRUE(file.IsOpen());

    // Attach takes a file without letting go of the held one.
    TFile s;
    s.EnsureFile();
    Nyx::File* own = s.GetFile();
    ASSERT_NE(own, nullptr);
    s.EnsureFile();
    EXPECT_EQ(s.GetFile(), own);
    s.Attach(&file, false);
    int32_t v;
    s.ReadInt32(v, 0);
    EXPECT_EQ(uint32_t(v), PatternU32(4));
    s.ReleaseFile();
    delete own;
    EXPECT_EQ(file.Tell(), 8);
}

}  // namespace
