// Script-system start-up: once per process, before the tool compiles, links
// or runs any asset script. It mounts the cache of compiled system scripts,
// registers the library folders with the script machine, enters the native
// tables of the tool's script classes and loads the system classes.
#pragma once

#include <span>

#include "scriptapi/startup/NativeTables.h"
#include "scriptapi/startup/SystemClasses.h"

class GSMachine;

// One system class and the library it comes from.
struct SystemClassLoad {
    const char* libraryFile;
    const char* className;
    SystemClass slot;
};

// The classes of step 6, in their load order.
std::span<const SystemClassLoad> StartupSystemClasses();

// The steps on one machine; the process's start-up runs them on the
// process's machine, tests on machines of their own.
class ScriptSystemStartup {
public:
    explicit ScriptSystemStartup(GSMachine& machine, std::span<const NativeTable> tables = StartupNativeTables(),
                                 std::span<const SystemClassLoad> classes = StartupSystemClasses());

    // True when every step succeeded. Runs the steps once: later calls give
    // the first call's answer, so a failed start is not taken for a ready
    // one (its class slots may be null).
    bool Run();
    bool HasRun() const noexcept { return state_ != State::kNotRun; }

private:
    enum class State { kNotRun, kReady, kFailed };

    bool RunSteps();

    GSMachine& machine_;
    std::span<const NativeTable> tables_;
    std::span<const SystemClassLoad> classes_;
    State state_ = State::kNotRun;
};

// The process's start-up on GSMachine::Get.
bool InitScriptSystem();
