#include "nyx/ResourceSystem.h"

#include "nyx/resource/ResourceDatabase.h"

namespace Nyx {

bool ResourceSystem::Init(std::string_view options)
{
    options_ = std::string(options);
    initialised_ = true;
    return true;
}

void ResourceSystem::DropUnusedResources() noexcept
{
    ++dropCount_;
    ResourceDatabase::PurgeAllUnused();
}

}  // namespace Nyx
