// The library's string table: every text the code and the records refer to
// (string constants, message names, class names, signatures, field names),
// each stored once and numbered in the order first interned. The image
// lists the texts in the table's hash order: buckets from the first, each
// chain from its head.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gs/support/IntrusiveHash.h"

namespace GSCompiler {

class StringTable {
public:
    static constexpr uint32_t kBuckets = 61;

    StringTable();
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    // The text's index; the next index when the text is new.
    uint32_t Intern(std::string_view text);
    // The index of a text interned before, or -1.
    int64_t Find(std::string_view text) const;
    // The text of an index below Count().
    const std::string& Text(uint32_t index) const { return entries_[index]->text; }
    uint32_t Count() const noexcept { return uint32_t(entries_.size()); }
    // The bytes of every text with its terminating NUL.
    uint64_t TextBytes() const noexcept { return textBytes_; }
    // Forgets every text; indexes start from 0 again.
    void Clear();

    // Calls visit(text, index) for every entry in hash order.
    template <typename Visit>
    void ForEachInHashOrder(Visit visit) const
    {
        for (const Utils::IHashNode* n = table_.Begin(); n; n = table_.Next(*n)) {
            const auto& entry = static_cast<const Entry&>(*n);
            visit(entry.text, entry.index);
        }
    }

private:
    // What the table compares: an entry's text, or the text looked for.
    struct TextKey : Utils::IHashNode {
        // The key of a text, hashed once however often the table asks.
        explicit TextKey(std::string_view text);
        uint32_t Hash() const noexcept override { return hash; }
        int Compare(const Utils::IHashNode& other) const noexcept override;

        std::string_view view;
        uint32_t hash;
    };
    struct Entry : TextKey {
        Entry(const TextKey& key, uint32_t at) : TextKey(key), text(key.view), index(at) { view = text; }

        std::string text;
        uint32_t index;
    };

    Utils::IntrusiveHash table_;
    std::vector<std::unique_ptr<Entry>> entries_;
    uint64_t textBytes_ = 0;
};

}  // namespace GSCompiler
