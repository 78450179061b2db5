// A change of several steps to a data root's asset folders (an install, a
// commit, a delete, a revert) and its record, written and synced before
// the change's first step and removed after its last. A daemon killed
// part-way leaves the record behind, and the next daemon to hold the root
// finishes or undoes exactly that change, from what the record names:
// nothing is ever put back because of what a folder in the trash is called.
//
// A change is a list of folder moves within the root, one of which commits
// it. Once that move is done the change is finished (the later moves made,
// the folders it drops removed, the asset's state forgotten for a delete);
// before it, the moves done are undone in reverse and the asset's
// "modified" mark the change set is taken back. So after a kill at any
// step the root holds the old state whole or the new one whole.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/kuid/KUID.h"

namespace kaddaemon {

class DaemonState;

// Called at each step of a change with what the step was ("recorded",
// "moved <path>", "committed", "dropped", "resolved"), the path below the
// root. For tests, which stop or kill the daemon at one of them.
using StepObserver = std::function<void(const std::string& step)>;

class ChangeRecord {
public:
    static constexpr const char* kFileName = "kaddaemon-change.dat";
    static constexpr uint32_t kMagic = 0x5243444Bu;  // "KDCR"
    static constexpr uint32_t kVersion = 1;
    // A change moves an asset's working copy and installed folder, and
    // drops one or two: far below these.
    static constexpr uint32_t kMaxEntries = 16;
    static constexpr uint32_t kMaxPathBytes = 4096;
    static constexpr uint32_t kMaxFileBytes = 256u * 1024;

    enum class Kind : uint32_t { kInstall = 1, kCommit = 2, kDelete = 3, kRevert = 4 };
    // Paths are below the root ("local/track"), so a root that moves keeps
    // its record; each lies in "local", "editing" or "trash".
    struct Move {
        std::string from;
        std::string to;
        bool operator==(const Move&) const = default;
    };

    Kind kind = Kind::kInstall;
    KUID kuid = KUID::Null;
    // The change set the asset's "modified" mark; an undo takes it back.
    bool marked = false;
    // Finished, the asset's state (keywords and the rest) is forgotten.
    bool forget = false;
    std::vector<Move> moves;
    uint32_t commitMove = 0;
    std::vector<std::string> dropOnCommit;
    std::vector<std::string> dropOnUndo;

    bool operator==(const ChangeRecord&) const = default;

    // The file's bytes: u32 magic, u32 version, u32 kind, the packed KUID,
    // u32 flags (1 marked, 2 forget), u32 commit move, u32 move count and
    // each move's two paths, the two drop lists (u32 count, paths), then
    // the CRC-32 of all before it; a path is a u32 length and its bytes.
    // Little-endian throughout.
    std::string Encode() const;
    // False, with `error` saying what is wrong, for bytes that are no
    // whole record of this form, or name a path outside the asset folders.
    static bool Decode(const std::string& bytes, ChangeRecord& out, std::string& error);
    // A path a record may name: relative, below "local", "editing" or
    // "trash", without "." or ".." or empty parts.
    static bool IsAssetPath(const std::string& path);
};

// Runs a root's changes through their record and resolves one a kill or a
// failed step cut short. Not thread-safe: the store calls it under its lock.
class RecordedChange {
public:
    struct Result {
        bool ok = false;
        // The change is in place (committed), even when `ok` is false: then
        // a step after the commit failed, and the record stays until
        // Resolve finishes it.
        bool committed = false;
        std::string error;
    };

    RecordedChange(std::string root, DaemonState& state);

    void SetObserver(StepObserver observer) { observer_ = std::move(observer); }
    // A record is on disk that nothing has resolved yet: every change must
    // Resolve it first.
    bool Pending() const noexcept { return pending_; }

    // Writes the record, sets the mark it names, makes the moves in order
    // (each synced) and finishes the change. A step that fails before the
    // commit undoes what was done and removes the record (the result is
    // then neither ok nor committed). One that fails after it leaves the
    // record for Resolve.
    Result Run(const ChangeRecord& record);

    // Finishes or undoes the change the record on disk tells of, and
    // removes the record; `acted` tells whether there was one. A record
    // that does not read, or a step that fails, leaves the record where it
    // is and fails.
    Result Resolve(bool* acted = nullptr);

private:
    std::string Path(const std::string& below) const { return root_ + "/" + below; }
    std::string RecordPath() const { return Path(ChangeRecord::kFileName); }
    void Step(const std::string& what) const;
    bool Exists(const std::string& below) const;
    // The move is done: its source is gone and its target is there.
    bool Done(const ChangeRecord::Move& move) const;
    bool SyncParents(const std::vector<ChangeRecord::Move>& moves, std::string& error) const;
    // Undoes the first `count` moves, takes the mark back when `unmark`
    // says the change set it, drops what an undo drops and removes the
    // record.
    Result Undo(const ChangeRecord& record, size_t count, bool unmark, std::string why);
    // From a committed change: the moves after the commit that are not done
    // yet, the drops, the state, the record.
    Result Finish(const ChangeRecord& record, bool runLaterMoves);
    bool RemoveRecord(std::string& error);

    std::string root_;
    DaemonState& state_;
    StepObserver observer_;
    bool pending_ = false;
};

}  // namespace kaddaemon
