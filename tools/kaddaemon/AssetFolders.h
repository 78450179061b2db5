// Whole-folder operations of the stand-in's asset store: copies that are on
// disk whole before anyone is told of them, and folder comparison.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kaddaemon {

// Called with the path of each file once its copy is on disk.
using CopyObserver = std::function<void(const std::string& file)>;

// Syncs the folder's own entries (not what they hold); false when the folder
// cannot be opened or the sync fails.
bool SyncFolder(const std::string& folder);

// For tests: when `answer` is set, each SyncFolder takes the answer it gives
// for the descriptor and the sync's own answer (0, or the negative errno).
// Null, as it starts, leaves the syncs alone.
using SyncAnswer = int (*)(int fd, int answer);
void SetFolderSyncForTests(SyncAnswer answer);

// Syncs every file and folder of the tree, the folder itself included
// (links are not followed); false when any of them fails.
bool SyncTree(const std::string& folder);

// For tests, which cannot make a disk fail: when `answer` is set, each sync
// of a tree sync takes the answer it gives for the descriptor and the sync's
// own answer (0, or the negative errno); with `kernelSyncs` false the syncs
// run on threads of our own only, as when the kernel offers no asynchronous
// sync. Set while no tree sync runs; (nullptr, true) is how it starts.
void SetTreeSyncForTests(SyncAnswer answer, bool kernelSyncs);

// Copies the folder `from` to the new folder `to`, with every file and
// every folder of the copy synced before it returns true. A link is
// followed only when its target lies inside `from`, and each real folder
// is copied once (a link to a folder copied already is left out); a link
// whose target is missing or lies outside is left out, and its path below
// `from` added to `skipped` when that is given. Folders nested deeper than
// Platform::kMaxAssetFolderDepth make the copy fail. On failure `error`
// tells why and part of `to` may exist.
bool CopyFolderDurably(const std::string& from, const std::string& to, std::string& error,
                       const CopyObserver& observer = {}, std::vector<std::string>* skipped = nullptr);

// The regular files in the tree (links not followed, no deeper than a copy
// goes).
uint64_t CountFiles(const std::string& folder);

// True when both folders hold the same tree: the same names, each a folder
// in both or a file with the same bytes in both (links followed).
bool SameFolderContents(const std::string& a, const std::string& b);

}  // namespace kaddaemon
