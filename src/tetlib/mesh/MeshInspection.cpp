#include "tetlib/mesh/MeshInspection.h"

#include "nyx/anim/Animator.h"

namespace TETLib {

namespace {

// The engine's mesh resources are not wired in yet: nothing is found.
class EngineMeshInspection final : public MeshInspection {
public:
    std::unique_ptr<MeshResourceView> Find(KestroResourceDatabase*, const Nyx::PString&) override { return nullptr; }
};

MeshInspection* g_installed = nullptr;

}  // namespace

MeshInspection& MeshInspection::Current()
{
    static EngineMeshInspection engine;
    return g_installed ? *g_installed : engine;
}

int32_t MeshInstanceView::AddAnimation(Nyx::Animator& animator, const Nyx::PString& name)
{
    return animator.Add(name.View(), kAnimationType, kAnimationWeight, kAnimationWeight, kAnimationWeight);
}

void MeshInspection::Install(MeshInspection* inspection) { g_installed = inspection; }

}  // namespace TETLib
