#include "gs/runtime/interp/GSExitCode.h"

namespace GSRuntime {

const char* ExitCodeName(GSExitCode code) noexcept
{
    static const char* const kNames[kExitCodeCount] = {
        "ER_Done",           "ER_Blocked",           "ER_IllegalInstruction", "ER_DivideByZero",
        "ER_NullArrayReference", "ER_ArrayOutOfBounds", "ER_ArrayRangeError",  "ER_NullStringReference",
        "ER_StringOutOfBounds", "ER_NullReference",   "ER_ClassCreateError",   "ER_NativeCallError",
        "ER_StackOverflow",  "ER_NoStackFrame",      "ER_ThreadError",        "ER_StackReturnError",
        "ER_Exception",      "ER_LinkError",         "ER_Timeout",
    };
    return code < kExitCodeCount ? kNames[code] : "";
}

}  // namespace GSRuntime
