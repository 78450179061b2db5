// Engine files, paths, folder searches and named mounts ("substs").
//
// Paths use "/" only: a "\" arriving in a path becomes "/" when the path is
// made. A path is absolute when it begins with "/"; relative paths are taken
// from the working folder. Opening an existing file falls back to a
// case-insensitive match of each missing component (first match in byte
// order); new files are created with the name as given.
//
// A file opened inside a mount (or inside a folder given as the base) is a
// file of the content, named by data that is not to be trusted; it is held
// to the rule of Platform::FileConfinement. A name with a folder part must
// stay inside the folder of its first component (in a data folder, the
// asset's folder), and that folder inside the mount's; a plain name must lie
// in the mount's folder. Only regular files open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/base/String.h"

namespace Platform {
class FileConfinement;
}

namespace Nyx {

class File {
public:
    // Open modes. Bits 0x0F ask for write access, 0x10 for read access (all
    // four write bits together ask for both); 0x100 or 0x200 create the file,
    // truncating an existing one, and 0x400 creates it but keeps an existing
    // one as it is. Each value the program passes is named here once.
    enum Mode : uint32_t {
        kModeRead = 0x10,          // an existing file, read only
        kModeWrite = 0x101,        // create or truncate, write only
        kModeWriteShared = 0x302,  // create or truncate, write only
        kModeWriteCreate = 0x301,  // create or truncate, write only (file copies)
        kModeReadWrite = 0x30F,    // create or truncate, read and write
        kModeWriteKeep = 0x401,    // create or open as it is, write only
    };
    enum Origin : int { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };
    using Handle = intptr_t;
    static constexpr Handle kInvalidHandle = -1;

    class Path {
    public:
        Path() = default;
        Path(const char* p) : p_(Normalise(p ? std::string_view(p) : std::string_view())) {}
        Path(std::string_view p) : p_(Normalise(p)) {}
        Path(const std::string& p) : p_(Normalise(p)) {}
        Path(const String& p) : p_(Normalise(p.View())) {}
        Path(const PString& p) : p_(Normalise(p.View())) {}

        const char* c_str() const noexcept { return p_.c_str(); }
        const std::string& Str() const noexcept { return p_; }
        std::string_view View() const noexcept { return p_; }
        uint32_t Length() const noexcept { return static_cast<uint32_t>(p_.size()); }
        bool Empty() const noexcept { return p_.empty(); }
        bool IsAbsolute() const noexcept { return !p_.empty() && p_[0] == '/'; }
        bool operator==(const Path& o) const noexcept { return p_ == o.p_; }

        // Joins a component with one "/" between (none added when either side
        // is empty or the separator is already there).
        Path& AddPath(std::string_view more);
        // The last component ("" for a path ending in "/").
        std::string_view FileName() const noexcept;
        // Everything before the last component, with its trailing "/".
        std::string_view Folder() const noexcept;
        // The text after the last "." of the last component, without the dot.
        std::string_view Extension() const noexcept;
        void RemoveTrailingSeparator();
        void EnsureTrailingSeparator();
        // Replaces the extension of the last component (the text from its
        // last "."); an empty one only removes it.
        Path& SetExt(std::string_view ext);
        // Makes the path relative to a root it lies strictly below (compared
        // component by component, with no ".." in the path); false, and the
        // path unchanged, for any other path: a path outside the root never
        // becomes "../...".
        bool MakeRelativeTo(const Path& root);
        // Takes the first component (and the "/" after it) off the path and
        // returns it.
        std::string ExtractFirstPath();

        // Turns every "\" into "/".
        static std::string Normalise(std::string_view p);

    private:
        std::string p_;
    };

    // Walks the entries of one folder whose names match a wildcard pattern
    // ("*" and "?", compared without regard to case), as "folder/pattern".
    // "." and ".." are never returned.
    class Find {
    public:
        explicit Find(const Path& pattern);
        // The same inside a mount (or, failing that, a folder) named by base;
        // an empty base searches on disk.
        Find(const PString& base, const Path& pattern);
        ~Find();
        Find(const Find&) = delete;
        Find& operator=(const Find&) = delete;

        // Moves to the next match; false when there is none.
        bool Next();
        const std::string& Name() const noexcept { return name_; }
        bool IsFolder() const noexcept { return folder_; }
        uint64_t Size() const noexcept { return size_; }
        // Folder part of the pattern, with its trailing "/" (empty for the
        // working folder).
        const std::string& Folder() const noexcept { return dir_; }
        // False when the folder could not be searched at all.
        bool Valid() const noexcept { return valid_; }
        // Every name the search found, in byte order, none looked at yet.
        const std::vector<std::string>& Names() const noexcept { return names_; }
        // The folder as it was found on disk, with its trailing "/" (empty
        // for the working folder).
        const std::string& FolderOnDisk() const noexcept { return real_; }

