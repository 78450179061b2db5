#include "kaddaemon/ChangeRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>
#include <system_error>

#include "core/compress/Crc32.h"
#include "core/streams/LittleEndian.h"
#include "kaddaemon/AssetFolders.h"
#include "kaddaemon/DaemonState.h"

namespace fs = std::filesystem;

namespace kaddaemon {
namespace {

constexpr uint32_t kFlagMarked = 1;
constexpr uint32_t kFlagForget = 2;
constexpr uint32_t kKnownFlags = kFlagMarked | kFlagForget;

void PutU32(std::string& out, uint32_t value)
{
    char bytes[4];
    StoreLE32(bytes, value);
    out.append(bytes, sizeof bytes);
}

void PutPath(std::string& out, const std::string& path)
{
    PutU32(out, uint32_t(path.size()));
    out += path;
}

// Reads the record's fields in order; every read checks the bytes left.
class Fields {
public:
    Fields(const std::string& bytes, size_t end) : bytes_(bytes), end_(end) {}

    bool U32(uint32_t& value)
    {
        if (end_ - at_ < 4)
            return false;
        value = LoadLE32(bytes_.data() + at_);
        at_ += 4;
        return true;
    }
    bool Bytes(size_t n, std::string& out)
    {
        if (end_ - at_ < n)
            return false;
        out.assign(bytes_, at_, n);
        at_ += n;
        return true;
    }
    bool Path(std::string& out)
    {
        uint32_t length;
        return U32(length) && length <= ChangeRecord::kMaxPathBytes && Bytes(length, out) &&
               ChangeRecord::IsAssetPath(out);
    }
    bool Paths(std::vector<std::string>& out)
    {
        uint32_t count;
        if (!U32(count) || count > ChangeRecord::kMaxEntries)
            return false;
        out.resize(count);
        for (std::string& path : out)
            if (!Path(path))
                return false;
        return true;
    }
    bool AtEnd() const noexcept { return at_ == end_; }

private:
    const std::string& bytes_;
    size_t end_;
    size_t at_ = 0;
};

std::string Parent(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Why(int err) { return std::strerror(err); }

}  // namespace

bool ChangeRecord::IsAssetPath(const std::string& path)
{
    if (path.empty() || path.size() > kMaxPathBytes || path.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    bool first = true;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string_view part(path.data() + start, (slash == std::string::npos ? path.size() : slash) - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (first && part != "local" && part != "editing" && part != "trash")
            return false;
        if (first && slash == std::string::npos)
            return false;  // the folder itself is no asset's
        first = false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

std::string ChangeRecord::Encode() const
{
    std::string out;
    PutU32(out, kMagic);
    PutU32(out, kVersion);
    PutU32(out, uint32_t(kind));
    uint8_t packed[KUID::kPackedSize];
    kuid.ToChunk(packed);
    out.append(reinterpret_cast<const char*>(packed), sizeof packed);
    PutU32(out, (marked ? kFlagMarked : 0) | (forget ? kFlagForget : 0));
    PutU32(out, commitMove);
    PutU32(out, uint32_t(moves.size()));
    for (const Move& move : moves) {
        PutPath(out, move.from);
        PutPath(out, move.to);
    }
    for (const std::vector<std::string>* list : {&dropOnCommit, &dropOnUndo}) {
        PutU32(out, uint32_t(list->size()));
        for (const std::string& path : *list)
            PutPath(out, path);
    }
    PutU32(out, Crc32(out.data(), uint32_t(out.size())));
    return out;
}

bool ChangeRecord::Decode(const std::string& bytes, ChangeRecord& out, std::string& error)
{
    out = ChangeRecord();
    if (bytes.size() < 8 || bytes.size() > kMaxFileBytes) {
        error = "it is " + std::to_string(bytes.size()) + " bytes long";
        return false;
    }
    const size_t end = bytes.size() - 4;
    if (Crc32(bytes.data(), uint32_t(end)) != LoadLE32(bytes.data() + end)) {
        error = "its checksum does not match";
        return false;
    }
    Fields in(bytes, end);
    uint32_t magic, version, kind, flags, count;
    std::string packed;
    if (!in.U32(magic) || magic != kMagic || !in.U32(version) || version != kVersion) {
        error = "it is no change record of this daemon";
        return false;
    }
    if (!in.U32(kind) || kind < uint32_t(Kind::kInstall) || kind > uint32_t(Kind::kRevert) ||
        !in.Bytes(KUID::kPackedSize, packed) || !in.U32(flags) || (flags & ~kKnownFlags) != 0 ||
        !in.U32(out.commitMove) || !in.U32(count) || count == 0 || count > kMaxEntries ||
        out.commitMove >= count) {
        error = "its fields are out of range";
        return false;
    }
    out.kind = Kind(kind);
    out.kuid = KUID::FromChunk(reinterpret_cast<const uint8_t*>(packed.data()));
    out.marked = (flags & kFlagMarked) != 0;
    out.forget = (flags & kFlagForget) != 0;
    out.moves.resize(count);
    for (Move& move : out.moves) {
        if (!in.Path(move.from) || !in.Path(move.to)) {
            error = "a folder it names is not one of the root's asset folders";
            return false;
        }
    }
    if (!in.Paths(out.dropOnCommit) || !in.Paths(out.dropOnUndo)) {
        error = "a folder it names is not one of the root's asset folders";
        return false;
    }
    if (!in.AtEnd()) {
        error = "it holds more than a record";
        return false;
    }
    return true;
}

RecordedChange::RecordedChange(std::string root, DaemonState& state) : root_(std::move(root)), state_(state) {}

void RecordedChange::Step(const std::string& what) const
{
    if (observer_)
        observer_(what);
}

bool RecordedChange::Exists(const std::string& below) const
{
    struct stat st;
    return ::lstat(Path(below).c_str(), &st) == 0;
}

bool RecordedChange::Done(const ChangeRecord::Move& move) const { return !Exists(move.from) && Exists(move.to); }

bool RecordedChange::SyncParents(const std::vector<ChangeRecord::Move>& moves, std::string& error) const
{
    std::set<std::string> folders;
    for (const ChangeRecord::Move& move : moves) {
        folders.insert(Parent(move.from));
        folders.insert(Parent(move.to));
    }
    for (const std::string& folder : folders) {
        if (!SyncFolder(Path(folder))) {
            error = "The folder " + folder + " cannot be put on disk.";
            return false;
        }
    }
    return true;
}

bool RecordedChange::RemoveRecord(std::string& error)
{
    if (::unlink(RecordPath().c_str()) != 0 && errno != ENOENT) {
        error = "The record of the change cannot be removed: " + Why(errno) + ".";
        return false;
    }
    // Until its removal is on disk the record could come back after a
    // crash, and speak of folders that have changed since: no other change
    // may begin before.
    if (!SyncFolder(root_)) {
        error = "The removal of the record of the change cannot be put on disk.";
        return false;
    }
    pending_ = false;
    Step("resolved");
    return true;
}

RecordedChange::Result RecordedChange::Run(const ChangeRecord& record)
{
    Result result;
    if (pending_) {
        result.error = "An earlier change of the root is not finished.";
        return result;
    }
    if (!WriteFileDurably(RecordPath(), record.Encode())) {
        result.error = "The record of the change cannot be written.";
        return result;
    }
    pending_ = true;
    Step("recorded");
    if (record.marked && !state_.SetModified(record.kuid, true))
        return Undo(record, 0, false, state_.SaveError());
    for (size_t i = 0; i < record.moves.size(); ++i) {
        const ChangeRecord::Move& move = record.moves[i];
        std::error_code ec;
        fs::rename(Path(move.from), Path(move.to), ec);
        if (ec) {
            std::string why = "Cannot move " + move.from + " to " + move.to + ": " + ec.message() + ".";
            if (i <= record.commitMove)
                return Undo(record, i, record.marked, std::move(why));
            result.committed = true;
            result.error = std::move(why);
            return result;
        }
        Step("moved " + move.to);
        std::string why;
        if (!SyncParents({move}, why)) {
            if (i < record.commitMove)
                return Undo(record, i + 1, record.marked, std::move(why));
            // In place, not known to be on disk: dropping the old folder now
            // could leave neither after a crash. Resolve finishes it once
            // the disk takes the syncs.
            result.committed = true;
            result.error = std::move(why);
            return result;
        }
        if (i == record.commitMove)
            Step("committed");
    }
    return Finish(record, false);
}

RecordedChange::Result RecordedChange::Undo(const ChangeRecord& record, size_t count, bool unmark, std::string why)
{
    Result result;
    result.error = std::move(why);
    std::vector<ChangeRecord::Move> undone;
    for (size_t j = count; j-- > 0;) {
        const ChangeRecord::Move& move = record.moves[j];
        if (!Done(move))
            continue;
        std::error_code ec;
        fs::rename(Path(move.to), Path(move.from), ec);
        if (ec) {
            // The record stays: the next start, or the next change, undoes
            // what is left.
            result.error += " The change cannot be undone: " + ec.message() + ".";
            return result;
        }
        undone.push_back(move);
    }
    std::string failed;
    if (!SyncParents(undone, failed)) {
        result.error += " " + failed;
        return result;
    }
    for (const std::string& folder : record.dropOnUndo) {
        std::error_code ec;
        fs::remove_all(Path(folder), ec);
    }
    if (unmark && !state_.SetModified(record.kuid, false)) {
        result.error += " The asset's mark cannot be taken back.";
        return result;
    }
    if (!RemoveRecord(failed))
        result.error += " " + failed;
    return result;
}

RecordedChange::Result RecordedChange::Finish(const ChangeRecord& record, bool runLaterMoves)
{
    Result result;
    result.committed = true;
    if (runLaterMoves) {
        for (size_t i = record.commitMove + 1; i < record.moves.size(); ++i) {
            const ChangeRecord::Move& move = record.moves[i];
            if (Done(move) || !Exists(move.from))
                continue;
            std::error_code ec;
            fs::rename(Path(move.from), Path(move.to), ec);
            if (ec) {
                result.error = "Cannot move " + move.from + " to " + move.to + ": " + ec.message() + ".";
                return result;
            }
        }
        if (!SyncParents(record.moves, result.error))
            return result;
    }
    for (const std::string& folder : record.dropOnCommit) {
        std::error_code ec;
        fs::remove_all(Path(folder), ec);
        if (ec) {
            result.error = "Cannot remove " + folder + ": " + ec.message() + ".";
            return result;
        }
    }
    if (!record.dropOnCommit.empty())
        Step("dropped");
    if (record.forget && !state_.Forget(record.kuid)) {
        result.error = state_.SaveError();
        return result;
    }
    if (!RemoveRecord(result.error))
        return result;
    result.ok = true;
    return result;
}

RecordedChange::Result RecordedChange::Resolve(bool* acted)
{
    if (acted)
        *acted = false;
    Result result;
    const std::string path = RecordPath();
    std::string bytes;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            result.error = "The record of a change cut short, " + path + ", cannot be read.";
            return result;
        }
        pending_ = false;
        result.ok = true;
        return result;
    }
    if (acted)
        *acted = true;
    pending_ = true;
    std::string why;
    ChangeRecord record;
    const int fd = S_ISREG(st.st_mode) ? ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        uint64_t(st.st_size) <= ChangeRecord::kMaxFileBytes) {
        bytes.resize(size_t(st.st_size));
        size_t have = 0;
        while (have < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            have += size_t(got);
        }
        bytes.resize(have);
        ChangeRecord::Decode(bytes, record, why);
    } else {
        why = S_ISREG(st.st_mode) ? "it does not read" : "it is no regular file";
    }
    if (fd >= 0)
        ::close(fd);
    if (!why.empty()) {
        // Guessing what the change was could put back what it removed.
        result.error = "The record of a change cut short, " + path + ", is damaged: " + why + ".";
        return result;
    }
    if (Done(record.moves[record.commitMove]))
        return Finish(record, true);
    // A change marks only an asset that was not marked: marked now, the
    // mark is this change's.
    const DaemonState::AssetState* state = state_.Find(record.kuid);
    const bool unmark = record.marked && state && state->modified;
    Result undone = Undo(record, record.commitMove, unmark, "");
    if (!undone.error.empty())
        undone.error.erase(0, undone.error.find_first_not_of(' '));
    else
        undone.ok = true;
    return undone;
}

}  // namespace kaddaemon
