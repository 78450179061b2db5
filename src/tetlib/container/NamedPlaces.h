// Where the items of one of a container's lists stand, by name: for each
// name the places of its items in order, chained through the list. A
// container of tens of thousands of tags or sub-containers answers "the
// first (or every) item of this name" without walking its list.
//
// Names are interned strings, kept here by the identity of their nodes,
// which the items keep alive. The owner builds the places when first asked,
// links each item it appends, and forgets them whenever items move or are
// renamed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/containers/FlatHashMap.h"
#include "nyx/base/PString.h"

namespace TETLib {

class NamedPlaces {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    bool Kept() const noexcept { return kept_; }

    void Forget() noexcept
    {
        kept_ = false;
        chains_.Clear();
        next_.clear();
    }

    // The places of the list from scratch; nameOf gives an item's name.
    template <class List, class NameOf>
    void Build(const List& items, NameOf nameOf)
    {
        Forget();
        chains_.Reserve(items.size());
        next_.reserve(items.size());
        for (size_t place = 0; place < items.size(); ++place)
            Link(nameOf(items[place]), uint32_t(place));
        kept_ = true;
    }

    // The item appended at `place` (the list's size before it) has the name.
    void Link(const Nyx::PString& name, uint32_t place)
    {
        next_.push_back(kNone);
        auto [chain, added] = chains_.Insert(name.Identity());
        if (added)
            chain->first = place;
        else
            next_[chain->last] = place;
        chain->last = place;
    }

    // The first place of the name, else kNone; then each next place.
    uint32_t First(const Nyx::PString& name) const noexcept
    {
        const Chain* chain = chains_.Find(name.Identity());
        return chain ? chain->first : kNone;
    }
    uint32_t Next(uint32_t place) const noexcept { return next_[place]; }

private:
    // Places are 32-bit: no list of a config comes near 2^32 items.
    struct Chain {
        uint32_t first = 0;
        uint32_t last = 0;
    };

    FlatHashMap<const void*, Chain> chains_;
    std::vector<uint32_t> next_;
    bool kept_ = false;
};

}  // namespace TETLib
