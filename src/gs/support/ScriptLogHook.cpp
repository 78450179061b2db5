#include "gs/support/ScriptLogHook.h"

#include <cstdarg>
#include <cstdio>
#include <string>

ScriptLogFunction ScriptLogHook = nullptr;

void ScriptLog(const char* fmt, ...)
{
    ScriptLogFunction hook = ScriptLogHook;
    if (!hook)
        return;
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, fmt, args);
    va_end(args);
    // The hook formats again: the text goes through "%s" so that a "%" in
    // a library or class name stays as it is.
    hook("%s", text.c_str());
}
