#include "scriptapi/specs/SpecFactory.h"

#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/specs/SpecRegistry.h"

QXSpecFactory::~QXSpecFactory()
{
    if (SpecRegistry* registry = SpecRegistry::Instance())
        registry->RemoveFactory(this);
}

GlimmerkitSpec* KADScript_KestroBaseSpecFactory::Create(const KUID& kuid, const Nyx::PString& archiveName,
                                                        const Nyx::String& folder, const Nyx::String& subPath,
                                                        const ChunkRef& config)
{
    return new KestroBaseSpec(kuid, archiveName, folder, subPath, config);
}
