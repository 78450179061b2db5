// A flat set of "Key=value" settings, in the order they were given; the
// form of texture descriptions and of the options copied onto them. Keys
// match exactly as written.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Nyx {

class ConfigData {
public:
    // The lines of a text: each "Key=value" line (blanks around key and
    // value dropped) sets its key; other lines are passed over.
    static ConfigData Parse(std::string_view text);

    // Sets a key, replacing an earlier value of it.
    void Set(std::string_view key, std::string_view value);
    ConfigData& operator<<(const std::pair<std::string_view, std::string_view>& entry)
    {
        Set(entry.first, entry.second);
        return *this;
    }
    bool Get(std::string_view key, std::string& value) const;
    const std::vector<std::pair<std::string, std::string>>& Entries() const noexcept { return entries_; }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace Nyx
