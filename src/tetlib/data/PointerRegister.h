// A list of pointers in the order they were added, from which every copy of
// one pointer can be taken out without walking the list: the data manager's
// registers, into which the checks of a large config add tens of thousands
// of tags and containers and from which each takes itself out as it goes.
// A removal leaves a gap; gaps are closed once they abound or the list is
// read. Null pointers are kept like any other.
#pragma once

#include <cstddef>
#include <vector>

#include "core/containers/FlatHashMap.h"

namespace TETLib {

template <class T>
class PointerRegister {
public:
    void Append(T* item)
    {
        Link(item, items_.size());
        items_.push_back(item);
        alive_.push_back(1);
    }

    bool Contains(const T* item) const { return chains_.Contains(item); }

    void EraseAll(const T* item)
    {
        const Chain* chain = chains_.Find(item);
        if (!chain)
            return;
        for (size_t place = chain->first; place != kNoPlace; place = next_[place]) {
            alive_[place] = 0;
            ++gaps_;
        }
        chains_.Erase(item);
        if (gaps_ > 64 && gaps_ * 2 > items_.size())
            Compact();
    }

    void Clear()
    {
        items_.clear();
        alive_.clear();
        next_.clear();
        chains_.Clear();
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
    static constexpr size_t kNoPlace = ~size_t(0);

    // The places of one pointer, as a chain through next_.
    struct Chain {
        size_t first = 0;
        size_t last = 0;
    };

    void Link(const T* item, size_t place) const
    {
        next_.push_back(kNoPlace);
        auto [chain, added] = chains_.Insert(item);
        if (added)
            chain->first = place;
        else
            next_[chain->last] = place;
        chain->last = place;
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
        for (size_t i = 0; i < kept; ++i)
            Link(items_[i], i);
    }

    // Gaps hold whatever was there, marked in alive_.
    mutable std::vector<T*> items_;
    mutable std::vector<char> alive_;
    mutable std::vector<size_t> next_;
    mutable FlatHashMap<const T*, Chain> chains_;
    mutable size_t gaps_ = 0;
};

}  // namespace TETLib
