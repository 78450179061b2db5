#include "scriptapi/startup/NativeTables.h"

#include <iterator>

#include "scriptapi/asset/GSOAsset.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/data/ConstructorsNatives.h"
#include "scriptapi/data/GSOHTMLBuffer.h"
#include "scriptapi/data/GSOKUID.h"
#include "scriptapi/data/GSOKUIDList.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/data/GSOStringTable.h"
#include "scriptapi/data/LinkedListNatives.h"
#include "scriptapi/image/GSOImage.h"
#include "scriptapi/library/GSOLibrary.h"
#include "scriptapi/security/GSOSecurityToken.h"

void RegisterKUIDNatives(GSMachine& machine) { GSOKUID::RegisterNatives(machine); }
void RegisterSoupNatives(GSMachine& machine) { GSOSoup::RegisterNatives(machine); }
void RegisterHTMLBufferNatives(GSMachine& machine) { GSOHTMLBuffer::RegisterNatives(machine); }
void RegisterHTMLBufferStaticNatives(GSMachine& machine) { GSOHTMLBuffer::RegisterStaticNatives(machine); }
void RegisterKUIDListNatives(GSMachine& machine) { GSOKUIDList::RegisterNatives(machine); }
void RegisterStringTableNatives(GSMachine& machine) { GSOStringTable::RegisterNatives(machine); }
void RegisterLinkedListNatives(GSMachine& machine) { LinkedListNatives::RegisterNatives(machine); }
void RegisterKestroScriptBaseNatives(GSMachine& machine) { KestroScriptContext::RegisterNatives(machine); }
void RegisterConstructorsBaseNatives(GSMachine& machine) { ConstructorsNatives::RegisterNatives(machine); }
void RegisterImageNatives(GSMachine& machine) { GSOImage::RegisterNatives(machine); }
void RegisterAssetNatives(GSMachine& machine) { GSOAsset::RegisterNatives(machine); }
void RegisterSecurityTokenNatives(GSMachine& machine) { GSOSecurityToken::RegisterNatives(machine); }

void RegisterLibraryNatives(GSMachine& machine) { GSOLibrary::RegisterNatives(machine); }

namespace {

OnlineNativeRegistration onlineRegistration;

}  // namespace

void SetOnlineNativeRegistration(const OnlineNativeRegistration& registration) noexcept
{
    onlineRegistration = registration;
}

// Without the online module their libraries link with the natives
// unresolved (each logged), and nothing calls them.
void RegisterOnlineAccessNatives(GSMachine& machine)
{
    if (onlineRegistration.access)
        onlineRegistration.access(machine);
}

void RegisterOnlineGroupNatives(GSMachine& machine)
{
    if (onlineRegistration.group)
        onlineRegistration.group(machine);
}

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
