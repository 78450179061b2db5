#include "cli/ToolProcess.h"

#include <poll.h>

#include <cerrno>

std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path BuiltToolProgram()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "KestroUtil";
}

void LayOutToolRoot(const std::string& root)
{
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(root) / "bin");
    fs::copy_file(BuiltToolProgram(), fs::path(root) / "bin/KestroUtil");
    fs::permissions(fs::path(root) / "bin/KestroUtil", fs::perms::owner_exec, fs::perm_options::add);
    fs::create_directories(fs::path(root) / "elsewhere");
    for (const char* folder : {"scripts", "libraries"}) {
        const fs::path built = BuiltToolProgram().parent_path().parent_path() / folder;
        if (fs::is_directory(built))
            fs::copy(built, fs::path(root) / folder);
    }
    standin::Install(root);
}

pid_t StartToolProcess(const std::string& root, const std::string& outputFolder,
                       const std::vector<std::string>& args, const std::function<bool()>& prepare)
{
    const std::string program = root + "/bin/KestroUtil";
    const std::string outPath = outputFolder + "/out";
    const std::string errPath = outputFolder + "/err";
    const std::string cwd = root + "/elsewhere";
    childprocess::CommandLine command(program, args);

    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::dup2(in, 0) < 0 ||
            ::chdir(cwd.c_str()) != 0)
            ::_exit(127);
        childprocess::DefaultConsoleSignals();
        if (prepare && !prepare())
            ::_exit(127);
        ::execv(program.c_str(), command.Argv());
        ::_exit(127);
    }
    return pid;
}

ProcessResult ToolProcessResult(const std::string& outputFolder, int status)
{
    ProcessResult result;
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = Slurp(outputFolder + "/out");
    result.err = Slurp(outputFolder + "/err");
    return result;
}

ProcessResult FinishToolProcess(pid_t pid, const std::string& outputFolder, const std::string& command,
                                std::chrono::seconds bound)
{
    int status = 0;
    const bool ended = daemontest::WaitFor([&]() { return ::waitpid(pid, &status, WNOHANG) == pid; }, bound);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << command << " did not end within " << bound.count() << " s";
        ProcessResult result;
        result.out = Slurp(outputFolder + "/out");
        return result;
    }
    return ToolProcessResult(outputFolder, status);
}

ProcessResult RunTool(const std::string& root, const std::string& outputFolder,
                      const std::vector<std::string>& args, const std::function<bool()>& prepare)
{
    pid_t pid = StartToolProcess(root, outputFolder, args, prepare);
    return FinishToolProcess(pid, outputFolder, args.empty() ? "the tool" : args[0], std::chrono::seconds(300));
}

ProcessResult RunToolIntoPipe(const std::string& root, const std::string& outputFolder,
                              const std::vector<std::string>& args)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe";
        return ProcessResult();
    }
    const int writer = ends[1];
    const pid_t pid = StartToolProcess(root, outputFolder, args, [writer] { return ::dup2(writer, 1) == 1; });
    ::close(writer);
    // Read to the end, when the tool has closed its output; a tool that
    // hangs is left to FinishToolProcess after the same bound.
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    for (;;) {
        pollfd ready = {ends[0], POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline)
            break;
        if (::poll(&ready, 1, 1000) <= 0)
            continue;
        char buffer[65536];
        const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, size_t(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(ends[0]);
    ProcessResult result =
        FinishToolProcess(pid, outputFolder, args.empty() ? "the tool" : args[0], std::chrono::seconds(300));
    result.out = got;
    return result;
}

ProcessResult RunToolWithin(const std::string& root, const std::string& outputFolder,
                            const std::vector<std::string>& args,
                            std::chrono::seconds bound)
{
    pid_t pid = StartToolProcess(root, outputFolder, args);
    return FinishToolProcess(pid, outputFolder, args.empty() ? "the tool" : args[0], bound);
}
