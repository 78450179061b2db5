// The stand-in daemon's asset store: the assets of a data root as folders
// on disk, and an index of them kept in memory.
//
// An installed asset is a folder under "local" holding "config.txt" or
// "config.chump"; an asset opened for edit has its working copy under
// "editing" (an asset created and never committed has only that); a deleted
// asset moves to "trash", and so does a working copy that a delete or an
// install replaces, edits and all. The index is rebuilt from the folders at
// Open and kept current by every change, and every change is on disk
// (synced) before the call that made it returns.
//
// A folder appears under "editing" or "local" only whole: a working copy is
// made under a name beginning with kUnfinishedPrefix and renamed once it is
// on disk, and Open removes what a crash left of one. An install is not
// done until it is committed: a client's new asset lives under a
// kCreatedPrefix name until then, and a folder the daemon fills for an
// install under a kInstallingPrefix name. Open removes both, so an install
// a crash cut short leaves nothing behind; and what a client created and
// never committed goes when the client does (ReleaseOwner).
//
// A change of several moves (an install or a commit in place of the
// installed folder, a delete, a revert) runs through its record
// (ChangeRecord.h): a kill at any step leaves the old state whole or the new
// one, as the next Open finds from the record.
//
// The store serves, reads as well as changes, only while it holds the
// root's lock (RootLock.h): Open fails without it, naming the process that
// holds it, and a store that let the root go changes nothing more.
//
// One lock guards the store: the daemon serves each connection on its own
// thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "config/tree/ACSChunk.h"
#include "config/kuid/KUID.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADFilterElement.h"
#include "kaddaemon/AssetFolders.h"
#include "kaddaemon/ChangeRecord.h"
#include "kaddaemon/DaemonState.h"
#include "kaddaemon/RootLock.h"

namespace kaddaemon {

// The text of a tag of the container (any value type converted to text);
// empty when it is missing.
std::string TagText(const ChunkRef& container, const char* tag);
// The KUID of a tag holding a KUID or a KUID text; null otherwise.
KUID TagKUID(const ChunkRef& container, const char* tag);

class AssetStore {
public:
    static constexpr uint64_t kNoHandle = ~uint64_t(0);
    // The user id of the KUIDs the store makes up for new assets; a negative
    // user id goes only with version 127.
    static constexpr int32_t kOwnUser = -2;
    static constexpr int32_t kOwnVersion = 127;
    // The name under "editing" of a working copy still being made.
    static constexpr const char* kUnfinishedPrefix = ".copying-";
    // The name under "editing" of a client's new asset until its commit.
    static constexpr const char* kCreatedPrefix = ".created-";
    // The name under "editing" of a folder an install fills; the store
    // knows nothing of it until InstallFolder.
    static constexpr const char* kInstallingPrefix = ".installing-";
    // The name in "trash" of an installed folder while the one replacing it
    // moves in: kReplacingPrefix and its name under "local" (made unique).
    static constexpr const char* kReplacingPrefix = ".replacing-";
    // The name in "trash" of a working copy a revert drops.
    static constexpr const char* kRevertedPrefix = ".reverted-";

    struct Asset {
        KUID kuid;
        std::string localFolder;    // absolute; empty for an asset only created
        std::string editingFolder;  // absolute; empty unless open for edit
        std::string displayName;    // "username"
        std::string kind;
        std::string categoryClass;  // "category-class", else the kind's codes
        std::string categoryRegion;
        std::string categoryEra;
        std::string description;
        float build = 0.0f;
        bool hasBuild = false;  // the config gives "kestro-build"
        KUID parent = KUID::Null;
        std::vector<KUID> dependencies;  // "kuid-table"
        std::vector<KUID> obsoletes;     // "obsolete-table"
        uint64_t installTime = 0;
        uint64_t modifiedTime = 0;
        // The config gives no "kind".
        bool faulty = false;
        // The config names a script whose ".gs" source is in the folder.
        bool scriptSource = false;
        // The "config.txt" Create wrote. The config an install writes beside
        // it in the binary form is the asset's, and the commit drops it.
        std::string stub;
    };

    // Result of a change: the error text for the user when it failed, and
    // what the user is to know of a change that went through.
    struct Outcome {
        Outcome(bool ok_ = false, std::string error_ = {}, std::string warning_ = {})
            : ok(ok_), error(std::move(error_)), warning(std::move(warning_))
        {
        }
        bool ok;
        std::string error;
        std::string warning;
    };

    explicit AssetStore(std::string root);
    ~AssetStore();
    AssetStore(const AssetStore&) = delete;
    AssetStore& operator=(const AssetStore&) = delete;

