// How a run of a script thread ended.
#pragma once

#include <cstdint>

namespace GSRuntime {

enum GSExitCode : uint32_t {
    ER_Done,
    ER_Blocked,
    ER_IllegalInstruction,
    ER_DivideByZero,
    ER_NullArrayReference,
    ER_ArrayOutOfBounds,
    ER_ArrayRangeError,
    ER_NullStringReference,
    ER_StringOutOfBounds,
    ER_NullReference,
    ER_ClassCreateError,
    ER_NativeCallError,
    ER_StackOverflow,
    ER_NoStackFrame,
    ER_ThreadError,
    ER_StackReturnError,
    ER_Exception,
    ER_LinkError,
    ER_Timeout,
};

constexpr uint32_t kExitCodeCount = ER_Timeout + 1;

// The code's name as the exception message gives it ("ER_Timeout").
const char* ExitCodeName(GSExitCode code) noexcept;

}  // namespace GSRuntime
