// The script machine a GS bench runs on: a temporary library folder holding
// the system library and the bench's own programs as "bench.gsl", a machine
// of its own that loads them, and a context with a router. The jump budget
// is raised so that long runs are measured, not cut off.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "support/GSProgramBuilder.h"

namespace gsbench {

using namespace GSRuntime;

struct GSBenchMachine {
    std::string folder;
    std::unique_ptr<GSMachine> machine;
    std::unique_ptr<GSContext> context;
    GSLibrary* library = nullptr;

    // `name` names the temporary folder; the program aborts when anything
    // cannot be made or loaded.
    GSBenchMachine(const char* name, const std::vector<uint8_t>& programs)
    {
        const char* tmp = std::getenv("TMPDIR");
        folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + ".XXXXXX";
        if (!::mkdtemp(folder.data()))
            std::abort();
        Write("gs.gsl", SystemLibraryImage());
        Write("bench.gsl", programs);
        machine = std::make_unique<GSMachine>();
        machine->RegisterBuiltinNatives();
        machine->AddLibraryFolder(Nyx::PString(folder));
        library = machine->GetLibrary("bench.gsl");
        if (!library)
            std::abort();
        context = std::make_unique<GSContext>(machine.get());
        context->SetRouter(std::make_unique<GSRouter>(context.get()));
        RunLimits().jumpBudget = uint64_t(1) << 62;
    }
    // The objects made on this machine must be gone first.
    ~GSBenchMachine()
    {
        context.reset();
        machine.reset();
        std::filesystem::remove_all(folder);
    }
    GSBenchMachine(const GSBenchMachine&) = delete;
    GSBenchMachine& operator=(const GSBenchMachine&) = delete;

    GSClass* Class(const char* name) const
    {
        GSClass* found = library->FindClass(name);
        if (!found)
            std::abort();
        return found;
    }

private:
    void Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(folder + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
};

}  // namespace gsbench
