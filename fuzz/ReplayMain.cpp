// Replays a fuzz target's corpus as an ordinary program, so the test build can
// run every seed and every kept crash input without a libFuzzer toolchain.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
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
