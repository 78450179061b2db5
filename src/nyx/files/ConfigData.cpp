#include "nyx/files/ConfigData.h"

namespace Nyx {

namespace {

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

ConfigData ConfigData::Parse(std::string_view text)
{
    ConfigData data;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(at, end - at);
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos) {
            const std::string_view key = Trimmed(line.substr(0, eq));
            if (!key.empty())
                data.Set(key, Trimmed(line.substr(eq + 1)));
        }
        at = end + 1;
    }
    return data;
}

void ConfigData::Set(std::string_view key, std::string_view value)
{
    for (auto& entry : entries_) {
        if (entry.first == key) {
            entry.second = std::string(value);
            return;
        }
    }
    entries_.emplace_back(std::string(key), std::string(value));
}

bool ConfigData::Get(std::string_view key, std::string& value) const
{
    for (const auto& entry : entries_) {
        if (entry.first == key) {
            value = entry.second;
            return true;
        }
    }
    return false;
}

}  // namespace Nyx
