#include "kad/requests/KUIDListWire.h"

#include "core/streams/TStream.h"

uint32_t StreamBytesLeft(TStream& s)
{
    uint32_t here = s.Tell();
    uint32_t size = s.GetSize();
    return size > here ? size - here : 0;
}

void WriteKUIDList(TStream& out, std::span<const KUID> kuids)
{
    out.WriteInt32(static_cast<uint32_t>(kuids.size()));
    for (const KUID& k : kuids)
        WriteKUID(out, k);
}

void WriteKUIDList(TStream& out, const KUIDRing& kuids)
{
    out.WriteInt32(kuids.Count());
    for (const KUID& k : kuids)
        WriteKUID(out, k);
}

bool ReadKUIDList(TStream& in, KUIDRing& out)
{
    uint32_t count;
    in.ReadInt32(count, 0);
    // Trusting the count would append one phantom null KUID per missing
    // entry: four billion of them for a count of 0xFFFFFFFF.
    uint32_t whole = StreamBytesLeft(in) / KUID::kPackedSize;
    bool complete = count <= whole;
    if (!complete)
        count = whole;
    for (uint32_t i = 0; i < count; ++i) {
        KUID k;
        ReadKUID(in, k);
        out.Append(k);
    }
    if (!complete)
        in.SetError(TStream::kErrShortRecord);
    return complete;
}
