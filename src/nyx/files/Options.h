// An option store: named options read from a command-line-like text
// ("-Name=value -Flag"), each holding a text value that may be a list.
// Names match exactly as written.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace Nyx {

class Options {
public:
    // Adds the options of a text: blank-separated words, each with an
    // optional leading "-" or "/", "Name" or "Name=value" (a value in double
    // quotes may hold blanks). A later option of a name replaces the earlier.
    void ProcessRaw(std::string_view text);
    void Set(std::string_view name, std::string_view value);

    // Present at all.
    bool Get(std::string_view name) const;
    // The whole text value.
    bool Get(std::string_view name, std::string& value) const;
    // The first value of the option's list (split at its separators) as an
    // unsigned number; the list is then read on with GetNext.
    bool Get(std::string_view name, uint32_t& value);
    bool GetNext(uint32_t& value);
    // The first and the following values of the list as texts.
    bool GetFirst(std::string_view name, std::string& value);
    bool GetNext(std::string& value);
    // The characters that split the option's value into a list (none set:
    // the value is one item).
    void SetSeparators(std::string_view name, std::string_view separators);

private:
    bool NextItem(std::string& item);

    std::map<std::string, std::string, std::less<>> values_;
    std::map<std::string, std::string, std::less<>> separators_;
    // The list being read: its text, its separators and the read position.
    std::string list_;
    std::string listSeparators_;
    size_t listAt_ = std::string::npos;
};

}  // namespace Nyx
