// A pixel format of the display, by the display's number for it.
#pragma once

#include <cstdint>

namespace Nyx {

class DisplayFormat {
public:
    void Set(uint32_t format) noexcept { format_ = format; }
    uint32_t Get() const noexcept { return format_; }
    bool operator==(const DisplayFormat&) const = default;

private:
    uint32_t format_ = 0;
};

}  // namespace Nyx
