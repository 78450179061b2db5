#include "core/process/ProcessState.h"

#include <atomic>

namespace {

// Constant-initialised, so readable from any static initialiser.
constinit std::atomic<Nyx::Thread::Id> g_mainThreadId{0};
constinit std::atomic<bool> g_commandGuard{false};
constinit std::atomic<UnusedResourceDropper> g_dropper{nullptr};

// Built on first use, so a static initialiser elsewhere that asks for it
// before this file's initialisers ran still finds a constructed string.
Nyx::String& ApplicationIdStorage()
{
    static Nyx::String id;
    return id;
}

// The id exists (empty) before main, as the login code expects.
[[maybe_unused]] const Nyx::String& g_applicationIdAtStart = ApplicationIdStorage();

}  // namespace

void SetMainThreadId() { g_mainThreadId.store(Nyx::Thread::CurrentId(), std::memory_order_release); }

Nyx::Thread::Id GetMainThreadId() { return g_mainThreadId.load(std::memory_order_acquire); }

bool IsMainThread() { return GetMainThreadId() == Nyx::Thread::CurrentId(); }

void SetApplicationId(const Nyx::String& id)
{
    ApplicationIdStorage() = id;
    SetMainThreadId();
}

const Nyx::String& GetApplicationId() { return ApplicationIdStorage(); }

float GetClientValueF32() { return 0.0f; }

uint32_t GetClientValueU32() { return 0; }

bool GetClientFlag() { return false; }

void SetCommandGuard() { g_commandGuard.store(true, std::memory_order_release); }

bool IsCommandGuardSet() { return g_commandGuard.load(std::memory_order_acquire); }

void SetUnusedResourceDropper(UnusedResourceDropper dropper) { g_dropper.store(dropper, std::memory_order_release); }

UnusedResourceDropper GetUnusedResourceDropper() { return g_dropper.load(std::memory_order_acquire); }
