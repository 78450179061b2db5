#include "tetlib/mesh/MeshData.h"

#include "core/files/ContentRoot.h"
#include "core/threads/JobQueue.h"
#include "core/threads/TCXCallback.h"
#include "nyx/RenderKernel.h"
#include "nyx/anim/AnimationModifier.h"
#include "nyx/anim/Animator.h"
#include "nyx/anim/SkeletonModifier.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/errors/MessageText.h"

namespace TETLib {

namespace {

// The type animations are instanced with.
constexpr int32_t kAnimationType = MeshInstanceView::kAnimationType;

std::string_view LastComponent(std::string_view name)
{
    const size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

}  // namespace

MeshData::MeshData(const Nyx::PString& meshPath, ContainerSerial owner) : meshPath_(meshPath), container_(owner) {}

MeshData::~MeshData()
{
    animator_.reset();
    skeleton_.reset();
    instance_ = nullptr;
    while (!GetChildren().empty())
        delete GetChildren().back();
    ClearFlag(kFlagActive);
}

bool MeshData::Load(const Nyx::PString& fileName, ContainerSerial container)
{
    container_ = container;
    meshPath_ = fileName;
    result_ = false;
    RunJob(&MeshData::LoadBody);
    return result_;
}

bool MeshData::LoadAnimation(const Nyx::PString& fileName)
{
    animationPath_ = fileName;
    result_ = false;
    RunJob(&MeshData::AnimationBody);
    return result_;
}

void MeshData::RunJob(void (MeshData::*body)(void*))
{
    JobQueue::Instance().Submit(new TCXCallbackCPPVoidPtr<MeshData>(this, body), kJobFlags);
}

bool MeshData::GetBounds(std::array<float, 6>& bounds) const { return instance_ && instance_->GetBounds(bounds); }

uint64_t MeshData::GetInstanceDataView() const { return instanceData_; }

int32_t MeshData::RequestAnimation(const Nyx::PString& name)
{
    MeshInstanceView* instance = GetInstance();
    if (!instance || !animator_)
        return Nyx::Animator::kNoObserver;
    return instance->AddAnimation(*animator_, name);
}

bool MeshData::HasAttachmentPoint(const Nyx::PString& name) const noexcept
{
    for (const AttachmentPoint& point : attachmentPoints_)
        if (point.name == name)
            return true;
    return false;
}

bool MeshData::HoldsPoint(const Nyx::PString& name) const noexcept
{
    if (HasAttachmentPoint(name))
        return true;
    for (const ChildParticle& particle : childParticles_)
        if (particle.name == name)
            return true;
    return false;
}

std::unique_ptr<MeshResourceView> MeshData::FindResource()
{
    resourceName_ = Nyx::PStringCache::ToLower(meshPath_);
    const DataManager* manager = DataManager::Existing();
    return MeshInspection::Current().Find(manager ? manager->GetArchive() : nullptr, resourceName_);
}

void MeshData::LoadBody(void*)
{
    result_ = false;
    std::unique_ptr<MeshResourceView> resource = FindResource();
    if (resource && resource->GetKind() == MeshResourceKind::kProgressive) {
        result_ = true;
        return;
    }
    if ((resource && resource->GetKind() != MeshResourceKind::kGeometry) ||
        (!resource && container_ != ContainerSerial::kNone)) {
        ReportError("$tet_mesh_load_mesh", InAssetFolder(meshPath_));
        return;
    }
    // Nothing to load, and nobody to tell: a silent failure.
    if (!resource)
        return;
    if (!resource->Load()) {
        if (container_ != ContainerSerial::kNone)
            ReportError("$tet_mesh_initialise_mesh", InAssetFolder(meshPath_));
        return;
    }
    std::unique_ptr<MeshInstanceView> instance = resource->CreateInstance(false);
    if (!instance) {
        if (container_ != ContainerSerial::kNone)
            ReportError("$tet_mesh_initialise_mesh", InAssetFolder(meshPath_));
        return;
    }
    instance_ = instance.release();
    instanceData_ = instance_->GetInstanceData();
    FinishLoad(*resource, instance_);
    result_ = true;
}

void MeshData::FinishLoad(MeshResourceView& resource, MeshInstanceView* instance)
{
    AddChild(instance);
    const DataManager* manager = DataManager::Existing();
    Nyx::RenderKernel* kernel = manager ? manager->GetRenderKernel() : nullptr;
    skeleton_ = std::make_unique<Nyx::SkeletonModifier>(this, kernel, resource.GetBoneCount());
    animator_ = std::make_unique<Nyx::Animator>(kernel ? &kernel->GetDisplay() : nullptr, GetContentRootPath(),
                                                skeleton_.get());
    loaded_ = true;
    if (ErrorHandler* handler = ErrorHandler::Instance(); handler && handler->TakesTraces())
        handler->CanReport(MessageText(Nyx::PString("$tet_mesh_successfulmesh"), {meshPath_}),
                           static_cast<uint64_t>(container_));

    attachmentPoints_ = resource.GetAttachmentPoints();
    for (AttachmentPoint& point : attachmentPoints_)
        point.name = Nyx::PString(LastComponent(point.name.View()));
    childParticles_ = resource.GetParticles();
    CheckMaterialsAndTextures(resource);
}

void MeshData::AnimationBody(void*)
{
    result_ = false;
    if (!animator_) {
        ReportError("$tet_mesh_animationfailedmesh", animationPath_);
        return;
    }
    const Nyx::PString name = Nyx::PStringCache::ToLower(animationPath_);
    switch (RequestAnimation(name)) {
    case Nyx::Animator::kNoSkeleton:
        ReportError("$tet_mesh_animationfailedskeleton", name);
        return;
    case Nyx::Animator::kNoResource:
        ReportError("$tet_mesh_animationfailedres", name);
        return;
    case Nyx::Animator::kNoObserver:
        ReportError("$tet_mesh_animationfailedobserver", name);
        return;
    default:
        break;
    }
    // The length is asked for the trace alone.
    if (auto modifier = Nyx::AnimationModifier::CreateInstance(animator_->GetFolder(), name.View(), kAnimationType))
        (void)modifier->GetLength();
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler && handler->TakesTraces()) {
        const Nyx::PString text = MessageText(Nyx::PString("$tet_mesh_successfulanimation"), {name});
        if (container_ != ContainerSerial::kNone)
            handler->CanReport(text, static_cast<uint64_t>(container_));
        else
            handler->IsNotReported(text);
    }
    result_ = true;
}

void MeshData::ReportError(const char* key, const Nyx::PString& argument) const
{
    ErrorHandler* handler = ErrorHandler::Instance();
    if (!handler)
        return;
    const Nyx::PString text = MessageText(Nyx::PString(key), {argument});
    if (container_ != ContainerSerial::kNone)
        handler->ReportError(text, container_);
    else
        handler->ReportError(text);
}

Nyx::PString MeshData::InAssetFolder(const Nyx::PString& path)
{
    const DataManager* manager = DataManager::Existing();
    std::string_view text = path.View();
    std::string_view folder = manager ? manager->GetAssetFolder().View() : std::string_view();
    while (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);
    if (!folder.empty() && text.size() > folder.size() && text.substr(0, folder.size()) == folder &&
        text[folder.size()] == '/')
        text.remove_prefix(folder.size() + 1);
    return Nyx::PString(text);
}

}  // namespace TETLib
