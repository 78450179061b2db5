// The machine's two indexes of registered library files: by 64-bit id and
// by lower-cased name. Both are 251-bucket chained tables with sorted
// chains; the id table owns the entries, the name table only points at them.
#pragma once

#include <cstdint>
#include <string>

#include "gs/support/IntrusiveHash.h"
#include "nyx/base/PString.h"

namespace GSRuntime {
class GSLibrary;
}

struct LibraryId {
    uint32_t low = 0;
    uint32_t high = 0;
    bool operator==(const LibraryId&) const = default;
};

// One registered library file.
struct LibraryEntry {
    LibraryId id;
    Nyx::PString container;  // the mount or folder the path is taken in
    std::string path;
    GSRuntime::GSLibrary* loaded = nullptr;
};

class LibraryIdTable {
public:
    static constexpr uint32_t kBuckets = 251;

    LibraryIdTable() = default;
    LibraryIdTable(const LibraryIdTable&) = delete;
    LibraryIdTable& operator=(const LibraryIdTable&) = delete;
    ~LibraryIdTable() { Clear(); }

    // Destroys every entry, then makes kBuckets empty buckets.
    bool Reset();
    // Takes the entry; false (entry still the caller's) for an id already
    // present.
    bool Insert(LibraryEntry* entry);
    LibraryEntry* Find(LibraryId id) const noexcept;
    // Destroys every entry and frees the buckets.
    void Clear() noexcept;
    uint32_t Count() const noexcept { return table_.Count(); }

    static uint32_t BucketOf(LibraryId id) noexcept { return id.low % kBuckets; }

private:
    Utils::IntrusiveHash table_;
};

class LibraryNameTable {
public:
    static constexpr uint32_t kBuckets = 251;

    LibraryNameTable() = default;
    LibraryNameTable(const LibraryNameTable&) = delete;
    LibraryNameTable& operator=(const LibraryNameTable&) = delete;
    ~LibraryNameTable() { Clear(); }

    bool Reset();
    // The name must outlive the table (the machine keeps it in its frame
    // memory). False when the name is present: the first entry keeps it.
    bool Insert(const char* name, LibraryEntry* entry);
    LibraryEntry* Find(const char* name) const noexcept;
    void Clear() noexcept;
    uint32_t Count() const noexcept { return table_.Count(); }

    // h = h * 3 + c over the bytes taken as signed, in 32 bits.
    static uint32_t HashOf(const char* name) noexcept;

private:
    Utils::IntrusiveHash table_;
};
