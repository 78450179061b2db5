#include "kad/requests/UserKUID.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

// The range is process-wide state. Each case starts from a settings folder
// holding the given file (none for null) and the given local user id.
void StartRange(const TempFolder& folder, const char* file, int32_t localUser)
{
    folder.MakeFolder("settings");
    SetSettingsFolder(Nyx::File::Path(folder.Path()));
    // Writing a base is what sets the local user id to any value.
    ASSERT_TRUE(WriteUserKUIDBase(KUID(localUser, 1, localUser >= 0 ? 0 : 127)));
    std::filesystem::remove(folder / "settings/kuid.txt");
    if (file)
        folder.Write("settings/kuid.txt", file);
    SetSettingsFolder(Nyx::File::Path(folder.Path()));
    ASSERT_EQ(GetLocalUserId(), localUser);
}

// The base as the next start-up would read it.
KUID BaseOnDisk(const TempFolder& folder)
{
    SetSettingsFolder(Nyx::File::Path(folder.Path()));
    return GetUserKUIDBase();
}

TEST(UserKUIDTest, TheBaseComesFromTheSettingsFolder)
{
    struct Case {
        const char* name;
        const char* file;  // null: no file
        KUID base;
        int32_t localUser;
    };
    // The local user id sticks once a base named one; the cases build on
    // each other from a process whose local user is still -2, whatever
    // tests ran before.
    TempFolder start;
    StartRange(start, nullptr, -2);
    const Case cases[] = {
        {"no file", nullptr, KUID::Null, -2},
        {"user -2 leaves the local user", "base-kuid <kuid:-2:900>\n", KUID(-2, 900, 127), -2},
        {"a user base", "base-kuid <kuid:77:500>\n", KUID(77, 500, 0), 77},
        {"no tag", "other 1\n", KUID::Null, 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        if (c.file)
            folder.Write("settings/kuid.txt", c.file);
        SetSettingsFolder(Nyx::File::Path(folder.Path()));
        Nyx::File::Path stored;
        EXPECT_TRUE(GetSettingsFolder(stored));
        EXPECT_EQ(stored.Str(), folder.Path());
        EXPECT_EQ(GetUserKUIDBase(), c.base);
        EXPECT_EQ(GetLocalUserId(), c.localUser);
    }
}

TEST(UserKUIDTest, TheRangeFileIsWrittenUnderTheNameItIsReadBy)
{
    TempFolder folder;
    StartRange(folder, nullptr, -2);
    EXPECT_TRUE(WriteUserKUIDBase(KUID(77, 600, 0)));
    EXPECT_EQ(GetLocalUserId(), 77);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "settings"))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"kuid.txt"});
    EXPECT_EQ(BaseOnDisk(folder), KUID(77, 600, 0));

    // The null KUID is no base: nothing changes.
    EXPECT_FALSE(WriteUserKUIDBase(KUID::Null));
    EXPECT_EQ(BaseOnDisk(folder), KUID(77, 600, 0));

    // A save that cannot happen is reported.
    TempFolder bare;
    SetSettingsFolder(Nyx::File::Path(bare.Path()));
    EXPECT_FALSE(WriteUserKUIDBase(KUID(77, 601, 0)));
}

