// The description of an asset that carries game scripts: it finds the asset's
// primary script and class, compiles every script of the asset's folder into
// the script cache "cache/libraries" (files named by the two CRCs of their
// source), loads them into the script machine and checks the script class
// against the asset's kind.
#pragma once

#include <cstdint>

#include "gs/runtime/registry/LibraryTables.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "scriptapi/specs/GlimmerkitSpec.h"

class ResultsLog;

namespace GSRuntime {
class GSClass;
class GSLibrary;
}

class KestroBaseSpec : public GlimmerkitSpec {
public:
    // The state flags.
    static constexpr uint8_t kClassLookedUp = 1;
    static constexpr uint8_t kSystemLibrary = 2;
    static constexpr uint8_t kScriptsCached = 4;
    static constexpr uint8_t kScriptFound = 8;

    KestroBaseSpec(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                   const Nyx::String& subPath, const ChunkRef& config);

    virtual void OnScriptNotFound() {}

    void FindScript();
    bool PrepareIncludes();
    // Compiles what is not cached yet and loads every script of the folder;
    // the first call's answer holds until CheckScriptClass starts over.
    bool CacheScripts(const Nyx::PString& archiveName, const Nyx::File::Path& folder,
                      const Nyx::File::Path& primaryPath, ResultsLog& log);
    GSRuntime::GSLibrary* GetCompiledLibrary();
    GSRuntime::GSClass* GetGSClass();
    bool CheckScriptClass(ResultsLog& log);
    bool IsLocallyModified();

    Nyx::PString GetKind() const { return KindString(); }
    bool BuildBelow(float x) const noexcept;
    bool BuildAtLeast(float x) const noexcept;

    const Nyx::PString& ScriptName() const noexcept { return scriptName_; }
    const Nyx::PString& ClassName() const noexcept { return className_; }
    uint8_t StateFlags() const noexcept { return state_; }
    LibraryId GetLibraryId() const noexcept { return libraryId_; }
    float Build() const noexcept { return build_; }

    // The folder of the script cache: the content root's "cache/libraries".
    static Nyx::File::Path CacheFolder();

private:
    // The folder joined with the sub-path, and the primary script's path.
    Nyx::File::Path PrimaryPath(const Nyx::File::Path& folder) const;
    // One source of the folder; false when it failed.
    bool CacheOneScript(const Nyx::PString& archiveName, const Nyx::File::Path& folder, const std::string& fileName,
                        const Nyx::File::Path& primaryPath, bool& primaryFound, ResultsLog& log);

    Nyx::PString scriptName_;
    Nyx::PString className_;
    GSRuntime::GSClass* linkedClass_ = nullptr;
    uint8_t state_ = 0;
    LibraryId libraryId_{};
    float build_ = 1.3f;
    uint8_t modification_ = 0;
    bool cacheResult_ = false;
};

// The asset's script description from the registry, with one reference for the
// caller; null when it has none.
KestroBaseSpec* FindKestroBaseSpec(const KUID& kuid, bool keep);
