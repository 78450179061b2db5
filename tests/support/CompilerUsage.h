// The usage text the compiler prints when it is given no source file, for
// the program called `name` (its last path component).
#pragma once

#include <string>

inline std::string CompilerUsage(const std::string& name)
{
    return "MARVU GameScript Compiler V1.02\n\n" + name + " returns number of compile errors\n" + name +
           " <option> <option>..\nwhere <option> is one of the following\n\n"
           "<-d> print documentation, u might wanna pipe it to a text document =)\n"
           "<-s> silent\n"
           "<-bfilename> dump the build info (compile log) to file\n"
           "<-ppathname> output path\n"
           "<-ofilename> output library filename\n"
           "<filename> input source file\n"
           "<-ipathname> additional include path\n";
}
