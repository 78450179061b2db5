#include "gs/runtime/registry/GSMachine.h"

#include <cstdlib>

#include "core/streams/LittleEndian.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/BuiltinNatives.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "gs/support/ScriptLogHook.h"
#include "nyx/files/File.h"
#include "platform/FileConfinement.h"

namespace {

std::string JoinPath(std::string_view folder, std::string_view fileName)
{
    Nyx::File::Path path(folder);
    path.AddPath(fileName);
    return path.Str();
}

std::string LowerCase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

GSMachine::GSMachine() = default;

GSMachine::~GSMachine()
{
    // The thread's frames point into the libraries: it goes first.
    thread_.reset();
    ids_.Clear();
    names_.Clear();
    nameMemory_.Reset();
    loaded_.DeleteAll();
    natives_.DeleteAll();
}

GSMachine& GSMachine::Get()
{
    static GSMachine* machine = nullptr;
    if (!machine) {
        machine = new GSMachine;
        std::atexit([] { delete machine; });
    }
    // Set before the work, so that a table reached from inside the
    // registration does not start it again.
    static bool registered = false;
    if (!registered) {
        registered = true;
        machine->RegisterBuiltinNatives();
    }
    return *machine;
}

void GSMachine::RegisterBuiltinNatives()
{
    ids_.Reset();
    names_.Reset();
    nameMemory_.StartPages(kNamePageSize);
    thread_ = std::make_unique<GSRuntime::GSThread>(nullptr, GSRuntime::GSThread::kStaticThread);
    // The built-in bindings (GSObject, GameObject, Router), then Math, then
    // Str: every other native table registers after them.
    GSRuntime::RegisterBuiltinNativeTable(*this);
}

GSRuntime::GSClass* GSMachine::SystemClass(const char* name, GSRuntime::GSClass*& cached)
{
    if (!cached) {
        GSRuntime::GSLibrary* system = GetLibrary(kSystemLibrary);
        cached = system ? system->FindClass(name) : nullptr;
    }
    return cached;
}

GSRuntime::GSClass* GSMachine::GetGameObjectClass()
{
    return SystemClass(GSRuntime::GSClass::kGameObjectClass, gameObjectClass_);
}

GSRuntime::GSClass* GSMachine::GetMessageClass() { return SystemClass(kMessageClass, messageClass_); }

bool GSMachine::ReadHeader(const Nyx::PString& container, const std::string& path, LibraryId& id)
{
    Nyx::File file;
    return file.Open(container, Nyx::File::Path(path), Nyx::File::kModeRead) && ReadHeader(file, id);
}

bool GSMachine::ReadHeader(Nyx::File& file, LibraryId& id)
{
    uint8_t head[kHeaderSize];
    if (file.Read(head, 1, kHeaderSize) != kHeaderSize || LoadLE32(head + 4) != GSRuntime::GSLibrary::kMagic)
        return false;
    id.low = LoadLE32(head + 12);
    id.high = LoadLE32(head + 16);
    return true;
}

const char* GSMachine::CopyNameKey(std::string_view name)
{
    // The name memory's pages hold no key of a page or more.
    if (name.size() >= kNamePageSize)
        return nullptr;
    std::string key = LowerCase(name);
    return nameMemory_.StrDup(key.c_str());
}

bool GSMachine::AddLibrary(const Nyx::PString& container, std::string_view folder, std::string_view fileName,
                           LibraryId* id)
{
    std::string path = JoinPath(folder, fileName);
    if (path.size() >= kNamePageSize)
        return false;
    LibraryId found;
    if (!ReadHeader(container, path, found))
        return false;
    if (id)
        *id = found;
    const char* key = CopyNameKey(path);
    if (!key)
        return false;
    if (LibraryEntry* existing = ids_.Find(found)) {
        names_.Insert(key, existing);
        return true;
    }
    auto* entry = new LibraryEntry{found, container, path, nullptr};
    if (!ids_.Insert(entry)) {
        ScriptLog("Could not add game script library %s to GSMachine", path.c_str());
        delete entry;
        return false;
    }
    names_.Insert(key, entry);
    return true;
}

bool GSMachine::AddLibraryFolder(const Nyx::PString& container)
{
    Nyx::File::Find find(container, Nyx::File::Path("*.gsl"));
    if (!find.Valid())
        return false;
    // Every name found lies right in the container: one rule holds them
    // all, as it holds each one opened in the container on its own.
    const Nyx::File::Path folder = Nyx::File::ContentFolder(container);
    const Platform::FileConfinement rule(folder.View());
    while (find.Next()) {
        if (find.IsFolder())
            continue;
        const std::string& name = find.Name();
        Nyx::File::Path path = folder;
        path.AddPath(name);
        Nyx::File file;
        LibraryId id;
        if (name.size() >= kNamePageSize || !file.Open(rule, path, Nyx::File::kModeRead) || !ReadHeader(file, id))
            continue;
        auto* entry = new LibraryEntry{id, container, name, nullptr};
        if (!ids_.Insert(entry)) {
            ScriptLog("Could not add game script library %s to GSMachine", name.c_str());
            delete entry;
            continue;
        }
        if (const char* key = CopyNameKey(name))
            names_.Insert(key, entry);
    }
    return true;
}

GSRuntime::GSLibrary* GSMachine::LoadLibrary(LibraryId id, int* linkResult)
{
    LibraryEntry* entry = ids_.Find(id);
    if (!entry)
        return nullptr;
    if (entry->loaded)
        return entry->loaded;

    Nyx::File file;
    if (!file.Open(entry->container, Nyx::File::Path(entry->path), Nyx::File::kModeRead))
        return nullptr;
    // The whole file is read in one piece: one too large for that is a
    // failed read, refused before anything is allocated.
    auto library = std::make_unique<GSRuntime::GSLibrary>(*this);
    int64_t size = file.Size();
    bool read = size >= 0 && size <= kMaxLibrarySize && library->buffer.Init(1024);
    if (read) {
        library->buffer.Reserve(static_cast<uint32_t>(size));
        read = !(library->buffer.Flags() & Utils::ByteBuffer::kAllocFailed) &&
               file.Read(library->buffer.Data(), 1, static_cast<uint32_t>(size)) == static_cast<uint32_t>(size);
    }
    file.Close();
    if (!read) {
        ScriptLog("GSMachine: Error loading library %s", entry->path.c_str());
        return nullptr;
    }

    // Registered before linking, so that a dependency on itself or a cycle
    // of dependencies finds this library instead of loading it again.
    GSRuntime::GSLibrary* lib = library.release();
    entry->loaded = lib;
    const size_t mark = loading_.size();
    loading_.push_back(entry);
    ++loadDepth_;
    int result = LinkLibrary(*lib, lib->buffer);
    --loadDepth_;
    if (linkResult)
        *linkResult = result;
    if (result != kLinked) {
        ScriptLog("GSMachine: Error loading library %s", entry->path.c_str());
        DiscardLoadsFrom(mark);
        return nullptr;
    }
    loaded_.PushFront(*lib);
    if (loadDepth_ == 0)
        loading_.clear();
    return lib;
}

void GSMachine::DiscardLoadsFrom(size_t mark)
{
    // Newest first: a library is discarded before those it points into.
    while (loading_.size() > mark) {
        LibraryEntry* entry = loading_.back();
        loading_.pop_back();
        GSRuntime::GSLibrary* lib = entry->loaded;
        entry->loaded = nullptr;
        if (lib->Linked())
            loaded_.Remove(*lib);
        delete lib;
    }
}

GSRuntime::GSLibrary* GSMachine::GetLibrary(std::string_view name)
{
    if (name.size() >= kNamePageSize)
        return nullptr;
    std::string key = LowerCase(name);
    LibraryEntry* entry = names_.Find(key.c_str());
    return entry ? LoadLibrary(entry->id) : nullptr;
}

void GSMachine::AddNative(std::unique_ptr<GSRuntime::GSNativeFunction> native)
{
    natives_.PushBack(*native.release());
}

GSRuntime::GSNativeFunction* GSMachine::FindNative(const Nyx::PString& className,
                                                   const Nyx::PString& signature) const
{
    for (Utils::IDoubleLinkListNode* node = natives_.Last(); node; node = natives_.Before(*node)) {
        auto* native = static_cast<GSRuntime::GSNativeFunction*>(node);
        if (native->ClassName() == className && native->Signature() == signature)
            return native;
    }
    return nullptr;
}
