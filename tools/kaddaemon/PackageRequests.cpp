#include "kaddaemon/PackageRequests.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigFile.h"
#include "config/kuid/KUID.h"
#include "config/results/KestroProperty.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/compress/LZSSCompress.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kad/packages/CDP.h"
#include "kad/requests/AssetRecord.h"
#include "kaddaemon/AssetFolders.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/RequestTable.h"
#include "platform/FileConfinement.h"

namespace fs = std::filesystem;

namespace kaddaemon {
namespace {

constexpr uint32_t kNumbers[] = {29, 39, 40, 48};

// Folders nested deeper than this are not exported.
constexpr int kMaxDepth = Platform::kMaxAssetFolderDepth;
// The level of the exported LZSS streams: the fastest coded level, whose
// streams are hardly larger than the default level's.
constexpr uint32_t kExportLevel = 1;
// Files an export compresses at once.
constexpr unsigned kMaxExportThreads = 8;
// The u32 size in front of a compressed file chunk.
constexpr uint32_t kSizePrefix = 4;

// An error or a warning; one that concerns one asset names it.
struct Error {
    KUID asset = KUID::Null;
    std::string text;
    int32_t severity = ResultsLog::kError;
};

// All errors and warnings of one request go out in one note.
void SendErrors(const NoteSink& notes, uint32_t transactionId, const std::vector<Error>& errors)
{
    if (errors.empty() || !notes)
        return;
    ResultsLog log;
    for (const Error& error : errors) {
        PropertyRef asset;
        if (!error.asset.IsNull())
            asset.Reset(new KestroPropertyAssetID(Nyx::PString("AssetID"), error.asset));
        ResultsLog::AddResult(log, error.severity, asset, Nyx::String(error.text));
    }
    SendResults(notes, transactionId, log);
}

void SendError(const NoteSink& notes, uint32_t transactionId, const std::string& text)
{
    if (!text.empty())
        SendErrors(notes, transactionId, {Error{KUID::Null, text}});
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Text(const KUID& kuid) { return kuid.ToString().c_str(); }

// The folder the asset's files are in as it stands: its working copy while
// it is open for edit, else its installed folder; empty when unknown.
std::string AssetFolder(AssetStore& store, const KUID& kuid)
{
    std::string name, path;
    store.NameAndPath(kuid, true, name, path);
    return path;
}

// The entries of a folder in name order, so every export of a folder is
// the same; false when the folder cannot be read.
bool SortedEntries(const fs::path& folder, std::vector<fs::directory_entry>& out)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec))
        out.push_back(*it);
    std::sort(out.begin(), out.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    return !ec;
}

// ---- request 29 ----

bool IsImageName(const std::string& name)
{
    std::string ext = Lower(fs::path(name).extension().string());
    return ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".bmp" || ext == ".tga";
}

// Reads a whole file of at most `limit` bytes (no more than a u32 holds)
// into a block from malloc. Null with a reason when the file does not read
// whole or is larger.
uint8_t* ReadWhole(const fs::path& path, uint64_t limit, uint32_t& size, std::string& error)
{
    // A FIFO put in a file's place since the folder was looked at would
    // hold a plain open for ever.
    int fd = Platform::OpenRegularFile(path.string(), O_RDONLY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        error = "Cannot read " + path.string() + ".";
        return nullptr;
    }
    if (uint64_t(st.st_size) > limit) {
        ::close(fd);
        error = "The file " + path.string() + " is too large.";
        return nullptr;
    }
    size = static_cast<uint32_t>(st.st_size);
    auto* block = static_cast<uint8_t*>(std::malloc(size_t(size) + 1));
    uint32_t have = 0;
    while (block && have < size) {
        ssize_t got = ::read(fd, block + have, size - have);
        if (got <= 0)
            break;
        have += static_cast<uint32_t>(got);
    }
    ::close(fd);
    if (!block || have != size) {
        std::free(block);
        error = "Cannot read " + path.string() + ".";
        return nullptr;
    }
    return block;
}

void ServeThumbnail(AssetStore& store, TStream& request, TStream& reply)
{
    KUID kuid;
    uint32_t size;
    ReadKUID(request, kuid);
    request.ReadInt32(size, 0u);
    // Images are handed over as they are, whatever size was asked for.
    std::vector<fs::directory_entry> entries;
    std::string folder = AssetFolder(store, kuid);
    if (!folder.empty())
        SortedEntries(folder, entries);
    std::error_code ec;
    for (const fs::directory_entry& entry : entries) {
        std::string name = entry.path().filename().string();
        if (Lower(name) == "thumbnail.jpg" && !entry.is_symlink(ec) && entry.is_regular_file(ec)) {
            reply.WritePString(Nyx::PString(name));
            reply.WriteString(Nyx::AnsiString(entry.path().string()));
            reply.WriteInt32(0);
            return;
        }
    }
    for (const fs::directory_entry& entry : entries) {
        std::string name = entry.path().filename().string();
        if (!IsImageName(name) || entry.is_symlink(ec) || !entry.is_regular_file(ec))
            continue;
        uint32_t length = 0;
        std::string error;
        uint8_t* bytes = ReadWhole(entry.path(), kMaxThumbnailBytes, length, error);
        if (!bytes)
            continue;
        reply.WritePString(Nyx::PString(name));
        reply.WriteString(Nyx::AnsiString(std::string()));
        reply.WriteInt32(length);
        reply.WriteBytes(bytes, length);
        std::free(bytes);
        return;
    }
    reply.WritePString(Nyx::PString());
    reply.WriteString(Nyx::AnsiString(std::string()));
    reply.WriteInt32(0);
}

// ---- request 48 ----

// Builds the "files" tree of an export. The folder walk makes the tree with
// an empty tag for each file; the files are then read and compressed on a
// few threads at once (compression is most of an export's work) and their
// bytes put into the tags.
class Exporter {
public:
    // `read` is told of each file once its bytes are in.
    Exporter(bool compress, std::function<void(const std::string&)> read)
        : compress_(compress), read_(std::move(read))
    {
    }

