// The finished texts of validation messages: a key's interface text used as
// a printf-style format with the message's arguments.
//
// The formats come from data files, so they are never handed to printf as
// they are: each conversion is taken apart, checked and given the argument
// it stands for. Spare arguments are ignored, as printf ignores them; a
// format whose conversions do not fit the arguments (one left without an
// argument, one asking for another kind of argument, "%n", "%p") is not
// used at all. Numbers are written in the C locale.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "nyx/base/PString.h"

namespace TETLib {

class MessageArg {
public:
    enum class Kind { kText, kInteger, kReal };

    MessageArg(const char* text) : kind_(Kind::kText), text_(text ? text : "") {}
    MessageArg(std::string_view text) : kind_(Kind::kText), text_(text) {}
    MessageArg(const std::string& text) : kind_(Kind::kText), text_(text) {}
    MessageArg(const Nyx::PString& text) : kind_(Kind::kText), text_(text.View()) {}
    MessageArg(int32_t value) : kind_(Kind::kInteger), integer_(value) {}
    MessageArg(uint32_t value) : kind_(Kind::kInteger), integer_(value) {}
    MessageArg(int64_t value) : kind_(Kind::kInteger), integer_(value) {}
    MessageArg(double value) : kind_(Kind::kReal), real_(value) {}
    MessageArg(float value) : kind_(Kind::kReal), real_(value) {}

    Kind GetKind() const noexcept { return kind_; }
    const std::string& Text() const noexcept { return text_; }
    int64_t Integer() const noexcept { return integer_; }
    double Real() const noexcept { return real_; }

private:
    Kind kind_;
    std::string text_;
    int64_t integer_ = 0;
    double real_ = 0.0;
};

// The format with the arguments filled in: "%s" takes a text, "%d", "%i",
// "%o", "%u", "%x", "%X" and "%c" an integer, "%e", "%f", "%g" and "%a" (in
// either case) a real number. Nothing when the conversions do not fit the
// arguments.
std::optional<std::string> FormatMessageText(std::string_view format, std::initializer_list<MessageArg> args);

// The key's interface text (the key itself when the table has none)
// formatted with the arguments, interned; when the text does not fit the
// arguments, the key followed by the arguments, each after a blank.
Nyx::PString MessageText(const Nyx::PString& key, std::initializer_list<MessageArg> args = {});

}  // namespace TETLib
