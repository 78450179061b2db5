// The package commands of the built program against the stand-in daemon on
// a data root of its own: packages made from installed assets and
// installed again, and asset folders installed from a folder search.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ToolProcess.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const std::string kClean = "OK (0 Errors, 0 Warnings)\n";

std::string Config(int content, const std::string& name, const std::string& extra = {})
{
    return "kuid <kuid:77:" + std::to_string(content) + ">\nusername \"" + name +
           "\"\nkind \"scenery\"\ncategory-class \"BD\"\nkestro-build 3.5\n" + extra;
}

std::string StatusLine(int content, const std::string& letters, const std::string& name)
{
    return "+ <kuid:77:" + std::to_string(content) + "> : " + letters + " : BD : " + name + "\n";
}

class PackageCommandsProcessTest : public ToolProcessTest {
protected:
    ProcessResult Status(int content) { return Run({"status", "<kuid:77:" + std::to_string(content) + ">"}); }

    TempFolder files_;
};

TEST_F(PackageCommandsProcessTest, InstallFromPathInstallsEachAssetFolderOnce)
{
    const std::string tree = files_ / "tree";
    files_.Write("tree/first/config.txt", Config(601, "First"));
    files_.Write("tree/first/textures/a.tga", "tga");
    files_.Write("tree/more/second/config.txt", Config(602, "Second"));
    files_.Write("tree/combo/config.txt", Config(603, "Combo"));
    files_.Write("tree/combo/inner/config.txt", Config(604, "Inner"));
    fs::create_directory_symlink(tree, tree + "/more/loop");

    ProcessResult r = Run({"installfrompath", tree});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kClean);
    EXPECT_EQ(Status(601).out, StatusLine(601, "eIadlmf", "First") + kClean);
    EXPECT_EQ(Status(602).out, StatusLine(602, "eIadlmf", "Second") + kClean);
    EXPECT_EQ(Status(603).out, StatusLine(603, "eIadlmf", "Combo") + kClean);
    // The inner folder is one of the combo asset's files, not an asset.
    EXPECT_EQ(Status(604).exitCode, 255);
    std::vector<std::string> installed;
    for (const auto& entry : fs::directory_iterator(root_ / "local"))
        installed.push_back(entry.path().filename().string());
    EXPECT_EQ(installed.size(), 3u);
    EXPECT_TRUE(fs::exists(root_ / "local/first/textures/a.tga"));

    ProcessResult missing = Run({"installfrompath", files_ / "nothing"});
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_EQ(missing.out, "- <NULL> : Invalid input path.\nOK (1 Errors, 0 Warnings)\n");
}

}  // namespace
