// A hash map held in one flat table and probed in line, for the indexes that
// large configs fill with tens of thousands of entries: interned-name
// identities, object serials and pointers. Finding an entry touches one or
// two cache lines and adds no allocation per entry, and a map goes with one
// free.
//
// Keys are compared with == and spread by Hash (std::hash by default, which
// gives a pointer or an integer unchanged; the map mixes the bits itself).
// The value-initialised key (a null pointer, 0) marks a free slot: it is
// never found and may not be added. Values must be default-constructible
// and movable. Adding or erasing an entry may move others, so pointers to
// values hold only until the next change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

template <class Key, class Value, class Hash = std::hash<Key>>
class FlatHashMap {
public:
    size_t Size() const noexcept { return size_; }
    bool Empty() const noexcept { return size_ == 0; }

    Value* Find(const Key& key) noexcept
    {
        const size_t at = FindAt(key);
        return at == kAbsent ? nullptr : &slots_[at].value;
    }
    const Value* Find(const Key& key) const noexcept { return const_cast<FlatHashMap*>(this)->Find(key); }
    bool Contains(const Key& key) const noexcept { return Find(key) != nullptr; }

    // The value of the key; a default-made one is added when it is absent.
    Value& operator[](const Key& key) { return *Insert(key).first; }

    // The value of the key and whether it was added (default-made) now.
    std::pair<Value*, bool> Insert(const Key& key)
    {
        if (Value* found = Find(key))
            return {found, false};
        if (IsFree(key))
            throw std::invalid_argument("FlatHashMap: the free-slot key cannot be added");
        if ((size_ + 1) * 4 > slots_.size() * 3)
            Rehash(size_ + 1);
        size_t at = Home(key);
        while (!IsFree(slots_[at].key))
            at = (at + 1) & mask_;
        Slot& slot = slots_[at];
        slot.key = key;
        slot.value = Value();
        ++size_;
        return {&slot.value, true};
    }

    // False when the key was absent.
    bool Erase(const Key& key) noexcept
    {
        size_t hole = FindAt(key);
        if (hole == kAbsent)
            return false;
        Free(slots_[hole]);
        --size_;
        // Entries that were pushed past the hole move back into it, so no
        // probe runs into a hole before its entry.
        for (size_t at = (hole + 1) & mask_; !IsFree(slots_[at].key); at = (at + 1) & mask_) {
            const size_t home = Home(slots_[at].key);
            if (((at - home) & mask_) >= ((at - hole) & mask_)) {
                slots_[hole] = std::move(slots_[at]);
                Free(slots_[at]);
                hole = at;
            }
        }
        return true;
    }

    // Drops every entry and the table.
    void Clear() noexcept
    {
        std::vector<Slot>().swap(slots_);
        mask_ = 0;
        shift_ = 64;
        size_ = 0;
    }

    // Room for `count` entries without a rehash.
    void Reserve(size_t count)
    {
        if (count * 4 > slots_.size() * 3)
            Rehash(count);
    }

    // Calls visit(key, value) for every entry, in no set order.
    template <class Visit>
    void ForEach(Visit&& visit) const
    {
        for (const Slot& slot : slots_)
            if (!IsFree(slot.key))
                visit(slot.key, slot.value);
    }

private:
    struct Slot {
        Key key{};
        Value value{};
    };

    static constexpr size_t kAbsent = ~size_t(0);

    static bool IsFree(const Key& key) noexcept { return key == Key{}; }

    static void Free(Slot& slot) noexcept
    {
        slot.key = Key{};
        slot.value = Value();
    }

    size_t FindAt(const Key& key) const noexcept
    {
        if (size_ == 0 || IsFree(key))
            return kAbsent;
        for (size_t at = Home(key);; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.key == key)
                return at;
            if (IsFree(slot.key))
                return kAbsent;
        }
    }

    size_t Home(const Key& key) const noexcept
    {
        return size_t((uint64_t(Hash()(key)) * 0x9E3779B97F4A7C15u) >> shift_);
    }

    // A table that holds `count` entries at most three quarters full, of 16
    // slots at least.
    void Rehash(size_t count)
    {
        int bits = 4;
        while ((size_t(1) << bits) * 3 < count * 4)
            ++bits;
        std::vector<Slot> old(size_t(1) << bits);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        shift_ = 64 - bits;
        for (Slot& slot : old) {
            if (IsFree(slot.key))
                continue;
            size_t at = Home(slot.key);
            while (!IsFree(slots_[at].key))
                at = (at + 1) & mask_;
            slots_[at] = std::move(slot);
        }
    }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
    int shift_ = 64;
    size_t size_ = 0;
};
