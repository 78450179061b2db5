#include "cli/ScriptApiSetup.h"

#include <memory>

#include "kad/client/SpecRegistryHook.h"
#include "online/script/OnlineScriptClasses.h"
#include "scriptapi/compile/KADCompileAsset.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "tetlib/steps/AssetScriptCompile.h"

namespace {

std::unique_ptr<SpecRegistryHook> CreateSpecRegistry() { return std::make_unique<SpecRegistry>(); }

}  // namespace

void InstallScriptApi()
{
    SpecRegistryHook::SetFactory(&CreateSpecRegistry);
    TETLib::SetAssetScriptCompile(&KADCompileAsset);
    InstallOnlineScriptClasses();
}
