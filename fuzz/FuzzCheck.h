// A property a fuzz target asserts of every input: when it does not hold,
// the run stops at once, so the fuzzer keeps the input that broke it.
#pragma once

#include <cstdlib>

inline void FuzzCheck(bool ok)
{
    if (!ok)
        std::abort();
}
