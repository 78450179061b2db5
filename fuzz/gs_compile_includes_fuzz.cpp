// "compile" of a script with includes: the input is a set of source files,
// the first byte picking the compiler's options, the rest files one after
// another, each after a line "==> PLACE/NAME" (the text before the first
// such line is the script compiled, "src/main.gs"). PLACE is "src" (beside
// the script), "inc" or "lib" (the folders of the two "-i" options).
// Option bits: 1 and 2 give "-i" for inc and lib, 4 ends their paths with
// "/", 8 adds "-i" of a folder that is not there, 16 a build log, 32 puts
// lib before inc.
//
// Whatever the sources: the compile ends with a count of errors; on
// success the library beside the output is new and reads as a library by
// every rule of its layout, and on failure the older library is left as
// it was; the sources are left as they were; and nothing is written but
// the library and the build log.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzSnapshot.h"
#include "FuzzTempFolder.h"
#include "gs/compiler/CompilerMain.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "support/GSLibraryImage.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMarker = "==> ";
constexpr const char* kOldLibrary = "an older library";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "PLACE/NAME" with a known place and a plain name; empty otherwise.
std::string Place(std::string_view text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::string();
    const std::string_view place = text.substr(0, slash);
    const std::string_view name = text.substr(slash + 1);
    if ((place != "src" && place != "inc" && place != "lib") || name.empty() || name.size() > 40 || name == "." ||
        name == "..")
        return std::string();
    for (char c : name) {
        if (c == '/' || c == '\0' || c == '\\')
            return std::string();
    }
    return std::string(text);
}

// Where the next line "==> ..." at or after `from` starts.
size_t MarkerAt(std::string_view text, size_t from)
{
    if (from == 0 && text.substr(0, kMarker.size()) == kMarker)
        return 0;
    const size_t found = text.find(std::string("\n") + std::string(kMarker), from == 0 ? 0 : from - 1);
    return found == std::string_view::npos ? found : found + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 16))
        return 0;
    static FuzzTempFolder folder("gs_compile_includes_fuzz");
    folder.Clear();
    const uint8_t options = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

    // The files, the script first; a name given twice keeps its first text.
    std::string name = "src/main.gs";
    for (size_t at = 0;;) {
        const size_t marker = MarkerAt(rest, at);
        const size_t bodyEnd = marker == std::string_view::npos ? rest.size() : marker == 0 ? 0 : marker - 1;
        if (!name.empty() && !fs::exists(folder / name))
            folder.Write(name, rest.substr(at, bodyEnd - at));
        if (marker == std::string_view::npos)
            break;
        const size_t line = marker + kMarker.size();
        const size_t feed = rest.find('\n', line);
        name = Place(rest.substr(line, feed == std::string_view::npos ? std::string_view::npos : feed - line));
        at = feed == std::string_view::npos ? rest.size() : feed + 1;
    }
    fs::create_directories(folder / "src");
    fs::create_directories(folder / "out");
    folder.Write("out/main.gsl", kOldLibrary);

    const std::string slash = (options & 4) ? "/" : "";
    std::vector<std::string> args = {"compile", "", "-s", "-p" + (folder / "out")};
    std::vector<std::string> includes;
    if (options & 1)
        includes.push_back("-i" + (folder / "inc") + slash);
    if (options & 2)
        includes.push_back("-i" + (folder / "lib") + slash);
    if (options & 32)
        std::reverse(includes.begin(), includes.end());
    args.insert(args.end(), includes.begin(), includes.end());
    if (options & 8)
        args.push_back("-i" + (folder / "missing/"));
    if (options & 16)
        args.push_back("-b" + (folder / "out/build.log"));
    args.push_back(folder / "src/main.gs");

    const std::set<std::string> sourcesBefore = Snapshot(folder.Path() + "/src");
    const std::set<std::string> incBefore = Snapshot(folder.Path() + "/inc");
    const std::set<std::string> libBefore = Snapshot(folder.Path() + "/lib");

    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int errors = CompilerMain(static_cast<int>(args.size()), argv.data());
    FuzzCheck(errors >= 0);

    const std::string library = ReadFile(folder / "out/main.gsl");
    if (errors == 0) {
        FuzzCheck(library != kOldLibrary);
        const std::vector<uint8_t> bytes(library.begin(), library.end());
        FuzzCheck(gsimage::ReadImage(bytes).errors.empty());
    } else {
        FuzzCheck(library == kOldLibrary);
    }
    FuzzCheck(Snapshot(folder.Path() + "/src") == sourcesBefore);
    FuzzCheck(Snapshot(folder.Path() + "/inc") == incBefore);
    FuzzCheck(Snapshot(folder.Path() + "/lib") == libBefore);
    for (const auto& entry : fs::directory_iterator(folder / "out")) {
        const std::string file = entry.path().filename().string();
        FuzzCheck(file == "main.gsl" || file == "build.log");
    }
    FuzzCheck(!fs::exists(folder / "missing"));
    return 0;
}
