// The GS compiler on its own: the arguments are the compiler's, and the
// exit code is its number of errors. The parent sees only the low 8 bits of
// an exit code, so a count of 256 would read as success: counts from 255 up
// all end with 255.
#include "gs/compiler/CompilerMain.h"

namespace {

constexpr int kMostErrorsShown = 255;

int ExitCode(int errors) { return errors == 0 ? 0 : errors > 0 && errors < kMostErrorsShown ? errors : kMostErrorsShown; }

}  // namespace

int main(int argc, char** argv) { return ExitCode(CompilerMain(argc, argv)); }
