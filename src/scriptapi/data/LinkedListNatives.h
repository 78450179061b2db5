// The natives of the script class LinkedList: keeping an array of
// LinkedData objects sorted by text, and adding to it with an optional
// check for an equal element.
//
// LinkedData is a script class; its first three fields are its text (a
// string, null counting as empty), its number and its object (compared by
// identity). The natives read them there.
#pragma once

#include <cstdint>

class GSMachine;

namespace GSRuntime {
class GSArray;
class GSContext;
class GSThread;
}

class LinkedListNatives {
public:
    static void RegisterNatives(GSMachine& machine);

    static void SortInternal(GSRuntime::GSContext* context, GSRuntime::GSThread& thread);
    static void AddInternal(GSRuntime::GSContext* context, GSRuntime::GSThread& thread);

    // The selection sort of SortInternal: ascending by text, equal texts
    // keeping their order.
    static void Sort(GSRuntime::GSArray& array);
};
