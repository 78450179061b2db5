#include "config/results/InterfaceTextDB.h"

#include <string>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "core/threads/AppLock.h"
#include "core/process/Log.h"
#include "nyx/files/File.h"

namespace {

struct InterfaceTextNames {
    Nyx::PString fileName{"interfacetext.chump"};
    Nyx::PString folder{"data"};
    Nyx::PString mapText{"marvu_map_text"};
    Nyx::PString specText{"marvu_spec_text"};
    Nyx::PString scenarioText{"scenario_text"};
};

// Made on first use and never destroyed, so the object's destructor and
// any static initialiser may use them.
const InterfaceTextNames& Names()
{
    static const InterfaceTextNames* names = new InterfaceTextNames;
    return *names;
}

// Holds the application lock for one scope.
class AppLockHold {
public:
    explicit AppLockHold(bool exclusive) { AcquireAppLock(exclusive); }
    ~AppLockHold() { ReleaseAppLock(); }
    AppLockHold(const AppLockHold&) = delete;
    AppLockHold& operator=(const AppLockHold&) = delete;
};

InterfaceTextDB& TheObject()
{
    static InterfaceTextDB db;
    return db;
}

// Both made before main, so no two threads race their construction.
[[maybe_unused]] const bool gMadeAtStart = (Names(), TheObject(), true);

bool LoadTree(ChunkRef& root, const std::string& fileName)
{
    // A compiled file that does not parse loads "successfully" as nothing;
    // that is as much a failure here as a missing file.
    return LoadConfigFile(root, Names().folder.c_str(), fileName.c_str()) && root;
}

}  // namespace

std::atomic<uint8_t> InterfaceTextDB::loaded_{0};
std::atomic<uint32_t> InterfaceTextDB::missCount_{0};

InterfaceTextDB::~InterfaceTextDB()
{
    scenarioText_.Release();
    specText_.Release();
    mapText_.Release();
    root_.Release();
}

InterfaceTextDB& InterfaceTextDB::Instance()
{
    EnsureLoaded();
    return TheObject();
}

bool InterfaceTextDB::IsLoaded() noexcept { return loaded_.load(std::memory_order_acquire) != 0; }

void InterfaceTextDB::EnsureLoaded()
{
    if (IsLoaded())
        return;
    AppLockHold hold(true);
    if (!IsLoaded())
        TheObject().Load();
}

void InterfaceTextDB::Load()
{
    const InterfaceTextNames& names = Names();
    Nyx::File::Path path(names.fileName);
    AppLockHold hold(true);

    root_.Release();
    if (!LoadTree(root_, path.Str())) {
        LogMessage("InterfaceTextDB> failed to load compiled interfacetext file");
        std::string source(path.View().substr(0, path.Length() - path.Extension().size()));
        source += "txt";
        if (!LoadTree(root_, source))
            LogMessage("InterfaceTextDB> Unable to read interface file '%s'", names.fileName.c_str());
    }

    mapText_ = TDBContainerTag::GetChildContainer(root_, names.mapText);
    specText_ = TDBContainerTag::GetChildContainer(root_, names.specText);
    scenarioText_ = TDBContainerTag::GetChildContainer(root_, names.scenarioText);
    loaded_.store(1, std::memory_order_release);
}

Nyx::PString InterfaceTextDB::GetString(const Nyx::PString& key, bool logMissing)
{
    if (key.Empty())
        return key;
    Nyx::PString text;
    {
        AppLockHold hold(false);
        text = TDBContainerTag::GetString(root_, key);
    }
    if (logMissing && text.Empty()) {
        // The count stops at the limit rather than wrapping round to log
        // again after four billion misses.
        uint32_t seen = missCount_.load(std::memory_order_relaxed);
        while (seen < kMaxLoggedMisses && !missCount_.compare_exchange_weak(seen, seen + 1, std::memory_order_relaxed)) {
        }
        if (seen < kMaxLoggedMisses)
            LogMessage("InterfaceTextDB::GetString> Tag '%s' not found in '%s'", key.c_str(), Names().fileName.c_str());
        return key;
    }
    return text;
}

Nyx::PString InterfaceTextDB::GetScenarioString(const Nyx::PString& key)
{
    if (key.Empty())
        return key;
    AppLockHold hold(false);
    return TDBContainerTag::GetString(scenarioText_, key);
}

Nyx::PString InterfaceTextDB::LookupKey(const Nyx::PString& key, const ChunkRef& table)
{
    if (key.Empty())
        return key;
    Nyx::PString text;
    {
        AppLockHold hold(false);
        text = TDBContainerTag::GetString(table, key);
    }
    return text.Empty() ? key : text;
}

void InterfaceTextDB::UnloadForTest()
{
    AppLockHold hold(true);
    InterfaceTextDB& db = TheObject();
    db.scenarioText_.Release();
    db.specText_.Release();
    db.mapText_.Release();
    db.root_.Release();
    missCount_.store(0, std::memory_order_relaxed);
    loaded_.store(0, std::memory_order_release);
}

Nyx::String GetInterfaceText(const Nyx::String& key)
{
    return Nyx::String(InterfaceTextDB::Instance().GetString(Nyx::PString(key.View()), true));
}
