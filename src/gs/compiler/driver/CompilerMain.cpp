#include "gs/compiler/CompilerMain.h"

#include <cstdio>
#include <optional>
#include <string>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/support/PathBuffer.h"
#include "platform/PathLookup.h"

namespace {

constexpr double kVersion = 1.02;

// What "-d" prints: a short guide to the language.
constexpr const char* kLanguageDocument =
    "GameScript (GS) language notes\n"
    "==============================\n"
    "\n"
    "Comments\n"
    "  // runs to the end of the line; /* ... */ may span lines and does not nest.\n"
    "\n"
    "Keywords\n"
    "  break case continue default else for goto if null return switch while\n"
    "  and or true false void bool int float string object class include define\n"
    "  static public native final thread game secured size isclass copy me new\n"
    "  cast wait on\n"
    "\n"
    "Identifiers\n"
    "  A letter or '_', then letters, digits and '_'. Names are case sensitive.\n"
    "\n"
    "Constants\n"
    "  int: 123 or 0x7B (hexadecimal values above 0x7FFFFFFF give 0x7FFFFFFF).\n"
    "  float: 1.5, .5, 1. with an optional lower-case f; there is no exponent.\n"
    "  character: 'a' (an int). string: \"text\", may span lines.\n"
    "  Escapes: \\n \\t \\v \\r \\f \\b \\a \\\\ \\' \\\" \\0.\n"
    "\n"
    "Types\n"
    "  void bool int float string object, a class name, and arrays of any of them\n"
    "  written with [] (int[], Soup[]).\n"
    "\n"
    "Operators, from the loosest binding\n"
    "  = (assignment), or, and, |, ^, &, == !=, < > <= >=, << >>, + -, * / %,\n"
    "  casts (int)x and cast<Class>x, unary + - ~ ! ++ --, then postfix:\n"
    "  a[i], a[lo, hi] (range), f(...), o.member, x++, x--, a.size(),\n"
    "  o.isclass(Class), a.copy(b). new Class(), new int[n] create objects and\n"
    "  arrays. && || and += are not operators.\n"
    "\n"
    "Declarations\n"
    "  include \"file.gs\"  (before the classes of a file; no ';' follows it)\n"
    "  [specifiers] class Name [isclass Base, Other] { members };\n"
    "  Specifiers: public native final thread static game secured define.\n"
    "  Members: variables (int a, b = 4;), functions (int f(int x) { ... }) and\n"
    "  prototypes (int f(int x);). 'define' variables are constants.\n"
    "\n"
    "Statements\n"
    "  blocks { }, expressions;, if/else, while, for (;;), switch with case and\n"
    "  default, break, continue, return, goto label; and label:.\n"
    "\n"
    "Grammar (outline)\n"
    "  program: include* class+\n"
    "  class: specifiers? 'class' name ('isclass' names)? '{' member* '}' ';'\n"
    "  member: specifiers? (function | prototype | variables)\n"
    "  statement: variables | label | block | expression? ';' | if | switch | wait\n"
    "             | while | for | goto | continue | break | return\n"
    "\n"
    "Compiler switches\n"
    "  -s silent, -bFILE compile log, -pFOLDER output folder, -iFOLDER include\n"
    "  folder, -d this text. The exit code is the number of errors.\n"
    "\n"
    "Game objects\n"
    "  A thread function runs beside the game; wait() { on \"Major\", \"Minor\": ... }\n"
    "  blocks it until a matching message arrives, and on \"Major\", \"Minor\", msg:\n"
    "  names the message received.";

void PrintUsage(const char* argv0)
{
    PathBuffer program(argv0 ? argv0 : "");
    program.StripDirectory();
    const char* name = program.c_str();
    std::printf("MARVU GameScript Compiler V%4.2f\n\n", kVersion);
    std::printf("%s returns number of compile errors\n", name);
    std::printf("%s <option> <option>..\nwhere <option> is one of the following\n\n", name);
    std::printf("<-d> print documentation, u might wanna pipe it to a text document =)\n");
    std::printf("<-s> silent\n");
    std::printf("<-bfilename> dump the build info (compile log) to file\n");
    std::printf("<-ppathname> output path\n");
    std::printf("<-ofilename> output library filename\n");
    std::printf("<filename> input source file\n");
    std::printf("<-ipathname> additional include path\n");
}

}  // namespace

int CompilerMain(int argc, char** argv, bool exitsAfter)
{
    GSCompiler::CompileSession sink;
    GSCompiler::IncludePathList includes;
    std::optional<std::string> input;
    std::optional<std::string> logName;
    std::optional<std::string> outputFolder;
    bool silent = false;

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        // A "\" in a path is a "/", as everywhere in the tool.
        if (arg[0] != '-') {
            input = Platform::ToForwardSlashes(arg);
            continue;
        }
        switch (arg[1]) {
        case 's':
            silent = true;
            break;
        case 'b':
            logName = Platform::ToForwardSlashes(arg + 2);
            break;
        case 'p':
            outputFolder = Platform::ToForwardSlashes(arg + 2);
            break;
        case 'i':
            includes.Append(Nyx::File::Path(arg + 2));
            break;
        case 'd':
            std::printf("%s\n", kLanguageDocument);
            return 0;
        default:
            // "-o" names an output file, but the output is always named
            // after the input; other letters mean nothing.
            break;
        }
    }

    int result;
    if (input && !input->empty()) {
        result = GSCompiler::CompileScriptFile(
            *input, outputFolder ? outputFolder->c_str() : nullptr, includes, &sink,
            exitsAfter ? GSCompiler::CompileMemory::kLeftToExit : GSCompiler::CompileMemory::kFreed);
    } else {
        PrintUsage(argc > 0 ? argv[0] : nullptr);
        result = 1;
    }

    std::FILE* log = logName ? std::fopen(logName->c_str(), "a+") : nullptr;
    while (const char* line = sink.TakeLine()) {
        if (log)
            std::fprintf(log, "%s\n", line);
        if (!silent)
            std::printf("%s\n", line);
    }
    if (log)
        std::fclose(log);
    std::fflush(stdout);
    return result;
}
