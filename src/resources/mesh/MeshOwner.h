// What a mesh definition needs of the resource it is loaded for: the names
// that make its material names and locate its textures, the file system it
// opens files through, the list of material names it could not find, and
// whether it may go on without them. The mesh resource derives from it.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

// The resource's geometry options; the last byte set lets a load go on
// past materials it cannot find.
struct GeometryOptions {
    uint32_t value = 0;
    uint8_t flags[4] = {};
    uint16_t word = 0;
    uint8_t toleratesMissingMaterials = 0;
};

class MeshOwner {
public:
    MeshOwner() = default;
    MeshOwner(const Nyx::PString& ownerName, const Nyx::PString& name) : ownerName_(ownerName), name_(name) {}
    virtual ~MeshOwner() = default;

    // The owner name that starts every material's full name.
    virtual Nyx::PString GetOwnerName() const { return ownerName_; }
    // The resource's own name; its folder part is where its textures lie.
    virtual Nyx::PString GetName() const { return name_; }
    // The mount files are opened in (empty: the working folder).
    virtual Nyx::PString GetFileBase() const { return base_; }
    virtual void AddMissingMaterial(const Nyx::PString& name) { missing_.push_back(name); }
    virtual bool ToleratesMissingMaterials() const { return options_.toleratesMissingMaterials != 0; }

    void SetFileBase(const Nyx::PString& base) { base_ = base; }
    GeometryOptions& Options() noexcept { return options_; }
    const std::vector<Nyx::PString>& GetMissingMaterials() const noexcept { return missing_; }
    void ClearMissingMaterials() noexcept { missing_.clear(); }

private:
    Nyx::PString ownerName_;
    Nyx::PString name_;
    Nyx::PString base_;
    GeometryOptions options_;
    std::vector<Nyx::PString> missing_;
};
