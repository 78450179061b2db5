// Helpers of the benches that run the built programs, or a stand-in daemon,
// over temporary folders and data roots of their own: laying them out,
// running a program or a shell line quietly, making a tree durable, timing
// an archiver yardstick, starting and running the daemon client, and
// removing what the daemon's discovery leaves behind.
#pragma once

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "core/process/ProcessState.h"
#include "kad/client/KADClient.h"
#include "kad/discovery/DaemonLink.h"
#include "kad/transport/NetStartup.h"

namespace benchsupport {

// A new folder made from a mkdtemp pattern ("/tmp/name-XXXXXX"), by its
// canonical path; empty when it cannot be made (errno tells why).
inline std::string MakeTempFolder(std::string pattern)
{
    if (!::mkdtemp(pattern.data()))
        return std::string();
    return std::filesystem::canonical(pattern).string();
}

// The bench's own folder under $TMPDIR (or /tmp), "<name>.XXXXXX", made at
// the first call and removed with all it holds at exit; the program aborts
// when it cannot be made. One a program: later calls return the first.
inline const std::string& OwnTempFolder(const char* name)
{
    // Never destroyed: the removal at exit runs after the static objects'
    // destructors.
    static const std::string* folder = [name] {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + ".XXXXXX";
        if (!::mkdtemp(templ.data()))
            std::abort();
        auto* made = new std::string(templ);
        std::atexit([] { std::filesystem::remove_all(*folder); });
        return made;
    }();
    return *folder;
}

// Writes the file, making its folders first.
inline bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

// Runs words[0] with words as its arguments, in cwd unless that is empty,
// with its input and output thrown away; its exit code, or -1.
inline int RunQuietly(const std::vector<std::string>& words, const std::string& cwd = std::string())
{
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& w : copy)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || (!cwd.empty() && ::chdir(cwd.c_str()) != 0))
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

inline int Shell(const std::string& command, const std::string& cwd = std::string())
{
    return RunQuietly({"/bin/sh", "-c", command}, cwd);
}

inline bool SyncPath(const std::filesystem::path& path, bool folder)
{
    int fd = ::open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// Every file and folder of the tree, and the folder itself, made durable:
// what the daemon's installs do before they reply, asked of a yardstick.
inline bool SyncTree(const std::filesystem::path& folder)
{
    bool ok = true;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        ok = SyncPath(entry.path(), entry.is_directory()) && ok;
    return SyncPath(folder, true) && ok;
}

// An archiver's round trip through shell lines, the yardstick of a bench.
struct ShellRoundTrip {
    std::string pack;          // makes `archive`
    std::string packName;      // for the error: "<packName> failed"
    std::string unpack;        // fills `target`
    std::string unpackName;
    std::string cwd;           // where both lines run
    std::string archive;
    std::string target;        // made before each unpack, outside the timing
    std::string sizeCounter;   // the counter that gets the archive's size
};

// Times the round trip once per loop pass: the pack, then the unpack and the
// sync of what it made; the folder made before and the clean-up after are
// not timed. Each pass counts `bytes` as processed.
inline void TimeShellRoundTrip(benchmark::State& state, const ShellRoundTrip& trip, int64_t bytes)
{
    for (auto _ : state) {
        if (Shell(trip.pack, trip.cwd) != 0) {
            state.SkipWithError((trip.packName + " failed").c_str());
            break;
        }
        state.PauseTiming();
        std::error_code ec;
        std::filesystem::create_directories(trip.target, ec);
        state.ResumeTiming();
        if (Shell(trip.unpack, trip.cwd) != 0 || !SyncTree(trip.target)) {
            state.SkipWithError((trip.unpackName + " failed").c_str());
            break;
        }
        state.PauseTiming();
        state.counters[trip.sizeCounter] = double(std::filesystem::file_size(trip.archive));
        std::filesystem::remove(trip.archive, ec);
        std::filesystem::remove_all(trip.target, ec);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

// Starts the process's daemon client on the data root, whose daemon is
// served by the bench: the client may not launch one.
inline bool StartDaemonClient(const std::string& root)
{
    KADClientSettings settings;
    settings.path = root;
    settings.flags[2] = 0;
    settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
    return KADClient::Start(settings);
}

// The whole run of a bench over the daemon client: the library's flags
// read, the network and the main thread set up, `ready` asked whether what
// the benchmarks need is laid out (else `notReady` goes to stderr), the
// benchmarks run into the reporter, and the client stopped. 0 when they
// ran, else 1.
template <class Reporter, class Ready>
int RunDaemonClientBenchmarks(int* argc, char** argv, Reporter& reporter, Ready ready, const char* notReady)
{
    benchmark::Initialize(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(*argc, argv))
        return 1;
    NetStartup();
    SetMainThreadId();
    if (!ready()) {
        std::fprintf(stderr, "%s\n", notReady);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    KADClient::Stop();
    return 0;
}

// Copies the built KestroUtil and kaddaemon from this program's folder into
// bin (which must exist), and the built system scripts and libraries beside
// bin; does nothing when ec already holds an error.
inline void CopyPrograms(const std::filesystem::path& bin, std::error_code& ec)
{
    const std::filesystem::path programs = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    for (const char* name : {"KestroUtil", "kaddaemon"})
        if (!ec)
            std::filesystem::copy_file(programs / name, bin / name, ec);
    // The system scripts and their libraries, which the asset compile road
    // starts from.
    for (const char* folder : {"scripts", "libraries"}) {
        const std::filesystem::path built = programs.parent_path() / folder;
        if (!ec && std::filesystem::is_directory(built))
            std::filesystem::copy(built, bin.parent_path() / folder, std::filesystem::copy_options::overwrite_existing,
                                  ec);
    }
}

// Removes the lock file and the shared block a daemon's discovery leaves for
// the data root, once its daemon is gone.
inline void RemoveDaemonObjects(const std::string& root)
{
    std::string folder;
    if (DaemonLink::DataFolderOf(root + "/assets.tdx", folder)) {
        DaemonObjectNames names = DaemonLink::NamesFor(folder);
        ::unlink(names.lockFilePath.c_str());
        ::shm_unlink(names.sharedMemoryPath.c_str());
    }
}

}  // namespace benchsupport
