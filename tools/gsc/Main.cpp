// The GS compiler on its own: the arguments and the exit code are the
// compiler's (the exit code is the number of errors).
#include "gs/compiler/CompilerMain.h"

int main(int argc, char** argv) { return CompilerMain(argc, argv); }