    const std::string& Error() const { return error_; }

    // Adds the folder's files and sub-folders to the container. The
    // config files stay out at the top: the entry's own tree is the config.
    bool AddFolder(ChunkRef& files, const fs::path& folder, int depth)
    {
        if (depth > kMaxDepth) {
            error_ = "The folder " + folder.string() + " is nested too deeply.";
            return false;
        }
        std::vector<fs::directory_entry> entries;
        if (!SortedEntries(folder, entries)) {
            error_ = "Cannot read the folder " + folder.string() + ".";
            return false;
        }
        for (const fs::directory_entry& entry : entries) {
            std::string name = entry.path().filename().string();
            std::error_code ec;
            // Links are neither the asset's files nor its folders: following
            // one could pack what lies outside the asset, or loop.
            if (entry.is_symlink(ec))
                continue;
            if (depth == 0 && (Lower(name) == "config.txt" || Lower(name) == "config.chump"))
                continue;
            if (entry.is_directory(ec)) {
                ChunkRef sub(new TDBContainerTag);
                if (!AddFolder(sub, entry.path(), depth + 1))
                    return false;
                files->AddChild(Nyx::PString(name), sub);
            } else if (entry.is_regular_file(ec)) {
                ChunkRef tag = files->CreateChunk(ACS_TYPE_RAW, ACSRawData());
                files->AddChild(Nyx::PString(name), tag);
                items_.push_back({std::move(tag), entry.path(), {}, {}});
            }
        }
        return true;
    }

    // Reads every file the walk found into its tag; false with the error
    // of the first file (in tree order) that failed.
    bool ReadFiles()
    {
        std::atomic<size_t> next{0};
        std::atomic<bool> failed{false};
        auto work = [&]() {
            Nyx::LZSSCompress codec;
            for (size_t i = next++; i < items_.size() && !failed; i = next++) {
                if (!FileData(codec, items_[i]))
                    failed = true;
            }
        };
        const unsigned wanted = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxExportThreads);
        std::vector<std::thread> helpers;
        for (unsigned i = 1; i < wanted && i < items_.size(); ++i) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break;  // the threads there are do the work
            }
        }
        work();
        for (std::thread& helper : helpers)
            helper.join();
        for (Item& item : items_) {
            if (!item.error.empty()) {
                error_ = item.error;
                return false;
            }
            item.tag->SetValue(ACS_TYPE_RAW, std::move(item.data));
        }
        return true;
    }

