// A game object: a script object that is also a router node and owns the
// script threads that run its thread methods.
#pragma once

#include <cstdint>

#include "gs/runtime/objects/GSObject.h"
#include "gs/runtime/router/GSNode.h"
#include "gs/support/DoubleLinkList.h"

namespace GSRuntime {

class GSThread;

class GSGameObject : public GSObject, public GSNode {
public:
    static constexpr uint32_t kMaxThreads = 64;

    GSGameObject() noexcept : GSObject(kGameObject) {}
    // Deletes its threads and leaves its router.
    ~GSGameObject() override;

    // Drops its threads, then attaches the class only when it derives from
    // "GameObject" (any other class lets the instance go).
    bool AttachClass(GSClass* cls, GSContext* context) override;
    void ReleaseScriptState() override { ClearThreads(); }

    // A new thread of this object, linked into its list; null when it has
    // no instance or already runs kMaxThreads threads.
    GSThread* NewThread();
    void DeleteThread(GSThread& thread);
    void ClearThreads();
    const Utils::DoubleLinkList& Threads() const noexcept { return threads_; }

private:
    Utils::DoubleLinkList threads_;
};

}  // namespace GSRuntime
