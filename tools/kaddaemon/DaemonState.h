// The stand-in daemon's own state beside the assets: keywords, favourites,
// the marks of assets changed since their install and author names, kept
// in one config-text file under the data root (StateFileText.h tells its
// shapes). Entries a file does not hold read as their defaults, so older
// files load as they are; a file that does not read whole is refused.
//
// Every change is written to the file (a sibling first, synced, then moved
// over it) before the call returns, so a reply sent after it never speaks of
// anything a crash could take back. A change that would make the file
// larger than the daemon reads back is refused.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "config/kuid/KUID.h"
#include "kad/requests/KADFilterElement.h"
#include "kaddaemon/StateFileText.h"

namespace kaddaemon {

class DaemonState {
public:
    static constexpr const char* kFileName = "kaddaemon-state.txt";
    // The largest file read, and so the largest saved. Far beyond what
    // keywords and favourites of any root come to.
    static constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;

    using AssetState = StateAsset;

    // Reads <root>/kaddaemon-state.txt; a missing file is an empty state.
    // False, with `error` naming the file, when it is there but is no
    // regular file (a FIFO would hold the daemon for ever, and every save
    // would go into it), is larger than SizeLimit(), cannot be read, or
    // does not read whole (`error` then tells where the reading stops):
    // starting from what was read would write the rest away at the first
    // change. Nothing is written either way.
    bool Load(const std::string& root, std::string& error);

    const AssetState* Find(const KUID& kuid) const;
    // False when the file could not be written, or the change would make it
    // larger than SizeLimit(); the state in memory then stays as it was,
    // and SaveError() tells why where it can.
    bool SetKeywords(const KUID& kuid, const std::string& keywords);
    bool SetFavourite(const KUID& kuid, bool favourite);
    bool SetModified(const KUID& kuid, bool modified);
    bool Forget(const KUID& kuid);
    // Empty when the file names no author of that id.
    std::string AuthorName(int32_t authorId) const;
    // The user's language setting ("language"); empty when the file has
    // none. Kept through every save.
    const std::string& Language() const noexcept { return content_.language; }

    // The lowest content id not yet handed out for the stand-in's own new
    // assets (1 on a fresh state).
    int32_t NextContentId() const noexcept { return content_.nextContent; }
    // Records that every content id below `next` is handed out, so none is
    // handed out again after a restart. False when the file could not be
    // written; the counter then stays as it was.
    bool SetNextContentId(int32_t next);

    // Why the last change failed, as a sentence for the user; empty when
    // the last change went through.
    const std::string& SaveError() const noexcept { return saveError_; }

    // The largest state file read or saved: kMaxFileBytes, or what a test
    // set (0 sets kMaxFileBytes again).
    static uint64_t SizeLimit() noexcept;
    static void SetSizeLimitForTests(uint64_t bytes) noexcept;

private:
    // Applies the change to a copy of the asset's state and keeps it only
    // once the file holds it.
    template <class Change>
    bool ChangeAsset(const KUID& kuid, Change change);
    // Writes the file for `next`, and keeps it as the state once it holds
    // it.
    bool Save(StateContent next);

    std::string path_;
    StateContent content_;
    std::string saveError_;
};

// Saves the bytes as Platform::FileSave does, synced, and syncs the folder
// after. False, with the file as it was, on any failure.
bool WriteFileDurably(const std::string& path, const std::string& bytes);

// Removes what saves of the file by other processes left beside it: the
// regular files and links named as a save names its temporary
// ("<name>.<pid>-<number>.saving", the name cut to make room for the
// tail), for any process id but this process's. Nothing else in the folder
// is touched. For a daemon that holds the root: no other process saves
// there then.
void RemoveLeftSaves(const std::string& file);

}  // namespace kaddaemon
