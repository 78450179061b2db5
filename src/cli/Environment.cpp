#include "cli/Environment.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "core/process/ProcessState.h"
#include "kad/client/KADClient.h"
#include "kad/transport/NetStartup.h"
#include "kad/discovery/ProcessLaunch.h"
#include "kad/requests/UserKUID.h"
#include "nyx/base/Log.h"
#include "nyx/base/OS.h"
#include "nyx/base/PString.h"
#include "nyx/Plugin.h"
#include "nyx/RenderKernel.h"
#include "nyx/ResourceSystem.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/resource/ResourceDatabase.h"
#include "resources/archive/ArchiveCache.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"

namespace {

std::string g_initialWorkingFolder;

// Keeps the engine's bitmap plug-in type loaded for the life of the process.
struct PluginTypeHolder {
    Nyx::PluginType* type = nullptr;
};
PluginTypeHolder* g_bitmapPlugin = nullptr;

// Shut-down must not stop networking that start-up never started.
bool g_networkingStarted = false;

// The archives of the data folders, in the order they are acquired.
constexpr const char* kDataArchives[] = {"data", "video", "local", "original", "trash", "editing", "cache", "settings"};
constexpr size_t kDataArchiveCount = sizeof kDataArchives / sizeof kDataArchives[0];
KestroResourceDatabase* g_dataArchives[kDataArchiveCount] = {};
// ... and the order they are given back in.
constexpr const char* kReleaseOrder[] = {"data", "video", "local", "original", "editing", "cache", "settings", "trash"};

void DropUnusedEngineResources()
{
    if (Nyx::ResourceSystem* system = GetResourceSystem())
        system->DropUnusedResources();
}

bool EqualsSwitch(const char* arg, const Nyx::PString& lowerSwitch)
{
    return Nyx::PStringCache::ToLower(Nyx::PString(arg)) == lowerSwitch;
}

uint8_t StartFromProgramPath(EngineContext& context, const Nyx::File::Path& programPath, int argc, char** argv)
{
    const Nyx::File::Path programFolder(programPath.Folder());

    g_initialWorkingFolder = CurrentWorkingFolder();
    if (::chdir(programFolder.c_str()) != 0)
        return 0xFF;

    Nyx::File::Path dataFolder = programFolder;
    dataFolder.AddPath("TETData/");
    if (!TETLib::DataManager::Create(dataFolder.Str())) {
        std::fputs("- TETLib initialisation failed.\n", stderr);
        return 0xFF;
    }

    // The switches stay in argv: a command sees them as ordinary arguments.
    static const Nyx::PString kNoRender("norender");
    static const Nyx::PString kNyxLog("-nyxlog");
    static const Nyx::PString kNoKADClient("-nokadclient");
    bool noRender = false;
    bool logToStdOut = false;
    bool clientFlag = true;
    for (int i = 0; i < argc; ++i) {
        if (!argv[i])
            continue;
        if (EqualsSwitch(argv[i], kNoRender))
            noRender = true;
        else if (EqualsSwitch(argv[i], kNyxLog))
            logToStdOut = true;
        else if (EqualsSwitch(argv[i], kNoKADClient))
            clientFlag = false;
    }

    std::string startupLine = noRender ? "-NullRender " : "-render=OpenGL -hidewindow ";
    startupLine += logToStdOut ? "-LogStdOut " : "-LogFile=/dev/null ";

    context.os = new Nyx::OS("KestroUtil", startupLine, nullptr, nullptr);
    context.resourceSystem = new Nyx::ResourceSystem;
    SetResourceSystem(context.resourceSystem);
    SetUnusedResourceDropper(DropUnusedEngineResources);
    context.renderKernel = new Nyx::RenderKernel(nullptr, 8.0f);
    SetRenderKernel(context.renderKernel);

    if (!context.os->Init()) {
        std::fputs("- Nyx OS initialisation failed.\n", stderr);
        return 0xFF;
    }
    Nyx::Log::Init(context.os->GetOptions());
    context.resourceSystem->Init(context.os->GetOptions());
    ProgramRandom().Randomise();

    if (!context.renderKernel->Init(context.os, nullptr)) {
        std::fputs("- Unable to initialize render system\n\n", stderr);
        return 0xFF;
    }

    Nyx::ResourceDatabase::SetMaterialManager(&context.renderKernel->GetMaterialManager());
    KestroPluginRegistration::EnsureRegistered();
    TETLib::DataManager::Instance().SetupPreviewScene(context);
    TETLib::DataManager::Instance().RegisterKestroBumpVertexType();

    NetStartup();
    g_networkingStarted = true;

    Nyx::File::Path dataRoot(programFolder);
    dataRoot.RemoveTrailingSeparator();
    dataRoot = Nyx::File::Path(dataRoot.Folder());
    dataRoot.RemoveTrailingSeparator();
    OpenDataFolders(dataRoot);

    KADClientSettings settings;
    settings.path = dataRoot;
    settings.flags[2] = 0;
    settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
    settings.flags[KADClientSettings::kFlagClient] = clientFlag ? 1 : 0;
    KADClient::Start(settings);

    SetSettingsFolder(dataRoot);
    SetMainThreadId();

    if (!g_bitmapPlugin)
        g_bitmapPlugin = new PluginTypeHolder;
    if (!g_bitmapPlugin->type)
        g_bitmapPlugin->type = Nyx::PluginBase::LookupPluginType(Nyx::UId(Nyx::kResourceTypeFamily), Nyx::PString("bmp"));

    return KADClient::IsStarted() ? 0 : 0xFF;
}

}  // namespace

