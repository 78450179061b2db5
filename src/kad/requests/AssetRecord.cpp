#include "kad/requests/AssetRecord.h"

#include "core/streams/TStream.h"

namespace {

// Byte and bit of a flag: the two runs start on byte boundaries of their own.
inline bool FlagPosition(uint32_t index, uint32_t& byte, uint8_t& bit) noexcept
{
    if (index >= AssetRecord::kFlagCount)
        return false;
    if (index < AssetRecord::kFirstFlagRun) {
        byte = index / 8;
        bit = static_cast<uint8_t>(1u << (index % 8));
    } else {
        byte = 3;
        bit = static_cast<uint8_t>(1u << (index - AssetRecord::kFirstFlagRun));
    }
    return true;
}

}  // namespace

bool AssetRecord::GetFlag(uint32_t index) const noexcept
{
    uint32_t byte;
    uint8_t bit;
    return FlagPosition(index, byte, bit) && (flagBytes[byte] & bit) != 0;
}

void AssetRecord::SetFlag(uint32_t index, bool on) noexcept
{
    uint32_t byte;
    uint8_t bit;
    if (!FlagPosition(index, byte, bit))
        return;
    if (on)
        flagBytes[byte] = static_cast<uint8_t>(flagBytes[byte] | bit);
    else
        flagBytes[byte] = static_cast<uint8_t>(flagBytes[byte] & ~bit);
}

bool AssetRecord::Parse(TStream& in, AssetRecord& out)
{
    ReadKUID(in, out.kuid);
    in.ReadString(out.displayName);
    in.ReadString(out.regionText);
    in.ReadString(out.keywordText);

    for (uint8_t& b : out.flagBytes)
        b = 0;
    for (uint32_t i = 0; i < kFirstFlagRun; ++i) {
        bool on;
        in.ReadBool(on, false);
        out.SetFlag(i, on);
    }

    uint32_t number;
    in.ReadInt32(number, 0);
    out.authorId = static_cast<int32_t>(number);
    in.ReadPString(out.firstGroupKey);
    in.ReadString(out.eraText);
    in.ReadInt32(number, 0);
    out.secondGroupNumber = static_cast<int32_t>(number);
    in.ReadPString(out.secondGroupKey);
    in.ReadString(out.categoryText);

    for (uint32_t i = kFirstFlagRun; i < kFlagCount; ++i) {
        bool on;
        in.ReadBool(on, false);
        out.SetFlag(i, on);
    }

    in.ReadInt32(number, 0);
    out.favouriteState = static_cast<uint8_t>(number);
    in.ReadFloat(out.build, 0.0f);
    in.ReadUInt64(out.installTime, 0);
    in.ReadUInt64(out.modifiedTime, 0);
    ReadKUID(in, out.parentKUID);
    in.ReadBool(out.known, false);
    return true;
}

void WriteAssetInfo(TStream& out, const AssetRecord& record)
{
    WriteKUID(out, record.kuid);
    out.WriteString(record.displayName);
    out.WriteString(record.regionText);
    out.WriteString(record.keywordText);
    for (uint32_t i = 0; i < AssetRecord::kFirstFlagRun; ++i)
        out.WriteBool(record.GetFlag(i));
    out.WriteInt32(record.authorId);
    out.WritePString(record.firstGroupKey);
    out.WriteString(record.eraText);
    out.WriteInt32(record.secondGroupNumber);
    out.WritePString(record.secondGroupKey);
    out.WriteString(record.categoryText);
    for (uint32_t i = AssetRecord::kFirstFlagRun; i < AssetRecord::kFlagCount; ++i)
        out.WriteBool(record.GetFlag(i));
    out.WriteInt32(uint32_t(record.favouriteState));
    out.WriteFloat(record.build);
    out.WriteUInt64(record.installTime);
    out.WriteUInt64(record.modifiedTime);
    WriteKUID(out, record.parentKUID);
    out.WriteBool(record.known);
}
