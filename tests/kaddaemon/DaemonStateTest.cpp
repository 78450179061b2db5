// The stand-in's state file: the shapes it reads, the damage it refuses
// (saying where, and keeping the file), the size it never passes, and the
// save temporaries left beside it.
#include "kaddaemon/DaemonState.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "config/formats/ConfigText.h"
#include "core/streams/TStream.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/StateFileText.h"
#include "nyx/base/DynamicBuffer.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using kaddaemon::DaemonState;

// What a state holds, in one line to compare.
std::string Summary(const kaddaemon::StateContent& state)
{
    std::string out = "next " + std::to_string(state.nextContent) + "; language " + state.language + ";";
    for (const auto& [name, text] : state.knobs)
        out += " " + name + "=" + text + ";";
    for (const auto& [kuid, asset] : state.assets)
        out += " " + std::string(kuid.ToString().c_str()) + " [" + asset.keywords + "]" +
               (asset.favourite ? " F" : "") + (asset.modified ? " M" : "") + ";";
    for (const auto& [id, name] : state.authors)
        out += " author " + std::to_string(id) + " [" + name + "];";
    return out;
}

std::string Read(std::string_view text)
{
    kaddaemon::StateContent state;
    std::string where;
    EXPECT_TRUE(kaddaemon::ReadStateText(text, state, where)) << where;
    return Summary(state);
}

TEST(StateFileText, WhatTheDaemonWritesReadsBackAsItWas)
{
    kaddaemon::StateContent state;
    state.nextContent = 17;
    state.language = "FR";
    state.knobs = {{"online-profile", "ann"}, {"online-ticket", ""}, {"online-fetch-polls", "-3"}};
    state.assets[KUID(400001, 101, 0)] = {"tank;\r\nblue \\ back", true, false};
    state.assets[KUID(-2, 5, 127)] = {"", false, true};
    state.assets[KUID(7, 8, 3)] = {"caf\xC3\xA9", false, false};
    state.authors = {{-1, ""}, {400001, "Ann"}};
    const std::string text = kaddaemon::WriteStateText(state);
    EXPECT_EQ(Read(text), Summary(state));

    // The online requests read their settings with the generic reader.
    Nyx::DynamicBuffer buffer;
    TBuffer stream(&buffer);
    stream.WriteBytes(text.data(), uint32_t(text.size()));
    stream.Rewind();
    ChunkRef tree;
    ASSERT_TRUE(ReadConfigText(tree, stream, false));
    for (const auto& [name, value] : state.knobs)
        EXPECT_EQ(kaddaemon::TagText(tree, name.c_str()), value) << name;
}

