// Registering library files and loading them by id and by name.
#include <gtest/gtest.h>

#include <filesystem>

#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/RuntimeTestSupport.h"

using GSRuntime::GSLibrary;

namespace {

// A library of one class `cls` (method "$void@cls::Run()"), which refers
// to the class `uses` of the library `other` when one is given.
std::vector<uint8_t> Library(const std::string& cls, LibraryId id, const std::string& uses = "",
                             LibraryId other = {})
{
    GSLibraryBuilder b(cls + ".gs", id.low, id.high);
    b.AddClass(cls, {"$void@" + cls + "::Run()"});
    if (!uses.empty())
        b.AddClassRef(b.AddDependency(other.low, other.high), uses);
    return b.Build();
}

const LibraryId kA{0xA1, 0xA2}, kB{0xB1, 0xB2}, kC{0xC1, 0xC2};

}  // namespace

TEST(RegistryTest, LoadsOnceAndAnswersByNameInAnyCase)
{
    TestMachine t;
    TempFolder dir;
    LogCapture log;
    AddImage(t.machine, dir, "Train.gsl", Library("Train", kA));
    GSLibrary* lib = t.machine.GetLibrary("TRAIN.GSL");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->name, "Train.gs");
    EXPECT_EQ(lib->idLow, kA.low);
    ASSERT_NE(lib->FindClass("Train"), nullptr);
    EXPECT_EQ(t.machine.GetLibrary("train.gsl"), lib);
    EXPECT_EQ(t.machine.LoadLibrary(kA), lib);
    EXPECT_EQ(t.machine.LoadedLibraries().Count(), 1u);
    EXPECT_EQ(t.machine.GetLibrary("other.gsl"), nullptr);
    // The file is found whatever the case of the name it is added under.
    EXPECT_TRUE(t.machine.AddLibrary(Nyx::PString(dir.Path()), "", "TRAIN.gsl"));
    EXPECT_EQ(t.machine.LoadLibrary(kB), nullptr);
    EXPECT_TRUE(log.Take().empty());
}

TEST(RegistryTest, OneIdUnderTwoNamesLoadsTheFirstPath)
{
    TestMachine t;
    TempFolder dir;
    AddImage(t.machine, dir, "first.gsl", Library("First", kA));
    // Same id, other bytes: never read, since the first entry is the one loaded.
    std::vector<uint8_t> other = Library("Second", kA);
    other.resize(40);
    AddImage(t.machine, dir, "second.gsl", other);
    EXPECT_EQ(t.machine.IdTable().Count(), 1u);
    EXPECT_EQ(t.machine.NameTable().Count(), 2u);
    GSLibrary* lib = t.machine.GetLibrary("second.gsl");
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(lib->FindClass("First"), nullptr);
    EXPECT_EQ(t.machine.GetLibrary("first.gsl"), lib);
}

TEST(RegistryTest, FolderScanKeepsTheFirstOfEachIdAndName)
{
    TestMachine t;
    TempFolder dir;
    dir.Write("libs/a.gsl", Bytes(Library("A", kA)));
    dir.Write("libs/b.gsl", Bytes(Library("B", kA)));  // a's id again
    dir.Write("libs/C.gsl", Bytes(Library("C", kB)));
    dir.Write("libs/c.gsl", Bytes(Library("Lower", kC)));  // C's name in lower case
    dir.Write("libs/d.gsl", "short");
    dir.Write("libs/notes.txt", Bytes(Library("N", {9, 9})));
    LogCapture log;
    ASSERT_TRUE(t.machine.AddLibraryFolder(Nyx::PString(dir / "libs")));
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"Could not add game script library b.gsl to GSMachine"}));
    EXPECT_EQ(t.machine.IdTable().Count(), 3u);
    EXPECT_EQ(t.machine.GetLibrary("b.gsl"), nullptr);
    ASSERT_NE(t.machine.GetLibrary("a.gsl"), nullptr);
    GSLibrary* c = t.machine.GetLibrary("c.gsl");
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->FindClass("C"), nullptr);
    EXPECT_NE(t.machine.LoadLibrary(kC), nullptr);  // still reachable by id

    EXPECT_FALSE(t.machine.AddLibraryFolder(Nyx::PString(dir / "missing")));
    dir.MakeFolder("empty");
    EXPECT_TRUE(t.machine.AddLibraryFolder(Nyx::PString(dir / "empty")));
    EXPECT_TRUE(log.Take().empty());
}

