// The package commands of the built program against the stand-in daemon on
// a data root of its own: packages made from installed assets and
// installed again, and asset folders installed from a folder search.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ToolProcess.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/packages/CDP.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/ResultNotes.h"
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

std::string KUIDText(int content) { return "<kuid:77:" + std::to_string(content) + ">"; }

// Bytes that compress, but not to nothing.
std::string Mesh(size_t length)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>((i % 251) ^ (i / 1000));
    return s;
}

// What a FIFO delivers while `write` runs, read until its writer closes it.
std::string DrainFifoWhile(const std::string& fifo, const std::function<void()>& write)
{
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    std::atomic<bool> written{false};
    std::string got;
    std::thread reader([&] {
        char buffer[65536];
        // No bytes and no writer: the writer has not come yet, or is done.
        for (ssize_t n; fd >= 0 && ((n = ::read(fd, buffer, sizeof buffer)) != 0 || !written);) {
            if (n > 0)
                got.append(buffer, size_t(n));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    write();
    written = true;
    reader.join();
    if (fd >= 0)
        ::close(fd);
    return got;
}

class PackageCommandsProcessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        root_.Write("local/one/config.txt",
                    Config(701, "One",
                           "description \"First line\nsecond\"\ncategory-region \"Moorland\"\n"
                           "category-era \"1920s;1930s\"\nalias <kuid:77:640>\n"
                           "kuid-table\n{\n  0 <kuid:77:702>\n}\nobsolete-table\n{\n  0 <kuid:77:650>\n}\n"));
        root_.Write("local/one/meshes/body.im", Mesh(200000));
        root_.Write("local/one/Thumbnail.jpg", "jpeg of one");
        root_.Write("local/two/config.txt", Config(702, "Two"));
        root_.Write("local/two/art.tga", "tga of two");
    }

    ProcessResult Status(int content) { return Run({"status", KUIDText(content)}); }

    // A package of both assets, which are then deleted.
    std::string PackBothAndDelete()
    {
        const std::string package = files_ / "pair.cdp";
        ProcessResult made = Run({"createcdp", package, KUIDText(701), KUIDText(702)});
        EXPECT_EQ(made.exitCode, 0);
        EXPECT_EQ(made.out, kClean);
        EXPECT_EQ(Run({"delete", KUIDText(701)}).exitCode, 0);
        EXPECT_EQ(Run({"delete", KUIDText(702)}).exitCode, 0);
        EXPECT_EQ(Status(701).exitCode, 255);
        return package;
    }

    // The installed folder of an asset, from the daemon.
    std::string InstalledFolder(int content)
    {
        ProcessResult edit = Run({"edit", KUIDText(content)});
        Run({"revert", KUIDText(content)});
        std::string prefix = "+ " + KUIDText(content) + " : ";
        size_t end = edit.out.find('\n');
        if (edit.out.rfind(prefix, 0) != 0 || end == std::string::npos)
            return std::string();
        std::string working = edit.out.substr(prefix.size(), end - prefix.size());
        return Root() + "/local/" + fs::path(working).filename().string();
    }

    // Runs the command as Run does, but gives up on it after `limit`: the
    // process is killed and the test fails.
    ProcessResult RunWithin(const std::vector<std::string>& args, std::chrono::seconds limit)
    {
        const pid_t pid = StartToolProcess(root_.Path(), output_.Path(), args);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << args[0] << " did not end within " << limit.count() << " s";
                return ProcessResult();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ToolProcessResult(output_.Path(), status);
    }

    TempFolder files_;
};

// Two packages made at once to one output: each run writes a temporary of
// its own, so both end 0 and the output is one of the two packages whole.
TEST_F(PackageCommandsProcessTest, PackagesMadeAtOnceToOneOutputLeaveOneWhole)
{
    const std::string out = files_ / "out.cdp";
    ASSERT_EQ(Run({"createcdp", files_ / "one.cdp", KUIDText(701)}).exitCode, 0);
    ASSERT_EQ(Run({"createcdp", files_ / "two.cdp", KUIDText(702)}).exitCode, 0);
    const std::string one = Slurp(files_ / "one.cdp");
    const std::string two = Slurp(files_ / "two.cdp");
    TempFolder outputs[2];
    for (int round = 0; round < 4; ++round) {
        const pid_t first = StartToolProcess(root_.Path(), outputs[0].Path(), {"createcdp", out, KUIDText(701)});
        const pid_t second = StartToolProcess(root_.Path(), outputs[1].Path(), {"createcdp", out, KUIDText(702)});
        EXPECT_EQ(FinishToolProcess(first, outputs[0].Path(), "createcdp", std::chrono::seconds(120)).exitCode, 0);
        EXPECT_EQ(FinishToolProcess(second, outputs[1].Path(), "createcdp", std::chrono::seconds(120)).exitCode, 0);
        const std::string made = Slurp(out);
        EXPECT_TRUE(made == one || made == two) << "round " << round << ": " << made.size() << " bytes";
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(files_.Path()))
        EXPECT_EQ(entry.path().string().find(".saving"), std::string::npos) << entry.path();
}

TEST_F(PackageCommandsProcessTest, CreatedPackageInstallsTheDeletedAssetsAgain)
{
    const std::string package = PackBothAndDelete();
    EXPECT_EQ(Slurp(package).substr(0, 4), "ACS$");
    // The files are packed, not stored.
    EXPECT_LT(fs::file_size(package), 100000u);

    ProcessResult r = Run({"installcdp", package});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kClean);
    EXPECT_EQ(Status(701).out, StatusLine(701, "eIadlMf", "One") + kClean);
    EXPECT_EQ(Status(702).out, StatusLine(702, "eIadlmf", "Two") + kClean);
    const std::string one = InstalledFolder(701);
    EXPECT_EQ(Slurp(one + "/meshes/body.im"), Mesh(200000));
    EXPECT_EQ(Slurp(one + "/Thumbnail.jpg"), "jpeg of one");
    EXPECT_TRUE(fs::exists(one + "/config.chump"));
    EXPECT_TRUE(fs::is_empty(root_ / "editing"));

    ProcessResult missing = Run({"installcdp", files_ / "none.cdp"});
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_NE(missing.out.find("- <NULL> : Content could not be read, as the file is not a valid CDP\n"),
              std::string::npos)
        << missing.out;
}

