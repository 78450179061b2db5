// The mesh checks' view of the engine's own mesh resources: the archive's
// lookup (mode 2), the resource types NyxGetPlugins enrols, and the
// instances their factories make.
#pragma once

#include "tetlib/mesh/MeshInspection.h"

namespace TETLib {

class EngineMeshInspection final : public MeshInspection {
public:
    std::unique_ptr<MeshResourceView> Find(KestroResourceDatabase* archive, const Nyx::PString& resourceName) override;
};

}  // namespace TETLib