TEST(StateFileText, TheShapesPeopleWriteReadAsTheGenericReaderTakesThem)
{
    const struct {
        const char* what;
        std::string text;
        std::string read;
    } cases[] = {
        {"empty", "", "next 1; language ;"},
        {"only the mark", "\xEF\xBB\xBF", "next 1; language ;"},
        {"LF, braces on the tag's line and after a blank line, capitals, unquoted texts",
         "Next-Content 4  \n\nassets {\n\t0 {\n\t\tKUID <KUID2:1:2:3>\n\t\tkeywords  tank\\nblue \n\t}\n"
         "  x\n\n  {\n    kuid \"<kuid:1:3>\"\n    favourite -1\n  }\n}\nlanguage de\n",
         "next 4; language de; <kuid2:1:2:3> [tank\r\nblue ]; <kuid:1:3> [] F;"},
        {"line ends of a quoted text", "authors\r\n{\r\n  0\r\n  {\r\n    id 2\r\n    name \"a\rb\n\rc\r\nd\"\r\n  }\r\n}\r\n",
         "next 1; language ; author 2 [a\r\nb\r\nc\r\nd];"},
        {"unmarked texts are ANSI", "language \"caf\xE9 \x80\"\r\n", "next 1; language caf\xC3\xA9 \xE2\x82\xAC;"},
        {"marked texts are UTF-8", "\xEF\xBB\xBFlanguage \"caf\xC3\xA9\"\r\n", "next 1; language caf\xC3\xA9;"},
        {"a counter below the first id", "next-content -5\r\n", "next 1; language ;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Read(c.text), c.read);
    }
}

// A file that does not read whole would be written back short of what the
// reading missed at the first change: it is refused, saying where.
TEST(DaemonStateLoad, AFileThatDoesNotReadWholeIsRefusedWhereTheReadingStopsAndKept)
{
    // 20 lines: two assets and an author.
    const std::string good =
        "assets\r\n{\r\n  0\r\n  {\r\n    kuid <kuid:1:2>\r\n    keywords \"x\"\r\n  }\r\n  1\r\n  {\r\n"
        "    kuid <kuid:1:3>\r\n  }\r\n}\r\nauthors\r\n{\r\n  0\r\n  {\r\n    id 5\r\n    name \"Ann\"\r\n  }\r\n}\r\n";
    auto replace = [&](const std::string& what, const std::string& with) {
        std::string text = good;
        text.replace(text.find(what), what.size(), with);
        return text;
    };
    std::u16string wide(good.begin(), good.end());
    const std::string utf16 = "\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    const struct {
        const char* what;
        std::string text;
        std::string where;
    } cases[] = {
        {"junk before", "\x13\x88junk" + good, "line 1: text that is no tag"},
        {"a NUL line", replace("  1\r\n", std::string(3, '\0') + "\r\n  1\r\n"), "line 8: a NUL byte"},
        {"a stray brace between two entries", replace("  }\r\n  1", "  }\r\n}\r\n  1"),
         "line 9: \"1\" is no tag of the state file"},
        {"UTF-16", utf16, "line 1: a NUL byte"},
        {"a brace closing nothing", good + "}\r\n", "line 21: a \"}\" closes no container"},
        {"a container left open", good.substr(0, good.size() - 3), "line 20: the file ends inside \"authors\" of line 13"},
        {"a brace without a name", "{\r\n}\r\n" + good, "line 1: a \"{\" opens a container without a name"},
        {"containers too deep", replace("    kuid <kuid:1:3>", "    kuid <kuid:1:3>\r\n    more {\r\n    }"),
         "line 11: containers nest deeper than in a state file"},
        {"a quoted text that does not end", replace("\"Ann\"", "\"Ann"), "line 18: a quoted text does not end"},
        {"text after a quoted text", replace("\"x\"", "\"x\" y"), "line 6: text after the quoted text"},
        {"a brace in a value", replace("\"x\"", "x}"), "line 6: a \"}\" inside a value"},
        {"a top tag twice", good + "assets\r\n{\r\n}\r\n", "line 21: \"assets\" is given a second time"},
        {"a tag of an entry twice", replace("\"x\"", "\"x\"\r\n    keywords \"y\""), "line 7: \"keywords\" is given a second time"},
        {"an unknown top tag", "colour \"red\"\r\n" + good, "line 1: \"colour\" is no tag of the state file"},
        {"an unknown tag of an asset", replace("\"x\"", "\"x\"\r\n    colour 1"), "line 7: \"colour\" is no tag of an asset entry"},
        {"an entry that is no container", replace("  1\r\n  {\r\n    kuid <kuid:1:3>\r\n  }", "  1 <kuid:1:3>"),
         "line 8: the entry \"1\" of \"assets\" is no container"},
        {"an asset without a KUID", replace("    kuid <kuid:1:3>\r\n", ""), "line 8: the entry \"1\" of \"assets\" names no KUID"},
        {"no KUID text", replace("<kuid:1:3>", "<kuid:1:3> and more"), "line 10: \"kuid\" is no KUID"},
        {"a KUID named twice", replace("<kuid:1:3>", "<kuid2:1:2:0>"),
         "line 8: the entry \"1\" of \"assets\" names <kuid:1:2> a second time"},
        {"an author without an id", replace("    id 5\r\n", ""), "line 15: the entry \"0\" of \"authors\" has no id"},
        {"an id that is no number", replace("id 5", "id \"5x\""), "line 17: \"id\" is no number"},
        {"an author id twice", replace("\"Ann\"\r\n  }\r\n", "\"Ann\"\r\n  }\r\n  1\r\n  {\r\n    id 5\r\n  }\r\n"),
         "line 20: the author id 5 is given a second time"},
        {"a favourite that is no number", replace("\"x\"", "\"x\"\r\n    favourite \"yes\""), "line 7: \"favourite\" is no number"},
        {"a counter beyond 32 bits", "next-content 2147483648\r\n" + good, "line 1: \"next-content\" is no number"},
        {"assets that are no container", "assets 4\r\n", "line 1: \"assets\" is no container"},
        {"a language that is a container", "language\r\n{\r\n}\r\n", "line 1: \"language\" holds a container, not a value"},
        {"a knob of the wrong kind", "online-fetch-polls many\r\n", "line 1: \"online-fetch-polls\" is no number"},
    };
    TempFolder folder;
    const std::string file = folder / DaemonState::kFileName;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        folder.Write(DaemonState::kFileName, c.text);
        DaemonState state;
        std::string error;
        EXPECT_FALSE(state.Load(folder.Path(), error));
        EXPECT_EQ(error, "the state file " + file + " does not read whole: " + c.where);
        EXPECT_EQ(state.Find(KUID(1, 2, 0)), nullptr);
        EXPECT_EQ(folder.ReadAll(DaemonState::kFileName), c.text);
    }
}

// Sets the size limit for a test and gives the default back after it.
struct SizeLimit {
    explicit SizeLimit(uint64_t bytes) { DaemonState::SetSizeLimitForTests(bytes); }
    ~SizeLimit() { DaemonState::SetSizeLimitForTests(0); }
};

