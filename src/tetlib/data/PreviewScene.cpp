// The data manager's preview scene: the particle that loaded meshes hang
// below, and the light and fog they are seen with.
#include "core/process/EngineContext.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/scene/ParallelLight.h"
#include "nyx/scene/SceneGraph.h"
#include "nyx/scene/Viewer.h"
#include "tetlib/data/DataManager.h"

namespace TETLib {

namespace {

constexpr float kLightRange = 100000.0f;
constexpr int32_t kLightPriority = 3;
constexpr Nyx::Colour kAmbient{0.1f, 0.1f, 0.1f, 1.0f};
constexpr Nyx::Colour kDiffuse{0.7f, 0.7f, 0.7f, 1.0f};
constexpr Nyx::Colour kSpecular{0.6f, 0.6f, 0.6f, 1.0f};
// Thin enough that nothing in a preview is ever fogged.
constexpr float kFogDensity = 1e-18f;
constexpr int32_t kFogMode = 3;

}  // namespace

bool DataManager::SetupPreviewScene(const EngineContext& context)
{
    if (!context.renderKernel)
        return false;
    // Set up twice, the first scene goes before the second is built; a
    // viewer handed over again is kept.
    if (viewer_ == context.previewTarget)
        viewer_ = nullptr;
    TearDownPreviewScene();
    resourceSystem_ = context.resourceSystem;
    renderKernel_ = context.renderKernel;
    os_ = context.os;
    viewer_ = context.previewTarget;

    sceneRoot_ = new Nyx::Particle;
    if (Nyx::SceneGraph* graph = renderKernel_->GetSceneGraph())
        graph->AddParticle(sceneRoot_);

    if (viewer_) {
        viewer_->SetScene(sceneRoot_);
        previewLight_ = new Nyx::ParallelLight(kLightRange, kLightPriority);
        previewLight_->SetFlag(Nyx::Particle::kFlagActive);
        previewLight_->SetAmbient(kAmbient);
        previewLight_->SetDiffuse(kDiffuse);
        previewLight_->SetSpecular(kSpecular);
        Nyx::Display& display = renderKernel_->GetDisplay();
        display.SetFogDensity(kFogDensity);
        display.SetFogMode(kFogMode);
        sceneRoot_->AddChild(previewLight_);
    }
    return true;
}

void DataManager::TearDownPreviewScene()
{
    if (sceneRoot_)
        sceneRoot_->Unlink();
    if (viewer_)
        viewer_->SetScene(nullptr);
    delete viewer_;
    viewer_ = nullptr;
    delete previewLight_;
    previewLight_ = nullptr;
    delete sceneRoot_;
    sceneRoot_ = nullptr;
}

}  // namespace TETLib
