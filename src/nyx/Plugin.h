// The engine's plug-in system: plug-in types enrolled under a type name and a
// family identifier, and their lookup. The engine enrols its own bitmap
// type "bmp" in the resource-type family before main runs.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/base/ReferenceCount.h"

namespace Nyx {

// A 128-bit identifier written as eight, four, four, four and twelve hex
// digits joined by hyphens (either case).
class UId {
public:
    UId() noexcept = default;
    // A text of another shape gives the all-zero identifier.
    explicit UId(std::string_view text) noexcept;

    bool IsNull() const noexcept;
    bool operator==(const UId& o) const noexcept { return bytes_ == o.bytes_; }
    bool operator!=(const UId& o) const noexcept { return bytes_ != o.bytes_; }
    const std::array<uint8_t, 16>& Bytes() const noexcept { return bytes_; }

private:
    std::array<uint8_t, 16> bytes_{};
};

// The family of the engine's resource types.
inline constexpr std::string_view kResourceTypeFamily = "4C414E80-BBDA-11d4-9AD7-0001025364B8";

class PluginType : public ReferenceCount {
public:
    // Enrols the type; it stays enrolled until it is destroyed.
    PluginType(const PString& name, const UId& typeId, const UId& family);
    ~PluginType() override;
    PluginType(const PluginType&) = delete;
    PluginType& operator=(const PluginType&) = delete;

    virtual void AddReference() noexcept { AddRef(); }
    virtual void ReleaseReference() noexcept { Release(); }

    const PString& GetName() const noexcept { return name_; }
    const UId& GetTypeId() const noexcept { return typeId_; }
    const UId& GetFamily() const noexcept { return family_; }

private:
    PString name_;
    UId typeId_;
    UId family_;
};

class PluginBase {
public:
    // The enrolled type of that family and name (names compared without
    // regard to case), with one more reference for the caller; null when
    // there is none.
    static PluginType* LookupPluginType(const UId& family, const PString& name);
    // Every enrolled type of the family, in enrolment order, each with one
    // more reference for the caller.
    static std::vector<PluginType*> ListPluginTypes(const UId& family);
};

}  // namespace Nyx
