// The harness's "run FILE.gs": the script is compiled with the project's
// compiler, its library loaded on a machine whose script system is set up,
// and an object of its class Test (a KestroScriptBase) made as a game
// object in a KestroScriptContext with a router; "$void@Test::Main()"
// runs, then router rounds follow 10 ms apart, the tool clock keeping real
// time, until the object has no thread left or the time limit passed.
#pragma once

#include <functional>
#include <string>
#include <vector>

class GSMachine;

class HarnessRun {
public:
    static constexpr float kRoundSeconds = 0.01f;
    static constexpr float kTimeLimitSeconds = 30.0f;

    struct Outcome {
        bool compiled = false;
        bool ok = false;     // Main returned normally and the threads ended in time
        std::string reason;  // why not
    };

    // `includeFolders` are searched in order (each ending in "/"), then the
    // file's own folder; the library is written into `workFolder`, which
    // must be a folder the machine may load from. A file named as a source
    // of `includeFolders` is compiled under a name of its own (its stem,
    // "-" and a number), which its messages then show. Compile messages go
    // to `compileLine`.
    static Outcome Run(GSMachine& machine, const std::string& file, const std::vector<std::string>& includeFolders,
                       const std::string& workFolder,
                       const std::function<void(const std::string&)>& compileLine = {},
                       float timeLimitSeconds = kTimeLimitSeconds);
};
