// A mesh file of the asset under check, loaded for inspection and kept by
// the data manager under its file name. This is the record's first form:
// what the data manager's registers read (the file, the container that
// loaded it and its attachment points); loading comes with the mesh checks.
#pragma once

#include <array>
#include <vector>

#include "nyx/PString.h"
#include "nyx/scene/Particle.h"
#include "tetlib/errors/ObjectSerial.h"

namespace TETLib {

class MeshData : public Nyx::Particle {
public:
    // A named point of the mesh that other meshes and effects attach to.
    struct AttachmentPoint {
        std::array<float, 12> transform{};  // 3 x 4, row by row
        Nyx::PString name;
    };

    MeshData(const Nyx::PString& meshPath, ContainerSerial owner) : meshPath_(meshPath), owner_(owner) {}

    const Nyx::PString& GetMeshPath() const noexcept { return meshPath_; }
    // The container whose check loaded the mesh.
    ContainerSerial GetOwner() const noexcept { return owner_; }
    const std::vector<AttachmentPoint>& GetAttachmentPoints() const noexcept { return attachmentPoints_; }
    std::vector<AttachmentPoint>& AttachmentPoints() noexcept { return attachmentPoints_; }
    bool HasAttachmentPoint(const Nyx::PString& name) const noexcept;

private:
    Nyx::PString meshPath_;
    ContainerSerial owner_;
    std::vector<AttachmentPoint> attachmentPoints_;
};

inline bool MeshData::HasAttachmentPoint(const Nyx::PString& name) const noexcept
{
    for (const AttachmentPoint& point : attachmentPoints_)
        if (point.name == name)
            return true;
    return false;
}

}  // namespace TETLib
