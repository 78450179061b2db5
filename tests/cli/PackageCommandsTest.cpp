#include "cli/PackageCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/RunCommand.h"
#include "config/results/ResultsLog.h"
#include "core/process/EngineContext.h"
#include "support/ChildProcess.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "support/ResultLines.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

TEST(EscapeLineBreaksTest, LineBreaksAndBackslashes)
{
    struct Case {
        const char* text;
        std::string escaped;
    } cases[] = {
        {nullptr, ""},
        {"", ""},
        {"plain", "plain"},
        {"a\r\nb", "a\\nb"},
        {"a\n\rb", "a\\nb"},
        {"a\n\nb", "a\\n\\nb"},
        {"a\r\rb", "a\\n\\nb"},
        {"a\rb\nc", "a\\nb\\nc"},
        // A pair is one break; the third byte starts the next.
        {"a\r\n\rb", "a\\n\\nb"},
        {"a\r\n\r\nb", "a\\n\\nb"},
        {"\n", "\\n"},
        {"c:\\path\\", "c:\\\\path\\\\"},
        {"\\n", "\\\\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        EXPECT_EQ(EscapeLineBreaks(c.text).View(), c.escaped);
    }
}

TEST(KUIDListTextTest, TextsJoinedWithCommas)
{
    KUIDRing kuids;
    EXPECT_EQ(KUIDListText(kuids).View(), "");
    kuids.Append(KUID(77, 500, 0));
    EXPECT_EQ(KUIDListText(kuids).View(), "<kuid:77:500>");
    kuids.Append(KUID(77, 501, 3));
    kuids.Append(KUID::Null);
    EXPECT_EQ(KUIDListText(kuids).View(), "<kuid:77:500>, <kuid2:77:501:3>, <NULL>");
}

// The folder each request 39 named.
std::vector<std::string> InstalledFolders(const ScriptedDaemon& daemon)
{
    std::vector<std::string> folders;
    for (const ScriptedDaemon::Request& r : daemon.Requests()) {
        EXPECT_EQ(r.number, 39u);
        // u32 length (counting the closing zero), the text, then the mode.
        if (r.payload.size() >= 8)
            folders.push_back(r.payload.substr(4, r.payload.size() - 9));
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

TEST(InstallFromPathTest, EveryAssetFolderOnceAndNoLinkOrDepthBeyondTheBound)
{
    TempFolder temp;
    const std::string tree = temp / "tree";
    temp.Write("tree/first/config.txt", "kuid <kuid:77:1>\n");
    temp.Write("tree/group/second/config.chump", "");
    temp.Write("tree/group/notes.txt", "not an asset");
    // An asset folder with sub-folders, one of them holding a config: only
    // the outer one is installed.
    temp.Write("tree/combo/config.txt", "kuid <kuid:77:3>\n");
    temp.Write("tree/combo/inner/config.txt", "kuid <kuid:77:4>\n");
    temp.Write("tree/combo/textures/a.tga", "");
    // A link back up, and a link to an asset folder outside the tree.
    fs::create_directory_symlink(tree, tree + "/group/loop");
    temp.Write("outside/config.txt", "kuid <kuid:77:5>\n");
    fs::create_directory_symlink(temp / "outside", tree + "/linked");
    // An asset deeper than the search goes: the folder it stops at is
    // named.
    std::string deep = "tree";
    for (int i = 0; i <= kMaxInstallDepth; ++i)
        deep += "/d";
    temp.Write(deep + "/config.txt", "kuid <kuid:77:6>\n");

    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> {
        return wire::Bytes().Kuid(KUID(77, 1, 0)).U8(1).Str();
    });
    ResultsLog log;
    EXPECT_FALSE(InstallFromPath(Nyx::File::Path(tree), log));
    EXPECT_EQ(InstalledFolders(daemon),
              (std::vector<std::string>{tree + "/combo", tree + "/first", tree + "/group/second"}));
    EXPECT_EQ(resultstest::ResultLines(log),
              std::vector<std::string>{"3 The folder '" + (temp / deep) + "' was not searched: it lies too deep."});

    // The search reports a refused install, and goes on after it.
    daemon.Clear();
    daemon.SetScript([](uint32_t, const std::string&) -> std::optional<std::string> {
        return wire::Bytes().Kuid(KUID::Null).U8(0).Str();
    });
    EXPECT_FALSE(InstallFromPath(Nyx::File::Path(tree), log));
    EXPECT_EQ(daemon.Requests().size(), 3u);

    // An asset folder given itself is installed alone; an empty path does
    // nothing.
    daemon.Clear();
    EXPECT_FALSE(InstallFromPath(Nyx::File::Path(tree + "/combo"), log));
    EXPECT_EQ(InstalledFolders(daemon), (std::vector<std::string>{tree + "/combo"}));
    daemon.Clear();
    EXPECT_TRUE(InstallFromPath(Nyx::File::Path(), log));
    EXPECT_TRUE(daemon.Requests().empty());
}

TEST(InstallFromPathTest, StopsWhenCancelled)
{
    TempFolder temp;
    temp.Write("tree/a/config.txt", "");
    temp.Write("tree/b/config.txt", "");
    temp.Write("tree/c/config.txt", "");
    std::atomic<bool> cancel{false};
    ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> {
        cancel = true;
        return wire::Bytes().Kuid(KUID(77, 1, 0)).U8(1).Str();
    });
    ResultsLog log;
    InstallFromPath(Nyx::File::Path(temp / "tree"), log, &cancel);
    EXPECT_EQ(daemon.Requests().size(), 1u);
}

// The dispatcher hands the paths over as typed, made absolute against the
// working folder for the daemon, with the modes the commands send.
TEST(PackageCommandWordsTest, PathsReachTheDaemonAsTyped)
{
    TempFolder temp;
    temp.Write("Mixed Case/Asset/config.txt", "kuid <kuid:77:1>\n");
    ScriptedDaemon daemon([](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 39)
            return wire::Bytes().Kuid(KUID(77, 1, 0)).U8(1).Str();
        return wire::Bytes().U32(1).U8(1).Str();
    });
    struct Case {
        std::vector<std::string> words;
        uint32_t number;
        std::string payload;
    } cases[] = {
        {{"installfrompath", temp / "Mixed Case"}, 39, wire::Bytes().Text(temp / "Mixed Case/Asset").U32(0).Str()},
        {{"INSTALLCDP", temp / "Some.CDP"}, 40, wire::Bytes().Text(temp / "Some.CDP").U32(2).Str()},
        {{"installcdp", "Rel/Some.cdp"}, 40,
         wire::Bytes().Text(std::filesystem::current_path().string() + "/Rel/Some.cdp").U32(2).Str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0]);
        daemon.Clear();
        childprocess::CommandLine command("KestroUtil", c.words);
        EngineContext context;
        ResultsLog log;
        EXPECT_EQ(RunCommand(log, context, command.Argc(), command.Argv()), 0);
        ASSERT_EQ(daemon.Requests().size(), 1u);
        EXPECT_EQ(daemon.Requests()[0].number, c.number);
        EXPECT_EQ(daemon.Requests()[0].payload, c.payload);
        EXPECT_EQ(daemon.Requests()[0].log, &log);
    }
}

}  // namespace
