// The description of a library asset: a script-carrying description that also names the
// library's native plug-in ("native-plugin" in the asset's config) and
// makes the library's script object. The "library" factory makes them; the
// tool enters no such factory itself, its hosts do.
#pragma once

#include <cstdint>

#include "nyx/base/PString.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/specs/SpecFactory.h"

class GSOLibrary;
class KestroScriptContext;

class GSOLibrarySpec : public KestroBaseSpec {
public:
    static constexpr const char* kPluginTag = "native-plugin";

    GSOLibrarySpec(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                   const Nyx::String& subPath, const ChunkRef& config);

    // A new Library object in the context, with the creator's one count
    // (the object belongs to the context's Library list once entered).
    virtual GSOLibrary* CreateInstance(KestroScriptContext* context);

    const Nyx::PString& PluginName() const noexcept { return pluginName_; }
    // Nonzero: a context that has no Library of this description asks its parent.
    uint8_t ParentLookup() const noexcept { return parentLookup_; }

private:
    Nyx::PString pluginName_;
    uint8_t parentLookup_ = 0;
};

// The run-time type test the context's library lookup filters with.
bool IsLibrarySpec(const GlimmerkitSpec* spec);
// The library description of the asset, with one reference for the caller;
// null when the asset has none or its description is of another kind. A
// description loaded here is retired at once (it stays registered).
GSOLibrarySpec* FindLibrarySpec(const KUID& kuid);

class GSOLibrarySpecFactory : public QXSpecFactory {
public:
    // Named as the asset kind it serves.
    static constexpr const char* kName = "library";

    GSOLibrarySpecFactory() : QXSpecFactory(Nyx::PString(kName)) {}

    GlimmerkitSpec* Create(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                           const Nyx::String& subPath, const ChunkRef& config) override;
};
