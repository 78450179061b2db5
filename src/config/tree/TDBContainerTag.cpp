#include "config/tree/TDBContainerTag.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "config/tree/ACSConvert.h"
#include "config/tree/TDBDataTag.h"
#include "core/containers/FlatHashMap.h"
#include "core/streams/LittleEndian.h"

namespace {

float FloatFromBits(uint32_t bits) noexcept
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

TDBChildEntry MakeEntry(const Nyx::PString& name, ChunkRef chunk)
{
    TDBChildEntry entry;
    new (entry.nameStorage) Nyx::PString(name);
    entry.chunk = chunk.Detach();
    return entry;
}

// Drops the two references an entry holds; the entry is out of the ring.
void ReleaseEntry(TDBChildEntry& entry) noexcept
{
    entry.Name().~PString();
    if (entry.chunk)
        entry.chunk->Release();
}

// ---- sorting ----

// Unsigned byte order up to the first NUL, a shorter prefix first.
bool NameLess(const char* a, const char* b) noexcept
{
    return std::strcmp(a, b) < 0;
}

bool EntryLess(const TDBChildEntry& a, const TDBChildEntry& b) noexcept
{
    return NameLess(a.Name().c_str(), b.Name().c_str());
}

// Entries are swapped as plain bytes: names and chunks move together and no
// reference changes hands.
void SwapEntries(TDBChildEntry& a, TDBChildEntry& b) noexcept
{
    TDBChildEntry t;
    std::memcpy(static_cast<void*>(&t), &a, sizeof t);
    std::memcpy(static_cast<void*>(&a), &b, sizeof t);
    std::memcpy(static_cast<void*>(&b), &t, sizeof t);
}

void InsertionSort(TDBChildEntry* e, int64_t lo, int64_t hi) noexcept
{
    for (int64_t i = lo + 1; i <= hi; ++i) {
        for (int64_t j = i; j > lo && EntryLess(e[j], e[j - 1]); --j)
            SwapEntries(e[j], e[j - 1]);
    }
}

const char* MedianName(const TDBChildEntry& a, const TDBChildEntry& b, const TDBChildEntry& c) noexcept
{
    const char* x = a.Name().c_str();
    const char* y = b.Name().c_str();
    const char* z = c.Name().c_str();
    if (NameLess(x, y)) {
        if (NameLess(y, z))
            return y;
        return NameLess(x, z) ? z : x;
    }
    if (NameLess(x, z))
        return x;
    return NameLess(y, z) ? z : y;
}

// Quicksort with a median-of-three pivot and a Hoare partition; ranges of
// fewer than 10 entries are left to insertion sort. The smaller side is the
// one recursed into, so the depth stays logarithmic.
void QuickSort(TDBChildEntry* e, int64_t lo, int64_t hi) noexcept
{
    while (hi - lo >= 10) {
        int64_t mid = (lo + hi) / 2;
        // Entries only move during the partition, so the pivot's text stays
        // valid while its entry wanders.
        const char* pivot = MedianName(e[lo], e[mid], e[hi]);
        int64_t i = lo;
        int64_t j = hi;
        for (;;) {
            while (NameLess(e[i].Name().c_str(), pivot))
                ++i;
            while (NameLess(pivot, e[j].Name().c_str()))
                --j;
            if (i >= j)
                break;
            SwapEntries(e[i], e[j]);
            ++i;
            --j;
        }
        if (i <= mid) {
            QuickSort(e, lo, j);
            lo = j + 1;
        } else {
            QuickSort(e, i, hi);
            hi = i - 1;
        }
    }
    InsertionSort(e, lo, hi);
}

// ---- lookups by index ----

using ChildBlock = TDBContainerTag::ChildRing::Block;

// Stamps are never reused, so a remembered place can only ever match the
// child list it was taken in: not one that was changed since, and not a new
// container that happens to sit where a destroyed one was. 0 is never given.
std::atomic<uint64_t> g_nextStamp{1};

uint64_t NewStamp() noexcept
{
    return g_nextStamp.fetch_add(1, std::memory_order_relaxed);
}

// A thread's place in one child list: `block` holds the entries from index
// `base` on.
struct IndexCursor {
    uint64_t stamp;
    const ChildBlock* block;
    uint32_t base;
    uint64_t used;
};

// The places a thread keeps, for the containers it looked into by index
// last. Several, because walks nest: a parent's place must survive the walk
// of a child container. Containers whose lookups need no walk (the index in
// the first or the last block) take no place, so only large lists compete.
struct CursorCache {
    static constexpr int kPlaces = 16;
    IndexCursor places[kPlaces];
    uint64_t clock;
    uint64_t steps;
    // The place found last, tried first: a walk asks for the same list over
    // and over.
    int recent;

