// The script class a tool class attaches to the objects it makes: found
// once in its system library and kept for the life of the process (null
// until then, and after a failed look-up).
#pragma once

#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"

struct ScriptClassSlot {
    GSRuntime::GSClass* cls = nullptr;

    // Loads the library by file name and finds the class (names compared
    // exactly); true when found.
    bool Load(GSMachine& machine, const char* libraryFile, const char* className)
    {
        cls = nullptr;
        if (GSRuntime::GSLibrary* library = machine.GetLibrary(libraryFile))
            cls = library->FindClass(className);
        return cls != nullptr;
    }
};
