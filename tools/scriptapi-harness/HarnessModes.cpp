#include "scriptapi-harness/HarnessModes.h"

#include <vector>

namespace {

// Filled by static initialisers of other files: made on first use so the
// order in which those run does not matter.
std::vector<HarnessMode>& Modes()
{
    static std::vector<HarnessMode> modes;
    return modes;
}

}  // namespace

HarnessModeRegistration::HarnessModeRegistration(const HarnessMode& mode) { Modes().push_back(mode); }

const HarnessMode* FindHarnessMode(std::string_view name)
{
    for (const HarnessMode& mode : Modes()) {
        if (name == mode.name)
            return &mode;
    }
    return nullptr;
}

std::span<const HarnessMode> HarnessModes() { return Modes(); }
