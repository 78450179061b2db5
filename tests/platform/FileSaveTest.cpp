#include "platform/FileSave.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// A character device to save to: a node of the null device's own in the
// folder when the tests may make one (as root), else the machine's.
std::string NullDevice(const TempFolder& folder)
{
    const std::string node = folder / "null-device";
    return ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? node : "/dev/null";
}

bool IsCharacterDevice(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// Whatever a save leaves beside its target.
std::vector<std::string> Temporaries(const TempFolder& folder)
{
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder.Path()))
        if (entry.path().string().find(".saving") != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

TEST(FileSaveTest, EachKindOfTargetIsSavedOrRefusedAsItsKindAsks)
{
    const std::string bytes = "new bytes\n";
    struct Case {
        const char* name;
        // Lays out the folder; the path to save to.
        std::function<std::string(const TempFolder&)> layOut;
        bool saved;
        std::function<void(const TempFolder&, const std::string& target)> check;
    };
    const auto holdsNewBytes = [&](const char* file) {
        return [&bytes, file](const TempFolder& f, const std::string&) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(f / file)));
            EXPECT_EQ(f.ReadAll(file), bytes);
        };
    };
    const Case cases[] = {
        {"missing target", [](const TempFolder& f) { return f / "out.dat"; }, true, holdsNewBytes("out.dat")},
        {"regular file",
         [](const TempFolder& f) {
             f.Write("out.dat", "an older and longer text");
             return f / "out.dat";
         },
         true, holdsNewBytes("out.dat")},
        {"link to a file",
         [](const TempFolder& f) {
             f.Write("real/out.dat", "old");
             fs::create_symlink("real/out.dat", f / "link.dat");
             return f / "link.dat";
         },
         true,
         [&](const TempFolder& f, const std::string&) {
             EXPECT_TRUE(fs::is_symlink(f / "link.dat"));
             EXPECT_EQ(f.ReadAll("real/out.dat"), bytes);
         }},
        {"dangling link",
         [](const TempFolder& f) {
             f.MakeFolder("real");
             fs::create_symlink(f / "real/new.dat", f / "link.dat");
             return f / "link.dat";
         },
         true,
         [&](const TempFolder& f, const std::string&) {
             EXPECT_TRUE(fs::is_symlink(f / "link.dat"));
             EXPECT_EQ(f.ReadAll("real/new.dat"), bytes);
         }},
        {"link to a link",
         [](const TempFolder& f) {
             f.Write("real/out.dat", "old");
             fs::create_symlink("real/out.dat", f / "inner.dat");
             fs::create_symlink("inner.dat", f / "outer.dat");
             return f / "outer.dat";
         },
         true,
         [&](const TempFolder& f, const std::string&) {
             EXPECT_TRUE(fs::is_symlink(f / "outer.dat"));
             EXPECT_TRUE(fs::is_symlink(f / "inner.dat"));
             EXPECT_EQ(f.ReadAll("real/out.dat"), bytes);
         }},
        {"links in a ring",
         [](const TempFolder& f) {
             fs::create_symlink("b.dat", f / "a.dat");
             fs::create_symlink("a.dat", f / "b.dat");
             return f / "a.dat";
         },
         false, [](const TempFolder& f, const std::string&) { EXPECT_TRUE(fs::is_symlink(f / "a.dat")); }},
        {"character device",
         [](const TempFolder& f) { return NullDevice(f); }, true,
         [](const TempFolder&, const std::string& target) { EXPECT_TRUE(IsCharacterDevice(target)) << target; }},
        {"folder",
         [](const TempFolder& f) {
             f.Write("out.dat/inside.txt", "kept");
             return f / "out.dat";
         },
         false, [](const TempFolder& f, const std::string&) { EXPECT_EQ(f.ReadAll("out.dat/inside.txt"), "kept"); }},
        {"FIFO without a reader",
         [](const TempFolder& f) {
             EXPECT_EQ(::mkfifo((f / "pipe").c_str(), 0600), 0);
             return f / "pipe";
         },
         false,
         [](const TempFolder& f, const std::string&) {
             EXPECT_TRUE(fs::is_fifo(fs::symlink_status(f / "pipe")));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string target = c.layOut(folder);
        EXPECT_EQ(Platform::SaveFile(target, bytes.data(), bytes.size()), c.saved);
        c.check(folder, target);
        EXPECT_EQ(Temporaries(folder), std::vector<std::string>());
    }
}

TEST(FileSaveTest, AFifoWithAReaderGetsTheBytes)
{
    TempFolder folder;
    const std::string pipe = folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(Platform::SaveFile(pipe, "through", 7));
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 7);
    EXPECT_STREQ(got, "through");
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
}

