#include "tetlib/mesh/LODMeshData.h"

#include "core/threads/JobQueue.h"
#include "core/threads/TCXCallback.h"
#include "nyx/anim/Animator.h"

namespace TETLib {

LODMeshData::~LODMeshData() { lodInstance_.reset(); }

bool LODMeshData::Load(const Nyx::PString& fileName, ContainerSerial container)
{
    container_ = container;
    meshPath_ = fileName;
    result_ = false;
    JobQueue::Instance().Submit(new TCXCallbackCPPVoidPtr<LODMeshData>(this, &LODMeshData::LoadLODBody), kJobFlags);
    return result_;
}

bool LODMeshData::GetBounds(std::array<float, 6>& bounds) const
{
    return lodInstance_ && lodInstance_->GetBounds(bounds);
}

uint64_t LODMeshData::GetInstanceDataView() const { return lodInstanceData_; }

int32_t LODMeshData::RequestAnimation(const Nyx::PString& name)
{
    if (!lodInstance_ || !animator_)
        return Nyx::Animator::kNoObserver;
    return lodInstance_->AddAnimation(*animator_, name);
}

void LODMeshData::LoadLODBody(void*)
{
    result_ = false;
    std::unique_ptr<MeshResourceView> resource = FindResource();
    if (!resource) {
        if (container_ != ContainerSerial::kNone)
            ReportError("$tet_mesh_load_mesh", InAssetFolder(meshPath_));
        return;
    }
    if (!resource->Load()) {
        if (container_ != ContainerSerial::kNone)
            ReportError("$tet_mesh_initialise_mesh", InAssetFolder(meshPath_));
        return;
    }
    lodInstance_ = resource->CreateInstance(true);
    if (!lodInstance_) {
        if (container_ != ContainerSerial::kNone)
            ReportError("$tet_mesh_initialise_mesh", InAssetFolder(meshPath_));
        return;
    }
    lodInstanceData_ = lodInstance_->GetInstanceData();
    FinishLoad(*resource, lodInstance_.get());
    result_ = true;
}

}  // namespace TETLib
