// The script machine: the registry of compiled script libraries (".gsl"),
// by id and by lower-cased name, which loads and links a library the first
// time it is asked for, and the list of native-function bindings.
//
// GSMachine::Get gives the process's machine; tests make machines of their
// own. Nothing here locks: one thread at a time uses a machine.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "gs/runtime/registry/LibraryTables.h"
#include "gs/support/DoubleLinkList.h"
#include "gs/support/FrameMemory.h"
#include "nyx/PString.h"

namespace Utils {
class ByteBuffer;
}

namespace GSRuntime {
class GSLibrary;
class GSNativeFunction;
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

    // Empty tables and lists; RegisterBuiltinNatives makes it usable.
    GSMachine();
    GSMachine(const GSMachine&) = delete;
    GSMachine& operator=(const GSMachine&) = delete;
    ~GSMachine();

    // The process's machine, made and given its built-in natives on the
    // first call; torn down at exit.
    static GSMachine& Get();

    // Makes both tables anew with their buckets, the name memory with its
    // 256-byte pages, and binds the built-in natives.
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

    const LibraryIdTable& IdTable() const noexcept { return ids_; }
    const LibraryNameTable& NameTable() const noexcept { return names_; }
    const Utils::DoubleLinkList& LoadedLibraries() const noexcept { return loaded_; }
    const Utils::DoubleLinkList& Natives() const noexcept { return natives_; }

private:
    // The header's id; false for a file that is not a library.
    static bool ReadHeader(const Nyx::PString& container, const std::string& path, LibraryId& id);
    const char* CopyNameKey(std::string_view name);
    int ResolveAndLink(GSRuntime::GSLibrary& library);
    void DiscardLoadsFrom(size_t mark);

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
};
