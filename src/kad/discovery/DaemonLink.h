// Discovery of the asset-database daemon that serves a data folder: a named
// lock and a named shared block, both named after the folder, that the
// daemon and every client agree on.
//
// Names are made from a fixed GUID and the data folder as the file system
// has it (absolute, links resolved, never case-folded: two folders whose
// names differ only in case are two data roots), with "-ipc2" added for the
// block, and then turned into POSIX object names by PosixObjectName. The
// named lock is a file in /dev/shm held with flock: the kernel lets go of it
// when its holder dies. The block is a POSIX shared memory object mapped
// whole; whoever first maps it under the lock while it is still empty fills
// it and becomes its holder.
//
// The holder that leaves cleanly (a daemon that stops, or a client that
// found no daemon) removes both names under the lock, the block first.
// Every process that takes the lock checks that its lock file is still the
// one linked under the name; one that finds its set removed drops it (and,
// where it goes on, attaches afresh), so no two sets are ever in use for
// one folder. A set left by a process that was killed stays; the next
// process to look takes it over.
//
// One object is one attachment: the tool keeps one per process, the daemon
// its own. The lock is a property of the open file, so two objects in one
// process exclude each other just as two processes do; one object's Lock
// nests (the matching number of Unlock calls lets go). An object is not
// meant to be used from two threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kad/discovery/DaemonSharedBlock.h"

// A name fit for /dev/shm and shm_open: a fixed prefix and the 64-bit
// FNV-1a hash of the given name as 16 lower-case hex digits. Stable across
// builds and processes.
std::string PosixObjectName(std::string_view name);

struct DaemonObjectNames {
    std::string mutexName;         // the GUID joined with the data folder
    std::string sharedMemoryName;  // the mutex name joined with "-ipc2"
    std::string lockFilePath;      // the file under /dev/shm standing for the mutex
    std::string sharedMemoryPath;  // the shm_open name (with its leading "/")
};

class DaemonLink {
public:
    static constexpr const char* kNameGuid = "09731AC6-B611-4e2a-B181-578073F64F24";
    static constexpr const char* kDataFileName = "assets.tdx";
    static constexpr const char* kSharedMemorySuffix = "-ipc2";

    // The process id given is what the block's holder and claim fields are
    // compared with; only tests pretend to be another process.
    DaemonLink();
    explicit DaemonLink(uint32_t processId);
    ~DaemonLink();
    DaemonLink(const DaemonLink&) = delete;
    DaemonLink& operator=(const DaemonLink&) = delete;

    // The data folder of a data-file path: back slashes turned forward,
    // "assets.tdx" (in any case) and the separator before it cut off; the
    // folder keeps its case. False when the first "assets.tdx" is not the
    // file name at the very end.
    static bool DataFolderOf(std::string_view dataFile, std::string& folder);
    static DaemonObjectNames NamesFor(std::string_view dataFolder);
    // An existing folder as the file system has it: absolute, without links
    // or "..". A spelling that matches no entry exactly is taken to the
    // entry that matches it without regard to case, as every file name of
    // the tool is. Empty when there is no such folder.
    static std::string ResolveFolder(std::string_view folder);

    // Opens the lock and the block for the data file's folder (at once true
    // when already attached). The names are made from the resolved folder,
    // so every spelling of one folder meets the same daemon. The process
    // that finds the block empty becomes the holder and fills it; one that
    // finds it filled must leave again when the block refuses newcomers.
    bool Attach(std::string_view dataFile);
    // Under the lock: a holder that is gone (or none at all) is replaced by
    // this process, which then counts as the holder. When the set this
    // process attached to has been removed since, it attaches afresh first.
    void CheckAlive();
    bool IsOwner();
    // The daemon's port, or 0 when no block is open or this process is the
    // holder (then no daemon serves the folder).
    uint32_t GetPort();
    // Gives the block and the lock back. A holder that the block still
    // names withdraws and removes the set: nobody serves the folder then.
    void Detach();
    // False, without the lock, when not attached or when the set this
    // process attached to has been removed since (its lock no longer
    // excludes anybody).
    bool Lock();
    void Unlock();
    // Lock, but a removed set is first replaced by the set under the names
    // now (made afresh when there is none). False, detached, when that
    // fails.
    bool LockCurrent();
    bool IsClaimant() const;
    void ReleaseClaim();

    // The daemon's side. Publish writes this process as holder with its
    // port; the caller holds the lock and has made sure no other live
    // daemon serves the folder (false when the set was removed). Withdraw
    // undoes it under the lock and removes the set, unless another process
    // has taken the block over since; the attachment is of no further use
    // but to Detach.
    bool Publish(uint32_t port);
    void Withdraw();
    // Whether the set under the names is still the one attached to and its
    // block still names this process with this port. Read without the lock,
    // so that asking never waits on another process.
    bool IsPublished(uint32_t port) const;

    bool IsAttached() const noexcept { return lockFd_ >= 0; }
    bool IsHolder() const noexcept { return holder_; }
    uint32_t ProcessId() const noexcept { return processId_; }
    // The mapped block, null while detached. Callers that change it hold
    // the lock.
    DaemonSharedBlock* Block() const noexcept { return block_; }

private:
    // Opens the lock file of names_ (making it when missing) and locks it,
    // until the file locked is the one linked under the name; then maps the
    // block and fills it when empty. Leaves the lock held; false, detached,
    // on failure or when the block refuses newcomers.
    bool AttachLocked();
    // Whether the open lock file is still the one linked under its name.
    bool IsCurrent() const;
    bool MapBlock(bool& fresh);
    // Under the lock, by the holder that leaves.
    void RemoveObjects();
    void Release();

    uint32_t processId_;
    DaemonObjectNames names_;
    int lockFd_ = -1;
    int lockDepth_ = 0;
    DaemonSharedBlock* block_ = nullptr;
    bool holder_ = false;
};
