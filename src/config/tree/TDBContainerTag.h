// A config tree node holding named children, and the operations through
// which the rest of the program reads and edits a tree.
//
// Children keep the order they were added in; names need not be unique, and
// every lookup takes the first entry of a name. Names are interned, so a
// lookup compares string identities, never texts; the tree folds no case.
//
// A container of many children also keeps an index from each name to the
// first child of that name, made by the first lookup by name and kept up by
// every later change, so looking a name up does not walk the children.
//
// Children live in blocks of 13, so finding the one at an index means walking
// the blocks. Each thread remembers where its lookups by index stopped in the
// few containers it looked into last and goes on from there, so walking all
// children in order (forwards or backwards) costs one pass over the blocks.
// Those places are the thread's own: a tree may be read from several threads
// at once without any lock, as long as nobody changes it meanwhile.
//
// The static operations take the reference that holds the tree. Getters never
// fail: a null reference, an absent child, a child without a value or a value
// that does not convert gives the default. Setters create the container when
// the reference is null, remove the first child of the name and append the
// new child at the end.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "config/tree/FloatArray.h"
#include "config/kuid/KUID.h"
#include "core/containers/BlockRing.h"
#include "nyx/base/PString.h"

// One child as the ring stores it. The ring moves entries as plain bytes,
// so the name lives in raw storage: a PString is a single pointer to its
// interned node and may be relocated that way. The entry holds one reference
// on the name's node and one on the chunk.
struct TDBChildEntry {
    alignas(Nyx::PString) unsigned char nameStorage[sizeof(Nyx::PString)];
    ACSChunk* chunk;

    Nyx::PString& Name() noexcept;
    const Nyx::PString& Name() const noexcept;
};

class TDBContainerTag : public ACSChunk {
public:
    using ChildRing = BlockRing<TDBChildEntry, 13>;

    TDBContainerTag() noexcept;
    ~TDBContainerTag() override;

    ChunkRef FindChild(const Nyx::PString& name) override;
    ChunkRef FindChildConst(const Nyx::PString& name) const override;
    uint32_t GetChildCount() const override;
    bool GetChildAt(uint32_t index, Nyx::PString& name, ChunkRef& chunk) const override;
    // Ascending by the name texts as unsigned bytes (upper case before lower
    // case); children of equal names end in no defined order.
    void SortChildren() override;
    // The last entry holding a and the last other entry holding b exchange
    // their chunks; each keeps its name.
    void SwapChildren(ChunkRef a, ChunkRef b) override;
    // Appends without looking for the name; a null chunk is ignored.
    void AddChild(const Nyx::PString& name, ChunkRef chunk) override;
    // Erases the first entry holding the chunk, keeping the others in order.
    void RemoveChild(ChunkRef chunk) override;
    ChunkRef CreateChunk(ACSValueType kind, ACSRawData data) override;
    ACSValueType GetType() const override { return ACS_TYPE_CONTAINER; }

    // Appends every child of `from`, in order, and leaves it without
    // children; no reference changes hands, and nothing is copied when this
    // container has no children yet.
    void TakeChildren(TDBContainerTag& from);

    // Blocks stepped over by lookups by index on the calling thread, over the
    // thread's life: what walking children costs, for tests.
    static uint64_t ThreadIndexSteps() noexcept;
    // Children compared by lookups by name on the calling thread, over the
    // thread's life: what finding children by name costs, for tests.
    static uint64_t ThreadNameSteps() noexcept;

    // ---- reference-level operations ----

    // The name of the child at the index; empty for a null reference or an
    // index out of range.
    static Nyx::PString GetChildName(const ChunkRef& ref, uint32_t index);
    // The first child of the name when it is a container, else null (never
    // the shared empty chunk).
    static ChunkRef GetChildContainer(const ChunkRef& ref, const Nyx::PString& name);
    // The child at the index when it is a container, else null; the second
    // form also gives the child's name (empty out of range).
    static ChunkRef GetChildContainerAt(const ChunkRef& ref, uint32_t index);
    static ChunkRef GetChildContainerAt(const ChunkRef& ref, uint32_t index, Nyx::PString& name);
    // Type of the first child of the name; ACS_TYPE_NONE when absent.
    static ACSValueType GetChildType(const ChunkRef& ref, const Nyx::PString& name);
    // A child of the name exists and has a value type.
    static bool HasChild(const ChunkRef& ref, const Nyx::PString& name);
    // The bytes of the first child of the name, borrowed from it.
    static ACSRawData GetRawData(const ChunkRef& ref, const Nyx::PString& name);

