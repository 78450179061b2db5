// A mesh file with levels of detail: the same inspection as a plain mesh,
// through the LOD instance the resource makes.
#pragma once

#include "tetlib/mesh/MeshData.h"

namespace TETLib {

class LODMeshData : public MeshData {
public:
    using MeshData::MeshData;
    // The LOD instance goes first, then what a mesh gives up.
    ~LODMeshData() override;

    bool Load(const Nyx::PString& fileName, ContainerSerial container) override;
    bool GetBounds(std::array<float, 6>& bounds) const override;
    const char* GetTypeName() const override { return "some name"; }
    uint64_t GetInstanceDataView() const override;
    MeshInstanceView* GetInstance() const noexcept override { return lodInstance_.get(); }
    uint64_t GetInstanceData() const noexcept override { return lodInstanceData_; }
    int32_t RequestAnimation(const Nyx::PString& name) override;

private:
    void LoadLODBody(void*);

    std::unique_ptr<MeshInstanceView> lodInstance_;
    uint64_t lodInstanceData_ = 0;
};

}  // namespace TETLib
