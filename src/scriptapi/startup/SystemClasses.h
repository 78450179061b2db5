// The script classes that the tool's native objects attach when they are
// made: one process-wide slot each, filled from the compiled system
// libraries at script-system start-up and null until then.
#pragma once

#include <cstdint>

class GSMachine;

namespace GSRuntime {
class GSClass;
}

enum class SystemClass : uint32_t {
    kGameObject,
    kKUID,
    kSoup,
    kHTMLBuffer,
    kKUIDList,
    kStringTable,
    kAsset,
    kOnlineAccess,
    kOnlineGroup,
    kImage,
    kLibrary,
    kSecurityToken,
    kConstructorsBase,
    kCount,
};

// The slot itself, for the loader; natives read it through GetSystemClass.
GSRuntime::GSClass*& SystemClassSlot(SystemClass which);
GSRuntime::GSClass* GetSystemClass(SystemClass which);
// Empties every slot (a machine that goes away takes its classes along).
void ClearSystemClasses();

// Loads one system library by its file name (any case) and finds the class
// in it by its exact name. The slot is cleared first and stays null when
// either is missing. The class's natives must be registered before: the
// load links them.
bool LoadSystemClass(GSMachine& machine, const char* libraryFile, const char* className,
                     GSRuntime::GSClass*& slot);
// The same on the process's machine.
bool LoadSystemClass(const char* libraryFile, const char* className, GSRuntime::GSClass*& slot);
