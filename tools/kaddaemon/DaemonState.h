// The stand-in daemon's own state beside the assets: keywords, favourites,
// the marks of assets changed since their install and author names, kept
// in one config-text file under the data root. Entries a file does not hold
// read as their defaults, so older files load as they are.
//
// Every change is written to the file (a sibling first, synced, then moved
// over it) before the call returns, so a reply sent after it never speaks of
// anything a crash could take back.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "config/kuid/KUID.h"
#include "kad/requests/KADFilterElement.h"

namespace kaddaemon {

class DaemonState {
public:
    static constexpr const char* kFileName = "kaddaemon-state.txt";

    struct AssetState {
        std::string keywords;
        bool favourite = false;
        // Changed since it was installed: a commit replaced its installed
        // folder. Nothing on disk tells this once the commit is done.
        bool modified = false;
    };

    // Reads <root>/kaddaemon-state.txt; a missing file is an empty state.
    // False, with `error` naming the file, when it is there but is no
    // regular file (a FIFO would hold the daemon for ever, and every save
    // would go into it) or cannot be read: starting from an empty state
    // would then write the keywords and the rest away at the first change.
    bool Load(const std::string& root, std::string& error);

    const AssetState* Find(const KUID& kuid) const;
    // False when the file could not be written; the state in memory then
    // stays as it was.
    bool SetKeywords(const KUID& kuid, const std::string& keywords);
    bool SetFavourite(const KUID& kuid, bool favourite);
    bool SetModified(const KUID& kuid, bool modified);
    bool Forget(const KUID& kuid);
    // Empty when the file names no author of that id.
    std::string AuthorName(int32_t authorId) const;
    // The user's language setting ("language"); empty when the file has
    // none. Kept through every save.
    const std::string& Language() const noexcept { return language_; }

    // The lowest content id not yet handed out for the stand-in's own new
    // assets (1 on a fresh state).
    int32_t NextContentId() const noexcept { return nextContent_; }
    // Records that every content id below `next` is handed out, so none is
    // handed out again after a restart. False when the file could not be
    // written; the counter then stays as it was.
    bool SetNextContentId(int32_t next);

private:
    // Applies the change to a copy of the asset's state and keeps it only
    // once the file holds it.
    template <class Change>
    bool ChangeAsset(const KUID& kuid, Change change);
    bool Save(const std::map<KUID, AssetState, KADFilterElementAssetID::Order>& assets) const
    {
        return Save(assets, nextContent_);
    }
    bool Save(const std::map<KUID, AssetState, KADFilterElementAssetID::Order>& assets, int32_t nextContent) const;

    std::string path_;
    std::map<KUID, AssetState, KADFilterElementAssetID::Order> assets_;
    std::map<int32_t, std::string> authors_;
    std::string language_;
    int32_t nextContent_ = 1;
};

// Saves the bytes as Platform::FileSave does, synced, and syncs the folder
// after. False, with the file as it was, on any failure.
bool WriteFileDurably(const std::string& path, const std::string& bytes);

}  // namespace kaddaemon
