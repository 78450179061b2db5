// What the daemon knows about one asset: the reply of request 21, read by
// the client and written by the stand-in daemon through the same pair of
// functions, so the record's wire form exists in one place.
//
// Wire form, in order (little-endian): KUID; three Strings; 18 bools (flags
// 0 to 17); u32, PString, String (first group); u32, PString, String (second
// group); 3 bools (flags 18 to 20); u32 of which only the low byte is kept;
// float; u64; u64; KUID; bool (known).
#pragma once

#include <cstdint>

#include "config/kuid/KUID.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class TStream;

struct AssetRecord {
    // Field masks of request 21. The reply carries every field whatever the
    // mask; the mask only tells the daemon what it may skip working out.
    static constexpr uint32_t kMaskName = 1;
    static constexpr uint32_t kMaskTexts = 4;
    static constexpr uint32_t kMaskFlags = 8;
    static constexpr uint32_t kMaskAll = 0xFFFFFFFFu;

    // Flags 0 to 17 travel as field 5, flags 18 to 20 as field 12.
    static constexpr uint32_t kFirstFlagRun = 18;
    static constexpr uint32_t kFlagCount = 21;

    // The flags the tool reads, with the "status" letter each one prints as.
    enum Flag : uint32_t {
        kFlagLocallyModified = 2,  // L
        kFlagInstalled = 3,        // I: present locally
        kFlagBuiltin = 4,
        kFlagVRQItem = 5,
        kFlagStatusD = 6,          // D
        kFlagStatusA = 7,          // A
        kFlagOpenForEdit = 8,      // E
        kFlagStatusF = 9,          // F
        kFlagStatusM = 11,         // M
        kFlagHasBuild = 18,        // the build number is the asset's own
    };

    KUID kuid = KUID::Null;
    Nyx::String displayName;  // "username"
    Nyx::String regionText;   // "category-region"
    Nyx::String keywordText;
    // Flags 0-7 in byte 0, 8-15 in byte 1, 16-17 in byte 2, 18-20 in byte 3,
    // each from bit 0 up. Script code reads byte 0 directly.
    uint8_t flagBytes[4] = {1, 0, 0, 0};
    int32_t authorId = 0;  // first group's number
    Nyx::PString firstGroupKey;
    Nyx::String eraText;  // "category-era"
    int32_t secondGroupNumber = -1;
    Nyx::PString secondGroupKey;
    Nyx::String categoryText;  // "category-class": the ";"-separated codes
    uint8_t favouriteState = 255;
    float build = 0.0f;  // "kestro-build"
    uint64_t installTime = 0;
    uint64_t modifiedTime = 0;
    KUID parentKUID = KUID::Null;
    bool known = false;

    // Indexes of kFlagCount or more read as false and are not stored.
    bool GetFlag(uint32_t index) const noexcept;
    void SetFlag(uint32_t index, bool on) noexcept;

    // Fills every field from a reply; a field the reply no longer covers
    // reads as 0, empty, false, 0.0 or the null KUID (not the constructed
    // defaults), so a cut reply is never taken for a known asset. Always
    // true: the answer is the known flag. Whether the reply was whole is
    // told by the stream's error code.
    static bool Parse(TStream& in, AssetRecord& out);

    // What the client's accessors hand back, each from a record filled with
    // its own mask: an unknown asset gives empty texts, and the flag answers
    // err on the side of "yes" for it.
    Nyx::String NameOrEmpty() const { return known ? displayName : Nyx::String(); }
    Nyx::String RegionOrEmpty() const { return known ? regionText : Nyx::String(); }
    Nyx::String KeywordsOrEmpty() const { return known ? keywordText : Nyx::String(); }
    Nyx::String EraOrEmpty() const { return known ? eraText : Nyx::String(); }
    bool IsLocallyModified() const noexcept { return !known || GetFlag(kFlagLocallyModified); }
    bool Flag9() const noexcept { return !known || GetFlag(kFlagStatusF); }
    // With the gate set, an asset that is not present locally counts as set.
    bool Flag11(bool gate) const noexcept
    {
        if (!known)
            return true;
        if (gate && !GetFlag(kFlagInstalled))
            return true;
        return GetFlag(kFlagStatusM);
    }
};

// The record in the form Parse reads.
void WriteAssetInfo(TStream& out, const AssetRecord& record);
