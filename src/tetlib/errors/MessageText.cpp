#include "tetlib/errors/MessageText.h"

#include <algorithm>
#include <cstdio>

#include "config/results/InterfaceTextDB.h"

namespace TETLib {

namespace {

// Wider fields than this are cut to it: a width in a data file must not
// make a message of megabytes.
constexpr int kMaxField = 512;

struct Spec {
    std::string flags;
    int width = -1;
    int precision = -1;
    char conversion = 0;
};

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLength(char c) { return c == 'h' || c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't'; }

// Reads a run of digits, saturating at kMaxField.
int ReadNumber(std::string_view text, size_t& at)
{
    int value = 0;
    while (at < text.size() && IsDigit(text[at])) {
        value = std::min(kMaxField, value * 10 + (text[at] - '0'));
        ++at;
    }
    return value;
}

// Parses the conversion that begins after a '%' at `at`; false when the
// text ends before its conversion character.
bool ParseSpec(std::string_view text, size_t& at, Spec& spec)
{
    while (at < text.size() && IsFlag(text[at]))
        spec.flags += text[at++];
    if (at < text.size() && IsDigit(text[at]))
        spec.width = ReadNumber(text, at);
    if (at < text.size() && text[at] == '.') {
        ++at;
        spec.precision = ReadNumber(text, at);
    }
    while (at < text.size() && IsLength(text[at]))
        ++at;
    if (at >= text.size())
        return false;
    spec.conversion = text[at++];
    return true;
}

// The format of one conversion, made only of characters that ParseSpec
// accepted, with the flags the conversion is defined for.
std::string Rebuild(const Spec& spec, std::string_view allowedFlags, const char* length, char conversion)
{
    std::string out = "%";
    for (char flag : spec.flags)
        if (allowedFlags.find(flag) != std::string_view::npos)
            out += flag;
    if (spec.width >= 0)
        out += std::to_string(spec.width);
    if (spec.precision >= 0 && conversion != 'c') {
        out += '.';
        out += std::to_string(spec.precision);
    }
    out += length;
    out += conversion;
    return out;
}

template <class T>
void Append(std::string& out, const std::string& format, T value)
{
    const int n = std::snprintf(nullptr, 0, format.c_str(), value);
    if (n <= 0)
        return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) + 1);
    std::snprintf(out.data() + at, static_cast<size_t>(n) + 1, format.c_str(), value);
    out.resize(at + static_cast<size_t>(n));
}

std::string NaturalText(const MessageArg& arg)
{
    switch (arg.GetKind()) {
    case MessageArg::Kind::kText:
        return arg.Text();
    case MessageArg::Kind::kInteger:
        return std::to_string(arg.Integer());
    case MessageArg::Kind::kReal: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", arg.Real());
        return buffer;
    }
    }
    return {};
}

enum class Wants { kText, kInteger, kReal, kNothing };

Wants WantedKind(char conversion)
{
    switch (conversion) {
    case 's':
        return Wants::kText;
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
    case 'c':
        return Wants::kInteger;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        return Wants::kReal;
    default:
        // "%n" would write through its argument and "%p" read one as an
        // address; neither is ever a message's.
        return Wants::kNothing;
    }
}

bool Fits(Wants wants, const MessageArg& arg)
{
    switch (wants) {
    case Wants::kText:
        return arg.GetKind() == MessageArg::Kind::kText;
    case Wants::kInteger:
        return arg.GetKind() == MessageArg::Kind::kInteger;
    case Wants::kReal:
        return arg.GetKind() == MessageArg::Kind::kReal;
    case Wants::kNothing:
        return false;
    }
    return false;
}

void Convert(std::string& out, const Spec& spec, const MessageArg& arg)
{
    const char c = spec.conversion;
    switch (WantedKind(c)) {
    case Wants::kText:
        Append(out, Rebuild(spec, "-", "", 's'), arg.Text().c_str());
        return;
    case Wants::kInteger:
        if (c == 'c')
            Append(out, Rebuild(spec, "-", "", 'c'), static_cast<int>(static_cast<unsigned char>(arg.Integer())));
        else if (c == 'd' || c == 'i')
            Append(out, Rebuild(spec, "-+ 0", "ll", c), static_cast<long long>(arg.Integer()));
        else
            Append(out, Rebuild(spec, c == 'u' ? "-0" : "-0#", "ll", c),
                   static_cast<unsigned long long>(arg.Integer()));
        return;
    case Wants::kReal:
        Append(out, Rebuild(spec, "-+ 0#", "", c), arg.Real());
        return;
    case Wants::kNothing:
        return;
    }
}

}  // namespace

std::optional<std::string> FormatMessageText(std::string_view format, std::initializer_list<MessageArg> args)
{
    std::string out;
    const MessageArg* next = args.begin();
    size_t at = 0;
    while (at < format.size()) {
        const size_t percent = format.find('%', at);
        if (percent == std::string_view::npos) {
            out.append(format.substr(at));
            break;
        }
        out.append(format.substr(at, percent - at));
        size_t end = percent + 1;
        if (end < format.size() && format[end] == '%') {
            out += '%';
            at = end + 1;
            continue;
        }
        Spec spec;
        if (!ParseSpec(format, end, spec)) {
            // A conversion cut off by the end of the text stays as written.
            out.append(format.substr(percent));
            break;
        }
        at = end;
        if (next == args.end() || !Fits(WantedKind(spec.conversion), *next))
            return std::nullopt;
        Convert(out, spec, *next++);
    }
    return out;
}

Nyx::PString MessageText(const Nyx::PString& key, std::initializer_list<MessageArg> args)
{
    const Nyx::PString format = InterfaceTextDB::Instance().GetString(key, true);
    if (std::optional<std::string> text = FormatMessageText(format.View(), args))
        return Nyx::PString(*text);
    std::string text = key.Str();
    for (const MessageArg& arg : args) {
        text += ' ';
        text += NaturalText(arg);
    }
    return Nyx::PString(text);
}

}  // namespace TETLib
