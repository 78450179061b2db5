// Datagrams into the online endpoint, every packet kind, reaching the real
// script objects behind them: an OnlineAccess object of the asset (1, 2, 0)
// registered as the endpoint's client, two groups being created and one
// being opened as "g1". The input is a run of datagrams, each a u16 length
// and its bytes; the script context's router is stepped after each, which
// updates the objects and delivers what they posted. The link is attached
// to a peer without a socket, so answers go nowhere. Whatever arrives, the
// link's buffers, the user lists and the message queues stay in bounds,
// and the messages kept for absent clients write and read back as a store.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "core/streams/TStream.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "online/MessageStore.h"
#include "online/OnlineAccessClientEndpoint.h"
#include "online/script/GSOOnlineAccess.h"
#include "online/script/GSOOnlineGroup.h"
#include "online/script/OnlineScriptClasses.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/startup/ScriptSystemStartup.h"

namespace {

// The system scripts compiled into a folder of the target's own. The
// "cache" folder the objects read their boxes and store from, and save the
// store to, is mounted there too, where it does not exist: nothing outside
// the target's folder is read or written.
struct ScriptMachine {
    const FuzzTempFolder& folder;
    GSMachine machine;
    bool ready = false;

    explicit ScriptMachine(const FuzzTempFolder& where) : folder(where)
    {
        Nyx::File::Subst::Add(Nyx::PString(GSOOnlineAccess::kBoxFolder), Nyx::File::Path(folder / "cache"));
        GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
        includes.Clear();
        includes.Append(Nyx::File::Path(KESTRO_SYSTEM_SCRIPTS));
        for (const auto& entry : std::filesystem::directory_iterator(KESTRO_SYSTEM_SCRIPTS)) {
            if (entry.path().extension() != ".gs")
                continue;
            GSCompiler::CompileSession sink;
            const std::string name = entry.path().filename().string();
            const std::string out = folder / (entry.path().stem().string() + ".gsl");
            if (GSCompiler::CompileToLibraryFile(&sink, name.c_str(), out.c_str()) != 0)
                return;
        }
        includes.Clear();
        InstallOnlineScriptClasses();
        machine.RegisterBuiltinNatives();
        machine.AddLibraryFolder(Nyx::PString(folder.Path()));
        ready = ScriptSystemStartup(machine).Run();
    }
};

ScriptMachine& Machine()
{
    // The folder goes at exit; the machine stays, as the script objects'
    // classes do.
    static FuzzTempFolder folder("online_datagram_fuzz");
    static ScriptMachine* machine = new ScriptMachine(folder);
    FuzzCheck(machine->ready);
    return *machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    ScriptMachine& shared = Machine();
    auto context = std::make_unique<KestroScriptContext>(&shared.machine);
    context->SetRouter(std::make_unique<GSRouter>(context.get()));
    OnlineAccessClientEndpoint& endpoint = OnlineAccessClientEndpoint::Instance();
    TMEPeer peer;
    endpoint.Attach(&peer);

    GSOOnlineAccess* owner = GSOOnlineAccess::Instance(context.get(), KUID(1, 2, 0));
    FuzzCheck(owner != nullptr);
    endpoint.AddClient(owner);
    std::vector<GSOOnlineGroup*> groups;
    for (const char* id : {"", "", "g1"}) {
        GSOOnlineGroup* group = GSOOnlineGroup::Create(owner, Nyx::PString(id));
        FuzzCheck(group != nullptr && group->GetStatus() == GSOOnlineGroup::kRequested);
        groups.push_back(group);
    }

    size_t at = 0;
    size_t datagrams = 0;
    while (at + 2 <= size) {
        size_t length = size_t(data[at]) | size_t(data[at + 1]) << 8;
        at += 2;
        if (length > size - at)
            length = size - at;
        endpoint.ReceiveDatagram(data + at, static_cast<uint32_t>(length));
        at += length;
        ++datagrams;
        context->Router()->Step(0.25f);
        FuzzCheck(endpoint.OutOfOrderCount() <= TMEEndpoint::kDefaultMaxOutOfOrder);
        FuzzCheck(endpoint.InFlightCount() <= TMEEndpoint::kMaxInFlight);
        FuzzCheck(owner->PendingCount() <= datagrams);
        FuzzCheck(endpoint.StoredMessages().size() <= datagrams);
        for (GSOOnlineGroup* group : groups) {
            // A user takes at least a name length and a status byte.
            FuzzCheck(group->Users().size() <= size / 5);
            FuzzCheck(group->GetStatus() >= GSOOnlineGroup::kNotConnected &&
                      group->GetStatus() <= GSOOnlineGroup::kClosed);
            FuzzCheck(group->GetStatus() != GSOOnlineGroup::kClosed || group->Owner() == nullptr);
        }
    }

    // What was kept for absent clients is a store that reads back whole.
    TBuffer store;
    endpoint.WriteStoredMessages(store);
    store.Rewind();
    StoredMessageList again;
    ReadStoredMessages(store, again);
    FuzzCheck(store.GetError() == 0 && again.size() == endpoint.StoredMessages().size());
    TBuffer none;
    WriteStoredMessages(none, StoredMessageList());
    none.Rewind();
    endpoint.ReadStoredMessages(none);

    for (GSOOnlineGroup* group : groups)
        GSRuntime::ReleasePart(group->GetInstance());
    GSRuntime::ReleasePart(owner->GetInstance());
    endpoint.Disconnect();
    context.reset();
    return 0;
}