// A file the daemon would refuse at its next start takes the whole state
// with it: no save makes one, and none is read.
TEST(DaemonStateLimit, NoSaveGoesPastTheLimitAndNoLargerFileIsRead)
{
    constexpr uint64_t kLimit = 1000;
    SizeLimit limit(kLimit);
    TempFolder folder;
    const std::string file = folder / DaemonState::kFileName;
    const KUID kuid(1, 2, 0);
    DaemonState state;
    std::string error;
    ASSERT_TRUE(state.Load(folder.Path(), error)) << error;
    ASSERT_TRUE(state.SetKeywords(kuid, "k"));
    // The keywords that make the file exactly as large as the limit.
    const std::string fits(1 + kLimit - fs::file_size(file), 'k');
    ASSERT_TRUE(state.SetKeywords(kuid, fits));
    EXPECT_TRUE(state.SaveError().empty());
    const std::string full = folder.ReadAll(DaemonState::kFileName);
    EXPECT_EQ(full.size(), kLimit);

    for (const std::string& keywords : {fits + "k", std::string(kLimit, 'k')}) {
        EXPECT_FALSE(state.SetKeywords(kuid, keywords));
        EXPECT_EQ(state.SaveError(), "The change would make the daemon's state file larger than the 1000 bytes "
                                     "the daemon reads, and is not kept.");
        EXPECT_EQ(state.Find(kuid)->keywords, fits);
        EXPECT_EQ(folder.ReadAll(DaemonState::kFileName), full);
    }
    EXPECT_FALSE(state.SetFavourite(KUID(1, 3, 0), true));
    EXPECT_EQ(state.Find(KUID(1, 3, 0)), nullptr);
    // A change that goes through says nothing of the one before.
    ASSERT_TRUE(state.SetKeywords(kuid, "k"));
    EXPECT_TRUE(state.SaveError().empty());

    DaemonState again;
    folder.Write(DaemonState::kFileName, full);
    ASSERT_TRUE(again.Load(folder.Path(), error)) << error;
    EXPECT_EQ(again.Find(kuid)->keywords, fits);
    folder.Write(DaemonState::kFileName, full + "\n");
    EXPECT_FALSE(again.Load(folder.Path(), error));
    EXPECT_EQ(error, "the state file " + file + " is too large");
}

// With the daemon's own limit: a sparse file just over it is refused before
// a byte of it is read.
TEST(DaemonStateLimit, AFileJustOverTheDefaultLimitIsRefusedUnread)
{
    TempFolder folder;
    const std::string file = folder / DaemonState::kFileName;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t((uint64_t(1) << 30) + 1)), 0);
    ::close(fd);
    DaemonState state;
    std::string error;
    EXPECT_FALSE(state.Load(folder.Path(), error));
    EXPECT_EQ(error, "the state file " + file + " is too large");
}

TEST(RemoveLeftSaves, RemovesOnlyTheTemporariesOfThatFileFromOtherProcesses)
{
    TempFolder folder;
    const std::string name = DaemonState::kFileName;
    const std::string self = std::to_string(::getpid());
    // A name too long for a tail: saves cut it to make room.
    const std::string longName(NAME_MAX - 4, 'n');
    const std::string cut = longName.substr(0, NAME_MAX - std::string(".123-7.saving").size());
    const struct {
        std::string entry;
        bool removed;
    } files[] = {
        {name + ".123-0.saving", true},
        {name + ".4194304-18446744073709551615.saving", true},
        {cut + ".123-7.saving", true},
        {name + "." + self + "-5.saving", false},  // this process's own save
        {name, false},
        {name + ".123-0.saving.old", false},
        {name + ".0123-0.saving", false},
        {name + ".12a-0.saving", false},
        {name + "_123-0.saving", false},
        {name + ".123-.saving", false},
        {name + ".-0.saving", false},
        {"other.txt.123-0.saving", false},
        {name.substr(0, name.size() - 1) + ".123-0.saving", false},
        {cut.substr(1) + ".123-7.saving", false},
    };
    for (const auto& f : files)
        folder.Write(f.entry, "left");
    folder.Write("elsewhere.txt", "pointed at");
    fs::create_symlink(folder / "elsewhere.txt", folder / (name + ".77-1.saving"));
    folder.MakeFolder(name + ".88-2.saving");
    ASSERT_EQ(::mkfifo((folder / (name + ".99-3.saving")).c_str(), 0600), 0);

    kaddaemon::RemoveLeftSaves(folder / name);
    kaddaemon::RemoveLeftSaves(folder / longName);
    for (const auto& f : files)
        EXPECT_EQ(fs::exists(fs::symlink_status(folder / f.entry)), !f.removed) << f.entry;
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / (name + ".77-1.saving"))));
    EXPECT_TRUE(fs::exists(folder / "elsewhere.txt"));
    EXPECT_TRUE(fs::is_directory(folder / (name + ".88-2.saving")));
    EXPECT_TRUE(fs::is_fifo(folder / (name + ".99-3.saving")));
}

}  // namespace
