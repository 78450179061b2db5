// Replays a fuzz target's corpus as an ordinary program, so the test build can
// run every seed and every kept crash input without a libFuzzer toolchain.
//
// The targets keep their files in folders of their own under TMPDIR, which go
// at exit. The replay hands them a TMPDIR of its own and fails when anything
// is left in it once the targets' folders are gone.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::string replayTemp;

// Registered before the first input, so it runs after the targets' own
// folders (made at their first input) were removed at exit.
void CheckNothingLeft()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    bool left = false;
    for (const auto& entry : fs::directory_iterator(replayTemp, ec)) {
        std::fprintf(stderr, "left behind by the target: %s\n", entry.path().c_str());
        left = true;
    }
    fs::remove_all(replayTemp, ec);
    if (left) {
        std::fflush(nullptr);
        std::_Exit(1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const char* tmp = std::getenv("TMPDIR");
    replayTemp = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestro-replay.XXXXXX";
    if (!::mkdtemp(replayTemp.data()) || ::setenv("TMPDIR", replayTemp.c_str(), 1) != 0) {
        std::perror("replay temporary folder");
        return 1;
    }
    std::atexit(CheckNothingLeft);
    size_t ran = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        fs::path root(argv[i]);
        if (fs::is_directory(root)) {
            for (const auto& entry : fs::recursive_directory_iterator(root))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else {
            files.push_back(root);
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::vector<uint8_t> read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            // Exactly the input's size, as the fuzzer hands it over, so that a
            // read past its end shows.
            const std::vector<uint8_t> bytes(read.begin(), read.end());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++ran;
        }
    }
    std::printf("replayed %zu inputs\n", ran);
    if (ran == 0) {
        std::fprintf(stderr, "no corpus inputs found\n");
        return 1;
    }
    return 0;
}