// A writer that goes back to patch a length, as the package writer does:
// what reaches a pipe is the file a save to disk leaves, even past what the
// pipe holds at once.
TEST(FileSaveTest, AWriterThatGoesBackDeliversTheWholeFileIntoAFifo)
{
    const std::string body(200000, 'b');
    const auto saveWithLength = [&body](Platform::FileSave& save) {
        const std::string length = std::to_string(body.size()).substr(0, 4);
        if (!save.Write("????", 4) || !save.Write(body.data(), body.size()))
            return false;
        const off_t end = ::lseek(save.Descriptor(), 0, SEEK_CUR);
        return end > 0 && ::lseek(save.Descriptor(), 0, SEEK_SET) == 0 && save.Write(length.data(), 4) &&
               ::lseek(save.Descriptor(), end, SEEK_SET) == end && save.Commit();
    };
    TempFolder folder;
    Platform::FileSave regular(folder / "file.dat");
    ASSERT_TRUE(saveWithLength(regular));

    const std::string pipe = folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    Platform::FileSave save(pipe);
    ASSERT_TRUE(save.IsOpen());
    // The save holds the pipe open from here, so a read waits for bytes.
    ASSERT_EQ(::fcntl(reader, F_SETFL, 0), 0);
    std::string got;
    std::thread drain([&] {
        char buffer[8192];
        for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
            got.append(buffer, size_t(n));
    });
    EXPECT_TRUE(saveWithLength(save));
    save.Abandon();
    drain.join();
    ::close(reader);
    EXPECT_TRUE(got == folder.ReadAll("file.dat")) << got.size() << " bytes, " << got.substr(0, 8);
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>());
}

// A save whose reader leaves before the commit copies the bytes in fails,
// with SIGPIPE ignored as the tool ignores it: the copy is all that tells.
TEST(FileSaveTest, AFifoWhoseReaderLeavesBeforeTheCommitFailsTheSave)
{
    struct sigaction ignore = {}, before = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &before), 0);
    TempFolder folder;
    const std::string pipe = folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    Platform::FileSave save(pipe);
    ASSERT_TRUE(save.IsOpen());
    EXPECT_TRUE(save.Write("never read", 10));
    ::close(reader);
    EXPECT_FALSE(save.Commit());
    ::sigaction(SIGPIPE, &before, nullptr);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
}

// A process of the test's own that holds the descriptors it was started
// with, untouched, until it is let go.
class DescriptorHolder {
public:
    DescriptorHolder()
    {
        int control[2];
        EXPECT_EQ(::pipe2(control, O_CLOEXEC), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(control[1]);
            char c;
            while (::read(control[0], &c, 1) < 0 && errno == EINTR) {
            }
            ::_exit(0);
        }
        ::close(control[0]);
        release_ = control[1];
    }
    ~DescriptorHolder()
    {
        ::close(release_);
        int status;
        ::waitpid(pid_, &status, 0);
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
};

// A link in a descriptor folder of /proc names an open file: the save goes
// into it where a write through the descriptor would, appending or at its
// position, and the file behind it is neither replaced nor cut.
TEST(FileSaveTest, ASaveToADescriptorWritesWhereTheDescriptorWrites)
{
    const std::string body(100, 'b');
    // A writer that goes back to patch its first bytes, as the package
    // writer does; what lands is "done" and the body.
    const auto save = [&body](const std::string& path) {
        Platform::FileSave s(path);
        if (!s.IsOpen() || !s.Write("????", 4) || !s.Write(body.data(), body.size()))
            return false;
        const off_t end = ::lseek(s.Descriptor(), 0, SEEK_CUR);
        return ::lseek(s.Descriptor(), 0, SEEK_SET) == 0 && s.Write("done", 4) &&
               ::lseek(s.Descriptor(), end, SEEK_SET) == end && s.Commit();
    };
    const std::string saved = "done" + body;
    enum class Kind { Appending, AtItsPosition, Pipe, ReadOnly };
    struct Route {
        const char* name;
        std::function<std::string(const TempFolder&, int fd, pid_t holder)> path;
        bool held;  // the descriptor is another process's
    };
    const Route routes[] = {
        {"/proc/self/fd", [](const TempFolder&, int fd, pid_t) { return "/proc/self/fd/" + std::to_string(fd); }, false},
        {"/dev/fd", [](const TempFolder&, int fd, pid_t) { return "/dev/fd/" + std::to_string(fd); }, false},
        {"a link as /dev/stdout is",
         [](const TempFolder& f, int fd, pid_t) {
             fs::create_symlink("/proc/self/fd/" + std::to_string(fd), f / "stdout");
             return f / "stdout";
         },
         false},
        {"another process's",
         [](const TempFolder&, int fd, pid_t holder) {
             return "/proc/" + std::to_string(holder) + "/fd/" + std::to_string(fd);
         },
         true},
    };
    for (const Route& route : routes)
        for (const Kind kind : {Kind::Appending, Kind::AtItsPosition, Kind::Pipe, Kind::ReadOnly}) {
            SCOPED_TRACE(std::string(route.name) + ", kind " + std::to_string(int(kind)));
            TempFolder folder;
            const std::string file = folder / "log.txt";
            folder.Write("log.txt", "earlier\nlater\n");
            int fd = -1, reader = -1;
            std::string expected = "earlier\nlater\n";
            if (kind == Kind::Pipe) {
                int ends[2];
                ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
                reader = ends[0];
                fd = ends[1];
            } else if (kind == Kind::ReadOnly) {
                fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            } else {
                fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | (kind == Kind::Appending ? O_APPEND : 0));
                if (kind == Kind::AtItsPosition) {
                    ASSERT_EQ(::write(fd, "earlier\n", 8), 8);
                }
                expected = kind == Kind::Appending ? expected + saved : "earlier\n" + saved;
            }
            ASSERT_GE(fd, 0);
            struct stat before, after;
            ASSERT_EQ(::stat(file.c_str(), &before), 0);
            {
                DescriptorHolder holder;
                EXPECT_EQ(save(route.path(folder, fd, holder.Pid())), kind != Kind::ReadOnly);
            }
            // The process's own writes go on after the save.
            if (!route.held && (kind == Kind::Appending || kind == Kind::AtItsPosition)) {
                EXPECT_EQ(::write(fd, "after\n", 6), 6);
                expected += "after\n";
            }
            if (kind == Kind::Pipe) {
                std::string got(saved.size() + 1, '\0');
                const ssize_t n = ::read(reader, got.data(), got.size());
                EXPECT_EQ(got.substr(0, size_t(std::max<ssize_t>(n, 0))), saved);
                ::close(reader);
            }
            EXPECT_EQ(folder.ReadAll("log.txt"), expected);
            ASSERT_EQ(::stat(file.c_str(), &after), 0);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(Temporaries(folder), std::vector<std::string>());
            ::close(fd);
        }
}

