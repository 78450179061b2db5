#include "kad/requests/UserKUID.h"

#include <cerrno>
#include <limits>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"

namespace {

// One name both ways: the file is read under this name, so it must be
// written under it too, or on a case-sensitive file system the range would
// never advance.
constexpr const char* kKUIDFileName = "settings/kuid.txt";
constexpr const char* kBaseTag = "base-kuid";

std::mutex g_lock;
Nyx::File::Path g_settingsFolder;
bool g_settingsFolderSet = false;
KUID g_base = KUID::Null;
int32_t g_localUserId = -2;

}  // namespace

void SetSettingsFolder(const Nyx::File::Path& folder)
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_settingsFolder = folder;
        g_settingsFolderSet = true;
    }
    ReadUserKUIDBase();
}

bool GetSettingsFolder(Nyx::File::Path& out)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_settingsFolderSet)
        g_settingsFolder = Nyx::File::Path("-foobar-");
    out = g_settingsFolder;
    return true;
}

void ReadUserKUIDBase()
{
    Nyx::File::Path folder;
    GetSettingsFolder(folder);
    ChunkRef root;
    KUID base = KUID::Null;
    if (LoadConfigFile(root, folder.c_str(), kKUIDFileName) && root)
        base = TDBContainerTag::GetKUID(root, Nyx::PString(kBaseTag), KUID::Null);
    std::lock_guard<std::mutex> hold(g_lock);
    g_base = base;
    if (!base.IsNull() && base.user != -2)
        g_localUserId = base.user;
}

KUID GetUserKUIDBase()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_base;
}

int32_t GetLocalUserId()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_localUserId;
}

namespace {

void SetBase(const KUID& base)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_base = base;
}

bool SaveBase(const KUID& base)
{
    Nyx::File::Path folder;
    GetSettingsFolder(folder);
    ChunkRef root;
    TDBContainerTag::SetKUID(root, Nyx::PString(kBaseTag), base);
    return SaveConfigFile(root, folder.c_str(), kKUIDFileName);
}

// The packed form keeps 25 bits of the user id: the top 7 bits must be a
// sign extension.
bool UserIdFits(int32_t user)
{
    int32_t top = user >> 24;
    return top == 0 || top == -1;
}

// A KUID of the user's range: version 0 for a user id >= 0, 127 for a
// negative one; null when the user id does not fit.
KUID RangeKUID(int32_t user, int32_t content)
{
    if (!UserIdFits(user))
        return KUID::Null;
    return KUID(user, content, user >= 0 ? 0 : 127);
}

}  // namespace

bool WriteUserKUIDBase(const KUID& base)
{
    if (base.IsNull())
        return false;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_base = base;
        g_localUserId = base.user;
    }
    return SaveBase(base);
}

namespace {

// Holds an advisory lock on the settings folder's "settings/kuid.txt", so
// that two generations, in one process or in two, never read the same base:
// each reads the file, asks the daemon and writes the new base while no
// other one can. A save replaces the file by a new one, so a lock taken on
// the file it replaced guards nothing: the lock is taken again until it is
// held on the file the name stands for. Without a settings folder to hold
// the file no lock can be had, and the generation goes on without one, as
// it always could.
class KUIDFileLock {
public:
    KUIDFileLock()
    {
        Nyx::File::Path folder;
        GetSettingsFolder(folder);
        for (int tries = 0; tries < 64 && fd_ < 0; ++tries) {
            std::string path = Nyx::File::Resolve(Nyx::PString(folder.View()), Nyx::File::Path(kKUIDFileName));
            if (path.empty())
                return;
            int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0)
                return;
            int locked;
            do {
                locked = ::flock(fd, LOCK_EX);
            } while (locked != 0 && errno == EINTR);
            struct stat held;
            struct stat named;
            if (locked == 0 && ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0
                && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                fd_ = fd;
                return;
            }
            ::close(fd);
            if (locked != 0)
                return;
        }
    }
    ~KUIDFileLock()
    {
        if (fd_ >= 0)
            ::close(fd_);  // lets go of the lock
    }
    KUIDFileLock(const KUIDFileLock&) = delete;
    KUIDFileLock& operator=(const KUIDFileLock&) = delete;

private:
    int fd_ = -1;
};

// Under the file lock: the base another run has saved since this one read
// it. A base in memory that is further on in the same range stays (the save
// of the last one handed out here may have failed).
void RefreshBaseFromFile()
{
    Nyx::File::Path folder;
    GetSettingsFolder(folder);
    ChunkRef root;
    if (!LoadConfigFile(root, folder.c_str(), kKUIDFileName) || !root)
        return;
    KUID saved = TDBContainerTag::GetKUID(root, Nyx::PString(kBaseTag), KUID::Null);
    if (saved.IsNull())
        return;
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_base.IsNull() && g_base.user == saved.user && g_base.content >= saved.content)
        return;
    g_base = saved;
    if (saved.user != -2)
        g_localUserId = saved.user;
}

}  // namespace

KUID GenerateUserKUID(const UserKUIDDaemon& daemon)
{
    KUIDFileLock fileLock;
    RefreshBaseFromFile();
    KUID base = GetUserKUIDBase();
    int32_t localUser = GetLocalUserId();
    if (base.user != localUser) {
        base = RangeKUID(localUser, 1000);
        if (!base.IsNull())
            WriteUserKUIDBase(base);
    }
    if (base.IsNull()) {
        base.content = ProgramRandom().NextInt() / 2;
        base.user = -2;
    }

    for (uint32_t tried = 0; tried < kMaxUserKUIDCandidates; ++tried) {
        if (base.content == std::numeric_limits<int32_t>::max())
            return KUID::Null;
        KUID candidate = RangeKUID(base.user, base.content + 1);
        if (candidate.IsNull())
            return KUID::Null;
        base = candidate;
        SetBase(base);
        if (daemon.latestVersion && daemon.latestVersion(candidate) != candidate)
            continue;
        if (daemon.isKnown && daemon.isKnown(candidate))
            continue;
        // A failed save is not the caller's concern: the KUID is free all
        // the same, and the base in memory already holds it, so the next
        // call still moves on.
        SaveBase(candidate);
        return candidate;
    }
    return KUID::Null;
}

Nyx::Rand& ProgramRandom()
{
    static Nyx::Rand random;
    return random;
}
