// Runs every GS file of tests/gs/lang through the compiler and compares its
// messages and error count with what the file's comments expect; the code
// of a clean program is compared with its "// code" lines, and its library
// image is read back and loaded through the script machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gs/compiler/CodegenTestSupport.h"
#include "gs/compiler/CompilerTestSupport.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/ScriptLogHook.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kLanguageFolder = fs::path(KESTRO_TEST_DATA_DIR) / ".." / "gs" / "lang";

struct Expectation {
    std::vector<std::string> messages;
    int errors = -1;
    // "// code KEY: OPS": the disassembly of the function the key names;
    // lines with the same key continue one another.
    std::map<std::string, std::string> code;
};

// A message may hold line breaks, written "\n".
std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

Expectation ReadExpectation(const fs::path& file)
{
    static const std::string kMessage = "// expect compile: ";
    static const std::string kErrors = "// errors: ";
    static const std::string kCode = "// code ";
    Expectation e;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(kMessage, 0) == 0) {
            e.messages.push_back(Unescape(line.substr(kMessage.size())));
        } else if (line.rfind(kErrors, 0) == 0) {
            e.errors = std::stoi(line.substr(kErrors.size()));
        } else if (line.rfind(kCode, 0) == 0) {
            const size_t colon = line.find(": ", kCode.size());
            const std::string key = line.substr(kCode.size(), colon - kCode.size());
            std::string& code = e.code[key];
            if (!code.empty())
                code += "; ";
            code += colon == std::string::npos ? "" : line.substr(colon + 2);
        }
    }
    return e;
}

std::vector<fs::path> GsFiles(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == ".gs")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void IgnoreLog(const char*, ...) {}

}  // namespace

TEST(LanguageTest, EveryFileGivesTheMessagesItExpects)
{
    const std::vector<fs::path> files = GsFiles(kLanguageFolder);
    ASSERT_GE(files.size(), 10u) << kLanguageFolder;
    TempFolder out;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const Expectation expected = ReadExpectation(file);
        ASSERT_GE(expected.errors, 0) << "no \"// errors:\" line";
        GSCompiler::CompileSession sink;
        const int errors =
            GSCompiler::CompileScriptFile(file.string(), out.Path().c_str(), GSCompiler::IncludePathList(), &sink);
        GSCompiler::IncludePathList::Global().Clear();
        EXPECT_EQ(gstest::TakeLines(sink), expected.messages);
        EXPECT_EQ(errors, expected.errors);
        // A library is written exactly when the compile succeeds.
        EXPECT_EQ(fs::exists(fs::path(out.Path()) / file.filename().replace_extension(".gsl")), errors == 0);
    }
}

// A compile whose memory is left to the program's exit (as gsc's is) says
// and writes what one that frees it does; the next compile frees the one
// left before it.
TEST(LanguageTest, ACompileLeftToTheExitSaysAndWritesTheSame)
{
    const auto bytesOf = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    TempFolder freed, left;
    for (const fs::path& file : GsFiles(kLanguageFolder)) {
        SCOPED_TRACE(file.filename().string());
        std::vector<std::string> messages[2];
        int errors[2] = {};
        const GSCompiler::CompileMemory modes[2] = {GSCompiler::CompileMemory::kFreed,
                                                    GSCompiler::CompileMemory::kLeftToExit};
        const TempFolder* folders[2] = {&freed, &left};
        for (int m = 0; m < 2; ++m) {
            GSCompiler::CompileSession sink;
            errors[m] = GSCompiler::CompileScriptFile(file.string(), folders[m]->Path().c_str(),
                                                      GSCompiler::IncludePathList(), &sink, modes[m]);
            GSCompiler::IncludePathList::Global().Clear();
            messages[m] = gstest::TakeLines(sink);
        }
        EXPECT_EQ(messages[1], messages[0]);
        EXPECT_EQ(errors[1], errors[0]);
        const fs::path library = file.filename().replace_extension(".gsl");
        EXPECT_EQ(bytesOf(fs::path(left.Path()) / library), bytesOf(fs::path(freed.Path()) / library));
    }
}

// Every program that compiles: each function and initialiser ends with
// the operand stack at depth 0, the image reads back by every rule, the
// code is what its "// code" lines say, and the library loads and links
// through the script machine, with the libraries of its includes.
TEST(LanguageTest, EveryCleanProgramHasItsCodeAndLoads)
{
    TempFolder includes;
    for (const fs::path& file : GsFiles(kLanguageFolder / "inc")) {
        GSCompiler::CompileSession sink;
        const GSCompiler::IncludePathList searchLang = [] {
            GSCompiler::IncludePathList list;
            list.Append(Nyx::File::Path(kLanguageFolder.string() + "/"));
            return list;
        }();
        GSCompiler::CompileScriptFile(file.string(), includes.Path().c_str(), searchLang, &sink);
    }
    GSCompiler::IncludePathList::Global().Clear();

    const ScriptLogFunction previousLog = ScriptLogHook;
    ScriptLogHook = &IgnoreLog;
    int loaded = 0;
    for (const fs::path& file : GsFiles(kLanguageFolder)) {
        const Expectation expected = ReadExpectation(file);
        if (expected.errors != 0)
            continue;
        SCOPED_TRACE(file.filename().string());
        const gstest::Compiled c = gstest::CompileInFolder(kLanguageFolder.string(), file.filename().string());
        ASSERT_EQ(c.errors, 0) << ::testing::PrintToString(c.messages);
        EXPECT_TRUE(c.image.errors.empty()) << ::testing::PrintToString(c.image.errors);
        for (const auto& [signature, depth] : c.endDepths)
            EXPECT_EQ(depth, 0) << signature;
        for (const auto& [key, code] : expected.code)
            EXPECT_EQ(gstest::Code(c, key), code) << key;

        TempFolder own;
        own.Write(file.filename().replace_extension(".gsl").string(), std::string(c.bytes.begin(), c.bytes.end()));
        GSMachine machine;
        machine.RegisterBuiltinNatives();
        ASSERT_TRUE(machine.AddLibraryFolder(Nyx::PString(own.Path())));
        ASSERT_TRUE(machine.AddLibraryFolder(Nyx::PString(includes.Path())));
        // A program whose include does not compile on its own has no
        // library to link against.
        bool dependenciesBuilt = true;
        for (size_t i = 1; i < c.image.dependencies.size(); ++i) {
            const auto& [low, high] = c.image.dependencies[i];
            dependenciesBuilt = dependenciesBuilt && machine.IdTable().Find(LibraryId{low, high});
        }
        if (!dependenciesBuilt)
            continue;
        int linkResult = 1;
        EXPECT_NE(machine.LoadLibrary(LibraryId{c.image.idLow, c.image.idHigh}, &linkResult), nullptr);
        EXPECT_EQ(linkResult, GSMachine::kLinked);
        ++loaded;
    }
    ScriptLogHook = previousLog;
    EXPECT_GE(loaded, 10);
}
