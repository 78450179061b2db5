#include "kaddaemon/DaemonOptions.h"

#include <cstdlib>
#include <string_view>

#include <sys/stat.h>

#include "kad/discovery/ProcessLaunch.h"
#include "kaddaemon/DaemonState.h"
#include "nyx/files/File.h"

namespace kaddaemon {
namespace {

// Takes "--name VALUE" or "--name=VALUE" at argv[i]; advances i past what
// it used.
bool TakeValue(int argc, const char* const* argv, int& i, std::string_view name, std::string& value,
               std::string& error)
{
    std::string_view arg = argv[i];
    if (arg == name) {
        if (i + 1 >= argc) {
            error = std::string(name) + " needs a value";
            return false;
        }
        value = argv[++i];
        return true;
    }
    value = std::string(arg.substr(name.size() + 1));
    return true;
}

bool Matches(std::string_view arg, std::string_view name)
{
    return arg == name || (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=');
}

// A byte count of up to 19 digits, from 1.
bool ReadByteCount(const std::string& text, uint64_t& out)
{
    if (text.empty() || text.size() > 19 || text[0] == '0')
        return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + uint64_t(c - '0');
    }
    return true;
}

}  // namespace

bool ParseDaemonOptions(int argc, const char* const* argv, DaemonOptions& options, std::string& error)
{
    std::string stateLimit;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--test-requests") {
            options.testRequests = true;
            continue;
        }
        std::string_view name;
        std::string* target;
        if (Matches(arg, "--test-state-limit")) {
            name = "--test-state-limit";
            target = &stateLimit;
        } else if (Matches(arg, "--root")) {
            name = "--root";
            target = &options.root;
        } else if (Matches(arg, "--trace")) {
            name = "--trace";
            target = &options.tracePath;
        } else {
            error = "unknown argument \"" + std::string(arg) + "\"";
            return false;
        }
        if (!TakeValue(argc, argv, i, name, *target, error))
            return false;
        if (target->empty()) {
            error = std::string(name) + " needs a value";
            return false;
        }
    }
    if (!stateLimit.empty()) {
        // Only a test may make the daemon refuse files it would take.
        if (!options.testRequests) {
            error = "--test-state-limit goes only with --test-requests";
            return false;
        }
        if (!ReadByteCount(stateLimit, options.testStateLimit)) {
            error = "--test-state-limit needs a number of bytes from 1";
            return false;
        }
    }
    return true;
}

void ApplyTestOptions(const DaemonOptions& options) { DaemonState::SetSizeLimitForTests(options.testStateLimit); }

bool FindDataRoot(const std::string& given, std::string& root)
{
    std::string folder = given;
    if (folder.empty()) {
        Nyx::File::Path program;
        if (!GetModulePath(program))
            return false;
        // The program sits in "bin"; the root is the folder above.
        folder = std::string(program.Folder()) + "..";
    }
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real)
        return false;
    root = real;
    std::free(real);
    struct stat st;
    return ::stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace kaddaemon