std::string CurrentWorkingFolder()
{
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return std::string(buffer.data());
        if (errno != ERANGE)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

const std::string& GetInitialWorkingFolder() { return g_initialWorkingFolder; }

uint8_t InitEnvironment(EngineContext& context, const char* /*argv0*/, int argc, char** argv)
{
    TETLib::ErrorHandler::Create();
    Nyx::File::Path programPath;
    if (!GetModulePath(programPath))
        return 0xFF;
    return StartFromProgramPath(context, programPath, argc, argv);
}

uint8_t InitEnvironmentForProgram(EngineContext& context, const Nyx::File::Path& programPath, int argc, char** argv)
{
    TETLib::ErrorHandler::Create();
    return StartFromProgramPath(context, programPath, argc, argv);
}

void ShutdownEnvironment(EngineContext& context)
{
    if (g_bitmapPlugin) {
        if (g_bitmapPlugin->type)
            g_bitmapPlugin->type->ReleaseReference();
        delete g_bitmapPlugin;
        g_bitmapPlugin = nullptr;
    }

    KADClient::Stop();

    TETLib::DataManager::ReleaseVertexTypeMaterials();
    TETLib::DataManager::Destroy();
    TETLib::ErrorHandler::Destroy();

    CloseDataFolders();

    if (g_networkingStarted) {
        NetShutdown();
        g_networkingStarted = false;
    }

    ArchiveCache::PurgeUnused();

    Nyx::ResourceDatabase::SetMaterialManager(nullptr);
    delete context.renderKernel;
    context.renderKernel = nullptr;
    SetRenderKernel(nullptr);
    SetUnusedResourceDropper(nullptr);
    delete context.resourceSystem;
    context.resourceSystem = nullptr;
    SetResourceSystem(nullptr);
    delete context.os;
    context.os = nullptr;
}

void OpenDataFolders(const Nyx::File::Path& dataRoot)
{
    SetSettingsFolder(dataRoot);

    auto under = [](const Nyx::File::Path& base, std::string_view name) {
        Nyx::File::Path path = base;
        path.AddPath(name);
        return path;
    };
    const Nyx::File::Path cache = under(dataRoot, "cache");
    for (const Nyx::File::Path& folder :
         {cache, under(dataRoot, "trash"), under(cache, "bookmarks"), under(cache, "libraries"),
          under(cache, "syslibs"), under(cache, "sessions"), under(cache, "water"), under(dataRoot, "local"),
          under(dataRoot, "original"), under(dataRoot, "editing"), under(dataRoot, "settings")})
        Nyx::File::MakeFolder(folder);

    for (size_t i = 0; i < kDataArchiveCount; ++i) {
        // Opened twice without a close in between, the old handle goes back
        // first instead of pinning its archive for good.
        ArchiveCache::Release(g_dataArchives[i]);
        g_dataArchives[i] = ArchiveCache::Acquire(Nyx::PString(kDataArchives[i]), dataRoot);
    }

    Nyx::File::Path scripts = under(dataRoot, "scripts");
    scripts.EnsureTrailingSeparator();
    Nyx::File::Subst::Add(Nyx::PString("scripts"), scripts);
    Nyx::File::Path libraries = under(dataRoot, "libraries");
    libraries.EnsureTrailingSeparator();
    Nyx::File::Subst::Add(Nyx::PString("libraries"), libraries);
}

void CloseDataFolders()
{
    for (const char* name : kReleaseOrder) {
        for (size_t i = 0; i < kDataArchiveCount; ++i) {
            if (std::string_view(kDataArchives[i]) == name) {
                ArchiveCache::Release(g_dataArchives[i]);
                g_dataArchives[i] = nullptr;
            }
        }
    }
    Nyx::File::Subst::Remove(Nyx::PString("scripts"));
    Nyx::File::Subst::Remove(Nyx::PString("libraries"));
}
