#include "nyx/resource/ResourceDatabase.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <vector>

#include "nyx/resource/Resource.h"
#include "nyx/resource/ResourceType.h"

namespace Nyx {

namespace {

std::string LowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return out;
}

bool EndsWithNoCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && LowerAscii(text.substr(text.size() - end.size())) == LowerAscii(end);
}

struct Registry {
    std::mutex lock;
    std::set<ResourceDatabase*> databases;
};

// Never destroyed: databases may outlive any static registry.
Registry& Databases()
{
    static Registry* registry = new Registry;
    return *registry;
}

std::atomic<MaterialManager*> g_materialManager{nullptr};

}  // namespace

void ResourceDatabase::SetMaterialManager(MaterialManager* manager) noexcept { g_materialManager = manager; }

MaterialManager* ResourceDatabase::GetMaterialManager() noexcept { return g_materialManager; }

ResourceTypeBase::ResourceTypeBase(const PString& name, const UId& typeId, const UId& family)
    : PluginType(name, typeId, family)
{
}

std::string ResourceTypeBase::GetServedSuffix() const
{
    std::string_view name = GetName().View();
    constexpr std::string_view kProduct = "kestro.";
    if (name.size() > kProduct.size() && LowerAscii(name.substr(0, kProduct.size())) == kProduct)
        name.remove_prefix(kProduct.size());
    std::string suffix;
    suffix.reserve(name.size() + 1);
    suffix += '.';
    suffix.append(name);
    return suffix;
}

ResourceDatabase::ResourceDatabase(const PString& name) : name_(name)
{
    Registry& registry = Databases();
    std::lock_guard<std::mutex> hold(registry.lock);
    registry.databases.insert(this);
}

ResourceDatabase::~ResourceDatabase()
{
    {
        Registry& registry = Databases();
        std::lock_guard<std::mutex> hold(registry.lock);
        registry.databases.erase(this);
    }
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& [key, resource] : cache_)
        resource->ReleaseReference();
    cache_.clear();
}

File::Path ResourceDatabase::GetFileName(const PString& name) const
{
    if (name.Empty())
        return File::Path();
    const File::Path path(name);
    if (File::Exists(name_, path) == 0 && !File::IsFolder(File::Path(File::Resolve(name_, path))))
        return path;
    // A text form found by the name of what it describes.
    const File::Path text(name.Str() + ".txt");
    if (File::Exists(name_, text) == 0)
        return text;
    return File::Path();
}

bool ResourceDatabase::Exists(const PString& name) const { return !GetFileName(name).Empty(); }

ResourceTypeBase* ResourceDatabase::FindType(std::string_view fileName)
{
    ResourceTypeBase* best = nullptr;
    size_t bestLength = 0;
    for (PluginType* type : PluginBase::ListPluginTypes(UId(kResourceTypeFamily))) {
        auto* resourceType = dynamic_cast<ResourceTypeBase*>(type);
        const std::string suffix = resourceType ? resourceType->GetServedSuffix() : std::string();
        // Strictly longer wins, so among equals the first enrolled does.
        if (resourceType && suffix.size() > bestLength && EndsWithNoCase(fileName, suffix)) {
            if (best)
                best->ReleaseReference();
            best = resourceType;
            bestLength = suffix.size();
        } else {
            type->ReleaseReference();
        }
    }
    return best;
}

Resource* ResourceDatabase::Get(const PString& name, uint32_t mode)
{
    const std::string key = LowerAscii(name.View());
    std::lock_guard<std::mutex> hold(lock_);
    if (auto it = cache_.find(key); it != cache_.end()) {
        it->second->AddReference();
        return it->second;
    }
    if (mode != kGetCreate)
        return nullptr;
    const File::Path file = GetFileName(name);
    if (file.Empty())
        return nullptr;
    ResourceTypeBase* type = FindType(file.View());
    if (!type)
        return nullptr;
    Resource* resource = type->Create(name, this);
    type->ReleaseReference();
    if (!resource)
        return nullptr;
    resource->SetFileName(file);
    resource->SetMaterialManager(g_materialManager);
    resource->AddReference();  // the cache's
    resource->AddReference();  // the caller's
    cache_.emplace(key, resource);
    return resource;
}

uint32_t ResourceDatabase::PurgeUnused()
{
    std::vector<Resource*> dropped;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (auto it = cache_.begin(); it != cache_.end();) {
            if (it->second->RefCount() == 1 && it->second->GetLockCount() == 0) {
                dropped.push_back(it->second);
                it = cache_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Resource* resource : dropped)
        resource->ReleaseReference();
    return static_cast<uint32_t>(dropped.size());
}

uint32_t ResourceDatabase::GetCachedCount() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<uint32_t>(cache_.size());
}

uint32_t ResourceDatabase::PurgeAllUnused()
{
    Registry& registry = Databases();
    std::lock_guard<std::mutex> hold(registry.lock);
    uint32_t dropped = 0;
    for (ResourceDatabase* database : registry.databases)
        dropped += database->PurgeUnused();
    return dropped;
}

}  // namespace Nyx
