#include "gs/compiler/codegen/StringTable.h"

namespace GSCompiler {

StringTable::TextKey::TextKey(std::string_view text) : view(text), hash(0)
{
    for (char c : view)
        hash = 3 * hash + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
}

int StringTable::TextKey::Compare(const Utils::IHashNode& other) const noexcept
{
    const int order = view.compare(static_cast<const TextKey&>(other).view);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

StringTable::StringTable() { table_.Init(kBuckets); }

uint32_t StringTable::Intern(std::string_view text)
{
    const TextKey key(text);
    const Utils::IntrusiveHash::Position at = table_.Find(key);
    if (at.Found())
        return static_cast<const Entry*>(at.Node())->index;
    auto entry = std::make_unique<Entry>(key, Count());
    table_.Insert(*entry);
    entries_.push_back(std::move(entry));
    textBytes_ += text.size() + 1;
    return entries_.back()->index;
}

int64_t StringTable::Find(std::string_view text) const
{
    const TextKey key(text);
    const Utils::IntrusiveHash::Position at = table_.Find(key);
    return at.Found() ? int64_t(static_cast<const Entry*>(at.Node())->index) : -1;
}

void StringTable::Clear()
{
    table_.Init(kBuckets);
    entries_.clear();
    textBytes_ = 0;
}

}  // namespace GSCompiler
