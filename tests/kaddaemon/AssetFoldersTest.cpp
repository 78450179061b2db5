// Tree syncs of the stand-in's asset folders: every file and folder is
// handed to the disk, in batches when there are many, from several threads
// at once, and a tree that cannot be walked or opened is reported.
#include "kaddaemon/AssetFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace
