// Start-up and shut-down of the process: the validation library, the
// engine objects, networking, the data folders and the daemon client.
#pragma once

#include <cstdint>
#include <string>

#include "core/process/EngineContext.h"
#include "nyx/files/File.h"

// 0 on success, 0xFF on failure (the steps after the failing one do not
// run; ShutdownEnvironment takes down what did).
uint8_t InitEnvironment(EngineContext& context, const char* argv0, int argc, char** argv);
// The same start-up for a program at the given path instead of the running
// one: its folder becomes the program folder and the folder above it the
// data root.
uint8_t InitEnvironmentForProgram(EngineContext& context, const Nyx::File::Path& programPath, int argc,
                                  char** argv);
// Safe at any time: after a full, a partial or a failed start-up, and twice.
void ShutdownEnvironment(EngineContext& context);

// Creates the data folders under the data root, acquires their archives and
// mounts "scripts" and "libraries".
void OpenDataFolders(const Nyx::File::Path& dataRoot);
void CloseDataFolders();

// The working folder the process was started in, saved by start-up before it
// moves to the program folder; empty before that (or when it could not be
// read).
const std::string& GetInitialWorkingFolder();

// The working folder now; empty when it cannot be read.
std::string CurrentWorkingFolder();
