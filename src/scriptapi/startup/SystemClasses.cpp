#include "scriptapi/startup/SystemClasses.h"

#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"

namespace {

GSRuntime::GSClass* g_slots[static_cast<uint32_t>(SystemClass::kCount)] = {};

}  // namespace

GSRuntime::GSClass*& SystemClassSlot(SystemClass which) { return g_slots[static_cast<uint32_t>(which)]; }

GSRuntime::GSClass* GetSystemClass(SystemClass which)
{
    return which < SystemClass::kCount ? g_slots[static_cast<uint32_t>(which)] : nullptr;
}

void ClearSystemClasses()
{
    for (GSRuntime::GSClass*& slot : g_slots)
        slot = nullptr;
}

bool LoadSystemClass(GSMachine& machine, const char* libraryFile, const char* className, GSRuntime::GSClass*& slot)
{
    slot = nullptr;
    if (!libraryFile || !className)
        return false;
    GSRuntime::GSLibrary* library = machine.GetLibrary(libraryFile);
    if (!library)
        return false;
    slot = library->FindClass(className);
    return slot != nullptr;
}

bool LoadSystemClass(const char* libraryFile, const char* className, GSRuntime::GSClass*& slot)
{
    // Get makes the machine and binds its built-in natives on first use.
    return LoadSystemClass(GSMachine::Get(), libraryFile, className, slot);
}
