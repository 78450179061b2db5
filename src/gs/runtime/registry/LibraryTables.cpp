#include "gs/runtime/registry/LibraryTables.h"

#include <cstring>

namespace {

class IdNode : public Utils::IHashNode {
public:
    IdNode(LibraryId key, LibraryEntry* value) : id(key), entry(value) {}
    uint32_t Hash() const noexcept override { return id.low; }
    int Compare(const IHashNode& other) const noexcept override
    {
        const LibraryId& o = static_cast<const IdNode&>(other).id;
        if (id.low != o.low)
            return id.low < o.low ? -1 : 1;
        if (id.high != o.high)
            return id.high < o.high ? -1 : 1;
        return 0;
    }

    LibraryId id;
    LibraryEntry* entry;
};

class NameNode : public Utils::IHashNode {
public:
    NameNode(const char* key, LibraryEntry* value) : name(key), entry(value) {}
    uint32_t Hash() const noexcept override { return LibraryNameTable::HashOf(name); }
    int Compare(const IHashNode& other) const noexcept override
    {
        // strcmp compares the bytes as unsigned characters.
        return std::strcmp(name, static_cast<const NameNode&>(other).name);
    }

    const char* name;
    LibraryEntry* entry;
};

}  // namespace

bool LibraryIdTable::Reset()
{
    Clear();
    return table_.Init(kBuckets);
}

bool LibraryIdTable::Insert(LibraryEntry* entry)
{
    auto* node = new IdNode(entry->id, entry);
    if (!table_.Insert(*node)) {
        delete node;
        return false;
    }
    return true;
}

LibraryEntry* LibraryIdTable::Find(LibraryId id) const noexcept
{
    IdNode key(id, nullptr);
    auto at = table_.Find(key);
    return at.Found() ? static_cast<IdNode*>(at.Node())->entry : nullptr;
}

void LibraryIdTable::Clear() noexcept
{
    for (Utils::IHashNode* node = table_.Begin(); node;) {
        Utils::IHashNode* next = table_.Next(*node);
        delete static_cast<IdNode*>(node)->entry;
        delete node;
        node = next;
    }
    table_.Clear();
}

uint32_t LibraryNameTable::HashOf(const char* name) noexcept
{
    uint32_t h = 0;
    for (const char* p = name; *p; ++p)
        h = h * 3 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)));
    return h;
}

bool LibraryNameTable::Reset()
{
    Clear();
    return table_.Init(kBuckets);
}

bool LibraryNameTable::Insert(const char* name, LibraryEntry* entry)
{
    auto* node = new NameNode(name, entry);
    if (!table_.Insert(*node)) {
        delete node;
        return false;
    }
    return true;
}

LibraryEntry* LibraryNameTable::Find(const char* name) const noexcept
{
    NameNode key(name, nullptr);
    auto at = table_.Find(key);
    return at.Found() ? static_cast<NameNode*>(at.Node())->entry : nullptr;
}

void LibraryNameTable::Clear() noexcept
{
    for (Utils::IHashNode* node = table_.Begin(); node;) {
        Utils::IHashNode* next = table_.Next(*node);
        delete node;
        node = next;
    }
    table_.Clear();
}