TEST(RegistryTest, FilesThatAreNotLibrariesAreRefusedQuietly)
{
    std::vector<uint8_t> badMagic = Library("X", kA);
    badMagic[4] ^= 1;
    std::vector<uint8_t> header = Library("X", kA);
    header.resize(20);
    struct Case {
        const char* what;
        std::string bytes;
        bool added;
    };
    const Case cases[] = {
        {"empty", "", false},
        {"19 bytes", Bytes(header).substr(0, 19), false},
        {"another magic", Bytes(badMagic), false},
        {"a header alone", Bytes(header), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestMachine t;
        TempFolder dir;
        LogCapture log;
        dir.Write("x.gsl", c.bytes);
        EXPECT_EQ(t.machine.AddLibrary(Nyx::PString(dir.Path()), "", "x.gsl"), c.added);
        EXPECT_TRUE(log.Take().empty());
    }
    TestMachine t;
    EXPECT_FALSE(t.machine.AddLibrary(Nyx::PString(), "/nowhere", "x.gsl"));
}

TEST(RegistryTest, NameKeysOfAPageOrMoreAreRefused)
{
    TestMachine t;
    TempFolder dir;
    LogCapture log;
    const std::string fits(251, 'n'), tooLong(252, 'n');  // joined with "sub/": 255 and 256 bytes
    dir.Write("sub/" + fits, Bytes(Library("F", kA)));
    dir.Write("sub/" + tooLong, Bytes(Library("T", kB)));
    EXPECT_TRUE(t.machine.AddLibrary(Nyx::PString(dir.Path()), "sub", fits));
    EXPECT_FALSE(t.machine.AddLibrary(Nyx::PString(dir.Path()), "sub", tooLong));
    EXPECT_NE(t.machine.GetLibrary("SUB/" + fits), nullptr);
    EXPECT_EQ(t.machine.IdTable().Count(), 1u);
    EXPECT_TRUE(log.Take().empty());
}

TEST(RegistryTest, AFailedLoadIsTriedAndLoggedAgain)
{
    TestMachine t;
    TempFolder dir;
    AddImage(t.machine, dir, "a.gsl", Library("A", kA, "Missing", kA));
    LogCapture log;
    const std::vector<std::string> lines = {"GS Link error: Unable to find class 'Missing'",
                                            "GSMachine: Error loading library a.gsl"};
    EXPECT_EQ(t.machine.GetLibrary("a.gsl"), nullptr);
    EXPECT_EQ(log.Take(), lines);
    EXPECT_EQ(t.machine.GetLibrary("a.gsl"), nullptr);
    EXPECT_EQ(log.Take(), lines);
    EXPECT_EQ(t.machine.LoadedLibraries().Count(), 0u);
}

TEST(RegistryTest, CyclesResolveToTheLibraryBeingLoaded)
{
    TestMachine t;
    TempFolder dir;
    AddImage(t.machine, dir, "a.gsl", Library("A", kA, "B", kB));
    AddImage(t.machine, dir, "b.gsl", Library("B", kB, "A", kA));
    GSLibrary* a = t.machine.GetLibrary("a.gsl");
    ASSERT_NE(a, nullptr);
    GSLibrary* b = t.machine.LoadLibrary(kB);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->dependencies[1].library, b);
    EXPECT_EQ(b->dependencies[1].library, a);
    EXPECT_EQ(b->dependencies[0].library, b);  // itself
    EXPECT_EQ(a->classRefs[1].cls, b->FindClass("B"));
    EXPECT_EQ(b->classRefs[1].cls, a->FindClass("A"));
    EXPECT_EQ(t.machine.LoadedLibraries().Count(), 2u);
}

