// What every member of a world has: hooks to save and load itself, its own
// state and its typed state through a stream, a reset, a flag word that
// selects it for notices, saving and removal, and (for what a factory can
// make again) the type code that names its factory.
#pragma once

#include <cstdint>

class TStream;
class WorldListItem;

class WorldBaseItem {
public:
    virtual ~WorldBaseItem() = default;

    virtual void Load(TStream&) {}
    virtual void Save(TStream&) {}
    virtual void Reset() {}
    virtual uint32_t GetFlags() { return 1; }
    virtual void Notify(uint32_t /*message*/, uint32_t /*flags*/) {}
    virtual void LoadState(TStream&) {}
    virtual void SaveState(TStream&) {}
    virtual void LoadTypedState(TStream&) {}
    virtual void SaveTypedState(TStream&) {}
    // This item as a member of a world list; null for one that cannot be.
    // A list that loads an item checks this way what a factory made.
    virtual WorldListItem* AsListItem() { return nullptr; }
};

class WorldFactoryItem {
public:
    virtual ~WorldFactoryItem() = default;

    // Four characters read as a little-endian word ('gslb' is 0x67736C62).
    virtual uint32_t GetTypeCode() = 0;
};
