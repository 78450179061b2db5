// The script context's side of libraries: finding and starting a library
// asset's Library object, and loading a library's native plug-in.
#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "core/files/ContentRoot.h"
#include "core/process/Log.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/library/GSOLibrary.h"
#include "scriptapi/library/GSOLibrarySpec.h"
#include "scriptapi/library/NativeInterface.h"

namespace {

// The description reference the lookup took, given back on every way out.
class HeldSpec {
public:
    explicit HeldSpec(GlimmerkitSpec* spec) : spec_(spec) {}
    ~HeldSpec()
    {
        if (spec_)
            spec_->Release();
    }
    HeldSpec(const HeldSpec&) = delete;
    HeldSpec& operator=(const HeldSpec&) = delete;

private:
    GlimmerkitSpec* spec_;
};

std::string PluginPath(std::string_view name)
{
    Nyx::File::Path root = GetContentRootPath();
    std::filesystem::path folder(root.Empty() ? std::string(".") : std::string(root.c_str()));
    folder = std::filesystem::absolute(folder) / "bin" / "plugins";
    return (folder / (std::string(name) + ".so")).string();
}

}  // namespace

GSOLibrary* KestroScriptContext::GetScriptLibrary(const KUID& kuid)
{
    if (kuid == KUID::Null)
        return nullptr;
    GSOLibrarySpec* spec = FindLibrarySpec(kuid);
    if (!spec) {
        LogMessage("KestroScriptContext::GetScriptLibrary> unable to find Library %s", kuid.ToString().c_str());
        return nullptr;
    }
    HeldSpec hold(spec);

    for (uint32_t id = 0; id < libraries.Count(); ++id) {
        auto* library = dynamic_cast<GSOLibrary*>(libraries.ItemAt(id));
        if (library && library->LibrarySpec() == spec)
            return library;
    }
    if (spec->ParentLookup()) {
        if (KestroScriptContext* parent = ParentContext())
            return parent->GetScriptLibrary(kuid);
    }
    if (listLocked) {
        LogMessage("KestroScriptContext::GetScriptLibrary> attempted while list is locked");
        return nullptr;
    }
    GSOLibrary* library = spec->CreateInstance(this);
    if (library && libraries.AddItem(*library) < 0) {
        delete library;
        library = nullptr;
    }
    if (!library) {
        LogMessage("KestroScriptContext::GetScriptLibrary> unable to create instance of Library %s",
                   kuid.ToString().c_str());
        return nullptr;
    }
    LibraryAdded(library);
    // Started now rather than by the manager: the caller uses it at once.
    library->RunPendingPhases(this);
    if (library->Failed()) {
        LogMessage("KestroScriptContext::GetScriptLibrary> script failure on Library %s", kuid.ToString().c_str());
        delete library;
        return nullptr;
    }
    return library;
}

bool KestroScriptContext::PluginNameAllowed(std::string_view name)
{
    // The name comes from an asset's config: it may only name a file of the
    // plug-in folder itself.
    return !name.empty() && name.find_first_of("/\\") == std::string_view::npos &&
           name.find("..") == std::string_view::npos;
}

KNIObject* KestroScriptContext::LoadNativePlugin(KestroScriptContext* context, const Nyx::PString& name)
{
    if (!PluginNameAllowed(name.View())) {
        LogMessage("KestroScriptContext::LoadNativePlugin> refused plug-in name '%s'", name.c_str());
        return nullptr;
    }
    if (!context)
        return nullptr;
    const std::string path = PluginPath(name.View());
    void* shared = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!shared)
        return nullptr;
    auto entry = reinterpret_cast<KNIEntryPointFunction>(::dlsym(shared, KNI_ENTRY_POINT_NAME));
    if (!entry) {
        ::dlclose(shared);
        return nullptr;
    }
    KNIObject* plugin = entry(context->NativeInterfaceHandle());
    if (!plugin || !KNIAdoptSharedObject(plugin, shared)) {
        KNIRelease(plugin);
        ::dlclose(shared);
        return nullptr;
    }
    KNIObject* init = KNIAllocString("Init");
    KNIRelease(KNICallLibraryFunction(plugin, init, nullptr));
    KNIRelease(init);
    return plugin;
}
