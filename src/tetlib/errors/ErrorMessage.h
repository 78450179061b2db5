// One message the validation library collected: its finished text, its
// severity, and the container or tag it is about (either may be none).
#pragma once

#include <cstdint>

#include "nyx/base/PString.h"
#include "tetlib/errors/ObjectSerial.h"

namespace TETLib {

struct ErrorMessage {
    enum Severity : uint32_t {
        kMessage = 0,
        kWarning = 2,
        kError = 3,
    };

    ContainerSerial container = ContainerSerial::kNone;
    TagSerial tag = TagSerial::kNone;
    // The interface text of the message's key, formatted with its
    // arguments; repeats are found by comparing these.
    Nyx::PString key;
    uint32_t severity = kMessage;
};

}  // namespace TETLib
