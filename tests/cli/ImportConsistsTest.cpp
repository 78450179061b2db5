#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/CommandHandlers.h"
#include "cli/Environment.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/AssetRecord.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "support/ResultLines.h"
#include "support/TempFolder.h"

namespace {

const KUID kCar(77, 1234, 0);
const KUID kOtherCar(12, 5, 1);

const char* const kList =
    "train-0\n{\n  name \"Express\"\n  list\n  {\n"
    "    car-0 <kuid:77:1234>\n    num-0 1\n    dir-0 1\n"
    "    car-1 <kuid2:12:5:1>\n    num-1 2\n"
    "    car-2 <kuid:77:1234>\n    num-2 3\n"
    "    car-3 <kuid:77:1234>\n  }\n}\n"
    "train-1\n{\n  name \"No Cars\"\n}\n"
    "train-2\n{\n  name \"Known Consist\"\n  list\n  {\n    car-0 <kuid:77:1234>\n  }\n}\n";

std::string Record(const char* name)
{
    AssetRecord r;
    r.known = true;
    r.displayName = Nyx::String(name);
    wire::Output out;
    WriteAssetInfo(out.stream, r);
    return out.Str();
}

// A daemon that knows one consist and creates new assets in `assetFolder`.
ScriptedDaemon::Script Daemon(std::string assetFolder, bool createWorks = true)
{
    return [assetFolder, createWorks](uint32_t number, const std::string&) -> std::optional<std::string> {
        switch (number) {
        case 2:
            return wire::Bytes().U32(1).Kuid(KUID(5, 5, 0)).Str();
        case 21:
            return Record("Known Consist");
        case 35:
            if (!createWorks)
                return wire::Bytes().U64(~0ull).Str();
            return wire::Bytes().U64(9).Kuid(KUID(77, 900, 0)).Text("new").Text(assetFolder).Str();
        case 34:
            return wire::Bytes().U8(1).U8(0).Str();
        default:
            return std::string();
        }
    };
}

// Runs the command from inside the folder, as a user would.
int Import(const TempFolder& work, ResultsLog& log, const std::string& listPath)
{
    std::string back = CurrentWorkingFolder();
    EXPECT_EQ(::chdir(work.Path().c_str()), 0);
    int code = ImportConsistsCommand(log, listPath.c_str());
    EXPECT_EQ(CurrentWorkingFolder(), std::filesystem::canonical(work.Path()).string());
    EXPECT_EQ(::chdir(back.c_str()), 0);
    return code;
}

TEST(ImportConsistsTest, NewTrainsBecomeConsistsWithTheirCarsAndKUIDTable)
{
    TempFolder work;
    work.Write("consists.txt", kList);
    work.Write("asset/config.txt", "kuid <kuid:77:900>\nkind \"traincar\"\n");
    ScriptedDaemon daemon(Daemon(work / "asset"));
    ResultsLog log;
    EXPECT_EQ(Import(work, log, work / "consists.txt"), 0);
    EXPECT_EQ(log.GetErrorCount(), 0u);
    // Only "Express" is new: one creation, one commit, the handle closed.
    EXPECT_EQ(daemon.Count(35), 1);
    EXPECT_EQ(daemon.Count(34), 1);
    EXPECT_EQ(daemon.Count(31), 1);

    ChunkRef config;
    ASSERT_TRUE(LoadConfigFile(config, (work / "asset").c_str(), "config.txt"));
    EXPECT_EQ(TDBContainerTag::GetKUID(config, Nyx::PString("kuid"), KUID::Null), KUID(77, 900, 0));
    EXPECT_EQ(TDBContainerTag::GetString(config, Nyx::PString("kind")).View(), "consist");
    EXPECT_EQ(TDBContainerTag::GetString(config, Nyx::PString("username")).View(), "Express");
    EXPECT_FLOAT_EQ(TDBContainerTag::GetFloat(config, Nyx::PString("kestro-build"), 0), 3.1f);

    ChunkRef cars = TDBContainerTag::GetChildContainer(config, Nyx::PString("consist-list"));
    EXPECT_EQ(cars.ChildCount(), 4u);
    ChunkRef car0 = TDBContainerTag::GetChildContainer(cars, Nyx::PString("car-0"));
    EXPECT_EQ(TDBContainerTag::GetKUID(car0, Nyx::PString("car-kuid"), KUID::Null), kCar);
    EXPECT_EQ(TDBContainerTag::GetInt(car0, Nyx::PString("car-num"), -1), 1);
    EXPECT_TRUE(TDBContainerTag::GetBool(car0, Nyx::PString("car-dir"), false));
    ChunkRef car3 = TDBContainerTag::GetChildContainer(cars, Nyx::PString("car-3"));
    EXPECT_EQ(TDBContainerTag::GetInt(car3, Nyx::PString("car-num"), -1), 0);
    EXPECT_FALSE(TDBContainerTag::GetBool(car3, Nyx::PString("car-dir"), true));

    // Distinct KUIDs in ascending order of user id, then content id.
    ChunkRef table = TDBContainerTag::GetChildContainer(config, Nyx::PString("kuid-table"));
    EXPECT_EQ(table.ChildCount(), 2u);
    EXPECT_EQ(TDBContainerTag::GetKUID(table, Nyx::PString("0"), KUID::Null), kOtherCar);
    EXPECT_EQ(TDBContainerTag::GetKUID(table, Nyx::PString("1"), KUID::Null), kCar);
}

TEST(ImportConsistsTest, ATrainWhoseAssetIsNotWhollyThereIsSkippedAndNothingElseIsWritten)
{
    struct Case {
        const char* name;
        bool createWorks;
        const char* folder;  // relative to the work folder; null for none
        const char* config;  // the new asset's config.txt; null for none
    };
    const Case cases[] = {
        {"the asset is not created", false, "asset", "kuid <kuid:77:900>\n"},
        {"the asset has no folder", true, nullptr, nullptr},
        {"the asset has no config", true, "asset", nullptr},
        {"the config has no kuid", true, "asset", "kind \"traincar\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder work;
        work.Write("consists.txt", kList);
        work.MakeFolder("asset");
        if (c.config)
            work.Write("asset/config.txt", c.config);
        ScriptedDaemon daemon(Daemon(c.folder ? work / c.folder : std::string(), c.createWorks));
        ResultsLog log;
        EXPECT_EQ(Import(work, log, "consists.txt"), 0);
        EXPECT_EQ(log.GetErrorCount(), 1u);
        EXPECT_EQ(daemon.Count(34), 0);
        // A half-made asset is discarded.
        EXPECT_EQ(daemon.Count(33), c.createWorks ? 1 : 0);
        // Neither the user's folder nor the asset's gains a config.
        EXPECT_FALSE(work.Has("config.txt"));
        if (c.config)
            EXPECT_EQ(work.ReadAll("asset/config.txt"), c.config);
        else
            EXPECT_FALSE(work.Has("asset/config.txt"));
    }
}

// A daemon lost before it tells whether a train has its consist has not
// said that it has none: the command fails before it makes any asset.
TEST(ImportConsistsTest, ADaemonLostWhileLookingForTheConsistsFailsTheCommand)
{
    struct Case {
        const char* name;
        uint32_t lostAt;  // the request that goes unanswered
    };
    const Case cases[] = {
        {"the search", 2},
        {"the name of a consist found", 21},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder work;
        work.Write("consists.txt", kList);
        work.Write("asset/config.txt", "kuid <kuid:77:900>\nkind \"traincar\"\n");
        const ScriptedDaemon::Script answers = Daemon(work / "asset");
        ScriptedDaemon daemon([&](uint32_t number, const std::string& payload) -> std::optional<std::string> {
            if (number == c.lostAt)
                return std::nullopt;
            return answers(number, payload);
        });
        ResultsLog log;
        EXPECT_EQ(Import(work, log, "consists.txt"), -1);
        EXPECT_EQ(resultstest::ResultLines(log),
                  std::vector<std::string>{std::to_string(ResultsLog::kError) + " " + LinkWatch::kLostText});
        EXPECT_EQ(daemon.Count(c.lostAt), 1);
        EXPECT_EQ(daemon.Count(35), 0);
        EXPECT_EQ(work.ReadAll("asset/config.txt"), "kuid <kuid:77:900>\nkind \"traincar\"\n");
    }
}

TEST(ImportConsistsTest, AListThatDoesNotLoadFails)
{
    TempFolder work;
    ScriptedDaemon daemon;
    ResultsLog log;
    EXPECT_EQ(Import(work, log, "missing.txt"), -1);
    EXPECT_EQ(log.GetErrorCount(), 1u);
    EXPECT_TRUE(daemon.Requests().empty());
}

}  // namespace
