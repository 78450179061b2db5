// What the runtime tests share: the script log caught line by line, and
// library images written into a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/ScriptLogHook.h"
#include "support/GSLibraryBuilder.h"
#include "support/TempFolder.h"

// Catches the script log while it lives.
class LogCapture {
public:
    LogCapture() { Lines().clear(); previous_ = ScriptLogHook; ScriptLogHook = &Catch; }
    ~LogCapture() { ScriptLogHook = previous_; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Take();

private:
    static std::vector<std::string>& Lines();
    static void Catch(const char* fmt, ...);
    ScriptLogFunction previous_;
};

inline std::string Bytes(const std::vector<uint8_t>& image) { return std::string(image.begin(), image.end()); }

// A fresh machine with its tables made.
struct TestMachine {
    TestMachine() { machine.RegisterBuiltinNatives(); }
    GSMachine machine;
};

// Writes the image as dir/file and registers it; the id of the file.
LibraryId AddImage(GSMachine& machine, const TempFolder& dir, const std::string& file,
                   const std::vector<uint8_t>& image);