private:
    struct Item {
        ChunkRef tag;
        fs::path path;
        ACSRawData data;
        std::string error;
    };

    bool FileData(Nyx::LZSSCompress& codec, Item& item)
    {
        // Past the reply's limit the entry could not be sent anyway.
        const uint64_t sent = std::min<uint64_t>(total_, DaemonWire::kMaxPayloadLength);
        const uint64_t room = DaemonWire::kMaxPayloadLength - sent;
        uint32_t size = 0;
        uint8_t* source = ReadWhole(item.path, room, size, item.error);
        if (!source)
            return false;
        if (read_)
            read_(item.path.string());
        if (!compress_) {
            total_ += size;
            item.data = ACSRawData::Adopt(source, size);
            return true;
        }
        // The stored form (one header byte and the bytes) always fits, and
        // the codec falls back to it when the coded form would not.
        const uint32_t capacity = size + 1;
        auto* block = static_cast<uint8_t*>(std::malloc(size_t(kSizePrefix) + capacity));
        if (!block) {
            std::free(source);
            item.error = "Out of memory exporting " + item.path.string() + ".";
            return false;
        }
        StoreLE32(block, size);
        Nyx::CompressOutput coded(block + kSizePrefix, capacity);
        bool ok = codec.CompressData(coded, source, size, kExportLevel);
        std::free(source);
        if (!ok) {
            std::free(block);
            item.error = "Cannot compress " + item.path.string() + ".";
            return false;
        }
        const uint32_t length = kSizePrefix + coded.Size();
        if (auto* smaller = static_cast<uint8_t*>(std::realloc(block, length)))
            block = smaller;
        total_ += length;
        item.data = ACSRawData::Adopt(block, length);
        return true;
    }

    bool compress_;
    std::function<void(const std::string&)> read_;
    std::vector<Item> items_;
    std::atomic<uint64_t> total_{0};
    std::string error_;
};

void ServeExport(AssetStore& store, uint32_t transactionId, TStream& request, TStream& reply,
                 const NoteSink& notes)
{
    KUID kuid;
    uint32_t flags;
    ReadKUID(request, kuid);
    request.ReadInt32(flags, 0u);
    // The files are read after the store lets go of its lock: the hold
    // keeps a reinstall or a commit from changing the folder meanwhile, so
    // the package holds one version of the asset whole.
    ChunkRef config;
    std::string folder;
    AssetStore::ReadHold hold;
    if (!store.HoldForReading(kuid, config, folder, hold)) {
        SendError(notes, transactionId, "Unknown asset " + Text(kuid) + ".");
        return;
    }
    ChunkRef entry;
    if (!entry.CloneContainer(config)) {
        SendError(notes, transactionId, "The config of " + Text(kuid) + " is nested too deeply.");
        return;
    }
    const bool compress = (flags & kExportCompressed) != 0;
    Exporter exporter(compress, [&hold](const std::string& file) { hold.Read(file); });
    ChunkRef files(new TDBContainerTag);
    if (!exporter.AddFolder(files, folder, 0) || !exporter.ReadFiles()) {
        SendError(notes, transactionId, exporter.Error());
        return;
    }
    // A checksum or a compression name the config happens to carry would
    // not describe these files.
    TDBContainerTag::RemoveChild(entry, Nyx::PString("dsid"));
    TDBContainerTag::RemoveChild(entry, Nyx::PString("compression"));
    TDBContainerTag::SetChildContainer(entry, Nyx::PString("files"), files);
    if (compress)
        TDBContainerTag::SetString(entry, Nyx::PString("compression"), Nyx::PString("LZSS"));
    WriteBinaryConfig(reply, entry);
    if (reply.GetError() != 0 || reply.Tell() > DaemonWire::kMaxPayloadLength) {
        reply.Reset();
        SendError(notes, transactionId, "The asset " + Text(kuid) + " is too large to export.");
    }
}

// ---- requests 39 and 40 ----

