#include "scriptapi/startup/NativeTables.h"

#include <iterator>

// The classes whose natives are not built yet: their libraries link with
// the natives unresolved (each logged), and nothing calls them.
void RegisterKUIDNatives(GSMachine&) {}
void RegisterSoupNatives(GSMachine&) {}
void RegisterHTMLBufferNatives(GSMachine&) {}
void RegisterHTMLBufferStaticNatives(GSMachine&) {}
void RegisterKUIDListNatives(GSMachine&) {}
void RegisterStringTableNatives(GSMachine&) {}
void RegisterAssetNatives(GSMachine&) {}
void RegisterLinkedListNatives(GSMachine&) {}
void RegisterOnlineAccessNatives(GSMachine&) {}
void RegisterOnlineGroupNatives(GSMachine&) {}
void RegisterLibraryNatives(GSMachine&) {}
void RegisterImageNatives(GSMachine&) {}
void RegisterKestroScriptBaseNatives(GSMachine&) {}
void RegisterSecurityTokenNatives(GSMachine&) {}
void RegisterConstructorsBaseNatives(GSMachine&) {}

std::span<const NativeTable> StartupNativeTables()
{
    static const NativeTable kTables[] = {
        {"KUID", &RegisterKUIDNatives},
        {"Soup", &RegisterSoupNatives},
        {"HTMLBuffer", &RegisterHTMLBufferNatives},
        {"HTMLBufferStatic", &RegisterHTMLBufferStaticNatives},
        {"KUIDList", &RegisterKUIDListNatives},
        {"StringTable", &RegisterStringTableNatives},
        {"Asset", &RegisterAssetNatives},
        {"LinkedList", &RegisterLinkedListNatives},
        {"OnlineAccess", &RegisterOnlineAccessNatives},
        {"OnlineGroup", &RegisterOnlineGroupNatives},
        {"Library", &RegisterLibraryNatives},
        {"Image", &RegisterImageNatives},
        {"KestroScriptBase", &RegisterKestroScriptBaseNatives},
        {"SecurityToken", &RegisterSecurityTokenNatives},
        {"ConstructorsBase", &RegisterConstructorsBaseNatives},
    };
    return std::span<const NativeTable>(kTables, std::size(kTables));
}
