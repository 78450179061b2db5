#include "nyx/base/OS.h"

namespace Nyx {

OS::OS(std::string_view applicationName, std::string_view options, void* instance, void* window)
    : applicationName_(applicationName), options_(options), instance_(instance), window_(window)
{
}

OS::~OS() = default;

bool OS::Init()
{
    initialised_ = true;
    return true;
}

}  // namespace Nyx
