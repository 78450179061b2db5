// Changes of several moves through their record: the record's bytes, and
// the store killed at every step of an install, a commit, a delete and a
// revert, after which the next store to open the root finds the old state
// whole or the new one, never a mix; and a change whose folder sync failed,
// which the next change finishes before it begins.
#include "kaddaemon/ChangeRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "config/formats/ConfigFile.h"
#include "core/compress/Crc32.h"
#include "kad/requests/AssetRecord.h"
#include "kaddaemon/AssetFolders.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/ClientTestSupport.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using kaddaemon::AssetStore;
using kaddaemon::ChangeRecord;
using clienttest::FolderNames;

const KUID kTrack(400001, 104, 0);
const KUID kShed(400001, 230, 0);

void WriteFile(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Config(const KUID& kuid, const std::string& name)
{
    return "kuid " + std::string(kuid.ToString().c_str()) + "\nusername \"" + name + "\"\nkind \"track\"\n";
}

ChangeRecord Sample()
{
    ChangeRecord record;
    record.kind = ChangeRecord::Kind::kInstall;
    record.kuid = kTrack;
    record.marked = true;
    record.moves = {{"editing/track", "trash/track-working-copy"},
                    {"local/track", "trash/.replacing-track"},
                    {"editing/.installing-1-track", "local/track"}};
    record.commitMove = 2;
    record.dropOnCommit = {"trash/.replacing-track"};
    record.dropOnUndo = {"editing/.installing-1-track"};
    return record;
}

TEST(ChangeRecordBytes, ReadBackAsWrittenAndAnythingElseIsRefused)
{
    ChangeRecord back;
    std::string error;
    ASSERT_TRUE(ChangeRecord::Decode(Sample().Encode(), back, error)) << error;
    EXPECT_EQ(back, Sample());

    auto with = [](const std::function<void(ChangeRecord&)>& change) {
        ChangeRecord record = Sample();
        change(record);
        return record.Encode();
    };
    const std::string good = Sample().Encode();
    std::string flipped = good;
    flipped[20] = char(flipped[20] ^ 1);
    // A record whose checksum holds but whose fields do not.
    auto resealed = [](std::string bytes, size_t at, uint32_t value) {
        bytes.resize(bytes.size() - 4);
        std::memcpy(bytes.data() + at, &value, 4);
        uint32_t crc = Crc32(bytes.data(), uint32_t(bytes.size()));
        bytes.append(reinterpret_cast<const char*>(&crc), 4);
        return bytes;
    };
    const struct {
        const char* what;
        std::string bytes;
    } refused[] = {
        {"empty", ""},
        {"cut short", good.substr(0, good.size() - 1)},
        {"one byte flipped", flipped},
        {"a byte more", good + "x"},
        {"another version", resealed(good, 4, 2)},
        {"an unknown kind", resealed(good, 8, 9)},
        {"the commit move past the moves", resealed(good, 24, 3)},
        {"a path out of the root", with([](ChangeRecord& r) { r.moves[0].to = "trash/../../etc"; })},
        {"an absolute path", with([](ChangeRecord& r) { r.moves[1].from = "/local/track"; })},
        {"a path outside the asset folders", with([](ChangeRecord& r) { r.dropOnCommit[0] = "bin/kaddaemon"; })},
        {"an asset folder itself", with([](ChangeRecord& r) { r.dropOnUndo[0] = "editing"; })},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(ChangeRecord::Decode(c.bytes, back, error));
        EXPECT_FALSE(error.empty());
    }
}

// The asset as a fresh store finds it in the root: installed and working
// copy names, its marks, and what the trash holds.
std::string Describe(const std::string& root, const KUID& kuid)
{
    AssetStore store(root);
    if (!store.Open())
        return "refused: " + store.OpenError();
    const AssetRecord record = store.Record(kuid);
    auto username = [](const std::string& folder) {
        ChunkRef config;
        for (const char* name : {"config.txt", "config.chump"})
            if (fs::exists(folder + "/" + name) && LoadConfigFile(config, folder.c_str(), name) && config)
                return kaddaemon::TagText(config, "username");
        return std::string("?");
    };
    std::string name, installed, editing;
    store.NameAndPath(kuid, false, name, installed);
    store.NameAndPath(kuid, true, name, editing);
    const std::vector<std::string> trash = FolderNames(root + "/trash");
    std::string text = "installed=" + (record.GetFlag(AssetRecord::kFlagInstalled) ? username(installed) : "-") +
                       " edit=" + (record.GetFlag(AssetRecord::kFlagOpenForEdit) ? username(editing) : "-") +
                       " modified=" + (record.GetFlag(AssetRecord::kFlagLocallyModified) ? "1" : "0") +
                       " keywords=" + record.keywordText.c_str() + " trash=";
    for (const std::string& entry : trash)
        text += entry + ";";
    for (const auto& entry : fs::directory_iterator(root + "/editing"))
        if (entry.path().filename().string()[0] == '.')
            text += " left=" + entry.path().filename().string();
    if (fs::exists(root + "/" + ChangeRecord::kFileName))
        text += " record";
    return text;
}

struct Scenario {
    const char* what;
    // Run by a store of the test before the change; true when it worked.
    std::function<bool(AssetStore&, const std::string& root)> setUp;
    // The change, run by a store of a process of its own.
    std::function<bool(AssetStore&, const std::string& root)> change;
    KUID asset;
    // The step after which the change is committed.
    std::string commitStep;
    std::string before;
    std::string after;
};

bool OpenWithEdits(AssetStore& store, const std::string&)
{
    std::string name, path, error;
    if (store.OpenAsset(kTrack, true, name, path, error) == AssetStore::kNoHandle)
        return false;
    WriteFile(path + "/config.txt", Config(kTrack, "Edited track"));
    return store.SetKeywords(kTrack, "rails").ok;
}

bool Install(AssetStore& store, const KUID& kuid, const std::string& name, const std::string& username)
{
    const std::string folder = store.InstallingFolder(name);
    WriteFile(folder + "/config.txt", Config(kuid, username));
    WriteFile(folder + "/sleepers.txt", "oak");
    return store.InstallFolder(kuid, name, folder, 2).ok;
}

uint64_t OpenForEdit(AssetStore& store)
{
    std::string name, path, error;
    return store.OpenAsset(kTrack, true, name, path, error);
}

const std::string kOldState = "installed=Mainline track edit=Edited track modified=0 keywords=rails trash=";

std::vector<Scenario> Scenarios()
{
    return {
        {"a reinstall over a working copy", OpenWithEdits,
         [](AssetStore& store, const std::string&) { return Install(store, kTrack, "track", "Relaid track"); },
         kTrack, "moved local/track", kOldState,
         "installed=Relaid track edit=- modified=1 keywords=rails trash=track-working-copy;"},
        {"a commit over the installed folder", OpenWithEdits,
         [](AssetStore& store, const std::string&) { return store.Commit(OpenForEdit(store)).ok; }, kTrack,
         "moved local/track", kOldState, "installed=Edited track edit=- modified=1 keywords=rails trash="},
        {"a delete of an asset open for edit", OpenWithEdits,
         [](AssetStore& store, const std::string&) { return store.Delete(kTrack).ok; }, kTrack, "moved trash/track",
         kOldState, "installed=- edit=- modified=0 keywords= trash=track;track-working-copy;"},
        {"a revert", OpenWithEdits,
         [](AssetStore& store, const std::string&) { return store.Revert(OpenForEdit(store)).ok; }, kTrack,
         "moved trash/.reverted-track", kOldState, "installed=Mainline track edit=- modified=0 keywords=rails trash="},
        {"an install of a new asset", nullptr,
         [](AssetStore& store, const std::string&) { return Install(store, kShed, "shed", "Shed"); }, kShed,
         "moved local/shed", "installed=- edit=- modified=0 keywords= trash=",
         "installed=Shed edit=- modified=0 keywords= trash="},
        {"a delete of an installed asset", nullptr,
         [](AssetStore& store, const std::string&) { return store.Delete(kTrack).ok; }, kTrack, "moved trash/track",
         "installed=Mainline track edit=- modified=0 keywords= trash=",
         "installed=- edit=- modified=0 keywords= trash=track;"},
    };
}

class ChangeKillTest : public ::testing::Test {
protected:
    // A fresh root holding the installed track, set up for the scenario.
    std::string LayOut(const Scenario& scenario)
    {
        root_ = std::make_unique<TempFolder>();
        const std::string root = root_->Path() + "/root";
        WriteFile(root + "/local/track/config.txt", Config(kTrack, "Mainline track"));
        WriteFile(root + "/local/track/rails.txt", "steel");
        if (scenario.setUp) {
            AssetStore store(root);
            EXPECT_TRUE(store.Open()) << store.OpenError();
            EXPECT_TRUE(scenario.setUp(store, root));
        }
        return root;
    }

    // Runs the change in a process of its own that dies at its `kill`th step
    // (counted from 1; 0 runs it whole). The step it died at, "" when it
    // ran to its end, or "failed" when the change failed.
    std::string RunKilledAt(const Scenario& scenario, const std::string& root, int kill)
    {
        const std::string stepFile = root_->Path() + "/step";
        fs::remove(stepFile);
        const pid_t child = ::fork();
        if (child == 0) {
            AssetStore store(root);
            if (!store.Open())
                ::_exit(2);
            int seen = 0;
            store.SetStepObserver([&](const std::string& step) {
                if (++seen != kill)
                    return;
                std::ofstream(stepFile) << step;
                ::_exit(3);  // as a kill: nothing more runs
            });
            ::_exit(scenario.change(store, root) ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status))
            return "crashed";
        if (WEXITSTATUS(status) == 3) {
            std::ifstream in(stepFile);
            std::string step;
            std::getline(in, step);
            return step;
        }
        return WEXITSTATUS(status) == 0 ? std::string() : "failed";
    }

    std::unique_ptr<TempFolder> root_;
};

// Every step of each change, killed there: the next store finishes the
// change once its commit move is done and undoes it before, so the asset is
// as it was (its working copy open for edit, its mark as it was) or as the
// change leaves it, with nothing of the other state left over.
TEST_F(ChangeKillTest, AKillAtAnyStepLeavesTheOldStateWholeOrTheNewOne)
{
    for (const Scenario& scenario : Scenarios()) {
        SCOPED_TRACE(scenario.what);
        bool committed = false;
        int kill = 1;
        for (;; ++kill) {
            const std::string root = LayOut(scenario);
            ASSERT_EQ(Describe(root, scenario.asset), scenario.before);
            const std::string step = RunKilledAt(scenario, root, kill);
            SCOPED_TRACE("killed at step " + std::to_string(kill) + ": " + step);
            ASSERT_NE(step, "failed");
            ASSERT_NE(step, "crashed");
            if (step.empty()) {
                EXPECT_EQ(Describe(root, scenario.asset), scenario.after);
                break;
            }
            committed = committed || step == scenario.commitStep;
            EXPECT_EQ(Describe(root, scenario.asset), committed ? scenario.after : scenario.before);
        }
        EXPECT_TRUE(committed) << "no step " << scenario.commitStep;
        EXPECT_GE(kill, 4);
    }
}

bool IsFolder(int fd, const char* tail)
{
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    return n > 0 && std::string(path, size_t(n)).ends_with(tail);
}

// Fails the sync of "local" once the new folder has moved in there: the
// change is in place but not known to be on disk.
int FailSecondSyncOfLocal(int fd, int answer)
{
    static int seen = 0;
    return IsFolder(fd, "/local") && ++seen == 2 ? -EIO : answer;
}

// Fails the sync after the installed folder moved aside, before the commit.
int FailFirstSyncOfTrash(int fd, int answer)
{
    static int seen = 0;
    return IsFolder(fd, "/trash") && ++seen == 1 ? -EIO : answer;
}

AssetStore::Outcome ReinstallTrack(AssetStore& store)
{
    const std::string folder = store.InstallingFolder("track");
    WriteFile(folder + "/config.txt", Config(kTrack, "Relaid track"));
    return store.InstallFolder(kTrack, "track", folder, 1);
}

struct SyncSeam {
    explicit SyncSeam(kaddaemon::SyncAnswer answer) { kaddaemon::SetFolderSyncForTests(answer); }
    ~SyncSeam() { kaddaemon::SetFolderSyncForTests(nullptr); }
};

// A reinstall whose last folder sync fails says so, and its record stays:
// the delete that follows finishes the reinstall first (the old folder
// goes for good), and what the delete did stays done after a restart. The
// old folder never comes back.
TEST_F(ChangeKillTest, AChangeWhoseSyncFailedIsFinishedBeforeTheNextAndNeverPutBack)
{
    Scenario plain;
    const std::string root = LayOut(plain);
    {
        AssetStore store(root);
        ASSERT_TRUE(store.Open());
        {
            SyncSeam seam(FailSecondSyncOfLocal);
            const AssetStore::Outcome outcome = ReinstallTrack(store);
            EXPECT_FALSE(outcome.ok);
            EXPECT_NE(outcome.error.find("may not be on disk yet"), std::string::npos) << outcome.error;
        }
        EXPECT_TRUE(fs::exists(root + "/" + ChangeRecord::kFileName));
        EXPECT_TRUE(fs::exists(root + "/trash/.replacing-track"));
        const AssetStore::Outcome deleted = store.Delete(kTrack);
        EXPECT_TRUE(deleted.ok) << deleted.error;
        EXPECT_FALSE(fs::exists(root + "/" + ChangeRecord::kFileName));
    }
    EXPECT_EQ(Describe(root, kTrack), "installed=- edit=- modified=0 keywords= trash=track;");
    std::ifstream relaid(root + "/trash/track/config.txt");
    std::string first;
    std::getline(relaid, first);
    std::getline(relaid, first);
    EXPECT_EQ(first, "username \"Relaid track\"");
}

// A sync that fails before the commit undoes the change at once: the
// working copy is back in "editing", the old folder in "local".
TEST_F(ChangeKillTest, AChangeWhoseSyncFailsBeforeItsCommitIsUndoneAtOnce)
{
    const Scenario reinstall = Scenarios()[0];
    const std::string root = LayOut(reinstall);
    {
        AssetStore store(root);
        ASSERT_TRUE(store.Open());
        SyncSeam seam(FailFirstSyncOfTrash);
        const AssetStore::Outcome outcome = ReinstallTrack(store);
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.error.find("cannot be put on disk"), std::string::npos) << outcome.error;
        EXPECT_EQ(FolderNames(root + "/editing"), std::vector<std::string>{"track"});
    }
    EXPECT_EQ(Describe(root, kTrack), kOldState);
}

// A record that does not read is no guide to what the change was: the
// store refuses the root and leaves everything as it is.
TEST_F(ChangeKillTest, ADamagedRecordIsRefusedAndNothingIsTouched)
{
    Scenario plain;
    const std::string root = LayOut(plain);
    std::string bytes = Sample().Encode();
    bytes[bytes.size() / 2] ^= 0x40;
    WriteFile(root + "/" + ChangeRecord::kFileName, bytes);
    WriteFile(root + "/trash/.replacing-track/config.txt", Config(kTrack, "Old track"));
    AssetStore store(root);
    EXPECT_FALSE(store.Open());
    EXPECT_NE(store.OpenError().find("is damaged"), std::string::npos) << store.OpenError();
    EXPECT_TRUE(fs::exists(root + "/trash/.replacing-track/config.txt"));
    std::ifstream in(root + "/" + ChangeRecord::kFileName, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), bytes);
}

}  // namespace