TEST(UserKUIDTest, GenerationTakesTheNextFreeContentId)
{
    const KUID k501(77, 501, 0);
    struct Case {
        const char* name;
        const char* file;
        int32_t localUser;
        UserKUIDDaemon daemon;
        KUID expected;
    };
    const Case cases[] = {
        {"no file", nullptr, -2, {}, KUID(-2, 1001, 127)},
        {"a user base", "base-kuid <kuid:77:500>\n", 77, {}, k501},
        {"a known asset is skipped",
         "base-kuid <kuid:77:500>\n",
         77,
         {nullptr, [=](const KUID& k) { return k == k501; }},
         KUID(77, 502, 0)},
        {"a newer version is skipped",
         "base-kuid <kuid:77:500>\n",
         77,
         {[=](const KUID& k) { return k == k501 ? KUID(77, 501, 1) : k; }, [](const KUID&) { return false; }},
         KUID(77, 502, 0)},
        {"another user's base starts the range at 1000", "base-kuid <kuid:-2:900>\n", 77, {}, KUID(77, 1001, 0)},
        {"a negative user", "base-kuid <kuid:-5:40>\n", -5, {}, KUID(-5, 41, 127)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        StartRange(folder, c.file, c.localUser);
        EXPECT_EQ(GenerateUserKUID(c.daemon), c.expected);
        EXPECT_EQ(GetUserKUIDBase(), c.expected);
        EXPECT_EQ(BaseOnDisk(folder), c.expected);
    }

    TempFolder folder;
    StartRange(folder, "base-kuid <kuid:77:500>\n", 77);
    EXPECT_EQ(GenerateUserKUID({}), KUID(77, 501, 0));
    EXPECT_EQ(GenerateUserKUID({}), KUID(77, 502, 0));
    EXPECT_EQ(BaseOnDisk(folder), KUID(77, 502, 0));
}

TEST(UserKUIDTest, AUserIdThatDoesNotFitFallsBackToARandomBase)
{
    TempFolder folder;
    folder.MakeFolder("settings");
    SetSettingsFolder(Nyx::File::Path(folder.Path()));
    ASSERT_TRUE(WriteUserKUIDBase(KUID(1 << 26, 5, 0)));
    folder.Write("settings/kuid.txt", "base-kuid <kuid:-2:900>\n");
    SetSettingsFolder(Nyx::File::Path(folder.Path()));

    KUID k = GenerateUserKUID({});
    EXPECT_EQ(k.user, -2);
    EXPECT_EQ(k.version, 127);
    EXPECT_GE(k.content, 1);
    EXPECT_LE(k.content, 0x40000000);
}

TEST(UserKUIDTest, GenerationGivesUpInsteadOfSearchingForEver)
{
    struct Case {
        const char* name;
        const char* file;
        UserKUIDDaemon daemon;
        KUID lastTried;
    };
    const int32_t kTop = std::numeric_limits<int32_t>::max();
    const int32_t kLast = 500 + int32_t(kMaxUserKUIDCandidates);
    const Case cases[] = {
        {"every answer is another version",
         "base-kuid <kuid:77:500>\n",
         {[](const KUID& k) { return KUID(k.user, k.content, k.version + 1); }, nullptr},
         KUID(77, kLast, 0)},
        {"every asset is known",
         "base-kuid <kuid:77:500>\n",
         {nullptr, [](const KUID&) { return true; }},
         KUID(77, kLast, 0)},
        {"the content ids run out",
         "base-kuid <kuid:77:2147483640>\n",
         {nullptr, [](const KUID&) { return true; }},
         KUID(77, kTop, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        StartRange(folder, c.file, 77);
        const KUID before = GetUserKUIDBase();
        EXPECT_EQ(GenerateUserKUID(c.daemon), KUID::Null);
        EXPECT_EQ(GetUserKUIDBase(), c.lastTried);
        // Nothing was handed out, so nothing was saved.
        EXPECT_EQ(BaseOnDisk(folder), before);
    }

    // The last positive content id is handed out once.
    TempFolder folder;
    StartRange(folder, "base-kuid <kuid:77:2147483646>\n", 77);
    EXPECT_EQ(GenerateUserKUID({}), KUID(77, kTop, 0));
    EXPECT_EQ(GenerateUserKUID({}), KUID::Null);
}

TEST(UserKUIDTest, RunsAtTheSameTimeNeverHandOutOneKUIDTwice)
{
    // Each run is a process of its own that took the base in memory at the
    // same moment; each asks a slow daemon, which leaves time for the
    // others to read the same base.
    TempFolder folder;
    StartRange(folder, "base-kuid <kuid:77:500>\n", 77);
    constexpr int kRuns = 4;
    constexpr int kEach = 5;
    int pipes[2];
    ASSERT_EQ(::pipe(pipes), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kRuns; ++i) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(pipes[0]);
            UserKUIDDaemon slow{[](const KUID& k) {
                                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                    return k;
                                },
                                nullptr};
            for (int n = 0; n < kEach; ++n) {
                int32_t content = GenerateUserKUID(slow).content;
                if (::write(pipes[1], &content, sizeof content) != sizeof content)
                    ::_exit(2);
            }
            ::_exit(0);  // no static clean-up in a copy of the test process
        }
        children.push_back(pid);
    }
    ::close(pipes[1]);
    std::multiset<int32_t> handedOut;
    int32_t content;
    while (::read(pipes[0], &content, sizeof content) == sizeof content)
        handedOut.insert(content);
    ::close(pipes[0]);
    for (pid_t pid : children) {
        const int status = childprocess::WaitChild(pid);
        ASSERT_NE(status, -1) << "a child did not end";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    ASSERT_EQ(handedOut.size(), size_t(kRuns * kEach));
    EXPECT_EQ(std::set<int32_t>(handedOut.begin(), handedOut.end()).size(), handedOut.size());
    EXPECT_EQ(*handedOut.begin(), 501);
    EXPECT_EQ(*handedOut.rbegin(), 500 + kRuns * kEach);
    EXPECT_EQ(BaseOnDisk(folder), KUID(77, 500 + kRuns * kEach, 0));
}

}  // namespace
