// This module's native tables and class loaders in start-up order, for
// the hosts that set the script system up: each table is entered before
// the library of its class loads, since loading links the natives.
#pragma once

class GSMachine;

// KUID, Soup, HTMLBuffer (with HTMLBufferStatic), KUIDList, StringTable,
// LinkedList, KestroScriptBase and ConstructorsBase, in that order; the
// other classes' tables go between them at their own places.
void RegisterScriptApiNatives(GSMachine& machine);

// The classes of "kuid.gsl", "Soup.gsl", "HTMLBuffer.gsl", "KUIDList.gsl"
// and "StringTable.gsl", in that order; false at the first that fails.
bool LoadScriptApiClasses(GSMachine& machine);
