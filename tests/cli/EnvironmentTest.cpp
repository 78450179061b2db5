#include "cli/Environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "kad/transport/HostResolver.h"
#include "kad/client/KADClient.h"
#include "nyx/files/File.h"
#include "nyx/base/OS.h"
#include "nyx/RenderKernel.h"
#include "nyx/ResourceSystem.h"
#include "resources/archive/ArchiveCache.h"
#include "support/DaemonTestSupport.h"
#include "support/StandInDaemon.h"
#include "support/TempFolder.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"

namespace {

const char* const kDataArchives[] = {"data", "video", "local", "original", "trash", "editing", "cache", "settings"};

// Start-up changes the working folder; every test gets its own back. The
// data root's "bin" holds the stand-in daemon, which start-up launches.
class EnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startFolder_ = CurrentWorkingFolder();
        standin::Install(root_.Path());
    }
    void TearDown() override
    {
        ShutdownEnvironment(context_);
        standin::Kill(daemontest::RealPath(root_.Path()));
        ASSERT_EQ(::chdir(startFolder_.c_str()), 0);
    }

    uint8_t Start(std::vector<std::string> args)
    {
        args_ = std::move(args);
        argv_.clear();
        for (std::string& a : args_)
            argv_.push_back(a.data());
        argv_.push_back(nullptr);
        root_.MakeFolder("bin");
        // The tool starts up once per process; these tests do it again and
        // again. Networking starts only once, but each shut-down lets go
        // of the host resolver that connects to the daemon: every start-up
        // here brings a user of its own.
        HostResolver::Process().AddUser();
        return InitEnvironmentForProgram(context_, Nyx::File::Path(root_ / "bin/KestroUtil"),
                                         static_cast<int>(args_.size()), argv_.data());
    }

    TempFolder root_;
    daemontest::DiscoveryCleanup cleanup_{daemontest::RealPath(root_.Path())};
    EngineContext context_;
    std::string startFolder_;
    std::vector<std::string> args_;
    std::vector<char*> argv_;
};

TEST_F(EnvironmentTest, StartsEverythingAndShutsItAllDown)
{
    TempFolder userFolder;
    ASSERT_EQ(::chdir(userFolder.Path().c_str()), 0);
    ASSERT_EQ(Start({"KestroUtil", "echo", "hello"}), 0);

    EXPECT_EQ(GetInitialWorkingFolder(), std::filesystem::canonical(userFolder.Path()).string());
    EXPECT_EQ(std::filesystem::path(CurrentWorkingFolder()), std::filesystem::canonical(root_ / "bin"));

    ASSERT_NE(context_.os, nullptr);
    EXPECT_EQ(context_.os->GetApplicationName(), "KestroUtil");
    EXPECT_EQ(context_.os->GetOptions(), "-render=OpenGL -hidewindow -LogFile=/dev/null ");
    EXPECT_TRUE(context_.os->IsInitialised());
    ASSERT_NE(context_.resourceSystem, nullptr);
    EXPECT_EQ(GetResourceSystem(), context_.resourceSystem);
    EXPECT_EQ(context_.resourceSystem->GetOptions(), context_.os->GetOptions());
    ASSERT_NE(context_.renderKernel, nullptr);
    EXPECT_EQ(GetRenderKernel(), context_.renderKernel);
    EXPECT_TRUE(context_.renderKernel->IsInitialised());
    EXPECT_EQ(context_.previewTarget, nullptr);
    EXPECT_NE(GetUnusedResourceDropper(), nullptr);

    ASSERT_NE(TETLib::ErrorHandler::Instance(), nullptr);
    TETLib::DataManager* manager = TETLib::DataManager::Existing();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->GetDataFolder().Str(), root_ / "bin/TETData/");
    EXPECT_EQ(manager->GetOS(), context_.os);
    EXPECT_TRUE(TETLib::DataManager::IsVertexTypeRegistered());

    for (const char* folder : {"cache", "trash", "cache/bookmarks", "cache/libraries", "cache/syslibs",
                               "cache/sessions", "cache/water", "local", "original", "editing", "settings"})
        EXPECT_TRUE(std::filesystem::is_directory(root_ / folder)) << folder;
    for (const char* name : kDataArchives)
        EXPECT_EQ(ArchiveCache::GetUseCount(Nyx::PString(name)), 1) << name;
    EXPECT_EQ(Nyx::File::Subst::Lookup(Nyx::PString("scripts")).Str(), root_ / "scripts/");
    EXPECT_EQ(Nyx::File::Subst::Lookup(Nyx::PString("libraries")).Str(), root_ / "libraries/");

    EXPECT_TRUE(KADClient::IsStarted());
    EXPECT_TRUE(KADClient::IsConnected());
    KADClientSettings settings = KADClient::GetSettings();
    EXPECT_EQ(settings.path.Str(), daemontest::RealPath(root_.Path()));
    EXPECT_EQ(settings.flags[2], 0);
    EXPECT_EQ(settings.flags[KADClientSettings::kFlagMayLaunchDaemon], 0);
    EXPECT_EQ(settings.flags[KADClientSettings::kFlagClient], 1);
    EXPECT_EQ(GetContentRootPath().Str(), root_.Path());
    EXPECT_TRUE(IsMainThread());

    ShutdownEnvironment(context_);
    EXPECT_EQ(context_.os, nullptr);
    EXPECT_EQ(context_.resourceSystem, nullptr);
    EXPECT_EQ(context_.renderKernel, nullptr);
    EXPECT_EQ(GetResourceSystem(), nullptr);
    EXPECT_EQ(GetRenderKernel(), nullptr);
    EXPECT_EQ(GetUnusedResourceDropper(), nullptr);
    EXPECT_EQ(TETLib::ErrorHandler::Instance(), nullptr);
    EXPECT_EQ(TETLib::DataManager::Existing(), nullptr);
    EXPECT_FALSE(KADClient::IsStarted());
    EXPECT_FALSE(KADClient::IsConnected());
    for (const char* name : kDataArchives)
        EXPECT_EQ(ArchiveCache::GetUseCount(Nyx::PString(name)), -1) << name;
    EXPECT_TRUE(Nyx::File::Subst::Lookup(Nyx::PString("scripts")).Empty());
    EXPECT_TRUE(Nyx::File::Subst::Lookup(Nyx::PString("libraries")).Empty());
}

