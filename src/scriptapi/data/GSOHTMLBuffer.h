// The native object behind the script class HTMLBuffer, and the static
// constructor scripts make one with ("HTMLBufferStatic").
#pragma once

#include "gs/runtime/objects/GSObject.h"
#include "scriptapi/data/HTMLBuffer.h"

class GSMachine;

namespace GSRuntime {
class GSClass;
class GSThread;
}

class GSOHTMLBuffer : public GSRuntime::GSObject, public HTMLBuffer {
public:
    GSOHTMLBuffer() = default;
    ~GSOHTMLBuffer() override = default;

    // A new empty buffer with the script class attached, owned by its
    // instance (one count, the caller's); null without the class.
    static GSOHTMLBuffer* Create(GSRuntime::GSContext* context);

    static void RegisterNatives(GSMachine& machine);
    // HTMLBufferStatic's constructor.
    static void RegisterStaticNatives(GSMachine& machine);
    static bool LoadScriptClass(GSMachine& machine);
    // The class its objects attach, from the system class slots.
    static GSRuntime::GSClass* ScriptClass() noexcept;

    void NativeClear(GSRuntime::GSThread& thread);
    void NativeIsEmpty(GSRuntime::GSThread& thread);
    void NativeAsString(GSRuntime::GSThread& thread);
    void NativePrint(GSRuntime::GSThread& thread);
    void NativeEscape(GSRuntime::GSThread& thread);
};
