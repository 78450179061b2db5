// The engine's render kernel. The tool draws nothing on screen: whether the
// start-up line asks for "-NullRender" or a hidden OpenGL window, the kernel
// starts without opening a display, and keeps what it was given.
#pragma once

namespace Nyx {

class OS;

class RenderKernel {
public:
    RenderKernel(void* sceneGraph, float version);
    RenderKernel(const RenderKernel&) = delete;
    RenderKernel& operator=(const RenderKernel&) = delete;
    virtual ~RenderKernel();

    // False without an OS object that was brought up first.
    bool Init(OS* os, void* displaySelector);
    bool IsInitialised() const noexcept { return initialised_; }
    // True when the OS object's start-up line holds "-NullRender".
    bool IsNullRender() const noexcept { return nullRender_; }

    OS* GetOS() const noexcept { return os_; }
    void* GetSceneGraph() const noexcept { return sceneGraph_; }
    float GetVersion() const noexcept { return version_; }

private:
    void* sceneGraph_;
    float version_;
    OS* os_ = nullptr;
    bool initialised_ = false;
    bool nullRender_ = false;
};

}  // namespace Nyx
