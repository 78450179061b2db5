// The marks of archive saves under way, and what a starting host removes
// of the saves of hosts that ended part-way.
#include "cli/commandhost/PendingSaves.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// The id of a process that has ended and been collected.
pid_t EndedProcess()
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(PendingSavesTest, OnlyTheSavingFilesOfEndedHostsGo)
{
    TempFolder root;
    PendingSaves saves(root.Path());
    const std::string marks = root / PendingSaves::kFolder;

    // A mark of this process while its save is under way, and after it.
    root.Write("out/live.karc.saving", "under way");
    const std::string mark = saves.Begin(root / "out/live.karc.saving");
    ASSERT_FALSE(mark.empty());
    EXPECT_EQ(fs::path(mark).parent_path(), fs::path(marks));
    EXPECT_EQ(root.ReadAll(fs::relative(mark, root.Path()).string()), root / "out/live.karc.saving");

    const pid_t ended = EndedProcess();
    auto markOf = [&](pid_t pid, const std::string& name, const std::string& names) {
        root.Write(std::string(PendingSaves::kFolder) + "/" + std::to_string(pid) + "-" + name + ".mark", names);
    };
    root.Write("out/dead.karc.saving", "left by a killed host");
    markOf(ended, "0", root / "out/dead.karc.saving");
    root.Write("out/kept.karc", "not a saving file");
    markOf(ended, "1", root / "out/kept.karc");
    root.Write("out/target.txt", "behind a link");
    fs::create_symlink(root / "out/target.txt", root / "out/link.karc.saving");
    markOf(ended, "2", root / "out/link.karc.saving");
    markOf(ended, "3", root / "out/gone.karc.saving");
    markOf(ended, "4", "");
    root.Write(std::string(PendingSaves::kFolder) + "/notes.txt", root / "out/live.karc.saving");

    EXPECT_EQ(saves.RemoveStale(), 1u);
    EXPECT_FALSE(root.Has("out/dead.karc.saving"));
    EXPECT_EQ(root.ReadAll("out/kept.karc"), "not a saving file");
    EXPECT_TRUE(root.Has("out/link.karc.saving"));
    EXPECT_EQ(root.ReadAll("out/target.txt"), "behind a link");
    EXPECT_EQ(root.ReadAll("out/live.karc.saving"), "under way");
    // Every mark of an ended host went; the live one and what is no mark
    // stay.
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(marks))
        left.insert(entry.path().string());
    EXPECT_EQ(left, (std::set<std::string>{mark, marks + "/notes.txt"}));

    PendingSaves::End(mark);
    EXPECT_FALSE(fs::exists(mark));
    // Without a data root nothing is marked.
    EXPECT_TRUE(PendingSaves("").Begin(root / "out/live.karc.saving").empty());
    EXPECT_EQ(PendingSaves("").RemoveStale(), 0u);
}

}  // namespace
