#include "scriptapi/context/ScriptApiNatives.h"

#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/data/ConstructorsNatives.h"
#include "scriptapi/data/GSOHTMLBuffer.h"
#include "scriptapi/data/GSOKUID.h"
#include "scriptapi/data/GSOKUIDList.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/data/GSOStringTable.h"
#include "scriptapi/data/LinkedListNatives.h"

void RegisterScriptApiNatives(GSMachine& machine)
{
    GSOKUID::RegisterNatives(machine);
    GSOSoup::RegisterNatives(machine);
    GSOHTMLBuffer::RegisterNatives(machine);
    GSOKUIDList::RegisterNatives(machine);
    GSOStringTable::RegisterNatives(machine);
    LinkedListNatives::RegisterNatives(machine);
    KestroScriptContext::RegisterNatives(machine);
    ConstructorsNatives::RegisterNatives(machine);
}

bool LoadScriptApiClasses(GSMachine& machine)
{
    return GSOKUID::LoadScriptClass(machine) && GSOSoup::LoadScriptClass(machine) &&
           GSOHTMLBuffer::LoadScriptClass(machine) && GSOKUIDList::LoadScriptClass(machine) &&
           GSOStringTable::LoadScriptClass(machine);
}