// A dependency first loaded inside a load that fails may point into the
// failed library: it goes with it, and a later request loads it afresh.
TEST(RegistryTest, AFailedLoadTakesTheLibrariesFirstLoadedInsideIt)
{
    struct Case {
        const char* what;
        bool bUsesA;
    };
    for (Case c : {Case{"cycle", true}, Case{"plain dependency", false}}) {
        SCOPED_TRACE(c.what);
        TestMachine t;
        TempFolder dir;
        GSLibraryBuilder a("a.gs", kA.low, kA.high);
        a.AddClass("A");
        a.AddClassRef(a.AddDependency(kB.low, kB.high), "B");
        a.AddClassRef(0, "Missing");
        AddImage(t.machine, dir, "a.gsl", a.Build());
        AddImage(t.machine, dir, "b.gsl", c.bUsesA ? Library("B", kB, "A", kA) : Library("B", kB));
        LogCapture log;
        EXPECT_EQ(t.machine.GetLibrary("a.gsl"), nullptr);
        EXPECT_EQ(t.machine.LoadedLibraries().Count(), 0u);
        log.Take();
        if (c.bUsesA) {
            // B needs A, which fails again: both stay unloaded.
            EXPECT_EQ(t.machine.GetLibrary("b.gsl"), nullptr);
            EXPECT_EQ(log.Take(), (std::vector<std::string>{"GS Link error: Unable to find class 'Missing'",
                                                             "GSMachine: Error loading library a.gsl",
                                                             "GSMachine: Error loading library b.gsl"}));
        } else {
            GSLibrary* b = t.machine.GetLibrary("b.gsl");
            ASSERT_NE(b, nullptr);
            EXPECT_NE(b->FindClass("B"), nullptr);
        }
    }
}

TEST(RegistryTest, AMissingDependencyFailsTheLoad)
{
    TestMachine t;
    TempFolder dir;
    AddImage(t.machine, dir, "a.gsl", Library("A", kA, "Z", kC));
    LogCapture log;
    int result = 1;
    EXPECT_EQ(t.machine.LoadLibrary(kA, &result), nullptr);
    EXPECT_EQ(result, GSMachine::kDependencyFailed);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"GSMachine: Error loading library a.gsl"}));
}

TEST(RegistryTest, FilesTooLargeToReadInOnePieceAreRefused)
{
    TestMachine t;
    TempFolder dir;
    AddImage(t.machine, dir, "big.gsl", Library("Big", kA));
    // Sparse: the size is there, the disk space is not.
    std::filesystem::resize_file(dir / "big.gsl", GSMachine::kMaxLibrarySize + 1);
    LogCapture log;
    EXPECT_EQ(t.machine.GetLibrary("big.gsl"), nullptr);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"GSMachine: Error loading library big.gsl"}));
    std::filesystem::resize_file(dir / "big.gsl", GSMachine::kMaxLibrarySize);
    // At the limit it is read; what follows the sections is never looked at.
    EXPECT_NE(t.machine.GetLibrary("big.gsl"), nullptr);
    EXPECT_TRUE(log.Take().empty());
}

TEST(RegistryTest, TheProcessMachineIsMadeOnce)
{
    GSMachine& machine = GSMachine::Get();
    EXPECT_EQ(&GSMachine::Get(), &machine);
    EXPECT_EQ(machine.IdTable().Count(), 0u);
}

TEST(LibraryTablesTest, BucketsAndHashes)
{
    EXPECT_EQ(LibraryIdTable::BucketOf({251 * 3 + 7, 5}), 7u);
    EXPECT_EQ(LibraryNameTable::HashOf(""), 0u);
    EXPECT_EQ(LibraryNameTable::HashOf("ab"), uint32_t('a') * 3 + 'b');
    // Bytes above 127 count as negative.
    EXPECT_EQ(LibraryNameTable::HashOf("\xE9"), uint32_t(-23));
    EXPECT_EQ(LibraryNameTable::HashOf("a\xE9"), uint32_t('a') * 3 - 23);
}