// Fills a new folder at the path, counting the files it writes; false with
// a reason when it could not.
using FolderFiller = std::function<bool(const std::string& folder, uint64_t& written, std::string& error)>;

// Installs the asset: the filler makes its files in a folder of their own,
// which the store's start-up clears away, and the store commits it in place
// of what the asset had. On failure the asset stays as it was. A client
// that has gone meanwhile cancels the install before the commit. What the
// user is to know of an install that went through is added to `said`.
bool InstallAsset(AssetStore& store, const KUID& kuid, const std::string& name, const FolderFiller& fill,
                  const AskerGone& gone, std::string& error, std::vector<Error>& said)
{
    const std::string folder = store.InstallingFolder(name);
    std::string why;
    std::error_code ec;
    uint64_t written = 0;
    if (!fill(folder, written, why)) {
        fs::remove_all(folder, ec);
        error = why;
        return false;
    }
    if (gone && gone()) {
        fs::remove_all(folder, ec);
        error = "The install of " + Text(kuid) + " was cancelled.";
        return false;
    }
    AssetStore::Outcome outcome = store.InstallFolder(kuid, name, folder, written);
    error = outcome.error;
    if (!outcome.warning.empty())
        said.push_back({kuid, outcome.warning, ResultsLog::kWarning});
    return outcome.ok;
}

// Removes the files directly in the folder whose name is `name` in any case
// of its letters; how many it removed.
uint32_t RemoveFilesNamed(const std::string& folder, const std::string& name)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (Lower(it->path().filename().string()) == name && it->symlink_status(ec).type() == fs::file_type::regular)
            found.push_back(it->path());
    uint32_t removed = 0;
    for (const fs::path& path : found)
        removed += fs::remove(path, ec) ? 1 : 0;
    return removed;
}

bool LoadFolderConfig(const std::string& folder, ChunkRef& config)
{
    for (const char* name : {"config.txt", "config.chump"}) {
        std::error_code ec;
        if (fs::is_regular_file(fs::path(folder) / name, ec) && LoadConfigFile(config, folder.c_str(), name) &&
            config)
            return true;
    }
    return false;
}

void ServeInstallFolder(AssetStore& store, uint32_t transactionId, TStream& request, TStream& reply,
                        const NoteSink& notes, const AskerGone& gone)
{
    Nyx::String text;
    uint32_t mode;
    request.ReadString(text);
    request.ReadInt32(mode, 0u);
    const std::string folder = text.c_str();
    KUID kuid = KUID::Null;
    std::string error;
    bool installed = false;
    ChunkRef config;
    std::vector<std::string> skipped;
    std::vector<Error> said;
    std::error_code ec;
    if (folder.empty() || folder[0] != '/')
        error = "The folder to install is not given as an absolute path.";
    else if (!fs::is_directory(folder, ec))
        error = "The folder " + folder + " does not exist.";
    else if (!LoadFolderConfig(folder, config))
        error = "The folder " + folder + " holds no config that loads.";
    else if ((kuid = TagKUID(config, "kuid")).IsNull())
        error = "The config in " + folder + " names no KUID.";
    else
        installed = InstallAsset(store, kuid, TagText(config, "username"),
                                 [&folder, &skipped](const std::string& target, uint64_t& written, std::string& why) {
                                     skipped.clear();
                                     return CopyFolderDurably(folder, target, why,
                                                              [&written](const std::string&) { ++written; }, &skipped);
                                 },
                                 gone, error, said);
    if (!installed) {
        SendError(notes, transactionId, error);
    } else {
        // What the copy left out is said, as a warning each.
        std::vector<Error> warnings;
        for (const std::string& link : skipped)
            warnings.push_back({KUID::Null,
                                "Skipped the link '" + link + "' of " + folder +
                                    ": its target is missing or lies outside the asset's folder.",
                                ResultsLog::kWarning});
        warnings.insert(warnings.end(), said.begin(), said.end());
        SendErrors(notes, transactionId, warnings);
    }
    WriteKUID(reply, installed ? kuid : KUID::Null);
    reply.WriteBool(installed);
}

