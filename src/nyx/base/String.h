// The engine's plain string values. `String` is a byte string; `AnsiString`
// differs only in the size it reports: the text length plus its NUL for a
// non-empty text and 0 for the empty one (streams write exactly that size).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "nyx/base/PString.h"

namespace Nyx {

class String {
public:
    String() = default;
    String(const char* text) : s_(text ? text : "") {}
    String(std::string_view text) : s_(text) {}
    String(std::string text) : s_(std::move(text)) {}
    String(const PString& p) : s_(p.View()) {}

    const char* c_str() const noexcept { return s_.c_str(); }
    uint32_t Length() const noexcept { return static_cast<uint32_t>(s_.size()); }
    bool Empty() const noexcept { return s_.empty(); }
    std::string_view View() const noexcept { return s_; }
    const std::string& Str() const noexcept { return s_; }
    std::string& Str() noexcept { return s_; }
    void Clear() noexcept { s_.clear(); }

    String& operator+=(std::string_view more) { s_ += more; return *this; }
    String& operator+=(char c) { s_ += c; return *this; }
    bool operator==(const String& o) const noexcept { return s_ == o.s_; }
    bool operator==(std::string_view o) const noexcept { return s_ == o; }
    bool operator==(const char* o) const noexcept { return o && s_ == o; }

    // printf-style formatting into this string (replacing its contents).
    String& Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    String& FormatV(const char* fmt, va_list args);
    static String Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

protected:
    std::string s_;
};

class AnsiString : public String {
public:
    using String::String;
    AnsiString(const String& s) : String(s) {}
    // Bytes a stream record of this text holds: the text and its NUL, or 0.
    uint32_t Size() const noexcept { return s_.empty() ? 0 : Length() + 1; }
};

}  // namespace Nyx
