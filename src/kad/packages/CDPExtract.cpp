// Writing a package entry's files to disk.
//
// The folder the caller names is trusted; nothing below it is. The walk
// goes from folder to folder by descriptor (openat and friends, which the
// engine's path-based file layer does not offer) so that no component a
// package names is looked up twice or followed through a symbolic link, and
// each file is written under a temporary name and renamed into place only
// when complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <string>

#include "config/formats/ConfigFile.h"
#include "config/tree/TagTreeOps.h"
#include "core/compress/LZSSCompress.h"
#include "core/streams/LittleEndian.h"
#include "kad/packages/CDP.h"
#include "kad/packages/PackageSafety.h"
#include "nyx/files/File.h"
#include "platform/FileConfinement.h"

namespace {

const char kUnknownType[] = "Unknown data type encountered. Content package may be damaged";
const char kWriteError[] = "Unable to write content files to disk";
const char kDecompressError[] = "Failed to decompress data. Content package may be damaged";
const char kUnknownCompression[] = "Unknown compression type encountered. Content package may be damaged";
const char kTooDeep[] = "Folders nested deeper than 64 levels cannot be installed. Content package may be damaged";
static_assert(Platform::kMaxAssetFolderDepth == 64, "the text above names the limit");

// The bytes in front of a compressed file's LZSS stream: the file's size.
constexpr uint32_t kSizePrefix = 4;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const noexcept { return fd_; }
    // False when the close reports that written data did not reach the file.
    bool Close() noexcept
    {
        if (fd_ < 0)
            return true;
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const uint8_t* data, size_t length)
{
    while (length != 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// Takes the decoder's pieces straight to the file, refusing any byte past
// the size the chunk's prefix gives.
class FileSink : public Nyx::DecompressSink {
public:
    FileSink(int fd, uint32_t limit) noexcept : fd_(fd), limit_(limit) {}

    bool Put(const uint8_t* data, uint32_t size) override
    {
        if (uint64_t(written_) + size > limit_) {
            tooLong_ = true;
            return false;
        }
        if (!WriteAll(fd_, data, size)) {
            writeFailed_ = true;
            return false;
        }
        written_ += size;
        return true;
    }
    bool WriteFailed() const noexcept { return writeFailed_; }

private:
    int fd_;
    uint32_t limit_;
    uint32_t written_ = 0;
    bool tooLong_ = false;
    bool writeFailed_ = false;
};

// The file's bytes into the open descriptor; empty on success.
const char* WriteContent(int fd, const ACSRawData& data, const Nyx::PString& compression)
{
    if (compression.Empty()) {
        if (data.Size() != 0 && !WriteAll(fd, data.Data(), data.Size()))
            return kWriteError;
        return nullptr;
    }
    if (!data || data.Size() < kSizePrefix)
        return kDecompressError;
    // The name packages carry is exactly "LZSS"; any other spelling names
    // no codec this reader knows.
    if (compression.View() != "LZSS")
        return kUnknownCompression;
    FileSink sink(fd, LoadLE32(data.Data()));
    Nyx::LZSSCompress codec;
    if (!codec.DecompressTo(sink, data.Data() + kSizePrefix, data.Size() - kSizePrefix))
        return sink.WriteFailed() ? kWriteError : kDecompressError;
    return nullptr;
}

// Names no package entry can have (a leading "." is refused), unique within
// the process and, by the process id, among processes.
std::string TemporaryName()
{
    static std::atomic<uint64_t> counter{0};
    return ".extracting-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// One file into the folder open as `folderFd`. With `refuseLink`, a
// symbolic link standing at the name is an error rather than something to
// replace.
const char* ExtractFileAt(int folderFd, const std::string& name, const ACSRawData& data,
                          const Nyx::PString& compression, bool refuseLink)
{
    struct stat st;
    if (refuseLink && ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return kWriteError;

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = TemporaryName();
        fd = ::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return kWriteError;
    Descriptor file(fd);

    const char* failure = WriteContent(file.Get(), data, compression);
    if (!file.Close() && !failure)
        failure = kWriteError;
    // A rename replaces whatever stands at the name (a link included)
    // without following it.
    if (!failure && ::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0)
        failure = kWriteError;
    if (failure)
        ::unlinkat(folderFd, temporary.c_str(), 0);
    return failure;
}

// Opens a folder below `folderFd`, made when missing; never through a link.
int OpenSubFolder(int folderFd, const char* name)
{
    if (::mkdirat(folderFd, name, 0777) != 0 && errno != EEXIST)
        return -1;
    return ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// `below` is the path of this folder below the one the caller named.
Nyx::String ExtractFolderAt(int folderFd, const ChunkRef& files, std::string& below,
                            const Nyx::PString& compression, int level, std::set<std::string>* written)
{
    Nyx::String result;
    const uint32_t count = files ? files->GetChildCount() : 0;
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!files->GetChildAt(i, name, child) || !child)
            continue;
        if (!IsSafeFileName(name.c_str()))
            continue;
        switch (child->GetType()) {
        case ACS_TYPE_CONTAINER: {
            const size_t mark = below.size();
            if (!below.empty())
                below += '/';
            below += name.View();
            if (level >= Platform::kMaxAssetFolderDepth) {
                // What installs must also export and open for edit, which
                // go no deeper.
                result = kTooDeep;
            } else if (IsSafeFolderPath(below.c_str())) {
                Descriptor sub(OpenSubFolder(folderFd, name.c_str()));
                if (sub.Get() < 0) {
                    result = kWriteError;
                } else {
                    Nyx::String nested = ExtractFolderAt(sub.Get(), child, below, compression, level + 1, written);
                    if (!nested.Empty())
                        result = nested;
                }
            }
            below.resize(mark);
            break;
        }
        case ACS_TYPE_RAW:
            if (!IsPackageFileType(name.c_str()))
                break;
            if (const char* failure =
                    ExtractFileAt(folderFd, name.Str(), ACSRawData::FromChunk(child), compression, true))
                result = failure;
            else if (written)
                written->insert(below.empty() ? name.Str() : below + "/" + name.Str());
            break;
        default:
            result = kUnknownType;
            break;
        }
    }
    return result;
}

}  // namespace

Nyx::String CDP::ExtractFolder(const ChunkRef& files, const Nyx::File::Path& folder, const Nyx::PString& compression,
                               uint32_t* filesWritten)
{
    Nyx::File::MakeFolder(folder);
    // When the folder does not open, each file and folder to write fails on
    // its own, as the walk would report it.
    std::string real = Nyx::File::Resolve(Nyx::PString(), folder);
    Descriptor top(real.empty() ? -1 : ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string below;
    // A name the tree holds twice is one file on disk.
    std::set<std::string> written;
    Nyx::String result = ExtractFolderAt(top.Get(), files, below, compression, 0, filesWritten ? &written : nullptr);
    if (filesWritten)
        *filesWritten = static_cast<uint32_t>(written.size());
    return result;
}

Nyx::String CDP::ExtractFile(const ACSRawData& data, const Nyx::File::Path& path, const Nyx::PString& compression)
{
    std::string real = Nyx::File::Resolve(Nyx::PString(), path);
    const size_t slash = real.rfind('/');
    const std::string name = slash == std::string::npos ? real : real.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/")
                                                                                          : real.substr(0, slash);
    if (name.empty())
        return Nyx::String(kWriteError);
    Descriptor folder(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0)
        return Nyx::String(kWriteError);
    if (const char* failure = ExtractFileAt(folder.Get(), name, data, compression, false))
        return Nyx::String(failure);
    return {};
}