// Installs each entry of the package file as the client's own package
// install would, and commits it; the reply counts the installed entries
// and tells whether all were.
void ServeInstallPackage(AssetStore& store, uint32_t transactionId, TStream& request, TStream& reply,
                         const NoteSink& notes, const AskerGone& gone)
{
    Nyx::String path;
    uint32_t mode;
    request.ReadString(path);
    request.ReadInt32(mode, 0u);
    // The install flag the tool sends asks for the binary config.
    const char* configName = (mode & 2) != 0 ? "config.chump" : "config.txt";
    // Errors, and the warnings of installs that went through, in the order
    // of the assets.
    std::vector<Error> errors;
    int32_t installed = 0;
    ChunkRef package;
    Nyx::String unreadable;
    if (path.Empty() || path.c_str()[0] != '/')
        errors.push_back({KUID::Null, "The package to install is not given as an absolute path."});
    else if (!(unreadable = CDP::CheckHeader(package, Nyx::File::Path(path))).Empty())
        errors.push_back({KUID::Null, std::string(unreadable.View())});
    const uint32_t count = errors.empty() ? CDP::GetAssetCount(package) : 0;
    // Once the client has gone (a Ctrl-C, say), no further asset is begun.
    for (uint32_t i = 0; i < count && !(gone && gone()); ++i) {
        ChunkRef entry = CDP::GetAssetAt(package, i);
        const KUID kuid = CDP::GetEntryKUID(entry);
        ChunkRef config = CDP::MakeConfigFromEntry(entry);
        if (kuid.IsNull() || !config) {
            errors.push_back({kuid, "An entry of the package names no asset."});
            continue;
        }
        const ChunkRef files = CDP::GetEntryFiles(entry);
        const Nyx::PString compression = CDP::GetEntryCompression(entry);
        std::string error;
        bool ok = InstallAsset(store, kuid, TagText(config, "username"),
                               [&](const std::string& target, uint64_t& written, std::string& why) {
                                   uint32_t extracted = 0;
                                   Nyx::String failed =
                                       CDP::ExtractFolder(files, Nyx::File::Path(target), compression, &extracted);
                                   if (!failed.Empty()) {
                                       why = failed.View();
                                       return false;
                                   }
                                   // The config replaces a file of its name that the package carried,
                                   // whatever the case of its letters: the save would otherwise land in
                                   // that file under its own name, where no reader of the folder looks.
                                   const uint32_t replaced = RemoveFilesNamed(target, configName);
                                   written = uint64_t(extracted) - replaced + 1;
                                   if (!SaveConfigFile(config, target.c_str(), configName, nullptr,
                                                       ConfigSync::kByCaller) ||
                                       !SyncTree(target)) {
                                       why = "Unable to write content files to disk";
                                       return false;
                                   }
                                   return true;
                               },
                               gone, error, errors);
        if (ok)
            ++installed;
        else
            errors.push_back({kuid, error});
    }
    SendErrors(notes, transactionId, errors);
    reply.WriteInt32(installed);
    reply.WriteBool(std::none_of(errors.begin(), errors.end(),
                                 [](const Error& e) { return e.severity == ResultsLog::kError; }));
}

}  // namespace

bool ServePackageRequest(AssetStore& store, uint32_t number, uint32_t transactionId, TStream& request,
                         TStream& reply, const NoteSink& notes, const AskerGone& gone)
{
    switch (number) {
    case 29:
        ServeThumbnail(store, request, reply);
        return true;
    case 39:
        ServeInstallFolder(store, transactionId, request, reply, notes, gone);
        return true;
    case 40:
        ServeInstallPackage(store, transactionId, request, reply, notes, gone);
        return true;
    case 48:
        ServeExport(store, transactionId, request, reply, notes);
        return true;
    default:
        return false;
    }
}

void RegisterPackageRequests(RequestTable& table, std::shared_ptr<AssetStore> store)
{
    for (uint32_t number : kNumbers) {
        table.Register(number, [store](RequestContext& context, TStream& request, TStream& reply) {
            DaemonConnection& connection = context.connection;
            ServePackageRequest(*store, context.number, context.transactionId, request, reply, NotesOf(connection),
                                [&connection]() { return connection.PeerGone(); });
        });
    }
}

}  // namespace kaddaemon