    IndexCursor* Find(uint64_t stamp) noexcept
    {
        if (places[recent].stamp == stamp)
            return &places[recent];
        for (int i = 0; i < kPlaces; ++i) {
            if (places[i].stamp == stamp) {
                places[i].used = ++clock;
                recent = i;
                return &places[i];
            }
        }
        return nullptr;
    }

    // The place used longest ago makes room.
    IndexCursor& Claim(uint64_t stamp) noexcept
    {
        IndexCursor* oldest = &places[0];
        for (IndexCursor& place : places) {
            if (place.used < oldest->used)
                oldest = &place;
        }
        oldest->stamp = stamp;
        oldest->used = ++clock;
        recent = int(oldest - places);
        return *oldest;
    }
};

// Zero-initialised: every stamp 0, which no list has.
thread_local CursorCache t_cursors;

// ---- lookups by name ----

// Below this many children a lookup compares names one by one: an index
// would cost more to make than it saves.
constexpr uint32_t kIndexedFrom = 32;

thread_local uint64_t t_nameSteps;

}  // namespace

// Each name present, by the identity of its interned node (which the entries
// keep alive), with the first child of that name and the number of entries
// that carry it.
struct TDBContainerTag::NameIndex {
    struct Slot {
        ACSChunk* first = nullptr;
        uint32_t count = 0;
    };
    FlatHashMap<const void*, Slot> names;

    Slot* Find(const Nyx::PString& name) noexcept { return names.Find(name.Identity()); }
    const Slot* Find(const Nyx::PString& name) const noexcept { return names.Find(name.Identity()); }

    void Add(const Nyx::PString& name, ACSChunk* chunk)
    {
        auto [slot, added] = names.Insert(name.Identity());
        if (added)
            slot->first = chunk;
        ++slot->count;
    }
};

Nyx::PString& TDBChildEntry::Name() noexcept
{
    return *std::launder(reinterpret_cast<Nyx::PString*>(nameStorage));
}

const Nyx::PString& TDBChildEntry::Name() const noexcept
{
    return *std::launder(reinterpret_cast<const Nyx::PString*>(nameStorage));
}

// ---- virtual operations ----

TDBContainerTag::TDBContainerTag() noexcept : stamp_(NewStamp()) {}

TDBContainerTag::~TDBContainerTag()
{
    DropNames();
    // Detached first: releasing a child may run arbitrary destructors, and
    // none of them must find this ring half torn down.
    ChildRing ring(std::move(children_));
    count_ = 0;
    for (TDBChildEntry& entry : ring)
        ReleaseEntry(entry);
}

ChunkRef TDBContainerTag::FindChild(const Nyx::PString& name)
{
    return FindChildConst(name);
}

ChunkRef TDBContainerTag::FindChildConst(const Nyx::PString& name) const
{
    if (const NameIndex* index = Names()) {
        ++t_nameSteps;
        const NameIndex::Slot* slot = index->Find(name);
        return slot ? ChunkRef(slot->first) : ChunkRef::SharedEmpty();
    }
    uint64_t steps = 0;
    for (const TDBChildEntry& entry : children_) {
        ++steps;
        if (entry.Name() == name) {
            t_nameSteps += steps;
            return ChunkRef(entry.chunk);
        }
    }
    t_nameSteps += steps;
    return ChunkRef::SharedEmpty();
}

