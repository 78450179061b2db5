#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The bytes a script of writes leaves in a memory stream, the yardstick of
// a file stream running the same script.
Bytes InMemory(const std::function<void(TStream&)>& script)
{
    TBuffer s;
    script(s);
    return Contents(s);
}

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

TEST_F(TFileTest, HeldWritesLeaveTheBytesAMemoryStreamHolds)
{
    const Bytes big = Pattern(3 * TFile::kWriteBufferSize / 2);
    const Bytes kilo = Pattern(1024);
    const struct {
        const char* name;
        std::function<void(TStream&)> script;
    } cases[] = {
        {"nested blocks patched while held",
         [](TStream& s) {
             uint32_t outer = s.BeginBlock();
             uint32_t inner = s.BeginBlock();
             s.WritePString(Nyx::PString("abc"));
             s.EndBlock(inner);
             s.WriteUInt8(7);
             s.EndBlock(outer);
         }},
        {"a block longer than the buffer, patched by a seek",
         [&](TStream& s) {
             s.WriteInt32(1);
             uint32_t at = s.BeginBlock();
             for (int i = 0; i < 100; ++i)
                 s.WriteBytes(kilo.data(), uint32_t(kilo.size()));
             s.EndBlock(at);
             s.WriteInt32(2);
         }},
        {"a write larger than the buffer between small ones",
         [&](TStream& s) {
             uint32_t at = s.BeginBlock();
             s.WriteUInt16(3);
             s.WriteBytes(big.data(), uint32_t(big.size()));
             s.WriteUInt16(4);
             s.EndBlock(at);
         }},
        {"a step back that writes past the end",
         [&](TStream& s) {
             s.WriteBytes(kilo.data(), 10);
             s.SetPosition(6);
             s.WriteUInt64(0x1122334455667788ull);
             s.WriteInt32At(2, -1);
         }},
        {"a step back beyond the bytes flushed",
         [&](TStream& s) {
             s.WriteBytes(big.data(), uint32_t(big.size()));
             s.SetPosition(TFile::kWriteBufferSize - 2);
             s.WriteInt32(-2);
             s.SetPosition(uint32_t(big.size()));
             s.WriteInt32(5);
         }},
        {"the size asked for while writing",
         [](TStream& s) {
             s.WriteInt32(9);
             s.WriteInt32(s.GetSize());
             s.WriteInt32(s.Tell());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes expected = InMemory(c.script);
        for (uint32_t mode : {uint32_t(Nyx::File::kModeWrite), uint32_t(Nyx::File::kModeReadWrite)}) {
            const std::string path = PathOf("held");
            TFile s;
            s.Open(path.c_str(), mode);
            ASSERT_TRUE(s.IsOpen());
            c.script(s);
            EXPECT_EQ(s.Tell(), uint32_t(expected.size()));
            EXPECT_TRUE(s.Flush());
            EXPECT_EQ(s.GetError(), 0u);
            EXPECT_EQ(Get(path), expected);
        }
    }
}

TEST_F(TFileTest, SmallRecordsReachTheFileAWholeBufferAtATime)
{
    // 20,000 blocks of one field each, 160,000 bytes: two full buffers have
    // gone out before the flush, not a transfer per field.
    const std::string path = PathOf("records");
    TFile s;
    s.Open(path.c_str(), Nyx::File::kModeWrite);
    for (int32_t i = 0; i < 20000; ++i) {
        uint32_t at = s.BeginBlock();
        s.WriteInt32(i);
        s.EndBlock(at);
    }
    EXPECT_EQ(std::filesystem::file_size(path), 2u * TFile::kWriteBufferSize);
    EXPECT_TRUE(s.Flush());
    EXPECT_EQ(std::filesystem::file_size(path), 160000u);
    EXPECT_EQ(s.GetError(), 0u);
}

TEST_F(TFileTest, ReadsAndTheReleasedFileSeeTheHeldWrites)
{
    // Read and write in one stream: reads see what was just written.
    TFile s;
    s.Open(PathOf("both").c_str(), Nyx::File::kModeReadWrite);
    s.WriteInt32(11);
    s.WriteInt32(12);
    s.SetPosition(4);
    int32_t v = 0;
    s.ReadInt32(v, 0);
    EXPECT_EQ(v, 12);
    s.Rewind();
    s.WriteInt32(13);
    s.ReadInt32(v, 0);
    EXPECT_EQ(v, 12);
    s.ReleaseFile();
    EXPECT_EQ(Get(PathOf("both")), (Bytes{13, 0, 0, 0, 12, 0, 0, 0}));

    // A borrowed file is left holding the bytes, at the stream's position.
    Nyx::File file;
    ASSERT_TRUE(file.Open(PathOf("borrowed").c_str(), Nyx::File::kModeWrite));
    {
        TFile b(&file, false);
        b.WriteInt32(1);
        b.WriteInt32(2);
        b.WriteInt32At(0, 3);
    }
    EXPECT_EQ(file.Tell(), 8);
    file.Close();
    EXPECT_EQ(Get(PathOf("borrowed")), (Bytes{3, 0, 0, 0, 2, 0, 0, 0}));
}

TEST_F(TFileTest, AWriteThatFailsWhenTheHeldBytesGoOutIsTheStreamsError)
{
    // Every write to this device fails as on a full disk.
    const Bytes big = Pattern(TFile::kWriteBufferSize);
    const struct {
        const char* name;
        std::function<void(TFile&)> write;
    } cases[] = {
        {"flushed", [](TFile& s) { s.WriteInt32(1); }},
        {"pushed out by more", [&](TFile& s) {
             s.WriteInt32(1);
             s.WriteBytes(big.data(), uint32_t(big.size()) - 2);
         }},
        {"too large to hold", [&](TFile& s) { s.WriteBytes(big.data(), uint32_t(big.size())); }},
        {"pushed out by a seek", [](TFile& s) {
             s.WriteInt32(1);
             s.SetPosition(1000000);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFile s;
        s.Open("/dev/full", Nyx::File::kModeWrite);
        ASSERT_TRUE(s.IsOpen());
        c.write(s);
        s.Flush();
        EXPECT_EQ(s.GetError(), 1u);
    }
    TFile s;
    s.Open("/dev/full", Nyx::File::kModeWrite);
    s.WriteInt32(1);
    EXPECT_EQ(s.GetError(), 0u);
    EXPECT_FALSE(s.Flush());

    // A file open only for reading refuses the write at once.
    TFile readOnly;
    readOnly.Open(Put("read-only", {1, 2, 3, 4}).c_str(), Nyx::File::kModeRead);
    EXPECT_EQ(readOnly.WriteBytes("ab", 2), 0u);
    EXPECT_EQ(readOnly.GetError(), 1u);
    EXPECT_EQ(Get(PathOf("read-only")), (Bytes{1, 2, 3, 4}));
}

}  // namespace
