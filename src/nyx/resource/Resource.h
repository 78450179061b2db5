// Engine resources: named objects loaded from a file of a resource database
// and shared by counted references.
//
// Life cycle: the database creates a resource through its resource type
// and caches it; Lock loads it on the first lock (a text form, a file
// ending ".txt", through LoadTxt, any other through Load) and then runs
// LoadComplete; Unlock drops a lock and unloads after the last one. A purge
// of the database forgets resources that only the cache holds and that are
// not locked.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/ReferenceCount.h"

namespace Nyx {

class MaterialManager;
class ResourceDatabase;

class Resource : public ReferenceCount {
public:
    // Results of the load operations.
    static constexpr uint32_t kLoadOk = 0;
    static constexpr uint32_t kLoadFailed = 1;
    // Description texts larger than this do not load.
    static constexpr int64_t kMaxTextBytes = int64_t{1} << 24;

    Resource(const PString& name, ResourceDatabase* database);
    ~Resource() override;

    virtual void AddReference() noexcept { AddRef(); }
    virtual void ReleaseReference() noexcept { Release(); }

    const PString& GetName() const noexcept { return name_; }
    ResourceDatabase* GetDatabase() const noexcept { return database_; }
    // The file the database found for the name, inside its mount.
    const File::Path& GetFileName() const noexcept { return fileName_; }
    void SetFileName(const File::Path& fileName) { fileName_ = fileName; }

    // Loads on the first lock; false (and no lock held) when loading failed.
    bool Lock();
    void Unlock();
    uint32_t GetLockCount() const;
    bool IsLoaded() const;

    // Answers of IsAllLoaded.
    static constexpr uint32_t kAllLoaded = 0;
    static constexpr uint32_t kLoadFailedState = 1;
    static constexpr uint32_t kStillLoading = 5;
    // True once the resource and what it draws on are loaded; the engine's
    // part is the resource itself.
    virtual bool LoadAll() { return IsLoaded(); }
    // kAllLoaded, kLoadFailedState after a failed load, else kStillLoading.
    virtual uint32_t IsAllLoaded() const;
    // The database hands every resource it creates the material manager of
    // the render kernel; resources that make materials keep it.
    virtual void SetMaterialManager(MaterialManager* /*manager*/) {}

protected:
    // The text of a description file; kLoadOk or kLoadFailed.
    virtual uint32_t LoadTxt(const std::string& text);
    // Any other file, opened for reading.
    virtual uint32_t Load(File& file);
    virtual void LoadComplete() {}
    virtual void Unload() {}

private:
    uint32_t LoadFromFile();

    PString name_;
    ResourceDatabase* database_;
    File::Path fileName_;
    mutable std::mutex lock_;
    uint32_t locks_ = 0;
    bool failed_ = false;
};

}  // namespace Nyx
