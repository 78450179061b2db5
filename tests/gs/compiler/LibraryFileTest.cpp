// Where a compiled library goes and how it is written: named after its
// source in the output folder, through a sibling file that is renamed over
// the target only when whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gs/compiler/CompilerTestSupport.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/image/LibraryFile.h"
#include "support/TempFolder.h"

using namespace GSCompiler;

namespace {

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(LibraryFileTest, TheLibraryIsNamedAfterItsSource)
{
    struct Case {
        const char* folder;
        const char* source;
        const char* path;
    };
    const Case cases[] = {
        {"out", "x.gs", "out/x.gsl"},
        {"out/", "x.gs", "out/x.gsl"},
        {"out\\", "x.gs", "out\\x.gsl"},
        {"", "x.gs", "x.gsl"},
        {"out", "src/Script.gse", "out/Script.gsl"},
        {"out", "c:\\src\\a.b.gs", "out/a.b.gsl"},
        {"out", "noextension", "out/noextension.gsl"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LibraryPath(c.folder, c.source), c.path) << c.folder << " " << c.source;
}

TEST(LibraryFileTest, AWriteThatFailsLeavesTheOldFileAndNoTemporary)
{
    TempFolder dir;
    const std::vector<uint8_t> image = {1, 2, 3, 4, 5};
    EXPECT_EQ(WriteLibraryFile(dir / "a.gsl", image.data(), uint32_t(image.size())), LibraryFileResult::kWritten);
    EXPECT_EQ(dir.ReadAll("a.gsl"), std::string("\1\2\3\4\5"));
    EXPECT_EQ(WriteLibraryFile(dir / "a.gsl", image.data(), 2), LibraryFileResult::kWritten);
    EXPECT_EQ(dir.ReadAll("a.gsl"), std::string("\1\2"));

    // A folder of that name is no file to open, nor to replace by one.
    dir.MakeFolder("b.gsl/inside");
    EXPECT_EQ(WriteLibraryFile(dir / "b.gsl", image.data(), uint32_t(image.size())),
              LibraryFileResult::kCannotCreate);
    EXPECT_TRUE(dir.Has("b.gsl/inside"));
    // No folder to make the temporary in.
    EXPECT_EQ(WriteLibraryFile(dir / "none/c.gsl", image.data(), uint32_t(image.size())),
              LibraryFileResult::kCannotCreate);
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"a.gsl", "b.gsl"}));
}

TEST(LibraryFileTest, AnOutputFolderThatIsNotThereFailsTheCompile)
{
    TempFolder dir;
    dir.Write("x.gs", "class X {};");
    CompileSession sink;
    EXPECT_EQ(CompileScriptFile(dir / "x.gs", (dir / "missing").c_str(), IncludePathList(), &sink), 1);
    IncludePathList::Global().Clear();
    EXPECT_EQ(gstest::TakeLines(sink), std::vector<std::string>{"Unable to open output file.\n"});
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"x.gs"});

    // CompileToLibraryFile writes where it is told, and reports only into
    // a sink it was given.
    IncludePathList::Global().Append(Nyx::File::Path(dir.Path() + "/"));
    EXPECT_EQ(CompileToLibraryFile(nullptr, "x.gs", (dir / "missing/x.gsl").c_str()), 1);
    EXPECT_EQ(CompileToLibraryFile(&sink, "x.gs", (dir / "cached.gsl").c_str()), 0);
    IncludePathList::Global().Clear();
    EXPECT_TRUE(gstest::TakeLines(sink).empty());
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"cached.gsl", "x.gs"}));
}
