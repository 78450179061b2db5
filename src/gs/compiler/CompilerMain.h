// The GS compiler's command-line entry. argv[0] is the program's name; the
// other arguments are options and the input file name. Returns the number
// of compile errors: 0 is success.
#pragma once

int CompilerMain(int argc, char** argv);
