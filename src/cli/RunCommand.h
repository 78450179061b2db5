// One command: the command word matched against the command table, its
// parameters checked, its work run; and the printing of a command's results.
#pragma once

#include "core/process/EngineContext.h"

class ResultsLog;

// The version the tool reports, and the build.
inline constexpr int kInstalledVersion = 320;
inline constexpr int kInstalledBuildNumber = 41615;

// argv[0] is the program, argv[1] the command word, argv[2] on its
// parameters. Returns the process exit code.
int RunCommand(ResultsLog& log, EngineContext& context, int argc, char** argv);

// Prints every result as prefix, KUID text, " : " and text, then the
// summary line "OK (<errors> Errors, <warnings> Warnings)", and marks the
// log reported.
void PrintResults(ResultsLog& log);
