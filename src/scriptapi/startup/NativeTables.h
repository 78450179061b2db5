// The native tables of the tool's script classes, each entered in the
// machine's native list by its own function. Start-up runs them in a fixed
// order before it loads the system libraries, whose natives link against
// them; a class whose natives are not built yet has an empty function here.
#pragma once

#include <span>

class GSMachine;

struct NativeTable {
    const char* name;
    void (*registerNatives)(GSMachine& machine);
};

void RegisterKUIDNatives(GSMachine& machine);
void RegisterSoupNatives(GSMachine& machine);
void RegisterHTMLBufferNatives(GSMachine& machine);
void RegisterHTMLBufferStaticNatives(GSMachine& machine);
void RegisterKUIDListNatives(GSMachine& machine);
void RegisterStringTableNatives(GSMachine& machine);
void RegisterAssetNatives(GSMachine& machine);
void RegisterLinkedListNatives(GSMachine& machine);
void RegisterOnlineAccessNatives(GSMachine& machine);
void RegisterOnlineGroupNatives(GSMachine& machine);
void RegisterLibraryNatives(GSMachine& machine);
void RegisterImageNatives(GSMachine& machine);
void RegisterKestroScriptBaseNatives(GSMachine& machine);
void RegisterSecurityTokenNatives(GSMachine& machine);
void RegisterConstructorsBaseNatives(GSMachine& machine);

// The online module sits above this one: it hands in its two tables before
// start-up, which then enters them at their places.
struct OnlineNativeRegistration {
    void (*access)(GSMachine& machine) = nullptr;
    void (*group)(GSMachine& machine) = nullptr;
};
void SetOnlineNativeRegistration(const OnlineNativeRegistration& registration) noexcept;

// Every table, in the order start-up registers them.
std::span<const NativeTable> StartupNativeTables();
