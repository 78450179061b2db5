// A list of pointers in the order they were added, from which every copy of
// one pointer can be taken out without walking the list: the data manager's
// registers, into which the checks of a large config add tens of thousands
// of tags and containers and from which each takes itself out as it goes.
// A removal leaves a gap; gaps are closed once they abound or the list is
// read. Null pointers are kept like any other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/containers/FlatHashMap.h"

namespace TETLib {

template <class T>
class PointerRegister {
public:
    void Append(T* item)
    {
        Link(item, uint32_t(items_.size()));
        items_.push_back(item);
        alive_.push_back(1);
    }

    bool Contains(const T* item) const { return Chain(item) != nullptr; }

    void EraseAll(const T* item)
    {
        const Places* places = Chain(item);
        if (!places)
            return;
        for (uint32_t place = places->first; place != kNoPlace; place = next_[place]) {
            alive_[place] = 0;
            ++gaps_;
        }
        if (item)
            chains_.Erase(item);
        else
            hasNull_ = false;
        if (gaps_ > 64 && gaps_ * 2 > items_.size())
            Compact();
    }

    void Clear()
    {
        items_.clear();
        alive_.clear();
        next_.clear();
        chains_.Clear();
        hasNull_ = false;
        gaps_ = 0;
    }

    bool Empty() const noexcept { return items_.size() == gaps_; }

    // The pointers still registered, in order, without gaps.
    const std::vector<T*>& Items() const
    {
        if (gaps_ != 0)
            Compact();
        return items_;
    }

private:
    // Places are 32-bit: no register comes near 2^32 items.
    static constexpr uint32_t kNoPlace = UINT32_MAX;

    // The places of one pointer, as a chain through next_.
    struct Places {
        uint32_t first = 0;
        uint32_t last = 0;
    };

    // Null is a pointer like any other here, but the map cannot hold it.
    const Places* Chain(const T* item) const
    {
        if (!item)
            return hasNull_ ? &nullPlaces_ : nullptr;
        return chains_.Find(item);
    }

    void Link(const T* item, uint32_t place) const
    {
        next_.push_back(kNoPlace);
        Places* places;
        bool added;
        if (item) {
            auto inserted = chains_.Insert(item);
            places = inserted.first;
            added = inserted.second;
        } else {
            places = &nullPlaces_;
            added = !hasNull_;
            hasNull_ = true;
        }
        if (added)
            places->first = place;
        else
            next_[places->last] = place;
        places->last = place;
    }

    void Compact() const
    {
        size_t kept = 0;
        for (size_t i = 0; i < items_.size(); ++i)
            if (alive_[i])
                items_[kept++] = items_[i];
        items_.resize(kept);
        alive_.assign(kept, 1);
        gaps_ = 0;
        next_.clear();
        chains_.Clear();
        hasNull_ = false;
        for (size_t i = 0; i < kept; ++i)
            Link(items_[i], uint32_t(i));
    }

    // Gaps hold whatever was there, marked in alive_.
    mutable std::vector<T*> items_;
    mutable std::vector<char> alive_;
    mutable std::vector<uint32_t> next_;
    mutable FlatHashMap<const T*, Places> chains_;
    mutable Places nullPlaces_;
    mutable bool hasNull_ = false;
    mutable size_t gaps_ = 0;
};

}  // namespace TETLib
