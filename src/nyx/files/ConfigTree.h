// A small configuration text read into a tree of items. Each item has a key,
// an optional value and optional children; keys may repeat, and lookups
// compare them without regard to case.
//
//   version 1.00
//   offset 0.5
//   mesh 50
//   {
//       name "body_lod0.im"
//   }
//   mesh collision { name body_lod0.im animated true }
//
// A value is the rest of the key's line: one word, or a quoted text. A "{"
// after the value, on the same line or the next, opens the item's
// children, which end at the matching "}". "//" starts a comment that runs
// to the end of the line. The top-level "version" item is the file's
// version number.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

namespace Nyx {

class ConfigTree {
public:
    // Deepest nesting of children a text may hold.
    static constexpr uint32_t kMaxDepth = 64;
    // What lookups give when there is no such item; reading from it leaves
    // the target as it was.
    static const ConfigTree unknownItem;

    ConfigTree() = default;
    ConfigTree(std::string_view key, std::string_view value) : key_(key), value_(value), known_(true) {}

    bool IsKnown() const noexcept { return known_; }
    const String& Key() const noexcept { return key_; }
    const String& Value() const noexcept { return value_; }
    const std::vector<ConfigTree>& Children() const noexcept { return children_; }
    ConfigTree& AddChild(ConfigTree child);

    // Children of the key.
    uint32_t Count(std::string_view key) const noexcept;
    // The first (or the n-th) child of the key; unknownItem when none.
    const ConfigTree& operator()(std::string_view key) const noexcept { return (*this)(key, 0); }
    const ConfigTree& operator()(std::string_view key, uint32_t n) const noexcept;

    // The value read as a number (the longest leading part that is one), a
    // truth word ("true", "yes", "on", "1" and their opposites) or text;
    // a value that is none of what the target needs leaves it as it was.
    const ConfigTree& operator>>(float& target) const noexcept;
    const ConfigTree& operator>>(bool& target) const noexcept;
    const ConfigTree& operator>>(String& target) const;
    const ConfigTree& operator>>(PString& target) const;

    // 0 and the root of the text's items, with the top-level "version" as a
    // number (0 without one); non-zero when the file cannot be read or its
    // braces and quotes do not match up.
    static uint32_t Parse(const PString& base, const File::Path& path, ConfigTree& root, float& version);
    static uint32_t ParseText(std::string_view text, ConfigTree& root, float& version);

    // Results of Parse.
    enum Result : uint32_t { kOk = 0, kOpenError = 2, kFormatError = 3 };

private:
    String key_;
    String value_;
    std::vector<ConfigTree> children_;
    bool known_ = false;
};

}  // namespace Nyx
