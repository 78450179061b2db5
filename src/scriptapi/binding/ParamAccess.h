// How every native of the tool's script classes reads its parameters and
// fails: parameter n is local n of the calling frame ("me" is local 0), and
// a parameter that does not pass raises a script exception on the calling
// thread, after which the native returns without pushing a result.
//
// The four exception texts are what scripts and their authors see in the
// script log; they are shared by every class.
#pragma once

#include <cstdint>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/objects/GSString.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class ParamAccess {
public:
    static constexpr const char* kNullObject = "null object at parameter %d";
    static constexpr const char* kWrongType = "incorrect parameter type at parameter %d";
    static constexpr const char* kNullString = "null string at parameter %d";
    static constexpr const char* kEmptyString = "empty string at parameter %d";

    // The native object behind object parameter n, cast to T (null for a
    // script null where allowed). An object of another class is refused
    // even where null is allowed.
    template <class T>
    static bool GetObjectParam(uint32_t n, GSRuntime::GSThread& thread, T*& out, bool allowNull)
    {
        const GSRuntime::GSSlot value = thread.stack.Local(n);
        out = nullptr;
        if (GSRuntime::IsReference(value)) {
            out = dynamic_cast<T*>(OwnerOf(value));
            if (!out) {
                Raise(thread, kWrongType, n);
                return false;
            }
            return true;
        }
        if (!allowNull) {
            Raise(thread, kNullObject, n);
            return false;
        }
        return true;
    }

    // String parameter n, interned. With allowEmpty a null or empty string
    // gives the empty string; without, either raises.
    static bool GetPStringParam(bool allowEmpty, Nyx::PString& out, GSRuntime::GSThread& thread, uint32_t n);
    // Parameter 1 as a plain string, strictly.
    static bool GetStringParam1(Nyx::String& out, GSRuntime::GSThread& thread);

    // Raises the text, formatted with the parameter number, on the thread
    // (which ends it and reports "%s (file %s)" to the script log).
    static void Raise(GSRuntime::GSThread& thread, const char* format, uint32_t n);
    // Raises a fixed text.
    static void Raise(GSRuntime::GSThread& thread, const char* text);

private:
    // The native value a reference word stands for: the object, array or
    // string that owns the instance; null once its owner has gone.
    static GSRuntime::GSObjectReference* OwnerOf(GSRuntime::GSSlot value) noexcept
    {
        return GSRuntime::GSScriptInstance::OfPart(GSRuntime::ReferencePart(value))->owner;
    }
};
