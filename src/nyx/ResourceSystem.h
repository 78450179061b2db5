// The engine's resource system: the cache of loaded resources. The options
// it is started with are kept; dropping unused resources empties the part of
// the cache that nobody holds, which the stand-in counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Nyx {

class ResourceSystem {
public:
    ResourceSystem() = default;
    ResourceSystem(const ResourceSystem&) = delete;
    ResourceSystem& operator=(const ResourceSystem&) = delete;
    ~ResourceSystem() = default;

    bool Init(std::string_view options);
    bool IsInitialised() const noexcept { return initialised_; }
    const std::string& GetOptions() const noexcept { return options_; }

    // Purges every resource database of what nobody holds.
    void DropUnusedResources() noexcept;
    uint32_t GetDropCount() const noexcept { return dropCount_; }

private:
    std::string options_;
    bool initialised_ = false;
    uint32_t dropCount_ = 0;
};

}  // namespace Nyx
