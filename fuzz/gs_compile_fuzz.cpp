// The whole GS compile on source bytes, to a library image in memory: a
// program that compiles must give an image that the test reader accepts by
// every rule of its layout and that the script machine loads and links
// (unless a frame outgrows a thread's stack, which only the loader knows).
// A refused image must be an override that returns another type.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/image/LibraryWriter.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/ByteBuffer.h"
#include "gs/support/ScriptLogHook.h"
#include "support/GSLibraryImage.h"

using namespace GSCompiler;

namespace {

void IgnoreLog(const char*, ...) {}

// Whether some function's frame needs more slots than a thread's stack has.
bool FrameOutgrowsTheStack(const gsimage::Image& image)
{
    for (const gsimage::ClassRecord& cls : image.classes) {
        for (const gsimage::FunctionRecord& f : cls.functions) {
            if (int64_t(f.Arguments()) - 1 + f.words[8] > 1024)
                return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    static FuzzTempFolder folder("gs-compile-fuzz");
    folder.Clear();
    folder.Write("fuzz.gs", std::string_view(reinterpret_cast<const char*>(data), size));
    IncludePathList::Global().Clear();
    IncludePathList::Global().Append(Nyx::File::Path(folder.Path() + "/"));

    CompileSession sink;
    CompilerState state;
    const int32_t errors = CompileProgram("fuzz.gs", state, &sink);
    IncludePathList::Global().Clear();
    FuzzCheck(errors >= 0);
    if (errors != 0)
        return 0;
    FuzzCheck(sink.Count() == 0);

    Utils::ByteBuffer buffer;
    buffer.Init(1024);
    if (!WriteLibraryImage(buffer, state, &sink, "fuzz.gs")) {
        const char* first = sink.TakeLine();
        FuzzCheck(first && std::string(first) == "Wrong return type on function: ");
        return 0;
    }
    const std::vector<uint8_t> bytes(buffer.Data(), buffer.Data() + buffer.Size());
    const gsimage::Image image = gsimage::ReadImage(bytes);
    FuzzCheck(image.errors.empty());

    folder.Write("fuzz.gsl", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const ScriptLogFunction previous = ScriptLogHook;
    ScriptLogHook = &IgnoreLog;
    int linked = 1;
    {
        GSMachine machine;
        machine.RegisterBuiltinNatives();
        FuzzCheck(machine.AddLibraryFolder(Nyx::PString(folder.Path())));
        const bool loaded = machine.LoadLibrary(LibraryId{image.idLow, image.idHigh}, &linked) != nullptr;
        FuzzCheck(loaded == (linked == GSMachine::kLinked));
    }
    ScriptLogHook = previous;
    FuzzCheck(linked == GSMachine::kLinked || FrameOutgrowsTheStack(image));
    return 0;
}
