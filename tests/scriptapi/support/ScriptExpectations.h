// A case script's "// expect log: " lines, and the script-log lines they
// are compared with: the interpreter's own report of an ended thread (its
// exception line and stack dump) and the router's goodbye are left out,
// since the natives' texts are what the scripts test.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace scriptapitest {

inline std::vector<std::string> ExpectedLog(const std::string& file)
{
    static const std::string prefix = "// expect log: ";
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find(prefix);
        if (at != std::string::npos)
            lines.push_back(line.substr(at + prefix.size()));
    }
    return lines;
}

inline std::vector<std::string> NativeLines(const std::vector<std::string>& log)
{
    std::vector<std::string> lines;
    for (const std::string& line : log) {
        if (line.rfind("Thread Exception:", 0) != 0 && line.rfind("Stack Dump", 0) != 0 &&
            line.rfind("function ", 0) != 0 && line.rfind("GSRouter::", 0) != 0)
            lines.push_back(line);
    }
    return lines;
}

}  // namespace scriptapitest
