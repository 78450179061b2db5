// Running GS script files the way the test command does: each file is
// compiled into a temporary folder, loaded, and its class Test made in a
// context of its own (a game object on that context's router when Test
// derives from GameObject); "$void@Test::Main()" runs on the machine
// thread, and the router is then stepped until nothing is left to do.
//
// What a run gives is a list of lines: texts the script prints through
// "$void@Out::Print(string)" (declared in the runner's own "test.gs", which
// the build puts with its library in the data root's "gsrun" folder, apart
// from the system scripts), script-log lines, and compile messages. A test compares them, in order,
// with the file's "// expect: TEXT", "// expect log: TEXT" and
// "// expect compile: TEXT" lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

class GSMachine;

struct RunnerLine {
    enum Kind { kPrinted, kLog, kCompile };
    Kind kind;
    std::string text;  // line breaks in compile messages written "\n"
    int source = 0;    // for expected lines: the file's line
};

class ScriptRunner {
public:
    static constexpr int kMaxSteps = 10000;
    static constexpr float kStep = 0.1f;

    using Emit = std::function<void(const RunnerLine&)>;

    // The folder of the data root that holds the runner's own scripts and
    // their libraries.
    static constexpr const char* kRunnerFolder = "gsrun";

    // The data root holds "scripts" and the runner's folder, searched in
    // that order for includes after the file's own folder.
    ScriptRunner(GSMachine& machine, std::string dataRoot);

    // Binds "$void@Out::Print(string)": before any library that uses it
    // loads.
    static void RegisterPrint(GSMachine& machine);

    struct Outcome {
        bool compiled = false;
        bool ok = false;
        std::string reason;  // why not, for a failed run
        // Each thread that a thread exception ended, in order, as
        // "thread FUNCTION ended with CODE, line N, file NAME"; FUNCTION is
        // the thread's own (outermost) function.
        std::vector<std::string> threadFailures;
    };
    // Compiles and runs the file; every line it gives goes to `emit` as it
    // comes. A thread that ends with an exception does not fail the
    // outcome by itself (a test may expect it): it is listed.
    Outcome Run(const std::string& file, const Emit& emit);

    // Runs the file and compares its lines with its expectations; false,
    // with the first difference in `failure`, when they differ or the run
    // fails where no failed compile was expected.
    bool Test(const std::string& file, std::string& failure);

    // The ".gs" files of a folder, in name order; a file stands for itself.
    static std::vector<std::string> Files(const std::string& path);
    // The expectations of a file, in order.
    static std::vector<RunnerLine> Expectations(const std::string& file);

private:
    GSMachine& machine_;
    std::string dataRoot_;
};
