#include "gs/compiler/CompilerMain.h"

#include <cstdio>

// The compiler itself is not part of this build yet: every compile fails
// with one error, and says why.
int CompilerMain(int /*argc*/, char** /*argv*/)
{
    std::fputs("The GS compiler is not available in this build.\n", stdout);
    return 1;
}
