#include "scriptapi/startup/ScriptSystemStartup.h"

#include <iterator>

#include "core/files/ContentRoot.h"
#include "gs/runtime/registry/GSMachine.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace {

// The compiled system scripts' cache lies in the data root, beside the
// asset script cache; the program folder is never written.
void MountSystemLibraryCache()
{
    Nyx::File::Path folder = GetContentRootPath();
    if (folder.Empty())
        folder = Nyx::File::Path("./");
    folder.AddPath("cache/syslibs");
    folder.EnsureTrailingSeparator();
    Nyx::File::Subst::Add(Nyx::PString("cache/syslibs"), folder);
}

}  // namespace

std::span<const SystemClassLoad> StartupSystemClasses()
{
    static const SystemClassLoad kClasses[] = {
        {"kuid.gsl", "KUID", SystemClass::kKUID},
        {"Soup.gsl", "Soup", SystemClass::kSoup},
        {"HTMLBuffer.gsl", "HTMLBuffer", SystemClass::kHTMLBuffer},
        {"KUIDList.gsl", "KUIDList", SystemClass::kKUIDList},
        {"StringTable.gsl", "StringTable", SystemClass::kStringTable},
        {"asset.gsl", "Asset", SystemClass::kAsset},
        {"OnlineAccess.gsl", "OnlineAccess", SystemClass::kOnlineAccess},
        {"OnlineGroup.gsl", "OnlineGroup", SystemClass::kOnlineGroup},
        {"Image.gsl", "Image", SystemClass::kImage},
        {"Library.gsl", "Library", SystemClass::kLibrary},
        {"SecurityToken.gsl", "SecurityToken", SystemClass::kSecurityToken},
        {"Constructors.gsl", "ConstructorsBase", SystemClass::kConstructorsBase},
    };
    return std::span<const SystemClassLoad>(kClasses, std::size(kClasses));
}

ScriptSystemStartup::ScriptSystemStartup(GSMachine& machine, std::span<const NativeTable> tables,
                                         std::span<const SystemClassLoad> classes)
    : machine_(machine), tables_(tables), classes_(classes)
{
}

bool ScriptSystemStartup::Run()
{
    if (state_ == State::kNotRun)
        state_ = RunSteps() ? State::kReady : State::kFailed;
    return state_ == State::kReady;
}

bool ScriptSystemStartup::RunSteps()
{
    MountSystemLibraryCache();
    machine_.AddLibraryFolder(Nyx::PString("libraries"));
    machine_.AddLibraryFolder(Nyx::PString("cache/syslibs"));

    // Without GameObject no script class can be made: stop before any
    // native is registered.
    if (!LoadSystemClass(machine_, GSMachine::kSystemLibrary, "GameObject", SystemClassSlot(SystemClass::kGameObject)))
        return false;

    for (const NativeTable& table : tables_) {
        if (table.registerNatives)
            table.registerNatives(machine_);
    }

    for (const SystemClassLoad& load : classes_) {
        if (!LoadSystemClass(machine_, load.libraryFile, load.className, SystemClassSlot(load.slot)))
            return false;
    }
    return true;
}

bool InitScriptSystem()
{
    static ScriptSystemStartup startup(GSMachine::Get());
    return startup.Run();
}
