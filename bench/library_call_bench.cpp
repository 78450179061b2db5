// LibraryCallNative's road to a native plug-in (script strings into a KNI
// array, the call by name, the answer back as text) beside calling the
// plug-in's own dispatcher, found with dlsym, on a ready array.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "RatioReporter.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSString.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/library/GSOLibrary.h"
#include "scriptapi/library/GSOLibrarySpec.h"
#include "scriptapi/library/NativeInterface.h"

namespace {

namespace fs = std::filesystem;

const char* const kArguments[] = {"alpha", "beta", "gamma"};
constexpr int64_t kCallsPerIteration = 1;

// A data root of its own with the plug-in in bin/plugins.
struct PluginRoot {
    fs::path root;
    PluginRoot()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/library_call_bench.XXXXXX";
        if (::mkdtemp(folder.data())) {
            root = folder;
            fs::create_directories(root / "bin/plugins");
            fs::copy_file(KNI_ECHO_PATH, root / "bin/plugins/kni-echo.so");
            SetContentRootPath(Nyx::File::Path(root.string()));
        }
    }
    ~PluginRoot()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

void BM_LibraryCallNative(benchmark::State& state)
{
    PluginRoot root;
    KestroScriptContext context;
    ChunkRef config(new TDBContainerTag);
    TDBContainerTag::SetString(config, Nyx::PString("native-plugin"), Nyx::PString("kni-echo"));
    GSOLibrarySpec spec(KUID(1, 1, 0), Nyx::PString(), Nyx::String(), Nyx::String(), config);
    GSOLibrary library(&context, &spec);
    if (!library.Plugin()) {
        state.SkipWithError("the plug-in did not load");
        return;
    }
    auto* strings = new GSRuntime::GSArray(&context, GSRuntime::GSArray::kReferenceElements);
    for (int32_t i = 0; i < 3; ++i)
        strings->SetObjectAt(i, (new GSRuntime::GSString(&context, kArguments[i]))->Reference(), false);
    for (auto _ : state) {
        Nyx::String answer = library.CallPlugin("Echo", strings);
        benchmark::DoNotOptimize(answer.c_str());
    }
    state.SetBytesProcessed(state.iterations() * kCallsPerIteration);
}
BENCHMARK(BM_LibraryCallNative);

void BM_DirectDlsymCall(benchmark::State& state)
{
    void* shared = ::dlopen(KNI_ECHO_PATH, RTLD_NOW | RTLD_LOCAL);
    using Call = KNIObject* (*)(void*, const char*, KNIObject*);
    auto entry = shared ? reinterpret_cast<KNIEntryPointFunction>(::dlsym(shared, KNI_ENTRY_POINT_NAME)) : nullptr;
    auto call = shared ? reinterpret_cast<Call>(::dlsym(shared, "KNIEchoCall")) : nullptr;
    if (!entry || !call) {
        state.SkipWithError("the plug-in's functions were not found");
        return;
    }
    KNIObject* context = KNICreateContext();
    // Gives the plug-in its function table.
    KNIRelease(entry(context));
    KNIObject* arguments = KNIAllocArray(3);
    for (uint32_t i = 0; i < 3; ++i) {
        KNIObject* text = KNIAllocString(kArguments[i]);
        KNISetArrayElement(arguments, i, text);
        KNIRelease(text);
    }
    for (auto _ : state) {
        KNIObject* answer = call(nullptr, "Echo", arguments);
        benchmark::DoNotOptimize(KNIGetStringText(answer));
        KNIRelease(answer);
    }
    KNIRelease(arguments);
    KNIReleaseContext(context);
    ::dlclose(shared);
    state.SetBytesProcessed(state.iterations() * kCallsPerIteration);
}
BENCHMARK(BM_DirectDlsymCall);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.BytesPerSecondOf("BM_LibraryCallNative");
    const double direct = reporter.BytesPerSecondOf("BM_DirectDlsymCall");
    if (ours > 0 && direct > 0)
        std::printf("\nLibraryCallNative / direct dlsym call (time per call, goal <= 3): %.2f\n", direct / ours);
    benchmark::Shutdown();
    return 0;
}