TEST_F(PackageCommandsProcessTest, CreateCdpRefusesBeforeWritingAnything)
{
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"createcdp"}, "- <NULL> : Missing output path parameter.\n"},
        {{"createcdp", files_ / "out.txt", KUIDText(701)}, "- <NULL> : The output filename must have a .cdp extension.\n"},
        {{"createcdp", files_ / "out.cdp", KUIDText(701), "<kuid:77>"}, "- <NULL> : Invalid AssetID.\n"},
        {{"createcdp", files_ / "out.cdp", KUIDText(701), KUIDText(999)}, "- <kuid:77:999> : Asset is not local.\n"},
        // A package of nothing is one no install takes.
        {{"createcdp", files_ / "out.cdp"}, "- <NULL> : Missing AssetID parameter.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : c.args[0]);
        ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, c.out + "OK (1 Errors, 0 Warnings)\n");
        EXPECT_TRUE(fs::is_empty(files_.Path()));
    }
}

TEST_F(PackageCommandsProcessTest, VrqParseInstallsListsAndWritesEachAssetBesideThePackage)
{
    const std::string package = PackBothAndDelete();
    ProcessResult r = Run({"vrqparse", package});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    // The status lines come as the assets are processed, the results after.
    EXPECT_EQ(r.out.rfind(StatusLine(701, "eIadlMf", "One") + StatusLine(702, "eIadlmf", "Two"), 0), 0u) << r.out;
    // Each asset is validated by the command host the stand-in starts; this
    // root has no interface text, so its finding shows as its key.
    const std::string future = " : $tet_future_asset\n";
    const std::vector<std::string> lines = {
        "- <kuid:77:701>" + future,
        "; <kuid:77:701> : Name: One\n",
        "; <kuid:77:701> : Description: First line\\nsecond\n",
        "; <kuid:77:701> : Kestro-build: 3.5\n",
        "; <kuid:77:701> : Dependencies: <kuid:77:702>, <kuid:77:640>\n",
        "; <kuid:77:701> : Obsoletes: <kuid:77:650>\n",
        "; <kuid:77:701> : kind: scenery\n",
        "; <kuid:77:701> : alias-kuid: <kuid:77:640>\n",
        "; <kuid:77:701> : category-region: Moorland\n",
        "; <kuid:77:701> : category-era: 1920s;1930s\n",
        "; <kuid:77:701> : category-class: BD\n",
        "- <kuid:77:702>" + future,
        "; <kuid:77:702> : Name: Two\n",
        "; <kuid:77:702> : Description: \n",
        "; <kuid:77:702> : Kestro-build: 3.5\n",
        "; <kuid:77:702> : Dependencies: \n",
        "; <kuid:77:702> : Obsoletes: \n",
        "; <kuid:77:702> : kind: scenery\n",
        "; <kuid:77:702> : alias-kuid: <NULL>\n",
        "; <kuid:77:702> : category-region: \n",
        "; <kuid:77:702> : category-era: \n",
        "; <kuid:77:702> : category-class: BD\n",
    };
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = r.out.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << r.out;
        if (found != std::string::npos)
            at = found + line.size();
    }
    EXPECT_NE(r.out.find("OK (2 Errors, 0 Warnings)\n"), std::string::npos) << r.out;
    EXPECT_EQ(Status(701).out, StatusLine(701, "eIadlMf", "One") + kClean);
    EXPECT_TRUE(fs::is_empty(root_ / "editing"));

    // Each asset's own package and thumbnail beside the input: the named
    // jpg copied, the other image's bytes written.
    EXPECT_EQ(Slurp(files_ / "kuid 77 701.jpg"), "jpeg of one");
    EXPECT_EQ(Slurp(files_ / "kuid 77 702.jpg"), "tga of two");
    for (const char* name : {"kuid 77 701.cdp", "kuid 77 702.cdp"}) {
        SCOPED_TRACE(name);
        ChunkRef single;
        EXPECT_TRUE(CDP::CheckHeader(single, Nyx::File::Path(files_ / name)).Empty());
        ASSERT_EQ(CDP::GetAssetCount(single), 1u);
        EXPECT_TRUE(CDP::VerifyEntryChecksum(CDP::GetAssetAt(single, 0)));
    }

    ProcessResult unreadable = Run({"vrqparse", files_ / "kuid 77 701.jpg"});
    EXPECT_EQ(unreadable.exitCode, 255);
    EXPECT_EQ(unreadable.out, "- <NULL> : $kad_unreadable_cdp\nOK (1 Errors, 0 Warnings)\n");
}

