// The script API's test program run as the tool runs, in a laid-out data
// root with the stand-in daemon: the asset compile road end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scriptapi/harness/HarnessTest.h"

namespace {

namespace fs = std::filesystem;

class HarnessProcessTest : public HarnessTest {
protected:
    void SetUp() override
    {
        HarnessTest::SetUp();
        ASSERT_TRUE(fs::exists(fs::path(root_.Path()) / "libraries/Kestro.gsl"));
    }

    std::string Asset(const std::string& folder, const std::string& kuid, const std::string& category,
                      const std::string& script)
    {
        const fs::path path = fs::path(root_.Path()) / "local" / folder;
        fs::create_directories(path);
        std::ofstream(path / "config.txt") << "kuid " << kuid << "\nusername \"" << folder
                                           << "\"\nkind \"scenery\"\ncategory-class \"" << category
                                           << "\"\nkestro-build 3.5\nscript \"main\"\nclass \"Main\"\n";
        if (!script.empty())
            std::ofstream(path / "main.gs") << script;
        return Root() + "/local/" + folder;
    }

    ProcessResult Harness(const std::vector<std::string>& args)
    {
        return RunHarness(args, root_.Path() + "/elsewhere");
    }

    // The cache files and their times.
    std::set<std::pair<std::string, fs::file_time_type>> Cache() const
    {
        std::set<std::pair<std::string, fs::file_time_type>> files;
        const fs::path folder = fs::path(root_.Path()) / "cache/libraries";
        if (fs::exists(folder)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(folder))
                files.insert({entry.path().filename().string(), entry.last_write_time()});
        }
        return files;
    }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(HarnessProcessTest, CompilesOnceReusesTheCacheAndReportsMismatchesAndSyntaxErrors)
{
    const std::string vehicle = Asset("vehicle", "<kuid:400001:901>", "TR;TV",
                                      "include \"Kestro.gs\"\nclass Main isclass Vehicle\n{\n};\n");
    const std::string mismatch = Asset("mismatch", "<kuid:400001:902>", "TR;TV",
                                       "include \"Kestro.gs\"\nclass Main isclass Trackside\n{\n};\n");
    const std::string broken = Asset("broken", "<kuid:400001:903>", "TO", "class Main isclass\n");

    ProcessResult first = Harness({"compileasset", vehicle, mismatch, broken});
    EXPECT_EQ(first.exitCode, 255) << first.out;
    EXPECT_TRUE(Has(first.out, "compileasset " + vehicle + ": compiled\nOK (0 Errors, 0 Warnings)\n")) << first.out;
    EXPECT_TRUE(Has(first.out, "Script class does not match asset kind (vehicle).")) << first.out;
    EXPECT_TRUE(Has(first.out, "KestroBaseSpec::CacheScripts> Syntax error in script of asset "
                               "'<kuid:400001:903> \"broken\"'"))
        << first.out;
    EXPECT_FALSE(Has(first.out, "Leaked specs:")) << first.out;
    const auto cached = Cache();
    EXPECT_EQ(cached.size(), 2u);

    ProcessResult again = Harness({"compileasset", vehicle});
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_EQ(Cache(), cached);

    // The scrambled form of the same text names the same cache file.
    ProcessResult encrypt = Run({"encrypt", vehicle + "/main.gs"});
    ASSERT_EQ(encrypt.exitCode, 0) << encrypt.out << encrypt.err;
    fs::remove(vehicle + "/main.gs");
    ASSERT_TRUE(fs::exists(vehicle + "/main.gse"));
    ProcessResult scrambled = Harness({"compileasset", vehicle});
    EXPECT_EQ(scrambled.exitCode, 0) << scrambled.out;
    EXPECT_EQ(Cache(), cached);
}

TEST_F(HarnessProcessTest, AuthorsOfBuiltInIdsHaveFixedNames)
{
    Asset("none", "<kuid:0:11>", "TO", "");
    Asset("unknown", "<kuid:-2:12>", "TO", "");
    Asset("builtin", "<kuid:-5:13>", "TO", "");
    ProcessResult authors = Run({"authors"});
    EXPECT_EQ(authors.exitCode, 0) << authors.err;
    std::set<std::string> lines;
    std::istringstream in(authors.out);
    for (std::string line; std::getline(in, line);)
        lines.insert(line);
    for (const char* name : {"-", "unknown", "Marvu"})
        EXPECT_TRUE(lines.count(name)) << name << " in " << authors.out;
}

}  // namespace
