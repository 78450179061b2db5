// The natives of the script class ConstructorsBase, through which scripts
// make new soups, KUID lists and images.
#pragma once

class GSMachine;

namespace GSRuntime {
class GSContext;
class GSThread;
}

class ConstructorsNatives {
public:
    static void RegisterNatives(GSMachine& machine);

    static void NewSoup(GSRuntime::GSContext* context, GSRuntime::GSThread& thread);
    static void NewKUIDList(GSRuntime::GSContext* context, GSRuntime::GSThread& thread);
    static void NewImage(GSRuntime::GSContext* context, GSRuntime::GSThread& thread);
};
