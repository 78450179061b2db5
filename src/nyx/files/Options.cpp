#include "nyx/files/Options.h"

#include <charconv>

namespace Nyx {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ParseUnsigned(std::string_view text, uint32_t& value)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    uint32_t parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return false;
    value = parsed;
    return true;
}

}  // namespace

void Options::ProcessRaw(std::string_view text)
{
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at]))
            ++at;
        if (at >= text.size())
            break;
        std::string word;
        bool quoted = false;
        while (at < text.size() && (quoted || !IsBlank(text[at]))) {
            if (text[at] == '"')
                quoted = !quoted;
            else
                word += text[at];
            ++at;
        }
        std::string_view w = word;
        if (!w.empty() && (w.front() == '-' || w.front() == '/'))
            w.remove_prefix(1);
        const size_t eq = w.find('=');
        if (eq == 0 || w.empty())
            continue;
        if (eq == std::string_view::npos)
            Set(w, "");
        else
            Set(w.substr(0, eq), w.substr(eq + 1));
    }
}

void Options::Set(std::string_view name, std::string_view value) { values_[std::string(name)] = std::string(value); }

bool Options::Get(std::string_view name) const { return values_.find(name) != values_.end(); }

bool Options::Get(std::string_view name, std::string& value) const
{
    auto it = values_.find(name);
    if (it == values_.end())
        return false;
    value = it->second;
    return true;
}

bool Options::GetFirst(std::string_view name, std::string& value)
{
    auto it = values_.find(name);
    if (it == values_.end()) {
        listAt_ = std::string::npos;
        return false;
    }
    list_ = it->second;
    auto sep = separators_.find(name);
    listSeparators_ = sep == separators_.end() ? std::string() : sep->second;
    listAt_ = 0;
    return NextItem(value);
}

bool Options::NextItem(std::string& item)
{
    if (listAt_ == std::string::npos || listAt_ > list_.size())
        return false;
    size_t end = listSeparators_.empty() ? std::string::npos : list_.find_first_of(listSeparators_, listAt_);
    if (end == std::string::npos)
        end = list_.size();
    item = list_.substr(listAt_, end - listAt_);
    listAt_ = end == list_.size() ? std::string::npos : end + 1;
    return true;
}

bool Options::GetNext(std::string& value) { return NextItem(value); }

bool Options::Get(std::string_view name, uint32_t& value)
{
    std::string item;
    return GetFirst(name, item) && ParseUnsigned(item, value);
}

bool Options::GetNext(uint32_t& value)
{
    std::string item;
    return NextItem(item) && ParseUnsigned(item, value);
}

void Options::SetSeparators(std::string_view name, std::string_view separators)
{
    separators_[std::string(name)] = std::string(separators);
}

}  // namespace Nyx
