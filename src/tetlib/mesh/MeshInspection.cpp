#include "tetlib/mesh/MeshInspection.h"

#include "nyx/anim/Animator.h"
#include "tetlib/mesh/EngineMeshInspection.h"

namespace TETLib {

namespace {

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