const TDBContainerTag::NameIndex* TDBContainerTag::Names() const
{
    NameIndex* index = names_.load(std::memory_order_acquire);
    if (index || count_ < kIndexedFrom)
        return index;
    auto made = std::make_unique<NameIndex>();
    made->names.Reserve(count_);
    for (const TDBChildEntry& entry : children_)
        made->Add(entry.Name(), entry.chunk);
    // Another thread may have made one meanwhile; its index is as good.
    NameIndex* expected = nullptr;
    if (names_.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel, std::memory_order_acquire))
        return made.release();
    return expected;
}

void TDBContainerTag::DropNames() noexcept
{
    delete names_.exchange(nullptr, std::memory_order_relaxed);
}

uint64_t TDBContainerTag::ThreadNameSteps() noexcept
{
    return t_nameSteps;
}

uint32_t TDBContainerTag::GetChildCount() const
{
    return count_;
}

bool TDBContainerTag::GetChildAt(uint32_t index, Nyx::PString& name, ChunkRef& chunk) const
{
    const TDBChildEntry* entry = EntryAt(index);
    if (!entry) {
        name = Nyx::PString();
        chunk = ChunkRef::SharedEmpty();
        return false;
    }
    name = entry->Name();
    chunk = ChunkRef(entry->chunk);
    return true;
}

const TDBChildEntry* TDBContainerTag::EntryAt(uint32_t index) const noexcept
{
    if (index >= count_)
        return nullptr;
    const ChildBlock* first = children_.FirstBlock();
    if (index < first->count)
        return &first->entries[index];
    const ChildBlock* last = first->prev;
    uint32_t lastBase = count_ - last->count;
    if (index >= lastBase)
        return &last->entries[index - lastBase];

    // In between: walk from whichever is nearest, the start, the end or
    // where this thread's last lookup in this list stopped.
    const ChildBlock* block = first;
    uint32_t base = 0;
    uint32_t distance = index;
    if (lastBase - index < distance) {
        block = last;
        base = lastBase;
        distance = lastBase - index;
    }
    CursorCache& cache = t_cursors;
    IndexCursor* cursor = cache.Find(stamp_);
    if (cursor) {
        uint32_t from = cursor->base;
        uint32_t away = index < from ? from - index : index - from < cursor->block->count ? 0 : index - from;
        if (away <= distance) {
            block = cursor->block;
            base = from;
        }
    }
    uint64_t steps = 0;
    while (index >= base + block->count) {
        base += block->count;
        block = block->next;
        ++steps;
    }
    while (index < base) {
        block = block->prev;
        base -= block->count;
        ++steps;
    }
    if (!cursor)
        cursor = &cache.Claim(stamp_);
    cursor->block = block;
    cursor->base = base;
    cache.steps += steps;
    return &block->entries[index - base];
}

uint64_t TDBContainerTag::ThreadIndexSteps() noexcept
{
    return t_cursors.steps;
}

void TDBContainerTag::Restamp() noexcept
{
    stamp_ = NewStamp();
}

void TDBContainerTag::SortChildren()
{
    uint32_t count = count_;
    if (count < 2)
        return;
    Restamp();
    DropNames();
    std::vector<TDBChildEntry> entries;
    entries.reserve(count);
    for (const TDBChildEntry& entry : children_)
        entries.push_back(entry);
    QuickSort(entries.data(), 0, int64_t(count) - 1);
    // Back into the same slots: the block layout stays as it was.
    size_t i = 0;
    for (TDBChildEntry& entry : children_)
        std::memcpy(static_cast<void*>(&entry), &entries[i++], sizeof entry);
}

void TDBContainerTag::SwapChildren(ChunkRef a, ChunkRef b)
{
    TDBChildEntry* slotA = nullptr;
    TDBChildEntry* slotB = nullptr;
    for (TDBChildEntry& entry : children_) {
        if (entry.chunk == a.Get())
            slotA = &entry;
        else if (entry.chunk == b.Get())
            slotB = &entry;
    }
    if (slotA && slotB) {
        std::swap(slotA->chunk, slotB->chunk);
        Restamp();
        DropNames();
    }
}

