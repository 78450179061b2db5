#include "config/TagTreeOps.h"

#include <string>
#include <utility>

#include "config/ACSConvert.h"
#include "config/TDBContainerTag.h"

namespace {

// Every chunk of the source that copying would recurse into lies within the
// depth limit.
bool DepthFits(const ChunkRef& chunk, int level)
{
    uint32_t count = chunk->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!chunk->GetChildAt(i, name, child) || !child)
            continue;
        if (child->GetType() != ACS_TYPE_CONTAINER && child->GetChildCount() == 0)
            continue;
        if (level + 1 > kMaxTreeDepth || !DepthFits(child, level + 1))
            return false;
    }
    return true;
}

void CopyInto(const ChunkRef& destination, const ChunkRef& source)
{
    ACSValueType type = source ? source->GetType() : ACS_TYPE_NONE;
    if (type != ACS_TYPE_NONE)
        destination->SetValue(type, ACSRawData::FromChunk(source));

    // From the last child down, so each removal leaves the indices still to
    // visit in place.
    for (uint32_t i = destination->GetChildCount(); i-- > 0;) {
        Nyx::PString name;
        ChunkRef child;
        if (destination->GetChildAt(i, name, child))
            destination->RemoveChild(std::move(child));
    }

    if (!source)
        return;
    uint32_t count = source->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!source->GetChildAt(i, name, child))
            continue;
        ChunkRef copy = destination->CreateChunk(child->GetType(), ACSRawData());
        CopyInto(copy, child);
        destination->AddChild(name, std::move(copy));
    }
}

void AppendNew(KUIDRing& ring, const KUID& kuid)
{
    if (!kuid.IsNull() && ring.Find(kuid).AtEnd())
        ring.Append(kuid);
}

// The KUID a value converts to, when the conversion gives a whole one.
KUID ValueAsKUID(const ChunkRef& chunk)
{
    ACSRawData value = ACSConvert(chunk->GetType(), ACSRawData::FromChunk(chunk), ACS_TYPE_KUID);
    return value.Size() == KUID::kPackedSize ? KUID::FromChunk(value.Data()) : KUID::Null;
}

bool CollectFrom(const ChunkRef& container, KUIDRing& ring, int level)
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
            AppendNew(ring, KUID::Parse(text.c_str(), true));
            break;
        }
        case ACS_TYPE_KUID:
            AppendNew(ring, ValueAsKUID(child));
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
    if (source && !DepthFits(source, 0))
        return false;
    CopyInto(destination, source);
    return true;
}

bool CollectReferencedKUIDs(const ChunkRef& container, KUIDRing& ring)
{
    if (!container)
        return true;
    return CollectFrom(container, ring, 0);
}

void CollectChildKUIDs(const ChunkRef& container, KUIDRing& ring)
{
    if (!container)
        return;
    uint32_t count = container->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (container->GetChildAt(i, name, child) && !child.IsNullOrUntyped())
            AppendNew(ring, ValueAsKUID(child));
    }
}

ChunkRef KUIDListToContainer(const KUIDRing& ring)
{
    ChunkRef result;
    uint32_t stored = 0;
    for (const KUID& kuid : ring) {
        if (kuid.IsNull())
            continue;
        TDBContainerTag::SetKUID(result, Nyx::PString(std::to_string(stored)), kuid);
        ++stored;
    }
    return result;
}
