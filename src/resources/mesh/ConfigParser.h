// Parses a description in the config-text syntax of the tag tree into its
// root node. A description must carry a top-level "version" this build
// reads.
#pragma once

#include <cstdint>
#include <string_view>

#include "config/tree/ACSChunk.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace Nyx {

class ConfigParser {
public:
    enum Result : uint32_t {
        kOk = 0,
        kFailed = 1,
        kOpenError = 2,
        kFormatError = 3,
        kVersionError = 4,
    };
    // Newest "version" of a description this build reads.
    static constexpr int32_t kVersion = 1;

    // Reads the file (inside the mount `base` when it is not empty). A text
    // without tags gives kOk with a null root.
    static uint32_t Parse(const PString& base, const File::Path& path, ChunkRef& root);
    static uint32_t ParseText(std::string_view text, ChunkRef& root);
};

}  // namespace Nyx
