// The numbered members of one world. An item's id is its slot; new items
// take even ids, items loaded from a stream keep theirs (odd ones too). The
// list saves its items with their type codes, KUIDs and payloads, makes
// missing ones again through the factories on load, and keeps a second
// section for each item's state and a third, typed one for one item type.
//
// The list owns its items: removing them by mask, clearing and loading
// over them delete them.
#pragma once

#include <cstdint>
#include <set>

#include "config/kuid/KUID.h"
#include "scriptapi/world/BlockArray.h"
#include "scriptapi/world/WorldBaseItem.h"

class WorldListItem;
class WorldListObserver;

class WorldList : public BlockArray<WorldListItem*>, public WorldBaseItem {
public:
    static constexpr uint32_t kVersion = 5;
    static constexpr uint32_t kEndOfRecords = 0xFFFFFFFFu;
    // A payload longer than this ends a load.
    static constexpr uint32_t kMaxPayload = 0xFFFFFFu;
    // Ids a load accepts: a stream cannot make the list grow past this.
    static constexpr uint32_t kMaxLoadedId = 1u << 20;
    // The only item type that has a typed-state record.
    static constexpr uint32_t kTypedStateType = 0x6A6E4F62u;
    // The type code of a state record of section version 0: four blanks.
    static constexpr uint32_t kBlankTypeCode = 0x20202020u;
    // LoadItems reads the state section only with this bit of the mask,
    // and SaveItems writes state records only with it.
    static constexpr uint32_t kStateMask = 4;

    // What an item that loads can learn of where it is loaded: set while
    // its payload is read, null KUID, no world and -1 otherwise.
    struct CurrentItem {
        KUID kuid;
        void* world = nullptr;
        int32_t worldValue = -1;
    };
    static const CurrentItem& Current() noexcept;

    explicit WorldList(void* world = nullptr);
    WorldList(const WorldList&) = delete;
    WorldList& operator=(const WorldList&) = delete;
    ~WorldList() override;

    void Reset() override;
    void Notify(uint32_t message, uint32_t flags) override;
    void LoadTypedState(TStream& stream) override;
    void SaveTypedState(TStream& stream) override;

    bool LoadItems(TStream& stream, bool clearFirst, uint32_t mask);
    void SaveItems(TStream& stream, uint32_t mask);
    // A zero mask first tells the observer that everything goes; then every
    // item whose flags match the value under the mask is deleted.
    void RemoveItems(uint32_t mask, uint32_t value);

    // The new id, or -1 when the item is already in a list or the list
    // cannot grow.
    int32_t AddItem(WorldListItem& item);
    bool InsertAt(uint32_t id, WorldListItem& item);
    void RemoveItem(WorldListItem& item);
    // Removes and deletes every item.
    void Clear();

    // The item at an id, or null for an empty or invalid slot.
    WorldListItem* ItemAt(uint32_t id) const noexcept { return id < Count() ? At(id) : nullptr; }
    uint32_t ItemCount() const noexcept;

    // Ids AddItem passes by until they are taken out again by removal of
    // the item at that id.
    void ReserveId(uint32_t id) { reserved_.insert(id); }
    bool IsReserved(uint32_t id) const { return reserved_.count(id) != 0; }

    void SetObserver(WorldListObserver* observer) noexcept { observer_ = observer; }
    WorldListObserver* Observer() const noexcept { return observer_; }
    void* World() const noexcept { return world_; }
    int32_t WorldValue() const noexcept { return worldValue_; }
    void SetWorldValue(int32_t value) noexcept { worldValue_ = value; }
    uint32_t EvenHint() const noexcept { return evenHint_; }
    uint32_t OddHint() const noexcept { return oddHint_; }

private:
    static bool Matches(WorldListItem& item, uint32_t mask, uint32_t value);
    // Out of the way of adding and inserting, which mostly have no observer.
    [[gnu::noinline]] void TellAdded(WorldListItem& item);
    // Version 2 records, or versions 3 to 5; false when loading must stop.
    bool LoadRecordsWithoutLength(TStream& stream);
    bool LoadRecords(TStream& stream, uint32_t streamSize);
    // Puts a made item at the id, giving it in `placed`; false (the item
    // deleted) when it is not a list item. When the slot cannot take it, it
    // is deleted and `placed` is null.
    bool PlaceNew(uint32_t id, WorldBaseItem* made, WorldListItem*& placed);
    void LoadStateSection(TStream& stream, uint32_t mask, uint32_t streamSize);

    void* world_;
    WorldListObserver* observer_ = nullptr;
    uint32_t evenHint_ = 0;
    uint32_t oddHint_ = 1;
    std::set<uint32_t> reserved_;
    int32_t worldValue_ = -1;
};
