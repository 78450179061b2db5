// Running a command inside the process's exception guard, and the script
// machine's log hook.
#pragma once

#include <functional>

#include "core/process/EngineContext.h"
#include "core/process/ProcessState.h"

class ResultsLog;

// Sets the command guard and runs RunCommand. A fatal signal (SIGSEGV,
// SIGBUS, SIGILL, SIGFPE) anywhere in the process from then on, or a C++
// exception escaping the command, ends the process at once with -100;
// nothing is printed and nothing is shut down.
int RunCommandGuarded(ResultsLog& log, EngineContext& context, int argc, char** argv);
// The guard itself, around any work.
int RunGuarded(const std::function<int()>& work);

// Formats into a 16,384-byte buffer (cut at that size) and logs
// "ScriptLog> " and the text.
void ScriptLogSink(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
