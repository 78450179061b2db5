#include "core/process/EngineContext.h"

#include <atomic>

namespace {

std::atomic<Nyx::ResourceSystem*> g_resourceSystem{nullptr};
std::atomic<Nyx::RenderKernel*> g_renderKernel{nullptr};

}  // namespace

Nyx::ResourceSystem* GetResourceSystem() { return g_resourceSystem.load(std::memory_order_acquire); }
void SetResourceSystem(Nyx::ResourceSystem* system) { g_resourceSystem.store(system, std::memory_order_release); }
Nyx::RenderKernel* GetRenderKernel() { return g_renderKernel.load(std::memory_order_acquire); }
void SetRenderKernel(Nyx::RenderKernel* kernel) { g_renderKernel.store(kernel, std::memory_order_release); }
