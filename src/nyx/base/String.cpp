#include "nyx/base/String.h"

#include <cstdio>

namespace Nyx {

String& String::FormatV(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0) {
        s_.clear();
        return *this;
    }
    s_.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(s_.data(), s_.size(), fmt, args);
    s_.resize(static_cast<size_t>(n));
    return *this;
}

String& String::Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
    return *this;
}

String String::Printf(const char* fmt, ...)
{
    String out;
    va_list args;
    va_start(args, fmt);
    out.FormatV(fmt, args);
    va_end(args);
    return out;
}

}  // namespace Nyx
