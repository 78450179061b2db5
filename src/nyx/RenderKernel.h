// The engine's render kernel. The tool draws nothing on screen: whether the
// start-up line asks for "-NullRender" or a hidden OpenGL window, the kernel
// starts without opening a window, and keeps what it was given. It owns the
// display state, the material manager, the shared textures and, unless it
// was given one, the scene graph.
#pragma once

#include <cstdint>
#include <memory>

namespace Nyx {

class Display;
class MaterialManager;
class OS;
class RenderingCacheManager;
class SceneGraph;
class SharedTextureCollection;

class RenderKernel {
public:
    // A null scene graph gives the kernel one of its own; a given one must
    // outlive the kernel.
    RenderKernel(SceneGraph* sceneGraph, float version);
    RenderKernel(const RenderKernel&) = delete;
    RenderKernel& operator=(const RenderKernel&) = delete;
    virtual ~RenderKernel();

    // False without an OS object that was brought up first.
    bool Init(OS* os, void* displaySelector);
    bool IsInitialised() const noexcept { return initialised_; }
    // True when the OS object's start-up line holds "-NullRender".
    bool IsNullRender() const noexcept { return nullRender_; }

    OS* GetOS() const noexcept { return os_; }
    SceneGraph* GetSceneGraph() const noexcept { return sceneGraph_; }
    float GetVersion() const noexcept { return version_; }

    Display& GetDisplay() const noexcept { return *display_; }
    RenderingCacheManager& GetRenderingCacheManager() const noexcept;
    MaterialManager& GetMaterialManager() const noexcept { return *materials_; }
    // Starts with the plain white texture at index 0.
    SharedTextureCollection& GetSharedTextures() const noexcept { return *sharedTextures_; }

    // Capabilities of the display, by number. This kernel reports
    // kCapabilityHardwareSkinning; tests switch capabilities on and off.
    static constexpr uint32_t kCapabilityHardwareSkinning = 29;
    bool QueryCapability(uint32_t capability) const noexcept
    {
        return capability < 64 && (capabilities_ >> capability & 1u);
    }
    void SetCapability(uint32_t capability, bool on) noexcept
    {
        if (capability < 64)
            capabilities_ = on ? capabilities_ | uint64_t{1} << capability : capabilities_ & ~(uint64_t{1} << capability);
    }

private:
    std::unique_ptr<SceneGraph> ownSceneGraph_;
    SceneGraph* sceneGraph_;
    std::unique_ptr<Display> display_;
    std::unique_ptr<MaterialManager> materials_;
    std::unique_ptr<SharedTextureCollection> sharedTextures_;
    float version_;
    OS* os_ = nullptr;
    bool initialised_ = false;
    bool nullRender_ = false;
    uint64_t capabilities_ = uint64_t{1} << kCapabilityHardwareSkinning;
};

}  // namespace Nyx
