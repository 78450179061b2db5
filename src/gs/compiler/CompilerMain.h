// The GS compiler's command-line entry. argv[0] is the program's name; the
// other arguments are options and the input file name. Returns the number
// of compile errors: 0 is success. A program that ends once it returns
// says so (exitsAfter): the compile's memory is then left to the exit.
#pragma once

int CompilerMain(int argc, char** argv, bool exitsAfter = false);
