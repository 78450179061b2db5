#include "kaddaemon/DaemonState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "config/tree/ACSConvert.h"
#include "config/formats/ConfigFile.h"
#include "config/formats/ConfigText.h"
#include "core/streams/TStream.h"
#include "nyx/base/DynamicBuffer.h"
#include "kaddaemon/AssetStore.h"
#include "platform/FileSave.h"

namespace kaddaemon {

bool WriteFileDurably(const std::string& path, const std::string& bytes)
{
    Platform::FileSaveOptions options;
    options.syncFolder = true;
    options.createMode = 0644;
    return Platform::SaveFile(path, bytes.data(), bytes.size(), std::move(options));
}

namespace {

// Far beyond what keywords and favourites of any root come to; a larger
// file is no state this daemon wrote.
constexpr uint64_t kMaxStateBytes = uint64_t(1) << 30;

// The file's bytes, read without waiting on whatever the name stands for
// (a link is followed, as saves follow it). False with `error` set when the
// file is there but is no regular file or does not read; a missing file
// reads as no bytes.
bool ReadStateFile(const std::string& path, std::string& bytes, std::string& error)
{
    bytes.clear();
    const std::string notRegular = "the state file " + path + " is not a regular file";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        error = "cannot read the state file " + path;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = notRegular;
        return false;
    }
    // Looked at again through the descriptor: the name may have been given
    // to something else since.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = fd < 0 ? "cannot read the state file " + path : notRegular;
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (uint64_t(st.st_size) > kMaxStateBytes) {
        ::close(fd);
        error = "the state file " + path + " is too large";
        return false;
    }
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got > 0 && bytes.size() + size_t(got) > kMaxStateBytes) {
            error = "the state file " + path + " is too large";
            break;
        }
        if (got > 0) {
            bytes.append(block, size_t(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = "cannot read the state file " + path;
        break;
    }
    ::close(fd);
    return error.empty();
}

}  // namespace

bool DaemonState::Load(const std::string& root, std::string& error)
{
    path_ = root + "/" + kFileName;
    assets_.clear();
    authors_.clear();
    language_.clear();
    nextContent_ = 1;
    std::string bytes;
    if (!ReadStateFile(path_, bytes, error))
        return false;
    Nyx::DynamicBuffer buffer;
    TBuffer stream(&buffer);
    stream.WriteBytes(bytes.data(), uint32_t(bytes.size()));
    stream.Rewind();
    ChunkRef tree;
    if (bytes.empty() || !ReadConfigText(tree, stream, false) || !tree)
        return true;
    std::string next = TagText(tree, "next-content");
    if (!next.empty()) {
        long value = std::strtol(next.c_str(), nullptr, 10);
        if (value > 1 && value <= INT32_MAX)
            nextContent_ = int32_t(value);
    }
    language_ = TagText(tree, "language");
    ChunkRef assets = tree->FindChildConst(Nyx::PString("assets"));
    for (uint32_t i = 0; assets && i < assets->GetChildCount(); ++i) {
        Nyx::PString name;
        ChunkRef entry;
        assets->GetChildAt(i, name, entry);
        KUID kuid = TagKUID(entry, "kuid");
        if (kuid.IsNull())
            continue;
        AssetState& state = assets_[kuid];
        state.keywords = TagText(entry, "keywords");
        state.favourite = std::atoi(TagText(entry, "favourite").c_str()) != 0;
        state.modified = std::atoi(TagText(entry, "modified").c_str()) != 0;
    }
    ChunkRef authors = tree->FindChildConst(Nyx::PString("authors"));
    for (uint32_t i = 0; authors && i < authors->GetChildCount(); ++i) {
        Nyx::PString name;
        ChunkRef entry;
        authors->GetChildAt(i, name, entry);
        std::string id = TagText(entry, "id");
        if (!id.empty())
            authors_[int32_t(std::strtol(id.c_str(), nullptr, 10))] = TagText(entry, "name");
    }
    return true;
}

const DaemonState::AssetState* DaemonState::Find(const KUID& kuid) const
{
    auto it = assets_.find(kuid);
    return it == assets_.end() ? nullptr : &it->second;
}

template <class Change>
bool DaemonState::ChangeAsset(const KUID& kuid, Change change)
{
    auto next = assets_;
    change(next[kuid]);
    if (!Save(next))
        return false;
    assets_ = std::move(next);
    return true;
}

bool DaemonState::SetKeywords(const KUID& kuid, const std::string& keywords)
{
    return ChangeAsset(kuid, [&](AssetState& state) { state.keywords = keywords; });
}

bool DaemonState::SetFavourite(const KUID& kuid, bool favourite)
{
    return ChangeAsset(kuid, [&](AssetState& state) { state.favourite = favourite; });
}

bool DaemonState::SetModified(const KUID& kuid, bool modified)
{
    return ChangeAsset(kuid, [&](AssetState& state) { state.modified = modified; });
}

bool DaemonState::Forget(const KUID& kuid)
{
    if (assets_.find(kuid) == assets_.end())
        return true;
    auto next = assets_;
    next.erase(kuid);
    if (!Save(next))
        return false;
    assets_ = std::move(next);
    return true;
}

std::string DaemonState::AuthorName(int32_t authorId) const
{
    auto it = authors_.find(authorId);
    return it == authors_.end() ? std::string() : it->second;
}

bool DaemonState::SetNextContentId(int32_t next)
{
    if (next <= nextContent_)
        return true;
    if (!Save(assets_, next))
        return false;
    nextContent_ = next;
    return true;
}

bool DaemonState::Save(const std::map<KUID, AssetState, KADFilterElementAssetID::Order>& assets,
                       int32_t nextContent) const
{
    // Texts are held as UTF-8, and the reader takes a file without the mark
    // for ANSI: unmarked, every save would encode them once more.
    std::string text = "\xEF\xBB\xBFnext-content " + std::to_string(nextContent) + "\r\n";
    if (!language_.empty()) {
        text += "language ";
        ConfigText::WriteQuoted(text, language_, true);
        text += "\r\n";
    }
    text += "assets\r\n{\r\n";
    uint32_t index = 0;
    for (const auto& [kuid, state] : assets) {
        text += "  " + std::to_string(index++) + "\r\n  {\r\n    kuid " + std::string(kuid.ToString().c_str()) + "\r\n";
        if (!state.keywords.empty()) {
            text += "    keywords ";
            ConfigText::WriteQuoted(text, state.keywords, true);
            text += "\r\n";
        }
        text += state.favourite ? "    favourite 1\r\n" : "    favourite 0\r\n";
        text += state.modified ? "    modified 1\r\n" : "    modified 0\r\n";
        text += "  }\r\n";
    }
    text += "}\r\nauthors\r\n{\r\n";
    index = 0;
    for (const auto& [id, name] : authors_) {
        text += "  " + std::to_string(index++) + "\r\n  {\r\n    id " + std::to_string(id) + "\r\n    name ";
        ConfigText::WriteQuoted(text, name, true);
        text += "\r\n  }\r\n";
    }
    text += "}\r\n";
    return WriteFileDurably(path_, text);
}

}  // namespace kaddaemon
