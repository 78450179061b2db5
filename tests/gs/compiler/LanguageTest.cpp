// Runs every GS file of tests/gs/lang through the compiler and compares its
// messages and error count with what the file's comments expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gs/compiler/CompilerTestSupport.h"
#include "gs/compiler/driver/Compiler.h"

namespace {

namespace fs = std::filesystem;

const fs::path kLanguageFolder = fs::path(KESTRO_TEST_DATA_DIR) / ".." / "gs" / "lang";

struct Expectation {
    std::vector<std::string> messages;
    int errors = -1;
};

Expectation ReadExpectation(const fs::path& file)
{
    static const std::string kMessage = "// expect compile: ";
    static const std::string kErrors = "// errors: ";
    Expectation e;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(kMessage, 0) == 0)
            e.messages.push_back(line.substr(kMessage.size()));
        else if (line.rfind(kErrors, 0) == 0)
            e.errors = std::stoi(line.substr(kErrors.size()));
    }
    return e;
}

std::vector<fs::path> LanguageFiles()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kLanguageFolder)) {
        if (entry.is_regular_file() && entry.path().extension() == ".gs")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(LanguageTest, EveryFileGivesTheMessagesItExpects)
{
    const std::vector<fs::path> files = LanguageFiles();
    ASSERT_GE(files.size(), 10u) << kLanguageFolder;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const Expectation expected = ReadExpectation(file);
        ASSERT_GE(expected.errors, 0) << "no \"// errors:\" line";
        GSCompiler::CompileSession sink;
        const int errors = GSCompiler::CompileScriptFile(file.string(), nullptr, GSCompiler::IncludePathList(), &sink);
        GSCompiler::IncludePathList::Global().Clear();
        EXPECT_EQ(gstest::TakeLines(sink), expected.messages);
        EXPECT_EQ(errors, expected.errors);
    }
}
