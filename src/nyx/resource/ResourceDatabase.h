// A resource database: the resources of one mount, found by name, created
// through the resource types and cached until a purge.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace Nyx {

class MaterialManager;
class Resource;
class ResourceTypeBase;

class ResourceDatabase {
public:
    // Lookup modes of Get.
    static constexpr uint32_t kGetCached = 0;  // only what is cached already
    static constexpr uint32_t kGetCreate = 2;  // find the file and create the resource

    // The database of the mount of that name.
    explicit ResourceDatabase(const PString& name);
    virtual ~ResourceDatabase();
    ResourceDatabase(const ResourceDatabase&) = delete;
    ResourceDatabase& operator=(const ResourceDatabase&) = delete;

    const PString& GetName() const noexcept { return name_; }

    // The resource of that name with one more reference for the caller, or
    // null. With kGetCreate a name the cache lacks is resolved to a file of
    // the mount (the name itself, or the name with ".txt" added) and made by
    // the resource type whose served ending is the longest that the file's
    // name ends in.
    virtual Resource* Get(const PString& name, uint32_t mode);
    // True when the name resolves to a file of the mount.
    virtual bool Exists(const PString& name) const;
    // The file of the mount that the name resolves to (empty when none).
    virtual File::Path GetFileName(const PString& name) const;

    // Forgets the cached resources that only the cache holds and that are
    // not locked; returns how many.
    uint32_t PurgeUnused();
    uint32_t GetCachedCount() const;

    // PurgeUnused on every database alive.
    static uint32_t PurgeAllUnused();
    // The resource type that serves a file name (with one more reference),
    // or null.
    static ResourceTypeBase* FindType(std::string_view fileName);
    // The material manager every resource is given when it is created (not
    // owned; null: none). The start-up sets the render kernel's.
    static void SetMaterialManager(MaterialManager* manager) noexcept;
    static MaterialManager* GetMaterialManager() noexcept;

private:
    PString name_;
    mutable std::mutex lock_;
    std::map<std::string, Resource*> cache_;  // by lower-cased name; one reference each
};

}  // namespace Nyx
