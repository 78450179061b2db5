// The engine objects of the process: what start-up creates, hands around and
// shut-down destroys, and the two of them that other code finds through
// process-wide pointers.
#pragma once

namespace Nyx {
class OS;
class RenderKernel;
class ResourceSystem;
class Viewer;
}  // namespace Nyx

// One per process, a local of main, empty until start-up fills it.
struct EngineContext {
    Nyx::ResourceSystem* resourceSystem = nullptr;
    Nyx::RenderKernel* renderKernel = nullptr;
    Nyx::OS* os = nullptr;
    // Stays null; the validation library's preview scene reads it, and
    // takes over a viewer given here.
    Nyx::Viewer* previewTarget = nullptr;
};

// Null outside start-up .. shut-down. Set and cleared on the main thread.
Nyx::ResourceSystem* GetResourceSystem();
void SetResourceSystem(Nyx::ResourceSystem* system);
Nyx::RenderKernel* GetRenderKernel();
void SetRenderKernel(Nyx::RenderKernel* kernel);
