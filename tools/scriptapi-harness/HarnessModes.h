// The modes of the script API test program. Each mode lives in a file of
// its own and enters itself here through a static HarnessModeRegistration,
// so adding a mode touches no shared file.
#pragma once

#include <span>
#include <string_view>

// The arguments after the mode word; the process's exit code.
using HarnessModeFunction = int (*)(std::span<char* const> args);

struct HarnessMode {
    const char* name;
    const char* usage;
    HarnessModeFunction run;
};

class HarnessModeRegistration {
public:
    explicit HarnessModeRegistration(const HarnessMode& mode);
};

// The mode of that name (exact text), or null.
const HarnessMode* FindHarnessMode(std::string_view name);
// Every registered mode, for the usage text.
std::span<const HarnessMode> HarnessModes();