    // Typed getters: the child's value converted to the getter's type, used
    // only when the result has exactly the size of that type.
    static int32_t GetInt(const ChunkRef& ref, const Nyx::PString& name, int32_t def);
    static bool GetBool(const ChunkRef& ref, const Nyx::PString& name, bool def);
    // A list of two or more values gives the default.
    static float GetFloat(const ChunkRef& ref, const Nyx::PString& name, float def);
    static KUID GetKUID(const ChunkRef& ref, const Nyx::PString& name, const KUID& def);
    // The text up to its first NUL or the value's end; the empty string when
    // there is none.
    static Nyx::PString GetString(const ChunkRef& ref, const Nyx::PString& name);
    // The same, but the default when there is no text to give, except that a
    // string child holding the empty string gives the empty string.
    static Nyx::PString GetString(const ChunkRef& ref, const Nyx::PString& name, const Nyx::PString& def);
    // Every whole 4-byte value of the child as floats; true when there was
    // at least one.
    static bool GetFloatArray(const ChunkRef& ref, const Nyx::PString& name, FloatArray& out);

    static void SetInt(ChunkRef& ref, const Nyx::PString& name, int32_t value);
    static void SetBool(ChunkRef& ref, const Nyx::PString& name, bool value);
    static void SetFloat(ChunkRef& ref, const Nyx::PString& name, float value);
    static void SetKUID(ChunkRef& ref, const Nyx::PString& name, const KUID& value);
    // The empty string still makes a (string-typed) child.
    static void SetString(ChunkRef& ref, const Nyx::PString& name, const Nyx::PString& value);
    // An empty array only removes the old child.
    static void SetNumberList(ChunkRef& ref, const Nyx::PString& name, const FloatArray& values);
    // A child that has a name and no value.
    static void SetNone(ChunkRef& ref, const Nyx::PString& name);
    // Attaches the child container itself, not a copy; a null child
    // reference first receives a new empty container. The caller must not
    // attach a container below itself.
    static void SetChildContainer(ChunkRef& ref, const Nyx::PString& name, ChunkRef& child);
    // Removes the first child of the name; nothing when there is none.
    static void RemoveChild(const ChunkRef& ref, const Nyx::PString& name);

private:
    struct NameIndex;

    static void Replace(ChunkRef& ref, const Nyx::PString& name, ACSValueType type, ACSRawData data);

    // The entry at the index, null at or past the count.
    const TDBChildEntry* EntryAt(uint32_t index) const noexcept;
    // Gives the child list a stamp no list ever had: the places threads
    // remember in it no longer count.
    void Restamp() noexcept;
    // The index of names, made when the container has enough children to
    // need one and none was made yet; null for a small container.
    const NameIndex* Names() const;
    // Forgets the index; the next lookup makes it afresh.
    void DropNames() noexcept;
    bool HoldsName(const Nyx::PString& name) const;

    ChildRing children_;
    // Kept beside the ring, which can only count its blocks one by one.
    uint32_t count_ = 0;
    // Names this container's child list while its blocks and the entries
    // before each block stay as they are; see Restamp.
    uint64_t stamp_;
    // Entries holding the shared empty chunk, which a removal of a name
    // that is absent would otherwise look for in vain.
    uint32_t sharedEmptyCount_ = 0;
    // Made by a lookup, which may run on several threads at once: the first
    // index published is kept. Changes of the list keep it up or drop it;
    // nobody reads while the list changes.
    mutable std::atomic<NameIndex*> names_{nullptr};
};