TEST_F(EnvironmentTest, SwitchesAnywhereInTheArgumentsShapeTheStartUpLine)
{
    ASSERT_EQ(Start({"KestroUtil", "NoRender", "-NYXLOG", "status", "<kuid:1:2>", "-nokadclient"}), 0);
    EXPECT_EQ(context_.os->GetOptions(), "-NullRender -LogStdOut ");
    EXPECT_TRUE(context_.renderKernel->IsNullRender());
    EXPECT_EQ(KADClient::GetSettings().flags[KADClientSettings::kFlagClient], 0);
    // The switches stay where they were.
    EXPECT_EQ(std::string(argv_[1]), "NoRender");
    ShutdownEnvironment(context_);

    ASSERT_EQ(Start({"KestroUtil", "echo", "-nokadclientx", "xnorender"}), 0);
    EXPECT_EQ(context_.os->GetOptions(), "-render=OpenGL -hidewindow -LogFile=/dev/null ");
    EXPECT_EQ(KADClient::GetSettings().flags[KADClientSettings::kFlagClient], 1);
}

TEST_F(EnvironmentTest, SecondStartKeepsExistingFoldersAndFiles)
{
    root_.Write("settings/kuid.txt", "base-kuid <kuid:77:500>\n");
    ASSERT_EQ(Start({"KestroUtil", "version"}), 0);
    ShutdownEnvironment(context_);
    ASSERT_EQ(Start({"KestroUtil", "version"}), 0);
    EXPECT_TRUE(root_.Has("cache/water"));
    EXPECT_EQ(root_.ReadAll("settings/kuid.txt"), "base-kuid <kuid:77:500>\n");
}

TEST_F(EnvironmentTest, ShutdownIsSafeWithoutOrAfterPartialStartUp)
{
    ShutdownEnvironment(context_);
    ShutdownEnvironment(context_);

    // A start-up that stopped after the validation library and the engine
    // objects were made.
    TETLib::ErrorHandler::Create();
    TETLib::DataManager::Create("TETData/");
    context_.os = new Nyx::OS("KestroUtil", "-NullRender ", nullptr, nullptr);
    context_.resourceSystem = new Nyx::ResourceSystem;
    SetResourceSystem(context_.resourceSystem);
    ShutdownEnvironment(context_);
    EXPECT_EQ(context_.os, nullptr);
    EXPECT_EQ(GetResourceSystem(), nullptr);
    EXPECT_EQ(TETLib::DataManager::Existing(), nullptr);
    EXPECT_EQ(ArchiveCache::GetEntryCount(), 0u);
}

TEST_F(EnvironmentTest, DataFolderArchivesOpenedTwiceAreNotPinned)
{
    root_.MakeFolder("bin");
    const Nyx::File::Path dataRoot(root_.Path());
    OpenDataFolders(dataRoot);
    OpenDataFolders(dataRoot);
    for (const char* name : kDataArchives)
        EXPECT_EQ(ArchiveCache::GetUseCount(Nyx::PString(name)), 1) << name;
    CloseDataFolders();
    ArchiveCache::PurgeUnused();
    EXPECT_EQ(ArchiveCache::GetEntryCount(), 0u);
}

}  // namespace
