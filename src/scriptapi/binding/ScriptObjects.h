// Handing native objects to scripts: a new object of a tool class gets an
// instance of its script class and belongs to that instance from then on
// (it goes when the last script reference does), and a result pushed on a
// full stack is let go instead of leaking its count.
#pragma once

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/objects/GSObject.h"

namespace ScriptObjects {

// Attaches the class in the context and gives the object to its instance;
// the object is deleted and null given back when there is no class or its
// constructors fail. The instance's one count is the caller's.
template <class T>
T* Adopt(T* object, GSRuntime::GSClass* cls, GSRuntime::GSContext* context)
{
    if (!object)
        return nullptr;
    if (!cls || !object->AttachClass(cls, context)) {
        delete object;
        return nullptr;
    }
    object->GiveToInstance();
    return object;
}

// Pushes a new object's view, handing over the caller's count; null pushes
// a script null.
inline void PushNew(GSRuntime::GSThread& thread, GSRuntime::GSObjectReference* object)
{
    GSRuntime::GSSlot* part = object ? object->GetInstance() : nullptr;
    if (!thread.stack.PushInstance(part, false) && part)
        GSRuntime::ReleasePart(part);
}

}  // namespace ScriptObjects
