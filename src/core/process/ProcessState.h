// Process-wide records that many parts of the tool read: which thread is the
// main thread, the application id, the command guard, and the three client
// values of the online login.
#pragma once

#include <cstdint>

#include "nyx/base/String.h"
#include "nyx/base/Thread.h"

// Records the calling thread as the main thread. Start-up calls it once.
void SetMainThreadId();
// 0 until a main thread is recorded.
Nyx::Thread::Id GetMainThreadId();
bool IsMainThread();

// Sets the application id and records the calling thread as the main thread.
void SetApplicationId(const Nyx::String& id);
// Empty until SetApplicationId runs. Set once at start-up, before other
// threads read it.
const Nyx::String& GetApplicationId();

// The three values the online login sends beside the application id. Nothing
// in this tool sets them.
float GetClientValueF32();
uint32_t GetClientValueU32();
bool GetClientFlag();

// Set (never cleared) once commands run under the process's exception guard;
// from then on queued jobs run under a guard of their own too.
void SetCommandGuard();
bool IsCommandGuardSet();
// Exit code of the guard when a command, or a job run under the guard, crashes.
inline constexpr int kCrashExitCode = -100;

// Drops the engine resources nobody holds. The resource system lives above
// this module, so it registers the call when it exists and clears it when it
// goes; null means there is nothing to drop.
using UnusedResourceDropper = void (*)();
void SetUnusedResourceDropper(UnusedResourceDropper dropper);
UnusedResourceDropper GetUnusedResourceDropper();
