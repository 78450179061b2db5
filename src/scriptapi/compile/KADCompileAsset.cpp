#include "scriptapi/compile/KADCompileAsset.h"

#include <memory>

#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/specs/SpecFactory.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/startup/ScriptSystemStartup.h"

namespace {

bool Fail(ResultsLog& log, const char* text)
{
    ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(text));
    return false;
}

bool LoadConfig(const Nyx::File::Path& folder, ChunkRef& config)
{
    Nyx::File::Path withSlash = folder;
    withSlash.EnsureTrailingSeparator();
    for (const char* name : {"config.chump", "config.txt"}) {
        ChunkRef loaded;
        if (LoadConfigFile(loaded, withSlash.c_str(), name) && loaded) {
            config = loaded;
            return true;
        }
    }
    return false;
}

// Makes its factory the registry's default for the time of one load, and
// takes it away again on every way out.
class DefaultFactoryScope {
public:
    explicit DefaultFactoryScope(SpecRegistry& registry)
        : registry_(registry), factory_(std::make_unique<KADScript_KestroBaseSpecFactory>())
    {
        registry_.SetDefaultFactory(factory_.get());
    }
    ~DefaultFactoryScope()
    {
        registry_.SetDefaultFactory(nullptr);
        factory_.reset();
    }
    DefaultFactoryScope(const DefaultFactoryScope&) = delete;
    DefaultFactoryScope& operator=(const DefaultFactoryScope&) = delete;

private:
    SpecRegistry& registry_;
    std::unique_ptr<KADScript_KestroBaseSpecFactory> factory_;
};

// Gives the caller's reference back on every way out.
class SpecHold {
public:
    explicit SpecHold(GlimmerkitSpec* spec) : spec_(spec) {}
    ~SpecHold()
    {
        if (spec_)
            spec_->Release();
    }
    SpecHold(const SpecHold&) = delete;
    SpecHold& operator=(const SpecHold&) = delete;

private:
    GlimmerkitSpec* spec_;
};

}  // namespace

bool KADCompileAsset(const Nyx::PString& /*folderName*/, const Nyx::File::Path& assetFolder, ResultsLog& log)
{
    static bool scriptSystemReady = false;
    if (!scriptSystemReady) {
        if (!InitScriptSystem())
            return Fail(log, "KADCompileAsset unable to initialise script system");
        scriptSystemReady = true;
    }

    Nyx::File::Path folder = assetFolder;
    if (!folder.IsAbsolute()) {
        folder = GetContentRootPath();
        folder.AddPath(assetFolder.View());
    }
    ChunkRef config;
    if (!LoadConfig(folder, config))
        return Fail(log, "KADCompileAsset unable to load asset config");
    const KUID kuid = TDBContainerTag::GetKUID(config, Nyx::PString("kuid"), KUID::Null);
    if (kuid == KUID::Null)
        return Fail(log, "KADCompileAsset unable to determine asset KUID");

    SpecRegistry* registry = SpecRegistry::Instance();
    if (!registry)
        return Fail(log, "Failed to load asset for compilation");
    GlimmerkitSpec* spec = nullptr;
    {
        DefaultFactoryScope factory(*registry);
        registry->LoadSpec(spec, kuid, folder, &IsKestroBaseSpec, true);
    }
    if (!spec)
        return Fail(log, "Failed to load asset for compilation");
    SpecHold hold(spec);
    if (!static_cast<KestroBaseSpec*>(spec)->CheckScriptClass(log))
        return Fail(log, "Failed to compile asset");
    return true;
}