// A link planted where a save puts its temporary, or where older saves put
// theirs, is neither followed nor replaced: the save takes another name.
TEST(FileSaveTest, ALinkAtATemporaryNameIsNeitherFollowedNorKept)
{
    TempFolder folder;
    folder.Write("victim.txt", "not to be written");
    fs::create_symlink(folder / "victim.txt", folder / "out.dat.saving");
    std::vector<std::string> planted;
    Platform::FileSaveOptions options;
    options.beforeCreate = [&](const std::string& temporary) {
        if (planted.empty()) {
            fs::create_symlink(folder / "victim.txt", temporary);
            planted.push_back(temporary);
        }
    };
    Platform::FileSave save(folder / "out.dat", std::move(options));
    ASSERT_TRUE(save.IsOpen());
    ASSERT_EQ(planted.size(), 1u);
    EXPECT_NE(save.Temporary(), planted[0]);
    EXPECT_TRUE(save.Write("whole", 5));
    EXPECT_TRUE(save.Commit());
    EXPECT_EQ(folder.ReadAll("out.dat"), "whole");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "out.dat")));
    EXPECT_EQ(folder.ReadAll("victim.txt"), "not to be written");
    EXPECT_TRUE(fs::is_symlink(planted[0]));
    EXPECT_TRUE(fs::is_symlink(folder / "out.dat.saving"));
}

// Savers racing to one file each leave a whole file: what is there after
// every round is one saver's bytes, never a mix, and every save succeeds.
TEST(FileSaveTest, RacingSavesEachLeaveAWholeFile)
{
    TempFolder folder;
    const std::string target = folder / "out.dat";
    constexpr int kSavers = 4;
    std::vector<std::string> payloads;
    for (int i = 0; i < kSavers; ++i)
        payloads.emplace_back(size_t(256 * 1024 + i * 4099), char('a' + i));
    for (int round = 0; round < 8; ++round) {
        std::vector<std::thread> savers;
        std::vector<char> saved(kSavers, 0);
        for (int i = 0; i < kSavers; ++i)
            savers.emplace_back([&, i] {
                saved[size_t(i)] = Platform::SaveFile(target, payloads[size_t(i)].data(), payloads[size_t(i)].size());
            });
        for (std::thread& saver : savers)
            saver.join();
        EXPECT_EQ(saved, std::vector<char>(kSavers, 1));
        const std::string got = folder.ReadAll("out.dat");
        bool whole = false;
        for (const std::string& payload : payloads)
            whole = whole || got == payload;
        EXPECT_TRUE(whole) << "round " << round << ": " << got.size() << " bytes";
    }
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>());
}

TEST(FileSaveTest, AReplacedFileKeepsItsPermissionsWhenAsked)
{
    TempFolder folder;
    const std::string target = folder / "out.dat";
    for (const bool keep : {false, true}) {
        folder.Write("out.dat", "old");
        ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
        Platform::FileSaveOptions options;
        options.keepPermissions = keep;
        options.createMode = 0600;
        EXPECT_TRUE(Platform::SaveFile(target, "new", 3, std::move(options)));
        struct stat st;
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, keep ? 0604u : 0600u);
    }
}

}  // namespace
