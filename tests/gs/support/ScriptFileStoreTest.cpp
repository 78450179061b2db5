#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <string>

#include "core/streams/LittleEndian.h"
#include "gs/support/store/ScriptFileStore.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

const std::string kScript = "include \"gs.gs\";\n\nclass Train isclass GameObject\n{\n  void Init(void) { }\n};\n";

std::string Header(uint32_t format, uint32_t length)
{
    std::string h(16, '\0');
    StoreLE32(h.data(), format);
    StoreLE32(h.data() + 8, length);
    return h;
}

// The scrambled packed form of a size word alone followed by `body`.
std::string Scrambled(uint32_t plainSize, const std::string& body)
{
    std::string packed(4, '\0');
    StoreLE32(packed.data(), plainSize);
    packed += body;
    for (size_t i = 0; i < packed.size(); ++i)
        packed[i] = char(packed[i] ^ ScriptFileStore::kKey[i % 32]);
    return packed;
}

bool Open(ScriptFileStore& store, const TempFolder& dir, const char* name)
{
    return store.Open(Nyx::PString(), Nyx::File::Path(dir / name));
}

bool Save(ScriptFileStore& store, const TempFolder& dir, const char* name)
{
    return store.Save(Nyx::PString(), Nyx::File::Path(dir / name));
}

struct PrefixReset {
    ~PrefixReset() { ScriptFileStore::SetPendingPrefix(""); }
};

}  // namespace

TEST(ScriptFileStoreTest, TheKeyNeverChanges)
{
    const uint8_t pinned[32] = {0x5B, 0xC2, 0x17, 0x8E, 0x3D, 0xA9, 0x64, 0xF0, 0x29, 0x7C, 0xD5,
                                0x0B, 0x96, 0x43, 0xEA, 0x1F, 0xB8, 0x52, 0x0D, 0x7A, 0xE1, 0x36,
                                0x9F, 0xC4, 0x68, 0x21, 0xFB, 0x85, 0x4E, 0x13, 0xA7, 0xD0};
    EXPECT_EQ(std::memcmp(ScriptFileStore::kKey, pinned, 32), 0);
}

TEST(ScriptFileStoreTest, PlainToScrambledAndBack)
{
    PrefixReset reset;
    for (const char* prefix : {"", "// prologue\n"}) {
        SCOPED_TRACE(prefix);
        TempFolder dir;
        dir.Write("train.gs", kScript);
        ScriptFileStore plain;
        ASSERT_TRUE(Open(plain, dir, "train.gs"));
        ASSERT_TRUE(Save(plain, dir, "train.gse"));
        EXPECT_TRUE(plain.IsPacked());
        const std::string file = dir.ReadAll("train.gse");
        ASSERT_GE(file.size(), 20u);
        EXPECT_EQ(LoadLE32(file.data()), 1u);  // a fresh store's format word
        EXPECT_EQ(LoadLE32(file.data() + 4), 0u);
        EXPECT_EQ(LoadLE32(file.data() + 8), file.size() - 16);
        EXPECT_EQ(LoadLE32(file.data() + 12), 0u);

        ScriptFileStore::SetPendingPrefix(prefix);
        ScriptFileStore scrambled;
        ASSERT_TRUE(Open(scrambled, dir, "train.gse"));
        EXPECT_TRUE(scrambled.IsPacked());
        EXPECT_EQ(ScriptFileStore::PendingPrefix(), prefix);  // not used until the unpack
        EXPECT_EQ(std::string(scrambled.GetText(), scrambled.GetLength()), prefix + kScript);
        EXPECT_EQ(scrambled.GetPrefixLength(), std::strlen(prefix));
        EXPECT_EQ(ScriptFileStore::PendingPrefix(), "");

        // Back to plain, which now holds the prefix as text.
        ASSERT_TRUE(Save(scrambled, dir, "again.gs"));
        EXPECT_EQ(dir.ReadAll("again.gs"), prefix + kScript);
    }
}

TEST(ScriptFileStoreTest, ThePendingPrefixServesOneLoad)
{
    PrefixReset reset;
    TempFolder dir;
    dir.Write("a.gs", "x");
    ScriptFileStore::SetPendingPrefix("P;");
    ScriptFileStore first, second;
    ASSERT_TRUE(Open(first, dir, "a.gs"));
    ASSERT_TRUE(Open(second, dir, "a.gs"));
    EXPECT_EQ(std::string(first.GetText(), first.GetLength()), "P;x");
    EXPECT_EQ(first.GetPrefixLength(), 2u);
    EXPECT_EQ(std::string(second.GetText(), second.GetLength()), "x");
    EXPECT_EQ(second.GetPrefixLength(), 0u);
}