    private:
        void Search(const Path& pattern);

        std::string dir_;
        std::string real_;  // the folder as found on disk, for looking at entries
        std::string pattern_;
        std::vector<std::string> names_;
        size_t next_ = 0;
        std::string name_;
        bool folder_ = false;
        uint64_t size_ = 0;
        bool valid_ = false;
    };

    // Named mounts: a mount name (compared without regard to case) stands for
    // a folder. Opening "name" inside a mount opens folder/name.
    class Subst {
    public:
        static void Add(const PString& name, const Path& folder);
        static bool Remove(const PString& name);
        // The folder of a mount, or an empty path when there is none.
        static Path Lookup(const PString& name);
        static void RemoveAll();
    };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens a path; a non-empty base names a mount (or, failing that, a
    // folder) the path is taken inside, under the content's rule above.
    // Flags are kept and otherwise unused.
    bool Open(const Path& path, uint32_t mode, uint32_t flags = 0);
    bool Open(const PString& base, const Path& path, uint32_t mode, uint32_t flags = 0);
    // Opens a regular file that the rule allows.
    bool Open(const Platform::FileConfinement& rule, const Path& path, uint32_t mode);
    // Writes through a descriptor of its own of a file another owner holds
    // open (a save under way), as if opened at the path with the mode.
    bool OpenDuplicate(int fd, const Path& path, uint32_t mode);
    // False when the system reported an error as it closed the file (a
    // write it could not complete); the file is closed either way.
    bool Close();

    // Transfer size * count bytes; the result is the number of bytes moved.
    uint32_t Read(void* data, uint32_t size, uint32_t count);
    uint32_t Write(const void* data, uint32_t size, uint32_t count);
    // One u32 or one f32, little-endian; false unless all four bytes went.
    bool Write(uint32_t value);
    bool Write(float value);
    bool Seek(int64_t offset, int origin);
    // Cuts a regular file to nothing, for a file opened to be kept until its
    // new content is known. Anything else is left as it is, as opening it
    // with truncation would leave it. False when the cut failed.
    bool Truncate();
    int64_t Tell() const;
    int64_t Size() const;
    // True once a read has come up short at the end of the file, or the
    // position stands at or past the end.
    bool Eof() const;
    // Reads one line (without its CR LF or LF) into buf, NUL-terminated and
    // cut to capacity - 1 bytes (the rest of a longer line is skipped, so the
    // next call starts on the next line); false at the end of the file.
    bool ReadLine(char* buf, uint32_t capacity);
    bool Flush();

    Handle GetHandle() const noexcept { return fd_; }
    bool IsOpen() const noexcept { return fd_ != kInvalidHandle; }
    const Path& GetPath() const noexcept { return path_; }
    const PString& GetBase() const noexcept { return base_; }
    uint32_t GetMode() const noexcept { return mode_; }
    uint32_t GetFlags() const noexcept { return flags_; }

    // The real file-system path of base + path (mount or folder resolved,
    // case-insensitive fallback applied when the file exists).
    static std::string Resolve(const PString& base, const Path& path);
    // The folder a base names: its mount's, or the base itself.
    static Path ContentFolder(const PString& base);
    // The full path of a plain name (no folder part) inside a mount or a
    // folder given as the base, as spelt; empty for any other path.
    static std::string PlainNameIn(const PString& base, const Path& path);
    // The rule a path inside a mount (or a folder given as the base) is held
    // to, and the full path to open under it; false when the path leaves
    // the folder it must stay in. A plain name is held to the rule of the
    // folder alone, and its full path is that folder's joined with it.
    static bool ContentRule(const PString& base, const Path& path, Platform::FileConfinement& rule,
                            std::string& full);
    // 0 when the file or folder exists, non-zero otherwise.
    static int Exists(const Path& path);
    static int Exists(const PString& base, const Path& path);
    static bool IsFolder(const Path& path);
    static bool Rename(const Path& from, const Path& to);
    static bool Unlink(const Path& path);
    // Removes a folder and everything in it.
    static bool Prune(const Path& path);
    // Creates a folder and any missing parents.
    static bool MakeFolder(const Path& path);
    static int64_t FileSize(const Path& path);

private:
    bool Adopt(int fd, const Path& path, const PString& base, uint32_t mode, uint32_t flags);

    Handle fd_ = kInvalidHandle;
    Path path_;
    PString base_;
    uint32_t mode_ = 0;
    uint32_t flags_ = 0;
    bool eof_ = false;
};

}  // namespace Nyx
