#include "nyx/ResourceSystem.h"

namespace Nyx {

bool ResourceSystem::Init(std::string_view options)
{
    options_ = std::string(options);
    initialised_ = true;
    return true;
}

}  // namespace Nyx
