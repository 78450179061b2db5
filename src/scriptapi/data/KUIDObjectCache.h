// The living KUID object of each value, shared by every script context: a
// KUID that any native hands to a script comes from here, so two results of
// the same value are the same object. The cache never keeps an object
// alive; an object leaves it when it is destroyed.
//
// Used without a lock, from the one thread that runs scripts.
#pragma once

#include <cstddef>

#include "config/kuid/KUID.h"

class GSOKUID;

namespace GSRuntime {
class GSContext;
class GSThread;
}

class KUIDObjectCache {
public:
    // The living object of the value, or a new one attached in the context
    // (`created` tells which: a new object's one count is the caller's, a
    // found one's are its holders'). Null when none can be made.
    static GSOKUID* FindOrCreate(GSRuntime::GSContext* context, const KUID& kuid, bool* created = nullptr);
    // Pushes the object of the value as a native result (null when none can
    // be made), with a count of its own.
    static void Push(GSRuntime::GSThread& thread, GSRuntime::GSContext* context, const KUID& kuid);

    // Living objects, for tests.
    static size_t Count() noexcept;

private:
    friend class GSOKUID;
    static void Forget(const GSOKUID& object) noexcept;
};
