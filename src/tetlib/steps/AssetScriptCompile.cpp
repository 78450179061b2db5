#include "tetlib/steps/AssetScriptCompile.h"

#include <atomic>

namespace TETLib {

namespace {

std::atomic<AssetScriptCompileFunction> g_compile{nullptr};

}  // namespace

void SetAssetScriptCompile(AssetScriptCompileFunction function) { g_compile.store(function); }

bool CompileAssetScripts(const Nyx::PString& folderName, const Nyx::File::Path& assetFolder, ResultsLog& log)
{
    const AssetScriptCompileFunction compile = g_compile.load();
    return compile ? compile(folderName, assetFolder, log) : true;
}

}  // namespace TETLib