void TDBContainerTag::AddChild(const Nyx::PString& name, ChunkRef chunk)
{
    if (!chunk)
        return;
    ACSChunk* added = chunk.Get();
    // No new stamp: appending moves no entry and frees no block, so every
    // place remembered in this list still holds.
    children_.Append(MakeEntry(name, std::move(chunk)));
    ++count_;
    if (added == ACSChunk::SharedEmpty())
        ++sharedEmptyCount_;
    if (NameIndex* index = names_.load(std::memory_order_relaxed)) {
        try {
            index->Add(name, added);
        } catch (...) {
            DropNames();
            throw;
        }
    }
}

void TDBContainerTag::RemoveChild(ChunkRef chunk)
{
    // No entry holds null, and a name looked up in vain gives the shared
    // empty chunk: neither needs a walk when nothing can match.
    if (!chunk || (chunk.Get() == ACSChunk::SharedEmpty() && sharedEmptyCount_ == 0))
        return;
    for (ChildRing::Iterator it = children_.IteratorBegin(); !it.AtEnd(); ++it) {
        if (it->chunk == chunk.Get()) {
            // Out of the ring before its references go: the release may
            // destroy a subtree.
            TDBChildEntry removed = *it;
            children_.Erase(it);
            --count_;
            Restamp();
            if (removed.chunk == ACSChunk::SharedEmpty())
                --sharedEmptyCount_;
            if (NameIndex* index = names_.load(std::memory_order_relaxed)) {
                // The entry is the first of its name exactly when the index
                // names its chunk (it is the first entry holding that
                // chunk). Finding the next of the name would be a walk; the
                // next lookup makes the index afresh instead.
                NameIndex::Slot* slot = index->Find(removed.Name());
                if (slot && slot->count > 1 && slot->first != removed.chunk)
                    --slot->count;
                else if (slot && slot->count == 1)
                    index->names.Erase(removed.Name().Identity());
                else
                    DropNames();
            }
            ReleaseEntry(removed);
            return;
        }
    }
}

void TDBContainerTag::TakeChildren(TDBContainerTag& from)
{
    if (&from == this || from.count_ == 0)
        return;
    if (count_ == 0) {
        children_ = std::move(from.children_);
    } else {
        // The entries change rings as plain bytes, references and all.
        for (const TDBChildEntry& entry : from.children_)
            children_.Append(entry);
        from.children_.Clear();
    }
    count_ += from.count_;
    from.count_ = 0;
    sharedEmptyCount_ += from.sharedEmptyCount_;
    from.sharedEmptyCount_ = 0;
    Restamp();
    from.Restamp();
    DropNames();
    from.DropNames();
}

ChunkRef TDBContainerTag::CreateChunk(ACSValueType kind, ACSRawData data)
{
    if (kind == ACS_TYPE_CONTAINER)
        return ChunkRef(new TDBContainerTag);
    ChunkRef tag(new TDBDataTag);
    tag->SetValue(kind, std::move(data));
    return tag;
}

// ---- reference-level getters ----

namespace {

// The first child of the name when it holds a value (or is a container).
ChunkRef TypedChild(const ChunkRef& ref, const Nyx::PString& name)
{
    if (!ref)
        return {};
    ChunkRef child = ref->FindChildConst(name);
    if (child.IsNullOrUntyped())
        return {};
    return child;
}

ACSRawData ConvertedValue(const ChunkRef& child, ACSValueType type)
{
    return ACSConvert(child->GetType(), ACSRawData::FromChunk(child), type);
}

}  // namespace

Nyx::PString TDBContainerTag::GetChildName(const ChunkRef& ref, uint32_t index)
{
    Nyx::PString name;
    if (ref) {
        ChunkRef chunk;
        ref->GetChildAt(index, name, chunk);
    }
    return name;
}

ChunkRef TDBContainerTag::GetChildContainer(const ChunkRef& ref, const Nyx::PString& name)
{
    ChunkRef child = TypedChild(ref, name);
    if (child && child->GetType() == ACS_TYPE_CONTAINER)
        return child;
    return {};
}

