#include "resources/archive/ArchiveCache.h"

#include <gtest/gtest.h>

#include <string>

#include "core/files/ContentRoot.h"
#include "nyx/files/File.h"
#include "resources/archive/SubstHandle.h"
#include "support/TempFolder.h"

namespace {

class ArchiveCacheTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ArchiveCache::PurgeUnused();
        EXPECT_EQ(ArchiveCache::GetEntryCount(), 0u);
    }

    Nyx::File::Path Root() const { return Nyx::File::Path(root_.Path()); }

    TempFolder root_;
};

TEST_F(ArchiveCacheTest, SharesOneMountedArchivePerNameUntilAPurge)
{
    root_.Write("data/readme.txt", "x");
    const Nyx::PString data("data");
    KestroResourceDatabase* first = ArchiveCache::Acquire(data, Root());
    ASSERT_NE(first, nullptr);
    // The folder plays no part once the name is cached.
    EXPECT_EQ(ArchiveCache::Acquire(data, Nyx::File::Path("/elsewhere")), first);
    EXPECT_EQ(ArchiveCache::GetUseCount(data), 2);
    EXPECT_EQ(Nyx::File::Exists(data, Nyx::File::Path("readme.txt")), 0);

    ArchiveCache::Release(first);
    ArchiveCache::Release(first);
    ArchiveCache::Release(first);  // one too many: the count stays at 0
    ArchiveCache::Release(nullptr);
    EXPECT_EQ(ArchiveCache::GetUseCount(data), 0);
    EXPECT_FALSE(Nyx::File::Subst::Lookup(data).Empty());

    ArchiveCache::PurgeUnused();
    EXPECT_EQ(ArchiveCache::GetUseCount(data), -1);
    EXPECT_TRUE(Nyx::File::Subst::Lookup(data).Empty());
}

TEST_F(ArchiveCacheTest, PurgeRemovesEveryUnusedRowEvenThoseMovedIntoPlace)
{
    KestroResourceDatabase* held = ArchiveCache::Acquire("held", Root());
    for (const char* name : {"a", "b", "c", "d"})
        ArchiveCache::Release(ArchiveCache::Acquire(Nyx::PString(name), Root()));
    ASSERT_EQ(ArchiveCache::GetEntryCount(), 5u);
    ArchiveCache::PurgeUnused();
    EXPECT_EQ(ArchiveCache::GetEntryCount(), 1u);
    EXPECT_EQ(ArchiveCache::GetUseCount("held"), 1);
    ArchiveCache::Release(held);
}

TEST_F(ArchiveCacheTest, AFullTableMakesRoomOnlyFromUnusedArchives)
{
    std::vector<KestroResourceDatabase*> held;
    for (uint32_t i = 0; i < ArchiveCache::kMaxEntries; ++i)
        held.push_back(ArchiveCache::Acquire(Nyx::PString("arc" + std::to_string(i)), Root()));
    EXPECT_EQ(ArchiveCache::Acquire("one-more", Root()), nullptr);
    EXPECT_EQ(ArchiveCache::GetEntryCount(), ArchiveCache::kMaxEntries);

    ArchiveCache::Release(held[7]);
    KestroResourceDatabase* added = ArchiveCache::Acquire("one-more", Root());
    EXPECT_NE(added, nullptr);
    EXPECT_EQ(ArchiveCache::GetUseCount("arc7"), -1);
    ArchiveCache::Release(added);
    for (KestroResourceDatabase* database : held)
        ArchiveCache::Release(database);
}

TEST_F(ArchiveCacheTest, SubstHandlesOpenArchivesInTheContentRoot)
{
    const Nyx::File::Path before = GetContentRootPath();
    SetContentRootPath(Root());
    SubstHandle none = OpenSubst("");
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.database, nullptr);

    SubstHandle local = OpenSubst("local");
    EXPECT_TRUE(local.ok);
    ASSERT_NE(local.database, nullptr);
    EXPECT_EQ(Nyx::File::Subst::Lookup("local").Str(), root_ / "local/");
    local.Close();
    EXPECT_FALSE(local.ok);
    EXPECT_EQ(local.database, nullptr);
    EXPECT_EQ(ArchiveCache::GetUseCount("local"), 0);
    SetContentRootPath(before);
}

}  // namespace

namespace {

TEST_F(ArchiveCacheTest, AnArchiveFileIsMarkedAndServesNothingWhileAFolderServesItsFiles)
{
    struct Case {
        const char* name;
        bool archiveFile;
    };
    for (const Case& c : {Case{"data", true}, Case{"local", false}}) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name;
        root_.Write(name + "/inside.txt", "x");
        if (c.archiveFile)
            root_.Write(name + ".ja", "an archive this build does not read");
        KestroResourceDatabase* database = ArchiveCache::Acquire(Nyx::PString(name), Root());
        ASSERT_NE(database, nullptr);
        EXPECT_EQ(database->IsArchive(), c.archiveFile);
        EXPECT_EQ(database->GetName(), Nyx::PString(name));
        EXPECT_EQ(Nyx::File::Subst::Lookup(Nyx::PString(name)).Str(),
                  c.archiveFile ? root_ / (name + ".ja") : root_ / (name + "/"));
        EXPECT_EQ(Nyx::File::Exists(Nyx::PString(name), Nyx::File::Path("inside.txt")) == 0, !c.archiveFile);
        EXPECT_EQ(database->Get(Nyx::PString("inside.txt"), Nyx::ResourceDatabase::kGetCreate), nullptr);
        ArchiveCache::Release(database);
    }
}

}  // namespace
