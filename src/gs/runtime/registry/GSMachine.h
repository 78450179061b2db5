// The script machine: the registry of compiled script libraries (".gsl"),
// by id and by lower-cased name, which loads and links a library the first
// time it is asked for, the list of native-function bindings, and the
// machine thread on which constructors and calls from native code run.
//
// GSMachine::Get gives the process's machine; tests make machines of their
// own. Nothing here locks: one thread at a time uses a machine.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "gs/runtime/objects/GSValue.h"
#include "gs/runtime/registry/LibraryTables.h"
#include "gs/support/DoubleLinkList.h"
#include "gs/support/FrameMemory.h"
#include "nyx/base/PString.h"

namespace Nyx {
class File;
}

namespace Utils {
class ByteBuffer;
}

namespace GSRuntime {
class GSClass;
class GSContext;
class GSLibrary;
class GSNativeFunction;
class GSThread;
}

class GSMachine {
public:
    static constexpr uint32_t kHeaderSize = 20;
    static constexpr uint32_t kMaxLibrarySize = 0x4000000;
    static constexpr uint32_t kNamePageSize = 256;
    // LinkLibrary's results.
    static constexpr int kLinked = 0;
    static constexpr int kMalformed = -1;
    static constexpr int kDependencyFailed = -2;
    static constexpr int kLinkFailed = -3;
    // The system library and the classes the runtime itself looks up there.
    static constexpr const char* kSystemLibrary = "gs.gsl";
    static constexpr const char* kMessageClass = "Message";

    // Empty tables and lists; RegisterBuiltinNatives makes it usable.
    GSMachine();
    GSMachine(const GSMachine&) = delete;
    GSMachine& operator=(const GSMachine&) = delete;
    ~GSMachine();

    // The process's machine, made and given its built-in natives on the
    // first call; torn down at exit.
    static GSMachine& Get();

    // Makes both tables anew with their buckets, the name memory with its
    // 256-byte pages, the machine thread, and binds the built-in natives.
    void RegisterBuiltinNatives();

    // Registers folder/fileName (taken in the container, when not empty)
    // without loading it: true when its header is a library's. A name of
    // 256 bytes or more is refused.
    bool AddLibrary(const Nyx::PString& container, std::string_view folder, std::string_view fileName,
                    LibraryId* id = nullptr);
    // Registers every "*.gsl" at the top of the container; false only when
    // the folder cannot be searched.
    bool AddLibraryFolder(const Nyx::PString& container);
    // The library of a registered id, loaded and linked on first use; null
    // when unknown or when the load fails (a later call tries again).
    GSRuntime::GSLibrary* LoadLibrary(LibraryId id) { return LoadLibrary(id, nullptr); }
    // The same; `linkResult` receives LinkLibrary's result when this call
    // linked the library.
    GSRuntime::GSLibrary* LoadLibrary(LibraryId id, int* linkResult);
    // LoadLibrary of the library registered under a name, any case.
    GSRuntime::GSLibrary* GetLibrary(std::string_view name);

    // Reads and links one library image held in the reader.
    int LinkLibrary(GSRuntime::GSLibrary& library, Utils::ByteBuffer& reader);

    // Appends a binding; the machine owns it from then on.
    void AddNative(std::unique_ptr<GSRuntime::GSNativeFunction> native);
    // The newest binding of exactly this class name and signature.
    GSRuntime::GSNativeFunction* FindNative(const Nyx::PString& className, const Nyx::PString& signature) const;

    // Calls the script function named by its signature on an instance (its
    // field block) of `cls` or of a class derived from it, living in
    // `context`, which must have a router. The arguments are one word per
    // parameter after "me": integers, float bits, or references given as
    // the views they point at (the callee takes a count of its own). A
    // thread function starts as a new thread of the instance's game object;
    // any other runs at once on the machine thread, and its value goes to
    // `result` (a reference as its view, with a count the caller owns).
    bool CallFunction(GSRuntime::GSContext* context, GSRuntime::GSClass* cls, GSRuntime::GSSlot* instance,
                      const char* signature, intptr_t* result, std::span<const intptr_t> args);

    // The machine thread; RegisterBuiltinNatives makes it.
    GSRuntime::GSThread& MachineThread() noexcept { return *thread_; }
    // "GameObject" and "Message" of the system library, looked up until
    // found and then remembered.
    GSRuntime::GSClass* GetGameObjectClass();
    GSRuntime::GSClass* GetMessageClass();

    const LibraryIdTable& IdTable() const noexcept { return ids_; }
    const LibraryNameTable& NameTable() const noexcept { return names_; }
    const Utils::DoubleLinkList& LoadedLibraries() const noexcept { return loaded_; }
    const Utils::DoubleLinkList& Natives() const noexcept { return natives_; }

private:
    // The header's id; false for a file that is not a library.
    static bool ReadHeader(const Nyx::PString& container, const std::string& path, LibraryId& id);
    static bool ReadHeader(Nyx::File& file, LibraryId& id);
    const char* CopyNameKey(std::string_view name);
    int ResolveAndLink(GSRuntime::GSLibrary& library);
    void DiscardLoadsFrom(size_t mark);
    GSRuntime::GSClass* SystemClass(const char* name, GSRuntime::GSClass*& cached);

    LibraryIdTable ids_;
    LibraryNameTable names_;
    Utils::DoubleLinkList loaded_;
    Utils::DoubleLinkList natives_;
    Utils::FrameMemory nameMemory_;
    // Entries whose library was first loaded inside the load that runs now,
    // in load order: a failed load discards them all, since they may point
    // into the library that failed.
    std::vector<LibraryEntry*> loading_;
    uint32_t loadDepth_ = 0;
    std::unique_ptr<GSRuntime::GSThread> thread_;
    GSRuntime::GSClass* gameObjectClass_ = nullptr;
    GSRuntime::GSClass* messageClass_ = nullptr;
};