TEST(ScriptFileStoreTest, RefusedScrambledFiles)
{
    const std::string packedText = [] {
        TempFolder dir;
        dir.Write("t.gs", kScript);
        ScriptFileStore s;
        EXPECT_TRUE(Open(s, dir, "t.gs") && Save(s, dir, "t.gse"));
        return dir.ReadAll("t.gse").substr(16);
    }();
    enum Outcome { kRefused, kEmptied, kKept };
    struct Case {
        const char* what;
        std::string file;
        Outcome outcome;
    };
    const Case cases[] = {
        {"length 0", Header(1, 0), kRefused},
        {"length above the limit", Header(1, 0x2000001) + "x", kRefused},
        {"short header", Header(1, 4).substr(0, 12), kRefused},
        {"truncated data", Header(1, uint32_t(packedText.size())) + packedText.substr(0, packedText.size() - 1),
         kRefused},
        {"plain size above the limit", Header(1, 5) + Scrambled(0x4000001, "\x01"), kEmptied},
        {"plain size 0", Header(7, 5) + Scrambled(0, "\x01"), kKept},
        {"damaged stream", Header(1, 8) + Scrambled(10, "\xEE\xEE\xEE\xEE"), kEmptied},
        {"size word cut", Header(1, 2) + "ab", kEmptied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        dir.Write("bad.gse", c.file);
        ScriptFileStore store;
        ASSERT_EQ(Open(store, dir, "bad.gse"), c.outcome != kRefused);
        if (c.outcome == kRefused)
            continue;
        // Refused at the unpack, which empties the store, or, with nothing
        // to unpack, keeps it as loaded.
        EXPECT_EQ(store.GetText(), nullptr);
        EXPECT_EQ(store.GetLength(), 0u);
        EXPECT_EQ(store.IsPacked(), c.outcome == kKept);
        if (c.outcome == kEmptied) {
            EXPECT_EQ(store.GetFormatWord(), 0u);
            continue;
        }
        EXPECT_EQ(store.GetText(), nullptr);
        EXPECT_EQ(store.GetFormatWord(), 7u);
        ASSERT_TRUE(Save(store, dir, "again.gse"));
        EXPECT_EQ(dir.ReadAll("again.gse"), c.file);
    }
}

TEST(ScriptFileStoreTest, OnlyTheTwoExtensionsOpenAndSave)
{
    TempFolder dir;
    dir.Write("notes.txt", kScript);
    dir.Write("a.gs", kScript);
    ScriptFileStore store;
    EXPECT_FALSE(Open(store, dir, "notes.txt"));
    EXPECT_FALSE(Open(store, dir, "missing.gs"));
    EXPECT_FALSE(Open(store, dir, "missing.gse"));
    ASSERT_TRUE(Open(store, dir, "a.gs"));
    EXPECT_FALSE(Save(store, dir, "a.txt"));
    EXPECT_FALSE(dir.Has("a.txt"));
    EXPECT_TRUE(Save(store, dir, "A.GSE"));
}

TEST(ScriptFileStoreTest, ContainerNamesTheFolder)
{
    TempFolder dir;
    dir.Write("scripts/a.gs", kScript);
    ScriptFileStore store;
    ASSERT_TRUE(store.Open(Nyx::PString(dir / "scripts"), Nyx::File::Path("a.gs")));
    ASSERT_TRUE(store.Save(Nyx::PString(dir / "scripts"), Nyx::File::Path("a.gse")));
    EXPECT_TRUE(dir.Has("scripts/a.gse"));
}

TEST(ScriptFileStoreTest, AnEmptyTextHasNoScrambledForm)
{
    TempFolder dir;
    dir.Write("empty.gs", "");
    dir.Write("empty.gse", "old");
    ScriptFileStore store;
    ASSERT_TRUE(Open(store, dir, "empty.gs"));
    EXPECT_EQ(store.GetLength(), 0u);
    EXPECT_FALSE(Save(store, dir, "empty.gse"));
    EXPECT_EQ(dir.ReadAll("empty.gse"), "old");
    EXPECT_TRUE(Save(store, dir, "copy.gs"));
    EXPECT_EQ(dir.ReadAll("copy.gs"), "");
}

TEST(ScriptFileStoreTest, AFailedSaveKeepsTheOldFile)
{
    TempFolder dir;
    const std::string big(200000, 'q');
    dir.Write("big.gs", big);
    dir.Write("big.gse", "the old scrambled file");
    // Writes past 64 bytes fail in the child (the file-size limit), after
    // the target could have been removed.
    int status = childprocess::RunInChild(dir.Path(), [&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ScriptFileStore store;
        if (!Open(store, dir, "big.gs"))
            ::_exit(3);
        ::_exit(Save(store, dir, "big.gse") || Save(store, dir, "big2.gs") ? 4 : 0);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(dir.ReadAll("big.gse"), "the old scrambled file");
    EXPECT_FALSE(dir.Has("big2.gs"));
}
