// Makes world items again from their saved form: each factory serves one
// type code and enters the process-wide list of factories for its life
// (the first one made for a code wins a lookup).
#pragma once

#include <cstdint>

#include "nyx/base/PString.h"

class TStream;
class WorldBaseItem;

class WorldItemFactory {
public:
    WorldItemFactory(uint32_t typeCode, const Nyx::PString& name);
    WorldItemFactory(const WorldItemFactory&) = delete;
    WorldItemFactory& operator=(const WorldItemFactory&) = delete;
    virtual ~WorldItemFactory();

    // A new item read from the stream; `world` is the list's owner, opaque
    // to the list. Null when the data does not make one.
    virtual WorldBaseItem* Create(void* world, TStream& stream) = 0;

    // The first factory of that code makes the item; null when none.
    static WorldBaseItem* CreateByType(uint32_t typeCode, void* world, TStream& stream);

    uint32_t TypeCode() const noexcept { return typeCode_; }
    const Nyx::PString& Name() const noexcept { return name_; }

private:
    uint32_t typeCode_;
    Nyx::PString name_;
};
