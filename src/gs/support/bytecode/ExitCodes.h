// How a script thread ends, and the budget of bytes a thread may run
// between two yields before it is stopped.
#pragma once

#include <cstdint>

namespace GSBytecode {

enum GSExitCode : int32_t {
    ER_Done = 0,
    ER_Blocked = 1,
    ER_IllegalInstruction = 2,
    ER_DivideByZero = 3,
    ER_NullArrayReference = 4,
    ER_ArrayOutOfBounds = 5,
    ER_ArrayRangeError = 6,
    ER_NullStringReference = 7,
    ER_StringOutOfBounds = 8,
    ER_NullReference = 9,
    ER_ClassCreateError = 10,
    ER_NativeCallError = 11,
    ER_StackOverflow = 12,
    ER_NoStackFrame = 13,
    ER_ThreadError = 14,
    ER_StackReturnError = 15,
    ER_Exception = 16,
    ER_LinkError = 17,
    ER_Timeout = 18,
};

// Every taken jump adds the bytes run since the previous one; a thread past
// this many ends with ER_Timeout, so a loop that never waits cannot hang
// the game.
constexpr uint32_t kJumpBudget = 0x1000000;

}  // namespace GSBytecode
