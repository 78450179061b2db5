#include "kaddaemon/StateFileText.h"

#include <strings.h>

#include <climits>
#include <cstring>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "config/formats/ConfigText.h"
#include "core/text/TextEncoding.h"

namespace kaddaemon {

namespace {

// The online test settings and whether each is a number.
struct Knob {
    const char* name;
    bool number;
};
constexpr Knob kKnobs[] = {
    {"online-profile", false},    {"online-ticket", false},       {"online-fetch-polls", true},
    {"online-fetch-result", true}, {"online-fetch-ticket", false},
};

// The deepest level a tag of the file stands at: the top (0), an entry of
// "assets" or "authors" (1), a tag of such an entry (2).
constexpr int kDeepestLevel = 2;

struct Tag {
    enum Kind { kNoValue, kValue, kContainer };
    std::string name;  // A-Z lower-cased, as the generic reader takes names
    uint64_t line = 0;
    Kind kind = kNoValue;
    std::string text;  // a value's text, in UTF-8
    std::vector<Tag> children;
};

std::string Quoted(std::string_view name)
{
    // Only a name that prints as it is: junk is better not echoed.
    bool plain = !name.empty() && name.size() <= 64;
    for (char c : name)
        plain &= c > 0x20 && c < 0x7f;
    return plain ? "\"" + std::string(name) + "\"" : std::string("a name that does not print");
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The meaning of the tags, and whether each is where it belongs, taken as
// the lexer meets them: the error named is the first in the file.
class Reading {
public:
    explicit Reading(StateContent& out) : out_(out) {}

    // A tag whose name and kind are known, its children not yet read.
    bool Opened(int level, const Tag* parent, const Tag& tag);
    // The tag with all its children.
    bool Closed(int level, const Tag* parent, const Tag& tag);

    bool Fail(uint64_t line, const std::string& why)
    {
        error_ = "line " + std::to_string(line) + ": " + why;
        return false;
    }
    const std::string& Error() const noexcept { return error_; }

private:
    // False for the second tag of a name at a level.
    bool Once(std::set<std::string>& seen, const Tag& tag)
    {
        return seen.insert(tag.name).second || Fail(tag.line, Quoted(tag.name) + " is given a second time");
    }
    bool Text(const Tag& tag, std::string& out);
    bool Number(const Tag& tag, int32_t& out);
    bool Kuid(const Tag& tag, KUID& out);
    bool Asset(const Tag& entry);
    bool Author(const Tag& entry);

    StateContent& out_;
    std::set<std::string> top_;
    std::string error_;
};

bool Reading::Text(const Tag& tag, std::string& out)
{
    if (tag.kind == Tag::kContainer)
        return Fail(tag.line, Quoted(tag.name) + " holds a container, not a text");
    out = tag.text;
    return true;
}

bool Reading::Number(const Tag& tag, int32_t& out)
{
    const std::string_view text = tag.kind == Tag::kValue ? Trimmed(tag.text) : std::string_view();
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = text.substr(negative ? 1 : 0);
    int64_t value = 0;
    bool ok = !digits.empty() && digits.size() <= 10;
    for (size_t i = 0; ok && i < digits.size(); ++i) {
        ok = digits[i] >= '0' && digits[i] <= '9';
        value = value * 10 + (digits[i] - '0');
    }
    value = negative ? -value : value;
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        return Fail(tag.line, Quoted(tag.name) + " is no number");
    out = int32_t(value);
    return true;
}

bool Reading::Kuid(const Tag& tag, KUID& out)
{
    const std::string text(tag.kind == Tag::kValue ? Trimmed(tag.text) : std::string_view());
    out = KUID::Parse(text.c_str(), false);
    // Only a whole KUID text: the parse makes some KUID of many a text.
    auto same = [&](const std::string& form) { return ::strcasecmp(form.c_str(), text.c_str()) == 0; };
    const std::string shortForm = "<kuid:" + std::to_string(out.user) + ":" + std::to_string(out.content) + ">";
    const std::string longForm = "<kuid2:" + std::to_string(out.user) + ":" + std::to_string(out.content) + ":" +
                                 std::to_string(out.version) + ">";
    if (out.IsNull() || !(same(shortForm) || same(longForm)))
        return Fail(tag.line, Quoted(tag.name) + " is no KUID");
    return true;
}

bool Reading::Asset(const Tag& entry)
{
    std::set<std::string> seen;
    KUID kuid = KUID::Null;
    StateAsset state;
    for (const Tag& tag : entry.children) {
        if (!Once(seen, tag))
            return false;
        int32_t number = 0;
        if (tag.name == "kuid") {
            if (!Kuid(tag, kuid))
                return false;
        } else if (tag.name == "keywords") {
            if (!Text(tag, state.keywords))
                return false;
        } else if (tag.name == "favourite" || tag.name == "modified") {
            if (!Number(tag, number))
                return false;
            (tag.name == "favourite" ? state.favourite : state.modified) = number != 0;
        } else {
            return Fail(tag.line, Quoted(tag.name) + " is no tag of an asset entry");
        }
    }
    if (kuid.IsNull())
        return Fail(entry.line, "the entry " + Quoted(entry.name) + " of \"assets\" names no KUID");
    if (!out_.assets.emplace(kuid, std::move(state)).second)
        return Fail(entry.line, "the entry " + Quoted(entry.name) + " of \"assets\" names " +
                                    kuid.ToString().c_str() + " a second time");
    return true;
}

bool Reading::Author(const Tag& entry)
{
    std::set<std::string> seen;
    bool hasId = false;
    int32_t id = 0;
    std::string name;
    for (const Tag& tag : entry.children) {
        if (!Once(seen, tag))
            return false;
        if (tag.name == "id") {
            if (!Number(tag, id))
                return false;
            hasId = true;
        } else if (tag.name == "name") {
            if (!Text(tag, name))
                return false;
        } else {
            return Fail(tag.line, Quoted(tag.name) + " is no tag of an author entry");
        }
    }
    if (!hasId)
        return Fail(entry.line, "the entry " + Quoted(entry.name) + " of \"authors\" has no id");
    if (!out_.authors.emplace(id, std::move(name)).second)
        return Fail(entry.line, "the author id " + std::to_string(id) + " is given a second time");
    return true;
}

const Knob* FindKnob(const std::string& name)
{
    for (const Knob& knob : kKnobs)
        if (name == knob.name)
            return &knob;
    return nullptr;
}

bool Reading::Opened(int level, const Tag* parent, const Tag& tag)
{
    if (level == 1 && tag.kind != Tag::kContainer)
        return Fail(tag.line, "the entry " + Quoted(tag.name) + " of " + Quoted(parent->name) + " is no container");
    if (level != 0)
        return true;
    if (!Once(top_, tag))
        return false;
    const bool list = tag.name == "assets" || tag.name == "authors";
    if (!list && tag.name != "next-content" && tag.name != "language" && !FindKnob(tag.name))
        return Fail(tag.line, Quoted(tag.name) + " is no tag of the state file");
    if (list && tag.kind != Tag::kContainer)
        return Fail(tag.line, Quoted(tag.name) + " is no container");
    if (!list && tag.kind == Tag::kContainer)
        return Fail(tag.line, Quoted(tag.name) + " holds a container, not a value");
    return true;
}

bool Reading::Closed(int level, const Tag* parent, const Tag& tag)
{
    // Only the entries of "assets" and "authors" get here on level 1, and
    // their own tags wait for them.
    if (level == 1)
        return parent->name == "assets" ? Asset(tag) : Author(tag);
    if (level != 0 || tag.kind == Tag::kContainer)
        return true;
    if (tag.name == "language")
        return Text(tag, out_.language);
    int32_t number = 0;
    if (tag.name == "next-content") {
        if (!Number(tag, number))
            return false;
        out_.nextContent = number > 1 ? number : 1;
        return true;
    }
    const Knob* knob = FindKnob(tag.name);
    if (!knob->number)
        return Text(tag, out_.knobs[knob->name]);
    if (!Number(tag, number))
        return false;
    out_.knobs[knob->name] = std::to_string(number);
    return true;
}

class Lexer {
public:
    Lexer(std::string_view text, Reading& reading)
        : p_(text.data()), end_(text.data() + text.size()), reading_(reading)
    {
        if (text.size() >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) {
            p_ += 3;
            utf8_ = true;
        }
    }

    bool ReadAll() { return ReadLevel(0, nullptr); }

private:
    bool Fail(uint64_t line, const std::string& why) { return reading_.Fail(line, why); }

    void SkipBlanks()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t'))
            ++p_;
    }
    bool AtLineEnd() const { return p_ < end_ && (*p_ == '\r' || *p_ == '\n'); }
    // Passes one line end: CR LF, LF or CR.
    void PassLineEnd()
    {
        if (*p_++ == '\r' && p_ < end_ && *p_ == '\n')
            ++p_;
        ++line_;
    }
    bool RestIsBlank(const char* after)
    {
        SkipBlanks();
        if (p_ == end_)
            return true;
        if (AtLineEnd()) {
            PassLineEnd();
            return true;
        }
        return Fail(line_, *p_ == '\0' ? std::string("a NUL byte") : std::string("text after ") + after);
    }

    // Reads the tags of a level up to its "}" (the file's end at the top);
    // the tags of an entry go into its children, to be taken together.
    bool ReadLevel(int level, Tag* container);
    bool ReadName(std::string& name);
    bool ReadQuoted(std::string& text);
    bool ReadUnquoted(std::string& text);
    bool ToUTF8(std::string& text, uint64_t line);

    const char* p_;
    const char* end_;
    Reading& reading_;
    uint64_t line_ = 1;
    bool utf8_ = false;
};

bool Lexer::ReadLevel(int level, Tag* container)
{
    for (;;) {
        SkipBlanks();
        if (AtLineEnd()) {
            PassLineEnd();
            continue;
        }
        if (p_ == end_) {
            if (container)
                return Fail(line_, "the file ends inside " + Quoted(container->name) + " of line " +
                                       std::to_string(container->line));
            return true;
        }
        if (*p_ == '}') {
            if (!container)
                return Fail(line_, "a \"}\" closes no container");
            ++p_;
            return RestIsBlank("\"}\"");
        }
        if (*p_ == '{')
            return Fail(line_, "a \"{\" opens a container without a name");
        Tag tag;
        tag.line = line_;
        if (!ReadName(tag.name))
            return false;
        SkipBlanks();
        bool opens = false;
        if (p_ == end_ || AtLineEnd()) {
            // The brace of a container may stand on a line of its own.
            const char* at = p_;
            const uint64_t line = line_;
            for (SkipBlanks(); AtLineEnd(); SkipBlanks())
                PassLineEnd();
            opens = p_ < end_ && *p_ == '{';
            if (!opens) {
                p_ = at;
                line_ = line;
            }
        } else if (*p_ == '{') {
            opens = true;
        } else {
            tag.kind = Tag::kValue;
            const uint64_t line = line_;
            if (!(*p_ == '"' ? ReadQuoted(tag.text) : ReadUnquoted(tag.text)) || !ToUTF8(tag.text, line))
                return false;
        }
        if (opens) {
            ++p_;
            if (level == kDeepestLevel)
                return Fail(line_, "containers nest deeper than in a state file");
            if (!RestIsBlank("\"{\""))
                return false;
            tag.kind = Tag::kContainer;
        }
        if (!reading_.Opened(level, container, tag))
            return false;
        if (opens && !ReadLevel(level + 1, &tag))
            return false;
        if (!reading_.Closed(level, container, tag))
            return false;
        if (level == kDeepestLevel)
            container->children.push_back(std::move(tag));
    }
}

bool Lexer::ReadName(std::string& name)
{
    const char* start = p_;
    for (; p_ < end_ && *p_ != ' ' && *p_ != '\t' && !AtLineEnd(); ++p_) {
        const unsigned char c = static_cast<unsigned char>(*p_);
        if (c == 0)
            return Fail(line_, "a NUL byte");
        if (c < 0x20 || c == 0x7f || c == '{' || c == '}' || c == '"')
            return Fail(line_, "text that is no tag");
    }
    name.assign(start, p_);
    for (char& c : name)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return true;
}

bool Lexer::ReadQuoted(std::string& text)
{
    const uint64_t opened = line_;
    const char* close = static_cast<const char*>(std::memchr(p_ + 1, '"', size_t(end_ - p_ - 1)));
    if (!close)
        return Fail(opened, "a quoted text does not end");
    text.clear();
    text.reserve(size_t(close - p_));
    for (++p_; p_ < close;) {
        const char c = *p_++;
        if (c == '\0')
            return Fail(line_, "a NUL byte");
        if (c != '\r' && c != '\n') {
            text += c;
            continue;
        }
        // Any of CR, LF, CR LF and LF CR is one line end, as the generic
        // reader takes it.
        if (p_ < close && (*p_ == '\r' || *p_ == '\n') && *p_ != c)
            ++p_;
        text += "\r\n";
        ++line_;
    }
    ++p_;
    return RestIsBlank("the quoted text");
}

bool Lexer::ReadUnquoted(std::string& text)
{
    text.clear();
    for (; p_ < end_ && !AtLineEnd(); ++p_) {
        if (*p_ == '\0')
            return Fail(line_, "a NUL byte");
        if (*p_ == '}')
            return Fail(line_, "a \"}\" inside a value");
        if (*p_ == '\\' && p_ + 1 < end_ && p_[1] == 'n') {
            text += "\r\n";
            ++p_;
            continue;
        }
        text += *p_;
    }
    return true;
}

bool Lexer::ToUTF8(std::string& text, uint64_t line)
{
    if (utf8_)
        return true;
    bool ansi = false;
    for (char c : text)
        ansi |= static_cast<unsigned char>(c) >= 0x80;
    if (!ansi)
        return true;
    const uint64_t room = uint64_t(text.size()) * 3 + 1;
    if (room > std::numeric_limits<uint32_t>::max())
        return Fail(line, "a text too long to convert");
    std::string converted(text);
    converted.resize(size_t(room));
    if (ConvertAnsiToUTF8(converted.data(), uint32_t(room)) != 0)
        return Fail(line, "a text too long to convert");
    converted.resize(std::strlen(converted.c_str()));
    text = std::move(converted);
    return true;
}

}  // namespace

bool ReadStateText(std::string_view text, StateContent& out, std::string& where)
{
    out = StateContent();
    Reading reading(out);
    Lexer lexer(text, reading);
    if (!lexer.ReadAll()) {
        where = reading.Error();
        return false;
    }
    return true;
}

std::string WriteStateText(const StateContent& state)
{
    // Texts are held as UTF-8, and a file without the mark reads as ANSI:
    // unmarked, every save would encode them once more.
    std::string text = "\xEF\xBB\xBFnext-content " + std::to_string(state.nextContent) + "\r\n";
    if (!state.language.empty()) {
        text += "language ";
        ConfigText::WriteQuoted(text, state.language, true);
        text += "\r\n";
    }
    for (const Knob& knob : kKnobs) {
        auto it = state.knobs.find(knob.name);
        if (it == state.knobs.end())
            continue;
        text += std::string(knob.name) + " ";
        if (knob.number)
            text += it->second;
        else if (it->second.empty())
            text += "\"\"";
        else
            ConfigText::WriteQuoted(text, it->second, true);
        text += "\r\n";
    }
    text += "assets\r\n{\r\n";
    uint32_t index = 0;
    for (const auto& [kuid, asset] : state.assets) {
        text += "  " + std::to_string(index++) + "\r\n  {\r\n    kuid " + std::string(kuid.ToString().c_str()) + "\r\n";
        if (!asset.keywords.empty()) {
            text += "    keywords ";
            ConfigText::WriteQuoted(text, asset.keywords, true);
            text += "\r\n";
        }
        text += asset.favourite ? "    favourite 1\r\n" : "    favourite 0\r\n";
        text += asset.modified ? "    modified 1\r\n" : "    modified 0\r\n";
        text += "  }\r\n";
    }
    text += "}\r\nauthors\r\n{\r\n";
    index = 0;
    for (const auto& [id, name] : state.authors) {
        text += "  " + std::to_string(index++) + "\r\n  {\r\n    id " + std::to_string(id) + "\r\n    name ";
        ConfigText::WriteQuoted(text, name, true);
        text += "\r\n  }\r\n";
    }
    text += "}\r\n";
    return text;
}

}  // namespace kaddaemon
