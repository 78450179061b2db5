// A hash map held in one flat table and probed in line, for the indexes that
// large configs fill with tens of thousands of entries: interned-name
// identities, object serials and pointers. Finding an entry touches one or
// two cache lines and adds no allocation per entry, and a map goes with one
// free.
//
// Keys are compared with == and spread by Hash (std::hash by default, which
// gives a pointer or an integer unchanged; the map mixes the bits itself).
// Values must be default-constructible and movable. Adding or erasing an
// entry may move others, so pointers to values hold only until the next
// change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
        if ((size_ + 1) * 2 > slots_.size())
            Rehash(size_ + 1);
        size_t at = Home(key);
        while (slots_[at].used)
            at = (at + 1) & mask_;
        Slot& slot = slots_[at];
        slot.key = key;
        slot.value = Value();
        slot.used = true;
        ++size_;
        return {&slot.value, true};
    }

    // False when the key was absent.
    bool Erase(const Key& key) noexcept
    {
        size_t hole = FindAt(key);
        if (hole == kAbsent)
            return false;
        slots_[hole].used = false;
        slots_[hole].value = Value();
        --size_;
        // Entries that were pushed past the hole move back into it, so no
        // probe runs into a hole before its entry.
        for (size_t at = (hole + 1) & mask_; slots_[at].used; at = (at + 1) & mask_) {
            const size_t home = Home(slots_[at].key);
            if (((at - home) & mask_) >= ((at - hole) & mask_)) {
                slots_[hole] = std::move(slots_[at]);
                slots_[at].used = false;
                slots_[at].value = Value();
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
        if (count * 2 > slots_.size())
            Rehash(count);
    }

    // Calls visit(key, value) for every entry, in no set order.
    template <class Visit>
    void ForEach(Visit&& visit) const
    {
        for (const Slot& slot : slots_)
            if (slot.used)
                visit(slot.key, slot.value);
    }

private:
    struct Slot {
        Key key{};
        Value value{};
        bool used = false;
    };

    static constexpr size_t kAbsent = ~size_t(0);

    size_t FindAt(const Key& key) const noexcept
    {
        if (size_ == 0)
            return kAbsent;
        for (size_t at = Home(key);; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (!slot.used)
                return kAbsent;
            if (slot.key == key)
                return at;
        }
    }

    size_t Home(const Key& key) const noexcept
    {
        return size_t((uint64_t(Hash()(key)) * 0x9E3779B97F4A7C15u) >> shift_);
    }

    // A table of at least twice `count` slots, at least 16.
    void Rehash(size_t count)
    {
        int bits = 4;
        while ((size_t(1) << bits) < count * 2)
            ++bits;
        std::vector<Slot> old(size_t(1) << bits);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        shift_ = 64 - bits;
        for (Slot& slot : old) {
            if (!slot.used)
                continue;
            size_t at = Home(slot.key);
            while (slots_[at].used)
                at = (at + 1) & mask_;
            slots_[at] = std::move(slot);
        }
    }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
    int shift_ = 64;
    size_t size_ = 0;
};
