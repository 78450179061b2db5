// A named place on a scene object that other objects refer to: a particle
// with the sub-names of its name and its own frame.
#pragma once

#include <vector>

#include "nyx/base/PString.h"
#include "nyx/scene/Particle.h"

namespace Nyx {

class ReferencePoint : public Particle {
public:
    ReferencePoint(std::vector<PString> subNames, const Vector3f& position, const Quaternion& orientation)
        : subNames_(std::move(subNames))
    {
        SetReferenceFrame(position, orientation);
    }

    // The parts of a name between its dots, in order; "p.door.left" gives
    // "p", "door", "left". Empty parts are kept.
    static std::vector<PString> GetSubNames(const PString& name);

    const std::vector<PString>& GetNames() const noexcept { return subNames_; }

private:
    std::vector<PString> subNames_;
};

}  // namespace Nyx