ChunkRef TDBContainerTag::GetChildContainerAt(const ChunkRef& ref, uint32_t index)
{
    Nyx::PString name;
    return GetChildContainerAt(ref, index, name);
}

ChunkRef TDBContainerTag::GetChildContainerAt(const ChunkRef& ref, uint32_t index, Nyx::PString& name)
{
    name = Nyx::PString();
    if (!ref)
        return {};
    ChunkRef child;
    if (!ref->GetChildAt(index, name, child))
        return {};
    if (child.IsReal() && child->GetType() == ACS_TYPE_CONTAINER)
        return child;
    return {};
}

ACSValueType TDBContainerTag::GetChildType(const ChunkRef& ref, const Nyx::PString& name)
{
    if (!ref)
        return ACS_TYPE_NONE;
    ChunkRef child = ref->FindChildConst(name);
    return child ? child->GetType() : ACS_TYPE_NONE;
}

bool TDBContainerTag::HasChild(const ChunkRef& ref, const Nyx::PString& name)
{
    return static_cast<bool>(TypedChild(ref, name));
}

ACSRawData TDBContainerTag::GetRawData(const ChunkRef& ref, const Nyx::PString& name)
{
    ChunkRef child = TypedChild(ref, name);
    return child ? ACSRawData::FromChunk(child) : ACSRawData();
}

int32_t TDBContainerTag::GetInt(const ChunkRef& ref, const Nyx::PString& name, int32_t def)
{
    ChunkRef child = TypedChild(ref, name);
    if (!child)
        return def;
    ACSRawData value = ConvertedValue(child, ACS_TYPE_INT);
    return value.Size() == 4 ? static_cast<int32_t>(LoadLE32(value.Data())) : def;
}

bool TDBContainerTag::GetBool(const ChunkRef& ref, const Nyx::PString& name, bool def)
{
    return GetInt(ref, name, def ? 1 : 0) != 0;
}

float TDBContainerTag::GetFloat(const ChunkRef& ref, const Nyx::PString& name, float def)
{
    ChunkRef child = TypedChild(ref, name);
    if (!child)
        return def;
    ACSRawData value = ConvertedValue(child, ACS_TYPE_FLOAT);
    return value.Size() == 4 ? FloatFromBits(LoadLE32(value.Data())) : def;
}

KUID TDBContainerTag::GetKUID(const ChunkRef& ref, const Nyx::PString& name, const KUID& def)
{
    ChunkRef child = TypedChild(ref, name);
    if (!child)
        return def;
    ACSRawData value = ConvertedValue(child, ACS_TYPE_KUID);
    return value.Size() == KUID::kPackedSize ? KUID::FromChunk(value.Data()) : def;
}

Nyx::PString TDBContainerTag::GetString(const ChunkRef& ref, const Nyx::PString& name)
{
    ChunkRef child = TypedChild(ref, name);
    if (!child)
        return {};
    return Nyx::PString(RawDataText(ConvertedValue(child, ACS_TYPE_STRING)));
}

Nyx::PString TDBContainerTag::GetString(const ChunkRef& ref, const Nyx::PString& name, const Nyx::PString& def)
{
    ChunkRef child = TypedChild(ref, name);
    if (!child)
        return def;
    ACSRawData value = ConvertedValue(child, ACS_TYPE_STRING);
    if (value.Size() == 0)
        return child->GetType() == ACS_TYPE_STRING ? Nyx::PString() : def;
    return Nyx::PString(RawDataText(value));
}

bool TDBContainerTag::GetFloatArray(const ChunkRef& ref, const Nyx::PString& name, FloatArray& out)
{
    out.Clear();
    ChunkRef child = TypedChild(ref, name);
    if (!child)
        return false;
    ACSRawData value = ConvertedValue(child, ACS_TYPE_FLOAT);
    uint32_t count = value.Size() / 4;
    out.Resize(count);
    for (uint32_t i = 0; i < count; ++i)
        out[i] = FloatFromBits(LoadLE32(value.Data() + 4 * i));
    return count > 0;
}

// ---- reference-level setters ----

