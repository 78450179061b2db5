// What a world list tells about its members as they come and go.
#pragma once

struct WorldItemExtent;
class WorldListItem;

class WorldListObserver {
public:
    virtual ~WorldListObserver() = default;

    virtual void ItemAdded(WorldListItem& item, const WorldItemExtent& extent) = 0;
    virtual void ItemRemoved(WorldListItem& item) = 0;
    // Every item goes at once.
    virtual void ListCleared() = 0;
};
