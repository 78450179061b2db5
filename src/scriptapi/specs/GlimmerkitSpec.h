// An asset description: the tool's in-memory description of one installed asset
// (its KUID, config tree, archive and folder), made once per asset by a description
// factory and shared through a reference count. The description registry finds
// descriptions by KUID; a description whose count fell to 0 lives on until the registry
// purges it.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/kuid/KUID.h"
#include "config/tree/ACSChunk.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"
#include "scriptapi/specs/SpecSafePointer.h"

class SpecRegistry;

class GlimmerkitSpec {
public:
    // The flag byte.
    static constexpr uint8_t kFlagNullKUID = 1;
    static constexpr uint8_t kFlagStaysRegistered = 2;
    static constexpr uint8_t kFlagReserved = 4;

    GlimmerkitSpec(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                   const Nyx::String& subPath, const ChunkRef& config);
    // Takes the description out of the registry and clears every safe pointer.
    virtual ~GlimmerkitSpec();
    GlimmerkitSpec(const GlimmerkitSpec&) = delete;
    GlimmerkitSpec& operator=(const GlimmerkitSpec&) = delete;

    virtual void MarkReleased() { released_ = 1; }
    virtual bool CanStayRegistered() const { return true; }
    virtual void OnStayRegistered() {}

    void AddReference() noexcept { references_.fetch_add(1, std::memory_order_acq_rel); }
    // Lowers the count and stamps the release time; never deletes.
    void Release() noexcept;
    int32_t ReferenceCount() const noexcept { return references_.load(std::memory_order_acquire); }

    // Marks the description released and lets the registry decide whether it stays
    // in the table; once only.
    void Retire();
    bool IsRetired() const noexcept { return retired_ != 0; }
    bool IsReleased() const noexcept { return released_ != 0; }

    // The KUID text, a blank and the asset's name from the daemon in
    // double quotation marks.
    Nyx::String Describe() const;
    // The folder joined with the sub-path.
    Nyx::File::Path GetFolderPath() const;

    const KUID& GetKUID() const noexcept { return kuid_; }
    uint8_t Flags() const noexcept { return flags_; }
    bool HasNullKUID() const noexcept { return (flags_ & kFlagNullKUID) != 0; }
    bool StaysRegistered() const noexcept { return (flags_ & kFlagStaysRegistered) != 0; }
    const Nyx::PString& ArchiveName() const noexcept { return archiveName_; }
    const Nyx::String& Folder() const noexcept { return folder_; }
    const Nyx::String& SubPath() const noexcept { return subPath_; }
    const Nyx::String& ThirdString() const noexcept { return third_; }
    const ChunkRef& Config() const noexcept { return config_; }
    const Nyx::PString& KindString() const noexcept { return kind_; }
    float LastReleaseStamp() const noexcept { return lastRelease_.load(std::memory_order_relaxed); }

protected:
    void SetThirdString(const Nyx::String& text) { third_ = text; }
    void SetKindString(const Nyx::PString& kind) { kind_ = kind; }

private:
    friend class SpecRegistry;
    friend class SpecSafePointer;

    void SetStaysRegistered(bool on) noexcept
    {
        flags_ = static_cast<uint8_t>(on ? (flags_ | kFlagStaysRegistered) : (flags_ & ~kFlagStaysRegistered));
    }
    // Clears and unlinks every safe pointer that refers to this description.
    void DetachSafePointers() noexcept;

    SpecSafePointer safeRing_;  // the ring's head; its own description stays null
    KUID kuid_;
    uint8_t flags_ = 0;
    Nyx::PString archiveName_;
    Nyx::String folder_;
    Nyx::String subPath_;
    Nyx::String third_;
    // The plain-folder road opens no archive: asset files open by their
    // real paths, so there is no archive handle to hold.
    ChunkRef config_;
    std::atomic<float> lastRelease_{0.0f};
    std::atomic<int32_t> references_{0};
    uint8_t retired_ = 0;
    uint8_t released_ = 0;
    uint8_t thirdByte_ = 0;
    Nyx::PString kind_;
};
