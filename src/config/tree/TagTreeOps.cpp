#include "config/tree/TagTreeOps.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "config/tree/ACSConvert.h"
#include "config/tree/TDBContainerTag.h"

namespace {

// Adds to `into` a copy of every child of the source, made by `into`'s
// CreateChunk with the child's value (borrowed, not copied), and so on down.
// False as soon as a chunk to copy from lies deeper than the limit; `into`
// then holds part of the copy.
bool CopyChildren(const ChunkRef& into, const ChunkRef& source, int level)
{
    uint32_t count = source->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!source->GetChildAt(i, name, child) || !child)
            continue;
        ACSValueType type = child->GetType();
        // A container's value is never looked at; a value's bytes are
        // shared with the source.
        bool hasValue = type != ACS_TYPE_NONE && type != ACS_TYPE_CONTAINER;
        ChunkRef copy = into->CreateChunk(type, hasValue ? ACSRawData::FromChunk(child) : ACSRawData());
        if (type == ACS_TYPE_CONTAINER || child->GetChildCount() != 0) {
            if (level + 1 > kMaxTreeDepth || !CopyChildren(copy, child, level + 1))
                return false;
        }
        into->AddChild(name, std::move(copy));
    }
    return true;
}

// Removes every child of the chunk. Listed first, in order, so that each
// removal finds its child at the front of a built container.
void RemoveAllChildren(const ChunkRef& chunk)
{
    uint32_t count = chunk->GetChildCount();
    std::vector<ChunkRef> children;
    children.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (chunk->GetChildAt(i, name, child))
            children.push_back(std::move(child));
    }
    for (ChunkRef& child : children)
        chunk->RemoveChild(std::move(child));
}

// A ring being filled with distinct KUIDs. A tree may name tens of
// thousands, so whether one is already there is asked of a hash set that
// follows the ring, never of the ring itself.
class DistinctAppender {
public:
    explicit DistinctAppender(KUIDRing& ring) : ring_(ring)
    {
        for (const KUID& kuid : ring)
            seen_.insert(kuid);
    }
    void Append(const KUID& kuid)
    {
        if (!kuid.IsNull() && seen_.insert(kuid).second)
            ring_.Append(kuid);
    }

private:
    struct Hash {
        size_t operator()(const KUID& k) const noexcept
        {
            const uint64_t words = (uint64_t(uint32_t(k.user)) << 32) | uint32_t(k.content);
            return std::hash<uint64_t>()(words * 0x9E3779B97F4A7C15ull ^ uint32_t(k.version));
        }
    };
    KUIDRing& ring_;
    std::unordered_set<KUID, Hash> seen_;
};

// The KUID a value converts to, when the conversion gives a whole one.
KUID ValueAsKUID(const ChunkRef& chunk)
{
    ACSRawData value = ACSConvert(chunk->GetType(), ACSRawData::FromChunk(chunk), ACS_TYPE_KUID);
    return value.Size() == KUID::kPackedSize ? KUID::FromChunk(value.Data()) : KUID::Null;
}

bool CollectFrom(const ChunkRef& container, DistinctAppender& ring, int level)
{
    bool complete = true;
    uint32_t count = container->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!container->GetChildAt(i, name, child) || !child)
            continue;
        switch (child->GetType()) {
        case ACS_TYPE_STRING: {
            // Strict: only a text that is one complete KUID names an asset.
            std::string text(RawDataText(ACSRawData::FromChunk(child)));
            ring.Append(KUID::Parse(text.c_str(), true));
            break;
        }
        case ACS_TYPE_KUID:
            ring.Append(ValueAsKUID(child));
            break;
        case ACS_TYPE_CONTAINER:
            if (level + 1 > kMaxTreeDepth)
                complete = false;
            else if (!CollectFrom(child, ring, level + 1))
                complete = false;
            break;
        default:
            break;
        }
    }
    return complete;
}

}  // namespace

bool CopyChunk(const ChunkRef& destination, const ChunkRef& source)
{
    if (!destination)
        return false;
    if (destination == source)
        return true;
    // Copied aside in a single pass: nesting too deep only shows on the way,
    // and the destination must then be left as it was.
    ChunkRef copy(new TDBContainerTag);
    if (source && !CopyChildren(copy, source, 0))
        return false;

    ACSValueType type = source ? source->GetType() : ACS_TYPE_NONE;
    if (type != ACS_TYPE_NONE)
        destination->SetValue(type, ACSRawData::FromChunk(source));
    RemoveAllChildren(destination);
    auto& children = static_cast<TDBContainerTag&>(*copy);
    if (auto* built = dynamic_cast<TDBContainerTag*>(destination.Get())) {
        built->TakeChildren(children);
        return true;
    }
    uint32_t count = children.GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (children.GetChildAt(i, name, child))
            destination->AddChild(name, std::move(child));
    }
    return true;
}

bool CollectReferencedKUIDs(const ChunkRef& container, KUIDRing& ring)
{
    if (!container)
        return true;
    DistinctAppender appender(ring);
    return CollectFrom(container, appender, 0);
}

void CollectChildKUIDs(const ChunkRef& container, KUIDRing& ring)
{
    if (!container)
        return;
    DistinctAppender appender(ring);
    uint32_t count = container->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (container->GetChildAt(i, name, child) && !child.IsNullOrUntyped())
            appender.Append(ValueAsKUID(child));
    }
}

ChunkRef KUIDListToContainer(const KUIDRing& ring)
{
    ChunkRef result;
    uint32_t stored = 0;
    for (const KUID& kuid : ring) {
        if (kuid.IsNull())
            continue;
        // Every name is new, so this is what setting the value would do
        // without looking for a child to replace among all those before.
        result.EnsureContainer();
        uint8_t bytes[KUID::kPackedSize];
        kuid.ToChunk(bytes);
        result->AddChild(Nyx::PString(std::to_string(stored)),
                         result->CreateChunk(ACS_TYPE_KUID, ACSRawData::Copy(bytes, sizeof bytes)));
        ++stored;
    }
    return result;
}
