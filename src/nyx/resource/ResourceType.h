// Resource types: plug-in types of the engine's resource family that create
// the resources of the files they serve. A type named "kestro.X" serves the
// files whose names end in ".X"; any other type T those ending in "." + T.
// Like every plug-in type, an enrolled type must be held by a reference
// for as long as it is enrolled.
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "nyx/Plugin.h"

namespace Nyx {

class Resource;
class ResourceDatabase;

class ResourceTypeBase : public PluginType {
public:
    ResourceTypeBase(const PString& name, const UId& typeId, const UId& family);

    // A new resource of that name in the database; null when it cannot be
    // made.
    virtual Resource* Create(const PString& name, ResourceDatabase* database) = 0;
    virtual uint32_t GetObjectSize() const = 0;
    virtual Resource* CreateOnTheFly(const PString&, ResourceDatabase*) { return nullptr; }

    // The ending of the file names it serves, with its leading ".".
    std::string GetServedSuffix() const;
};

template <class T>
class ResourceType : public ResourceTypeBase {
public:
    using ResourceTypeBase::ResourceTypeBase;

    Resource* Create(const PString& name, ResourceDatabase* database) override
    {
        return new (std::nothrow) T(name, database);
    }
    uint32_t GetObjectSize() const override { return static_cast<uint32_t>(sizeof(T)); }
};

}  // namespace Nyx