    // Makes the folders, takes the root's lock, loads the daemon's state,
    // finishes or undoes a change a kill cut short, clears what a crash left
    // and rebuilds the index from disk. The lock is waited for up to
    // `rootWaitMs`, as a daemon that served the root before lets it go when
    // its last request has ended, or until `giveUp` answers true. False, with OpenError telling why, when
    // another process holds the lock all that time (it is named), the data
    // root cannot hold the folders, its state file cannot be read whole or
    // the change cut short can be neither finished nor undone: the store
    // then serves nothing.
    bool Open(int rootWaitMs = 0, const std::function<bool()>& giveUp = {});
    const std::string& OpenError() const noexcept { return openError_; }
    // Lets the root's lock go; for a daemon whose requests have all ended.
    // Every change fails from then on.
    void ReleaseRoot();
    const std::string& Root() const noexcept { return root_; }
    // For tests only: called, with the store locked, after each file of a
    // new working copy is on disk.
    void SetCopyObserver(CopyObserver observer);
    // For tests only: called, with the store locked, at each step of a
    // change of several moves (see StepObserver).
    void SetStepObserver(StepObserver observer);
    // For tests only: called, without the store's lock, with each file a
    // reader reads under a ReadHold (see ReadHold::Read), once it is read.
    void SetReadObserver(CopyObserver observer);

    // Queries; each takes the lock.
    bool IsKnown(const KUID& kuid);
    AssetRecord Record(const KUID& kuid);
    // The config of the asset as it stands (its working copy when open for
    // edit); null for an unknown asset.
    ChunkRef Config(const KUID& kuid);
    std::string Description(const KUID& kuid);
    // Display name and folder (the working copy when open for edit or when
    // `editing` is asked); both empty for an unknown asset.
    bool NameAndPath(const KUID& kuid, bool editing, std::string& name, std::string& path);
    // The highest version of the same user and content; the KUID itself
    // when nothing of them is known.
    KUID Latest(const KUID& kuid);
    // The KUID itself when known, else the latest of its user and content.
    KUID Resolve(const KUID& kuid);
    std::vector<KUID> Dependencies(const std::vector<KUID>& kuids);
    std::vector<KUID> Obsoletes(const KUID& kuid);
    // Every asset the filter selects, in KUID order; null selects all.
    std::vector<KUID> Search(const KADFilterElement* filter);
    std::string BuildsText();
    std::string AuthorName(int32_t authorId);

    // Keeps an asset's folder from being replaced, moved or removed while
    // it is read outside the store's lock (an export reads one version of
    // the asset whole); the changes wait until it is let go.
    class ReadHold {
    public:
        ReadHold() = default;
        ReadHold(ReadHold&& other) noexcept : store_(other.store_), kuid_(other.kuid_) { other.store_ = nullptr; }
        ReadHold& operator=(ReadHold&& other) noexcept;
        ~ReadHold() { Release(); }
        void Release() noexcept;
        // The reader has read the file (from any thread), while it holds.
        void Read(const std::string& file) const;

    private:
        friend class AssetStore;
        ReadHold(AssetStore* store, const KUID& kuid) : store_(store), kuid_(kuid) {}
        AssetStore* store_ = nullptr;
        KUID kuid_ = KUID::Null;
    };
    // The asset's config and folder as it stands (its working copy when
    // open for edit), held as one; false for an unknown asset or a config
    // that does not load.
    bool HoldForReading(const KUID& kuid, ChunkRef& config, std::string& folder, ReadHold& hold);

    // Changes. Handles live for the daemon's run only; working copies stay
    // on disk and are found again at the next Open. A handle belongs to the
    // owner it is opened for (0 for none).
    uint64_t OpenAsset(const KUID& kuid, bool forEdit, std::string& name, std::string& path, std::string& error,
                       uint64_t owner = 0);
    void CloseHandle(uint64_t handle);
    bool HandleFolder(uint64_t handle, std::string& name, std::string& path);
    Outcome Revert(uint64_t handle);
    Outcome Commit(uint64_t handle);
    // A null KUID is given the next free KUID of the store's own range
    // (kOwnUser, version kOwnVersion) and handed back in `kuid`.
    uint64_t Create(KUID& kuid, const std::string& name, std::string& folder, std::string& error,
                    uint64_t owner = 0);
    // Closes every handle of the owner; an asset it created that is still
    // not committed is removed.
    void ReleaseOwner(uint64_t owner);