void TDBContainerTag::Replace(ChunkRef& ref, const Nyx::PString& name, ACSValueType type, ACSRawData data)
{
    ref.EnsureContainer();
    RemoveChild(ref, name);
    ChunkRef child = ref->CreateChunk(type, std::move(data));
    ref->AddChild(name, std::move(child));
}

void TDBContainerTag::SetInt(ChunkRef& ref, const Nyx::PString& name, int32_t value)
{
    uint8_t bytes[4];
    StoreLE32(bytes, static_cast<uint32_t>(value));
    Replace(ref, name, ACS_TYPE_INT, ACSRawData::Copy(bytes, sizeof bytes));
}

void TDBContainerTag::SetBool(ChunkRef& ref, const Nyx::PString& name, bool value)
{
    SetInt(ref, name, value ? 1 : 0);
}

void TDBContainerTag::SetFloat(ChunkRef& ref, const Nyx::PString& name, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    uint8_t bytes[4];
    StoreLE32(bytes, bits);
    Replace(ref, name, ACS_TYPE_FLOAT, ACSRawData::Copy(bytes, sizeof bytes));
}

void TDBContainerTag::SetKUID(ChunkRef& ref, const Nyx::PString& name, const KUID& value)
{
    uint8_t bytes[KUID::kPackedSize];
    value.ToChunk(bytes);
    Replace(ref, name, ACS_TYPE_KUID, ACSRawData::Copy(bytes, sizeof bytes));
}

void TDBContainerTag::SetString(ChunkRef& ref, const Nyx::PString& name, const Nyx::PString& value)
{
    // The empty string has no bytes; Copy of length 0 gives exactly that.
    uint32_t size = value.Empty() ? 0 : value.Length() + 1;
    Replace(ref, name, ACS_TYPE_STRING, ACSRawData::Copy(value.c_str(), size));
}

void TDBContainerTag::SetNumberList(ChunkRef& ref, const Nyx::PString& name, const FloatArray& values)
{
    // The value's size is a u32 like every size of the format: a list too
    // long for it cannot be stored and is treated as empty.
    if (values.Count() == 0 || values.Count() > UINT32_MAX / 4) {
        ref.EnsureContainer();
        RemoveChild(ref, name);
        return;
    }
    std::vector<uint8_t> bytes(size_t(values.Count()) * 4);
    for (uint32_t i = 0; i < values.Count(); ++i) {
        uint32_t bits;
        float v = values[i];
        std::memcpy(&bits, &v, sizeof bits);
        StoreLE32(bytes.data() + 4 * i, bits);
    }
    Replace(ref, name, ACS_TYPE_FLOAT, ACSRawData::Copy(bytes.data(), static_cast<uint32_t>(bytes.size())));
}

void TDBContainerTag::SetNone(ChunkRef& ref, const Nyx::PString& name)
{
    Replace(ref, name, ACS_TYPE_NONE, ACSRawData());
}

void TDBContainerTag::SetChildContainer(ChunkRef& ref, const Nyx::PString& name, ChunkRef& child)
{
    ref.EnsureContainer();
    child.EnsureContainer();
    RemoveChild(ref, name);
    ref->AddChild(name, child);
}

void TDBContainerTag::RemoveChild(const ChunkRef& ref, const Nyx::PString& name)
{
    if (!ref)
        return;
    ChunkRef found = ref->FindChildConst(name);
    // The shared empty chunk also stands for a name that is absent, which
    // must not take away another child that happens to hold it.
    if (found.Get() == ACSChunk::SharedEmpty()) {
        const auto* container = dynamic_cast<const TDBContainerTag*>(ref.Get());
        if (!container || container->sharedEmptyCount_ == 0 || !container->HoldsName(name))
            return;
    }
    ref->RemoveChild(std::move(found));
}

bool TDBContainerTag::HoldsName(const Nyx::PString& name) const
{
    if (const NameIndex* index = Names())
        return index->Find(name) != nullptr;
    for (const TDBChildEntry& entry : children_)
        if (entry.Name() == name)
            return true;
    return false;
}
