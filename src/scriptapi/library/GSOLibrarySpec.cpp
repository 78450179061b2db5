#include "scriptapi/library/GSOLibrarySpec.h"

#include "config/tree/TDBContainerTag.h"
#include "scriptapi/library/GSOLibrary.h"
#include "scriptapi/specs/SpecRegistry.h"

GSOLibrarySpec::GSOLibrarySpec(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                               const Nyx::String& subPath, const ChunkRef& config)
    : KestroBaseSpec(kuid, archiveName, folder, subPath, config)
{
    if (!config.IsNullOrUntyped())
        pluginName_ = TDBContainerTag::GetString(config, Nyx::PString(kPluginTag));
}

GSOLibrary* GSOLibrarySpec::CreateInstance(KestroScriptContext* context)
{
    return new GSOLibrary(context, this);
}

bool IsLibrarySpec(const GlimmerkitSpec* spec) { return dynamic_cast<const GSOLibrarySpec*>(spec) != nullptr; }

GSOLibrarySpec* FindLibrarySpec(const KUID& kuid)
{
    SpecRegistry* registry = SpecRegistry::Instance();
    if (!registry)
        return nullptr;
    GlimmerkitSpec* found = nullptr;
    registry->FindByKUID(found, kuid, &IsLibrarySpec, false);
    return static_cast<GSOLibrarySpec*>(found);
}

GlimmerkitSpec* GSOLibrarySpecFactory::Create(const KUID& kuid, const Nyx::PString& archiveName,
                                              const Nyx::String& folder, const Nyx::String& subPath,
                                              const ChunkRef& config)
{
    return new GSOLibrarySpec(kuid, archiveName, folder, subPath, config);
}
