#include "resources/registration/KestroPluginRegistration.h"

#include <mutex>
#include <new>

#include "nyx/Plugin.h"
#include "nyx/gfx/materials/MaterialPlugin.h"
#include "nyx/resource/ResourceType.h"
#include "resources/materials/plugins/KestroMaterialPlugins.h"
#include "resources/mesh/resource/KestroIndexedMeshLODResource.h"
#include "resources/mesh/resource/KestroIndexedMeshResource.h"
#include "resources/mesh/resource/KestroProgressiveMeshResource.h"
#include "resources/textures/CompressAsciiResource.h"

namespace KestroPluginRegistration {

namespace {

template <class T>
Nyx::PluginType* MakeResourceType(const Entry& entry)
{
    const Nyx::PString name(entry.name);
    const Nyx::UId family(Nyx::kResourceTypeFamily);
    const Nyx::UId type(entry.uid);
    auto* made = new (std::nothrow) Nyx::ResourceType<T>(name, type, family);
    // The plug-in system's hold, for the rest of the process.
    if (made)
        made->AddReference();
    return made;
}

}  // namespace

void RegisterAll(std::vector<Nyx::PluginType*>* made)
{
    const auto keep = [made](Nyx::PluginType* type) {
        if (type && made)
            made->push_back(type);
    };
    for (const Entry& plugin : kMaterialPlugins)
        keep(Nyx::KestroMaterialPlugins::Create(plugin.name));
    keep(MakeResourceType<KestroIndexedMeshResource>(kResourceTypes[0]));
    keep(MakeResourceType<KestroProgressiveMeshResource>(kResourceTypes[1]));
    keep(MakeResourceType<KestroIndexedMeshLODResource>(kResourceTypes[2]));
    keep(MakeResourceType<KestroIndexedMeshLODResource>(kResourceTypes[3]));
    keep(MakeResourceType<CompressAsciiResource>(kResourceTypes[4]));
}

void EnsureRegistered()
{
    static std::once_flag once;
    std::call_once(once, [] { NyxGetPlugins(); });
}

}  // namespace KestroPluginRegistration

extern "C" void NyxGetPlugins() { KestroPluginRegistration::RegisterAll(); }
