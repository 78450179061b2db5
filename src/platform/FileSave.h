// Saving a whole file, the one way every save of the program goes.
//
// A link is followed to the file it names (through links to links, to a
// file that may not exist yet): the save lands where the link points and the
// link stays. When that file is missing or a regular file, the bytes go to a
// temporary of the save's own beside it, "<name>.<process>-<number>.saving",
// made new (never a file already there, never through a link), and the
// temporary is renamed over the file once it is written whole: a save cut
// short leaves the old file as it was, and saves racing to one file each
// leave a whole file of their own, the last rename winning. Any other kind
// of file (a device, a FIFO) is written into where it is, as an open for
// writing would, and never truncated or replaced; a FIFO without a reader
// fails rather than waits. One that cannot seek (a FIFO, a terminal) gets
// the file only at the commit, whole, so a writer may still go back to
// patch what it wrote: until then the bytes are held in memory, behind the
// descriptor the save hands out. A folder fails.
//
// A link in a descriptor folder of /proc (/proc/<pid>/fd/<n>, reached
// through /proc/self, /dev/stdout, /dev/fd/<n> or a link of the user's)
// names an open file rather than a path: the save writes into it as a
// write through that descriptor would, appending where it appends and else
// from its position, through a duplicate when the descriptor is the
// process's own. The bytes are held in memory until the commit there too,
// and the file behind is never truncated, renamed over or replaced. A
// descriptor open only for reading fails.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

namespace Platform {

struct FileSaveOptions {
    // The bytes are synced before they replace the file.
    bool syncBeforeReplace = true;
    // The folder is synced after the rename, so the new name is on disk too.
    bool syncFolder = false;
    // The new file takes the permission bits of the regular file it replaces.
    bool keepPermissions = false;
    // The bits a new file is made with (less the umask).
    mode_t createMode = 0666;
    // Told each temporary's name before it is made, so a save under way can
    // be marked for whoever cleans up after a process killed part-way.
    std::function<void(const std::string& temporary)> beforeCreate;
};

class FileSave {
public:
    // Every temporary's name ends in this.
    static constexpr const char* kTemporarySuffix = ".saving";

    // Opens the save: IsOpen tells whether there is somewhere to write.
    explicit FileSave(const std::string& target, FileSaveOptions options = {});
    // A save not committed is abandoned.
    ~FileSave();
    FileSave(const FileSave&) = delete;
    FileSave& operator=(const FileSave&) = delete;

    bool IsOpen() const noexcept { return fd_ >= 0; }
    // Where the bytes are written: a descriptor open for writing that the
    // save closes (writers that need a descriptor of their own dup it). It
    // can seek whatever the target: a writer may go back over its bytes.
    int Descriptor() const noexcept { return fd_; }
    // The file the save replaces or writes into, links followed.
    const std::string& Target() const noexcept { return target_; }
    // The temporary; empty when the save writes into the target in place.
    const std::string& Temporary() const noexcept { return temporary_; }

    // Writes all the bytes (retrying short writes); false when they did not
    // all go, after which Commit fails.
    bool Write(const void* data, size_t size);
    // Ends the save: the sync the options ask for, the close, then the
    // rename over the target, which must still be missing or a regular file
    // (or, for a target that cannot seek, the copy of the held bytes in).
    // False when any step or an earlier write failed; the temporary is then
    // removed and the target left as it was.
    bool Commit();
    // Closes and removes the temporary; the target stays as it was.
    void Abandon();

private:
    bool OpenTemporary(const std::string& folder, const std::string& name);
    bool OpenInPlace();
    bool OpenDescriptor(int number, bool own, const std::string& info);

    FileSaveOptions options_;
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    // A target that cannot seek or a descriptor's file, open, while fd_
    // holds its bytes; else -1.
    int sink_ = -1;
    // The permission bits of the regular file replaced; -1 when there was none.
    int keptMode_ = -1;
    bool failed_ = false;
};

// The save of one block of bytes; true once they are in the file.
bool SaveFile(const std::string& target, const void* data, size_t size, FileSaveOptions options = {});

}  // namespace Platform
