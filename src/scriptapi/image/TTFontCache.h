// The process-wide font cache: one TTFont per font description, kept until
// the process ends. A description whose set-up fails is not kept, so the
// next request tries again.
//
// Used from the thread that runs scripts; not locked.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/base/PString.h"
#include "scriptapi/image/TTFont.h"

class TTFontCache {
public:
    static constexpr uint32_t kRecordsPerBlock = 16;

    struct Description {
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool strikeOut = false;
        bool shadow = false;
        bool antialiased = false;
        int32_t height = 0;
        Nyx::PString charsetName;  // empty for none
        Nyx::PString faceName;
    };

    // The cached font whose description matches in every field (names by
    // identity), else a new one set up and kept; null when set-up fails.
    static TTFont* Get(const Description& description);
    // What script images ask for: no styles, no charset name.
    static TTFont* Get(const Nyx::PString& faceName, int32_t height);

    // Fonts kept, for tests.
    static size_t Count() noexcept;

private:
    struct Record {
        Description description;
        TTFont font;
    };
    using Block = std::array<Record, kRecordsPerBlock>;

    TTFontCache() = default;
    static TTFontCache& Instance();

    std::vector<std::unique_ptr<Block>> blocks_;
    size_t count_ = 0;
};
