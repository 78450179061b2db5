// The script machine over library files made of arbitrary bytes: the input,
// cut at each "\n@@\n", gives up to three ".gsl" files of one folder, which
// is registered; then each is loaded by name. Whatever the files hold,
// nothing is read outside them, every library that stays loaded depends
// only on libraries that are loaded too, and each of its functions says
// what its signature says.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "gs/runtime/library/FunctionSignature.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"

namespace {

constexpr std::string_view kSeparator = "\n@@\n";
const char* const kNames[] = {"a.gsl", "b.gsl", "c.gsl"};

void CheckLoadedClosed(const GSMachine& machine)
{
    std::set<const GSRuntime::GSLibrary*> loaded;
    const auto& list = machine.LoadedLibraries();
    for (auto* node = list.First(); node; node = list.After(*node))
        loaded.insert(static_cast<const GSRuntime::GSLibrary*>(node));
    for (const GSRuntime::GSLibrary* lib : loaded) {
        for (const GSRuntime::Dependency& d : lib->dependencies)
            FuzzCheck(loaded.count(d.library) == 1);
        for (const GSRuntime::ClassReference& r : lib->classRefs)
            FuzzCheck(loaded.count(r.library) == 1 && r.cls && r.cls->library == r.library);
        for (uint32_t c = 0; c < lib->classCount; ++c) {
            const GSRuntime::GSClass& cls = lib->classes[c];
            for (uint32_t f = 0; f < cls.functionCount; ++f) {
                GSRuntime::FunctionSignature signature;
                FuzzCheck(GSRuntime::FunctionSignature::Parse(cls.functions[f].name, signature));
                FuzzCheck(cls.functions[f].returnType == signature.ReturnCode());
                FuzzCheck(cls.functions[f].parameterCount == signature.ArgumentCount() + 1);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("gsl_load_fuzz");
    folder.Clear();
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const char* name : kNames) {
        size_t cut = bytes.find(kSeparator);
        folder.Write(name, bytes.substr(0, cut));
        if (cut == std::string_view::npos)
            break;
        bytes.remove_prefix(cut + kSeparator.size());
    }

    GSMachine machine;
    machine.RegisterBuiltinNatives();
    FuzzCheck(machine.AddLibraryFolder(Nyx::PString(folder.Path())));
    for (const char* name : kNames) {
        GSRuntime::GSLibrary* lib = machine.GetLibrary(name);
        FuzzCheck(!lib || machine.GetLibrary(name) == lib);
        CheckLoadedClosed(machine);
    }
    return 0;
}