    // A new folder path, not made yet, for an install of the asset to fill.
    std::string InstallingFolder(const std::string& name);
    // Makes the filled folder (from InstallingFolder, its files on disk) the
    // asset's installed folder, as a commit does; a working copy the asset
    // has goes to the trash, with a warning. `name` names a new asset's
    // folder, and `filesWritten` is how many files the filler put in it: a
    // folder that holds fewer lost some on the way and is not installed. A
    // folder holding what the asset already has installed is dropped and
    // changes nothing. On failure the folder is removed and the asset stays
    // as it was.
    Outcome InstallFolder(const KUID& kuid, const std::string& name, const std::string& folder,
                          uint64_t filesWritten);
    Outcome Delete(const KUID& kuid);
    Outcome SetKeywords(const KUID& kuid, const std::string& keywords);
    Outcome SetFavourite(const KUID& kuid, bool favourite);
    // What a repair looked at: each folder of "local" and "editing" in turn
    // (index from 0 of count), and, when it holds no asset, why, for the
    // user. The store is locked while it is called. Answering false stops
    // the repair.
    using RepairVisitor = std::function<bool(uint32_t index, uint32_t count, const std::string& folder,
                                             const std::string& fault)>;
    // Removes what a crash left of working copies and rebuilds the index
    // from the folders as they are now. A repair that is stopped keeps the
    // index as it was and answers false.
    bool Repair(const RepairVisitor& visit);

private:
    struct Handle {
        KUID kuid;
        bool forEdit;
        // The asset was not open for edit until this handle's own open made
        // its working copy.
        bool madeCopy = false;
        uint64_t owner = 0;
        // The working copy of the asset this handle's Create made.
        std::string created;
    };

    // At start-up every unfinished folder goes; a repair while the daemon
    // serves leaves the installs in progress alone.
    void RemoveUnfinishedCopies(bool startUp);
    // Whether a change may begin: the root is held, and a change an earlier
    // step left unresolved is finished or undone first (the index is then
    // read again). `refusal` tells why not.
    bool MayChangeLocked(Outcome& refusal);
    // The path below the root of a folder of the root.
    std::string Below(const std::string& path) const;
    // Waits, letting the store's lock go meanwhile, until no ReadHold of
    // the asset is left.
    void WaitForReadersLocked(std::unique_lock<std::mutex>& hold, const KUID& kuid);
    void EndRead(const KUID& kuid);
    void FileRead(const std::string& file);
    // Rebuilds the index from the folders (see Repair); false, with the
    // index as it was, when the visitor stopped it.
    bool Scan(const RepairVisitor& visit = {});
    // Loads the folder's config into an asset; false when there is no
    // config or it names no KUID, and then `fault` (when given) tells which.
    bool ReadAsset(const std::string& folder, Asset& out, std::string* fault = nullptr) const;
    Asset* FindLocked(const KUID& kuid);
    bool IsObsoleteLocked(const Asset& asset) const;
    // The installed asset that stands for a dependency: the KUID itself or
    // a later version of it; null when none is installed.
    const Asset* InstalledForLocked(const KUID& dependency) const;
    // The value of a bool filter field (KADFilterElementBool::Field) for
    // the asset; the record's flags are the same answers.
    bool BoolFieldLocked(uint32_t field, const Asset& asset) const;
    bool MatchesLocked(const KADFilterElement* element, const Asset& asset, int depth) const;
    std::string UniqueFolder(const std::string& parent, const std::string& name) const;
    std::string AuthorNameLocked(int32_t authorId) const;
    // Removes the working copy and reads the asset back from its installed
    // folder; an asset that has none is forgotten.
    Outcome DropWorkingCopyLocked(Asset& asset);
    // A new path in the trash for a folder, named from `name` (its leading
    // dots dropped: the only hidden folders there are the daemon's own,
    // whose names begin with `prefix`).
    std::string TrashFolder(const std::string& name, const char* prefix = "") const;
    // Puts the folder `from` (holding `next`, read from it) in the place of
    // the asset's installed folder, or of a new one named `name`, and the
    // asset of the index with it; `asset` is null for a new asset. A working
    // copy the folder does not come from goes to the trash first. An install
    // undone removes `from`.
    Outcome PutInPlaceLocked(Asset* asset, const std::string& from, Asset next, const std::string& name,
                             ChangeRecord::Kind kind);

    std::string root_;
    std::string openError_;
    RootLock rootLock_;
    std::mutex lock_;
    std::map<KUID, uint32_t, KADFilterElementAssetID::Order> readers_;  // under lock_
    std::condition_variable readersGone_;
    std::map<KUID, Asset, KADFilterElementAssetID::Order> assets_;
    std::map<uint64_t, Handle> handles_;
    uint64_t nextHandle_ = 1;
    uint64_t nextInstall_ = 1;
    DaemonState state_;
    RecordedChange changes_{root_, state_};
    CopyObserver copyObserver_;
    CopyObserver readObserver_;
};

}  // namespace kaddaemon