TEST_F(PackageCommandsProcessTest, AnAssetNamingEightyThousandKUIDsIsServedPackedAndInstalledPromptly)
{
    // Each step is linear in what the asset names; one that is quadratic
    // takes minutes here (and the daemon's start-up overruns the tool's
    // handshake), well past the generous bound.
    constexpr int kNamed = 80000;
    const auto limit = std::chrono::seconds(90);
    std::string config = Config(900, "Big", "kuid-table\n{\n");
    for (int i = 0; i < kNamed; ++i)
        config += "  " + std::to_string(i) + " <kuid:78:" + std::to_string(i) + ">\n";
    // Named again further down, with one more.
    config += "}\nmeshes\n{\n  a \"<kuid:78:5>\"\n  b <kuid:79:1>\n  c <kuid:78:0>\n}\n";
    root_.Write("local/big/config.txt", config);
    auto named = [&](int i) { return i < kNamed ? KUID(78, i, 0) : KUID(79, 1, 0); };

    ProcessResult status = RunWithin({"status", KUIDText(900)}, limit);
    EXPECT_EQ(status.err, "");
    EXPECT_EQ(status.out, StatusLine(900, "eIadlMf", "Big") + kClean);

    const std::string package = files_ / "big.cdp";
    ProcessResult made = RunWithin({"createcdp", package, KUIDText(900)}, limit);
    EXPECT_EQ(made.out, kClean);
    ChunkRef packed;
    ASSERT_TRUE(CDP::CheckHeader(packed, Nyx::File::Path(package)).Empty());
    // Every KUID once, in the order the config first names them.
    const ChunkRef table = TDBContainerTag::GetChildContainer(packed, Nyx::PString("kuid-table"));
    ASSERT_TRUE(table);
    ASSERT_EQ(table->GetChildCount(), uint32_t(kNamed + 1));
    for (int i : {0, 1, 5, kNamed - 1, kNamed}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(TDBContainerTag::GetChildName(table, i).View(), std::to_string(i));
        EXPECT_EQ(TDBContainerTag::GetKUID(table, Nyx::PString(std::to_string(i)), KUID::Null), named(i));
    }

    EXPECT_EQ(Run({"delete", KUIDText(900)}).exitCode, 0);
    ProcessResult installed = RunWithin({"installcdp", package}, limit);
    EXPECT_EQ(installed.out, kClean);
    EXPECT_EQ(Status(900).out, StatusLine(900, "eIadlMf", "Big") + kClean);

    ProcessResult listed = RunWithin({"vrqparse", package}, limit);
    EXPECT_EQ(listed.exitCode, 0) << listed.out.substr(0, 2000);
    std::string dependencies = "; <kuid:77:900> : Dependencies: ";
    for (int i = 0; i <= kNamed; ++i)
        dependencies += (i ? ", " : "") + named(i).ToString().Str();
    EXPECT_NE(listed.out.find(dependencies + "\n"), std::string::npos);
}

// An entry for the asset with one file; its chunk claims LZSS but holds a
// stream no decoder accepts when `broken` is set.
ChunkRef Entry(int content, const std::string& name, bool broken)
{
    ChunkRef entry;
    TDBContainerTag::SetKUID(entry, Nyx::PString("kuid"), KUID(77, content, 0));
    TDBContainerTag::SetString(entry, Nyx::PString("username"), Nyx::PString(name));
    TDBContainerTag::SetString(entry, Nyx::PString("kind"), Nyx::PString("scenery"));
    ChunkRef files(new TDBContainerTag);
    // Size prefix 5, then a stored stream of "plain", or a header byte no
    // level has.
    const std::string chunk = std::string("\x05\0\0\0", 4) + (broken ? "\xFF\x01\x02" : std::string("\0plain", 6));
    files->AddChild(Nyx::PString("data.txt"),
                    files->CreateChunk(ACS_TYPE_RAW, ACSRawData::Copy(chunk.data(), uint32_t(chunk.size()))));
    TDBContainerTag::SetChildContainer(entry, Nyx::PString("files"), files);
    CDP::SetCompressionLZSS(entry);
    return entry;
}

TEST_F(PackageCommandsProcessTest, VrqParseKeepsNothingOfAPackageWhoseAssetFailsToInstall)
{
    ChunkRef package;
    ASSERT_TRUE(CDP::AddAsset(package, Entry(801, "Good", false)).Empty());
    ASSERT_TRUE(CDP::AddAsset(package, Entry(802, "Broken", true)).Empty());
    ASSERT_TRUE(CDP::AddAsset(package, Entry(803, "Also good", false)).Empty());
    const std::string path = files_ / "mixed.cdp";
    ASSERT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());

    ProcessResult r = Run({"vrqparse", path});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.out.find("- <NULL> : Aborted processing\n"), std::string::npos) << r.out;
    for (int content : {801, 802, 803}) {
        SCOPED_TRACE(content);
        EXPECT_EQ(Status(content).exitCode, 255);
    }
    EXPECT_TRUE(fs::is_empty(root_ / "editing"));
    // Only the two assets laid out before remain installed.
    size_t installed = 0;
    for (auto it = fs::directory_iterator(root_ / "local"); it != fs::directory_iterator(); ++it)
        ++installed;
    EXPECT_EQ(installed, 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(files_.Path()), fs::directory_iterator()), 1);
}

