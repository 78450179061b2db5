// Tree syncs of the stand-in's asset folders: every file and folder is
// handed to the disk, in batches when there are many, from several threads
// at once, and a tree that cannot be walked, opened or synced is reported.
#include "kaddaemon/AssetFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TempFolder.h"

namespace {

// `files` files spread over a few nested folders.
void Lay(const TempFolder& dir, int files)
{
    for (int i = 0; i < files; ++i)
        dir.Write("tree/" + std::to_string(i % 3) + "/sub/f" + std::to_string(i) + ".txt", std::string(i % 50, 'x'));
    std::filesystem::create_directories(dir / "tree");
}

TEST(SyncTree, EveryTreeSizeAcrossBatchBoundsSyncsWhole)
{
    // 128 descriptors go at a time: around that bound a batch is full, one
    // over or empty at the end.
    for (int files : {0, 1, 120, 122, 123, 250, 400}) {
        SCOPED_TRACE(files);
        TempFolder dir;
        Lay(dir, files);
        EXPECT_TRUE(kaddaemon::SyncTree(dir / "tree"));
        int found = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "tree"))
            found += entry.is_regular_file();
        EXPECT_EQ(found, files);
    }
}

TEST(SyncTree, SeveralThreadsAtOnceEachGetTheirOwnAnswer)
{
    TempFolder dir;
    Lay(dir, 200);
    std::vector<std::thread> threads;
    std::vector<int> answers(6, -1);
    for (size_t t = 0; t < answers.size(); ++t)
        threads.emplace_back([&, t] {
            // Every other thread asks for a tree that is not there.
            answers[t] = kaddaemon::SyncTree(t % 2 ? dir / "missing" : dir / "tree");
        });
    for (std::thread& thread : threads)
        thread.join();
    for (size_t t = 0; t < answers.size(); ++t)
        EXPECT_EQ(answers[t], t % 2 ? 0 : 1) << t;
}

TEST(SyncTree, WhatCannotBeOpenedFailsAndAPipeIsLeftAlone)
{
    TempFolder dir;
    Lay(dir, 4);
    ASSERT_EQ(::mkfifo((dir / "tree/pipe").c_str(), 0600), 0);
    EXPECT_TRUE(kaddaemon::SyncTree(dir / "tree"));
    EXPECT_FALSE(kaddaemon::SyncFolder(dir / "missing"));
    if (::geteuid() != 0) {
        // Root opens a file without read permission all the same.
        ::chmod((dir / "tree/0/sub/f0.txt").c_str(), 0);
        EXPECT_FALSE(kaddaemon::SyncTree(dir / "tree"));
        ::chmod((dir / "tree/0/sub/f0.txt").c_str(), 0600);
    }
}

// A disk that fails one sync, played by the hook on the syncs' answers:
// the n-th answer given is a failure.
std::atomic<int> answered{0};
std::atomic<int> failAt{0};

int FailTheNth(int, int answer) { return ++answered == failAt ? -EIO : answer; }

TEST(SyncTree, OneFailedSyncFailsTheTreeWhicheverRoadTheSyncsTake)
{
    TempFolder dir;
    // 250 files and 6 folders below the tree: two full batches of 128, and
    // the tree's own folder alone in the last.
    Lay(dir, 250);
    constexpr int kEntries = 257;
    for (bool kernelSyncs : {true, false}) {
        for (int n : {0, 1, 128, 129, kEntries}) {
            SCOPED_TRACE(std::string(kernelSyncs ? "kernel" : "threads") + ", failing answer " + std::to_string(n));
            answered = 0;
            failAt = n;
            kaddaemon::SetTreeSyncForTests(FailTheNth, kernelSyncs);
            const bool synced = kaddaemon::SyncTree(dir / "tree");
            kaddaemon::SetTreeSyncForTests(nullptr, true);
            EXPECT_EQ(synced, n == 0);
            EXPECT_EQ(answered.load(), kEntries);
        }
    }
}

}  // namespace
