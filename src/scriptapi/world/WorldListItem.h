// A member of a world list: it knows its list and its id there (-1 when in
// none), names its asset, hears when it enters and leaves, and reports the
// extent it covers. Deleting it takes it out of its list.
#pragma once

#include <cstdint>

#include "config/kuid/KUID.h"
#include "config/results/KestroProperty.h"
#include "scriptapi/world/WorldBaseItem.h"
#include "scriptapi/world/WorldItemExtent.h"

class WorldList;

class WorldListItem : public WorldBaseItem, public WorldFactoryItem, public IdentifiableType {
public:
    static constexpr uint32_t kNoId = 0xFFFFFFFFu;

    WorldListItem() = default;
    WorldListItem(const WorldListItem&) = delete;
    WorldListItem& operator=(const WorldListItem&) = delete;
    ~WorldListItem() override;

    WorldListItem* AsListItem() final { return this; }
    virtual KUID GetKUID() { return KUID::Null; }
    virtual void OnEnterList() {}
    virtual void OnLeaveList() {}
    virtual void GetDefaultState(WorldItemExtent& extent) { extent = WorldItemExtent(); }

    WorldList* List() const noexcept { return list_; }
    uint32_t Id() const noexcept { return id_; }

private:
    friend class WorldList;

    WorldList* list_ = nullptr;
    uint32_t id_ = kNoId;
};