// An entry without a KUID has no asset to become: it fails the package,
// and the daemon is never asked to make an asset of its own for it.
TEST_F(PackageCommandsProcessTest, VrqParseRefusesAnEntryWithoutAKUIDAndKeepsNothing)
{
    struct Case {
        const char* name;
        bool goodFirst;
    };
    for (const Case c : {Case{"alone", false}, Case{"after an entry that installs", true}}) {
        SCOPED_TRACE(c.name);
        ChunkRef package;
        if (c.goodFirst) {
            ASSERT_TRUE(CDP::AddAsset(package, Entry(811, "Good", false)).Empty());
        }
        ASSERT_TRUE(CDP::AddAsset(package, Entry(812, "Nameless", false)).Empty());
        ChunkRef unnamed = CDP::GetAssetAt(package, c.goodFirst ? 1 : 0);
        TDBContainerTag::RemoveChild(unnamed, Nyx::PString("kuid"));
        const std::string path = files_ / "unnamed.cdp";
        ASSERT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());

        ProcessResult r = Run({"vrqparse", path});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_NE(r.out.find("- <NULL> : Unable to add content as it doesnt not contain a valid KUID\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("- <NULL> : Aborted processing\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("<NULL> : Installed."), std::string::npos) << r.out;
        EXPECT_EQ(Status(811).exitCode, 255);
        EXPECT_TRUE(fs::is_empty(root_ / "editing"));
        EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "local"), fs::directory_iterator()), 2);
        fs::remove(path);
    }
}

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
    // Beside the two assets laid out before.
    EXPECT_EQ(installed.size(), 5u);
    EXPECT_TRUE(fs::exists(root_ / "local/first/textures/a.tga"));

    ProcessResult missing = Run({"installfrompath", files_ / "nothing"});
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_EQ(missing.out, "- <NULL> : Invalid input path.\nOK (1 Errors, 0 Warnings)\n");
}

// Root reads a folder whatever its permission bits say; without the two
// capabilities that let it, the bits hold for root as for anyone else. Runs
// in a child before the program starts.
bool DropPermissionOverride()
{
    return ::geteuid() != 0 || (::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) == 0 &&
                                ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) == 0);
}

// Whether a program started without the override ends with `refused`.
bool RefusedWithoutOverride(const char* program, const std::string& path, int refused)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The bounding set takes effect at the next program start.
        if (!DropPermissionOverride())
            ::_exit(100);
        const char* const argv[] = {program, path.c_str(), nullptr};
        ::execv(argv[0], const_cast<char* const*>(argv));
        ::_exit(101);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == refused;
}

// Whether a program started without the override is refused the folder (ls
// ends with 2 when it cannot open a folder it was given).
bool RefusedWithoutOverride(const std::string& folder) { return RefusedWithoutOverride("/bin/ls", folder, 2); }

// A start folder that cannot be listed is an invalid path, and a folder
// below it that cannot be listed is named; a folder that lists and holds no
// asset installs nothing and is no failure.
TEST_F(PackageCommandsProcessTest, InstallFromPathSaysWhichFoldersItCannotList)
{
    const std::string self = files_ / "self";
    fs::create_directory_symlink("self", self);
    fs::create_directories(files_ / "empty");
    files_.Write("tree/good/config.txt", Config(606, "Good"));
    files_.Write("tree/locked/asset/config.txt", Config(607, "Locked"));
    files_.Write("closed/asset/config.txt", Config(608, "Closed"));
    const std::string invalid = "- <NULL> : Invalid input path.\nOK (1 Errors, 0 Warnings)\n";

    ProcessResult r = Run({"installfrompath", self});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, invalid);
    r = Run({"installfrompath", files_ / "empty"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kClean);

    const std::string locked = files_ / "tree/locked";
    const std::string closed = files_ / "closed";
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
    const bool refused = RefusedWithoutOverride(locked);
    if (refused) {
        r = RunTool(root_.Path(), output_.Path(), {"installfrompath", closed}, DropPermissionOverride);
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, invalid);
        r = RunTool(root_.Path(), output_.Path(), {"installfrompath", files_ / "tree"}, DropPermissionOverride);
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, "- <NULL> : Unable to list the folder '" + locked + "'.\nOK (1 Errors, 0 Warnings)\n");
        EXPECT_EQ(Status(606).exitCode, 0);
    }
    ::chmod(locked.c_str(), 0700);
    ::chmod(closed.c_str(), 0700);
    if (!refused)
        GTEST_SKIP() << "folders without permissions are listed all the same here";
}

