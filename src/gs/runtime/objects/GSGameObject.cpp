#include "gs/runtime/objects/GSGameObject.h"

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSClass.h"

namespace GSRuntime {

GSGameObject::~GSGameObject() { ClearThreads(); }

bool GSGameObject::AttachClass(GSClass* cls, GSContext* context)
{
    ClearThreads();
    if (!cls || !cls->gameObjectClass) {
        GSObject::AttachClass(nullptr, nullptr);
        return false;
    }
    return GSObject::AttachClass(cls, context);
}

GSThread* GSGameObject::NewThread()
{
    if (!instance_ || threads_.Count() >= kMaxThreads)
        return nullptr;
    auto* thread = new GSThread(this, 0);
    threads_.PushBack(*thread);
    return thread;
}

void GSGameObject::DeleteThread(GSThread& thread)
{
    threads_.Remove(thread);
    delete &thread;
}

void GSGameObject::ClearThreads() { threads_.DeleteAll(); }

}  // namespace GSRuntime