// Folders made one inside another through descriptors, so the chain may
// outgrow the longest path, with an asset's config at the bottom; removed
// the same way.
class FolderChain {
public:
    FolderChain(const std::string& top, const std::string& name, int levels, const std::string& config) : name_(name)
    {
        fs::create_directories(top);
        fds_.push_back(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (int i = 0; i < levels && fds_.back() >= 0; ++i) {
            ::mkdirat(fds_.back(), name.c_str(), 0700);
            fds_.push_back(::openat(fds_.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        const int file = ::openat(fds_.back(), "config.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        made_ = file >= 0 && ::write(file, config.data(), config.size()) == static_cast<ssize_t>(config.size());
        if (file >= 0)
            ::close(file);
    }
    ~FolderChain()
    {
        ::unlinkat(fds_.back(), "config.txt", 0);
        for (size_t i = fds_.size() - 1; i > 0; --i) {
            ::close(fds_[i]);
            ::unlinkat(fds_[i - 1], name_.c_str(), AT_REMOVEDIR);
        }
        ::close(fds_[0]);
    }
    bool Made() const { return made_; }

private:
    std::string name_;
    std::vector<int> fds_;
    bool made_ = false;
};

// A folder the search does not go into could hold assets: it is named, and
// the install fails.
TEST_F(PackageCommandsProcessTest, InstallFromPathNamesTheFoldersItDoesNotSearch)
{
    struct Case {
        std::string top;
        std::string name;
        int levels;
        int named;  // the level of the folder not searched
        std::string why;
    };
    // The top folder's name is padded so that a level's path lands where the
    // path itself fits and the path of its config.txt does not: only the
    // config name's margin finds that folder too long.
    const std::string longName(200, 'p');
    const size_t namedLength = PATH_MAX - sizeof("/config.txt") + 4;
    const std::string longBase = files_ / "long";
    const std::string longTop = longBase + std::string((namedLength - longBase.size()) % 201, 'q');
    const Case cases[] = {
        {files_ / "deep", "d", 70, 65, "it lies too deep"},
        {longTop, longName, 22, int((namedLength - longTop.size()) / 201), "its path is too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string& top = c.top;
        FolderChain chain(top, c.name, c.levels, Config(609, "Far"));
        ASSERT_TRUE(chain.Made());
        std::string named = top;
        for (int i = 0; i < c.named; ++i)
            named += "/" + c.name;
        if (c.name == longName) {
            ASSERT_EQ(named.size(), namedLength);
        }
        ProcessResult r = Run({"installfrompath", top});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, "- <NULL> : The folder '" + named + "' was not searched: " + c.why +
                             ".\nOK (1 Errors, 0 Warnings)\n");
    }
    EXPECT_EQ(Status(609).exitCode, 255);
}

TEST_F(PackageCommandsProcessTest, InstallFromPathReportsAFolderThatDoesNotInstall)
{
    files_.Write("tree/nokuid/config.txt", "kind \"scenery\"\n");
    ProcessResult r = Run({"installfrompath", files_ / "tree"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "- <NULL> : The config in " + (files_ / "tree/nokuid") + " names no KUID.\nOK (1 Errors, 0 Warnings)\n");
}

// Edits not committed are nobody's to throw away: whatever replaces or
// deletes an asset open for edit puts its working copy in the trash.
TEST_F(PackageCommandsProcessTest, AWorkingCopyThatAnInstallOrADeleteReplacesGoesToTheTrash)
{
    const std::string package = files_ / "one.cdp";
    ASSERT_EQ(Run({"createcdp", package, KUIDText(701)}).exitCode, 0);
    fs::create_directory(files_ / "from");
    fs::copy(root_ / "local/one", files_ / "from/one", fs::copy_options::recursive);
    const std::string warned = "! " + KUIDText(701) +
                               " : The asset was open for edit: its working copy, with the edits not committed, "
                               "has been moved to trash/one-working-copy";
    // "vrqparse" installs into the working copy it opens, and commits it.
    const struct {
        std::vector<std::string> args;
        bool warns;
    } cases[] = {
        {{"installcdp", package}, true},
        {{"installfrompath", files_ / "from"}, true},
        {{"vrqparse", package}, true},
        {{"delete", KUIDText(701)}, false},
        {{"vrqdeleteall"}, false},
    };
    // Whatever holds a file of that name and content in the trash.
    auto trashed = [&](const std::string& name, const std::string& content) {
        for (const auto& entry : fs::recursive_directory_iterator(root_ / "trash")) {
            if (entry.path().filename() == name && Slurp(entry.path()) == content)
                return true;
        }
        return false;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        if (Status(701).exitCode != 0) {
            ASSERT_EQ(Run({"installcdp", package}).out, kClean);
        }
        ProcessResult edit = Run({"edit", KUIDText(701)});
        ASSERT_EQ(edit.exitCode, 0);
        const std::string working = Root() + "/editing/one";
        ASSERT_EQ(edit.out, "+ " + KUIDText(701) + " : " + working + "\n" + kClean);
        const std::string edits = "edits for " + c.args[0];
        files_.Write("edits.txt", edits);
        fs::copy_file(files_ / "edits.txt", working + "/edits.txt");

        ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        if (c.warns) {
            EXPECT_NE(r.out.find(warned), std::string::npos) << r.out;
            EXPECT_NE(r.out.find(" 1 Warnings)\n"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out, kClean);
        }
        EXPECT_FALSE(fs::exists(working));
        EXPECT_TRUE(trashed("edits.txt", edits));
    }
}

// An install or a delete that cannot go on once the working copy has gone to
// the trash puts it back: the edits stay where the user left them.
TEST_F(PackageCommandsProcessTest, AWorkingCopyComesBackWhenTheInstallOrDeleteCannotGoOn)
{
    const std::string package = files_ / "one.cdp";
    ASSERT_EQ(Run({"createcdp", package, KUIDText(701)}).exitCode, 0);
    fs::create_directory(files_ / "from");
    fs::copy(root_ / "local/one", files_ / "from/one", fs::copy_options::recursive);
    ASSERT_EQ(Run({"closekaddaemon"}).exitCode, 0);
    ASSERT_TRUE(daemontest::WaitFor([&]() { return standin::Serving(Root()) == 0; }));
    // The stand-in this starts keeps to the permission bits, so it cannot
    // move the installed folder out of a "local" it may not write.
    ProcessResult edit = RunTool(root_.Path(), output_.Path(), {"edit", KUIDText(701)}, DropPermissionOverride);
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string working = Root() + "/editing/one";
    files_.Write("edits.txt", "kept edits");
    fs::copy_file(files_ / "edits.txt", working + "/edits.txt");
    const std::string local = Root() + "/local";
    ASSERT_EQ(::chmod(local.c_str(), 0555), 0);
    const bool refused = RefusedWithoutOverride("/bin/mkdir", local + "/probe", 1);
    const std::vector<std::string> cases[] = {
        {"installcdp", package},
        {"installfrompath", files_ / "from"},
        {"delete", KUIDText(701)},
    };
    for (const auto& args : cases) {
        if (!refused)
            break;
        SCOPED_TRACE(args[0]);
        ProcessResult r = Run(args);
        EXPECT_EQ(r.exitCode, 255) << r.out;
        EXPECT_EQ(Slurp(working + "/edits.txt"), "kept edits");
        EXPECT_FALSE(fs::exists(Root() + "/trash/one-working-copy"));
        ProcessResult status = Status(701);
        EXPECT_EQ(status.exitCode, 0);
        EXPECT_EQ(status.out.rfind("+ " + KUIDText(701) + " : EI", 0), 0u) << status.out;
    }
    ::chmod(local.c_str(), 0755);
    if (!refused)
        GTEST_SKIP() << "a folder without write permission is written all the same here";
}

// A FIFO named as a package would hold the reader in its open for ever.
TEST_F(PackageCommandsProcessTest, APackageThatIsNoRegularFileIsRefusedWithoutWaitingForIt)
{
    const std::string pipe = files_ / "pipe.cdp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_symlink(pipe, files_ / "link.cdp");
    for (const std::string& path : {pipe, files_ / "link.cdp"}) {
        SCOPED_TRACE(path);
        ProcessResult install = RunWithin({"installcdp", path}, std::chrono::seconds(60));
        EXPECT_EQ(install.exitCode, 255);
        EXPECT_EQ(install.out, "- <NULL> : Content could not be read, as the file is not a valid CDP\n"
                               "OK (1 Errors, 0 Warnings)\n");
        ProcessResult parse = RunWithin({"vrqparse", path}, std::chrono::seconds(60));
        EXPECT_EQ(parse.exitCode, 255);
        EXPECT_EQ(parse.out, "- <NULL> : $kad_unreadable_cdp\nOK (1 Errors, 0 Warnings)\n");
    }
    // A package reached through a link is read where the link leads.
    ASSERT_EQ(Run({"createcdp", files_ / "one.cdp", KUIDText(701)}).exitCode, 0);
    ASSERT_EQ(Run({"delete", KUIDText(701)}).exitCode, 0);
    fs::create_symlink(files_ / "one.cdp", files_ / "other.cdp");
    EXPECT_EQ(Run({"installcdp", files_ / "other.cdp"}).out, kClean);
    EXPECT_EQ(Status(701).exitCode, 0);
}

// A package saved into a pipe is the file a save to disk writes: the
// lengths its writer patches are in place before the pipe gets a byte.
TEST_F(PackageCommandsProcessTest, APackageSavedIntoAFifoIsTheFileItWouldBe)
{
    ASSERT_EQ(Run({"createcdp", files_ / "one.cdp", KUIDText(701)}).out, kClean);
    const std::string one = Slurp(files_ / "one.cdp");
    const std::string pipe = files_ / "pipe.cdp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ProcessResult made;
    const std::string piped = DrainFifoWhile(pipe, [&] { made = Run({"createcdp", pipe, KUIDText(701)}); });
    EXPECT_EQ(made.out, kClean);
    EXPECT_TRUE(piped == one) << piped.size() << " bytes for " << one.size();

    // Each asset's own package that vrqparse writes beside its input.
    const std::string package = PackBothAndDelete();
    const std::string beside = files_ / "kuid 77 701.cdp";
    ASSERT_EQ(::mkfifo(beside.c_str(), 0600), 0);
    ProcessResult parsed;
    files_.Write("single.cdp", DrainFifoWhile(beside, [&] { parsed = Run({"vrqparse", package}); }));
    EXPECT_EQ(parsed.exitCode, 0) << parsed.out;
    ChunkRef single;
    EXPECT_TRUE(CDP::CheckHeader(single, Nyx::File::Path(files_ / "single.cdp")).Empty());
    ASSERT_EQ(CDP::GetAssetCount(single), 1u);
    EXPECT_TRUE(CDP::VerifyEntryChecksum(CDP::GetAssetAt(single, 0)));
}

// A package saved through a link to /dev/stdout goes where the tool's output
// goes: after what a log it appends to holds, or through a pipe, whole.
TEST_F(PackageCommandsProcessTest, APackageSavedThroughALinkToStandardOutputGoesWhereTheOutputGoes)
{
    ASSERT_EQ(Run({"createcdp", files_ / "one.cdp", KUIDText(701)}).out, kClean);
    const std::string one = Slurp(files_ / "one.cdp");
    const std::string link = files_ / "out.cdp";
    fs::create_symlink("/dev/stdout", link);

    files_.Write("log.txt", "earlier line\n");
    const int log = ::open((files_ / "log.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(log, 0);
    const ProcessResult logged = RunTool(root_.Path(), output_.Path(), {"createcdp", link, KUIDText(701)},
                                         [log] { return ::dup2(log, 1) == 1; });
    ::close(log);
    EXPECT_EQ(logged.exitCode, 0);
    const std::string logText = Slurp(files_ / "log.txt");
    EXPECT_TRUE(logText == "earlier line\n" + one + kClean) << logText.size() << " bytes for " << one.size();

    const ProcessResult piped = RunToolIntoPipe(root_.Path(), output_.Path(), {"createcdp", link, KUIDText(701)});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_TRUE(piped.out == one + kClean) << piped.out.size() << " bytes for " << one.size();
    EXPECT_TRUE(fs::is_symlink(link));
}

// The stand-in served in this process for the tool's data root, with the
// requests of a case in place of its own.
class PackageCommandsDaemonTest : public clienttest::StandInClient {
protected:
    void SetUp() override { LayOutToolRoot(root_); }

    ProcessResult Run(const std::vector<std::string>& args) { return RunTool(root_, output_.Path(), args); }

    TempFolder output_;
    TempFolder files_;
};

// A daemon that goes away while it works on a request: the command fails
// and says that the connection was lost, beside its own messages.
TEST_F(PackageCommandsDaemonTest, ACommandSaysWhenTheDaemonGoesAwayPartWay)
{
    std::atomic<int> asked{0};
    auto vanish = [&](kaddaemon::RequestContext& context, TStream&, TStream&) {
        ++asked;
        context.replyNow = false;
        context.closeConnection = true;
    };
    server_.Requests().Register(40, vanish);
    server_.Requests().Register(21, vanish);
    Serve();
    files_.Write("pair.cdp", "not read by this daemon");
    const std::string lost = "- <NULL> : The connection to the asset database daemon was lost.\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"installcdp", files_ / "pair.cdp"}, lost + "OK (1 Errors, 0 Warnings)\n"},
        {{"status", "<kuid:77:701>"}, "- <kuid:77:701> : Unknown AssetID.\n" + lost + "OK (2 Errors, 0 Warnings)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const int before = asked.load();
        ProcessResult r = Run(c.args);
        EXPECT_EQ(asked.load(), before + 1);
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, c.out);
    }
}

// An asset whose export fails gets no package of its own beside the input,
// and the command fails; the other assets are still listed and written. The
// daemon's reason for a failed export is the one said; an export that failed
// without one is reported by what the package writer makes of it.
TEST_F(PackageCommandsDaemonTest, VrqParseWritesNoPackageForAFailedExport)
{
    auto store = std::make_shared<kaddaemon::AssetStore>(root_);
    ASSERT_TRUE(store->Open());
    kaddaemon::RegisterStoreRequests(server_.Requests(), store);
    // The export answers for 822 only; 821's and 823's have nothing in it,
    // and 823's comes with a reason.
    auto exportRequest = *server_.Requests().Find(48);
    server_.Requests().Register(48, [exportRequest](kaddaemon::RequestContext& context, TStream& request,
                                                    TStream& reply) {
        const uint32_t at = request.Tell();
        KUID kuid;
        ReadKUID(request, kuid);
        request.SetPosition(at);
        if (kuid == KUID(77, 823, 0))
            kaddaemon::SendErrors(kaddaemon::NotesOf(context.connection), context.transactionId,
                                  {"The file big.im is too large."});
        else if (kuid != KUID(77, 821, 0))
            exportRequest(context, request, reply);
    });
    Serve();
    ChunkRef package;
    ASSERT_TRUE(CDP::AddAsset(package, Entry(821, "Unexported", false)).Empty());
    ASSERT_TRUE(CDP::AddAsset(package, Entry(822, "Exported", false)).Empty());
    ASSERT_TRUE(CDP::AddAsset(package, Entry(823, "Too large", false)).Empty());
    const std::string path = files_ / "pair.cdp";
    ASSERT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());

    ProcessResult r = Run({"vrqparse", path});
    EXPECT_EQ(r.exitCode, 255);
    const std::string unwritten = " : Unable to write asset to CDP: ";
    const std::string noEntry = "Unable to add content as it doesnt not contain a valid KUID\n";
    EXPECT_NE(r.out.find("- <kuid:77:821>" + unwritten + noEntry), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" : The file big.im is too large.\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("- <kuid:77:823>" + unwritten), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; <kuid:77:822> : Name: Exported\n"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(files_ / "kuid 77 821.cdp"));
    EXPECT_FALSE(fs::exists(files_ / "kuid 77 823.cdp"));
    ChunkRef single;
    EXPECT_TRUE(CDP::CheckHeader(single, Nyx::File::Path(files_ / "kuid 77 822.cdp")).Empty());
    EXPECT_EQ(CDP::GetAssetCount(single), 1u);
}

TEST_F(PackageCommandsProcessTest, InstallFromPathLeavesOutLinksThatLeadOutOfTheAssetFolder)
{
    files_.Write("outside/secret.txt", "secret");
    files_.Write("outside/deep/more.txt", "more");
    files_.Write("tree/linked/config.txt", Config(605, "Linked"));
    files_.Write("tree/linked/textures/a.tga", "tga");
    const std::string asset = files_ / "tree/linked";
    fs::create_symlink(files_ / "outside/secret.txt", asset + "/secret.txt");
    fs::create_directory_symlink(files_ / "outside/deep", asset + "/deep");
    fs::create_symlink("textures/a.tga", asset + "/near.tga");
    // Two links back to the folder: it is copied once.
    fs::create_directory_symlink(".", asset + "/again");
    fs::create_directory_symlink(".", asset + "/self");

    ProcessResult r = RunWithin({"installfrompath", files_ / "tree"}, std::chrono::seconds(120));
    EXPECT_EQ(r.exitCode, 0);
    const std::string why = ": its target is missing or lies outside the asset's folder.\n";
    EXPECT_EQ(r.out, "! <NULL> : Skipped the link 'deep' of " + asset + why + "! <NULL> : Skipped the link 'secret.txt' of " +
                         asset + why + "OK (0 Errors, 2 Warnings)\n");
    const std::string installed = InstalledFolder(605);
    ASSERT_FALSE(installed.empty());
    std::vector<std::string> names;
    for (auto it = fs::recursive_directory_iterator(installed); it != fs::recursive_directory_iterator(); ++it)
        names.push_back(fs::relative(it->path(), installed).string() + (it->is_symlink() ? " (link)" : ""));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"config.txt", "near.tga", "textures", "textures/a.tga"}));
    EXPECT_EQ(Slurp(installed + "/near.tga"), "tga");
}

// What installs can also be exported and opened for edit: a package whose
// folders nest deeper than those go is refused at install.
TEST_F(PackageCommandsProcessTest, PackagedFoldersNestNoDeeperThanExportAndEditGo)
{
    auto write = [&](int content, int depth) {
        ChunkRef files(new TDBContainerTag);
        ChunkRef folder = files;
        for (int i = 0; i < depth; ++i) {
            ChunkRef sub(new TDBContainerTag);
            folder->AddChild(Nyx::PString("d"), sub);
            folder = sub;
        }
        folder->AddChild(Nyx::PString("leaf.txt"), folder->CreateChunk(ACS_TYPE_RAW, ACSRawData::Copy("leaf", 4)));
        ChunkRef entry(new TDBContainerTag);
        TDBContainerTag::SetKUID(entry, Nyx::PString("kuid"), KUID(77, content, 0));
        TDBContainerTag::SetString(entry, Nyx::PString("username"), Nyx::PString("Deep"));
        TDBContainerTag::SetString(entry, Nyx::PString("kind"), Nyx::PString("scenery"));
        TDBContainerTag::SetString(entry, Nyx::PString("category-class"), Nyx::PString("BD"));
        TDBContainerTag::SetFloat(entry, Nyx::PString("kestro-build"), 3.5f);
        TDBContainerTag::SetChildContainer(entry, Nyx::PString("files"), files);
        ChunkRef package;
        EXPECT_TRUE(CDP::AddAsset(package, entry).Empty());
        const std::string path = files_ / ("deep-" + std::to_string(depth) + ".cdp");
        EXPECT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());
        return path;
    };

    ProcessResult deepest = Run({"installcdp", write(611, 64)});
    EXPECT_EQ(deepest.exitCode, 0);
    EXPECT_EQ(deepest.out, kClean);
    ProcessResult exported = Run({"createcdp", files_ / "again.cdp", KUIDText(611)});
    EXPECT_EQ(exported.exitCode, 0);
    EXPECT_EQ(exported.out, kClean);
    EXPECT_EQ(Run({"edit", KUIDText(611)}).exitCode, 0);
    EXPECT_EQ(Run({"revert", KUIDText(611)}).exitCode, 0);

    ProcessResult tooDeep = Run({"installcdp", write(612, 65)});
    EXPECT_EQ(tooDeep.exitCode, 255);
    EXPECT_EQ(tooDeep.out, "- " + KUIDText(612) +
                               " : Folders nested deeper than 64 levels cannot be installed. Content package may be "
                               "damaged\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(Status(612).exitCode, 255);
}

}  // namespace
