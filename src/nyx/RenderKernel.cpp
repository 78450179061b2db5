#include "nyx/RenderKernel.h"

#include <strings.h>

#include "nyx/OS.h"

namespace Nyx {

RenderKernel::RenderKernel(void* sceneGraph, float version) : sceneGraph_(sceneGraph), version_(version) {}

RenderKernel::~RenderKernel() = default;

bool RenderKernel::Init(OS* os, void* /*displaySelector*/)
{
    if (!os || !os->IsInitialised())
        return false;
    os_ = os;
    nullRender_ = false;
    const std::string& options = os->GetOptions();
    size_t pos = 0;
    while (pos < options.size()) {
        size_t end = options.find(' ', pos);
        if (end == std::string::npos)
            end = options.size();
        if (end - pos == 11 && ::strncasecmp(options.c_str() + pos, "-NullRender", 11) == 0)
            nullRender_ = true;
        pos = end + 1;
    }
    initialised_ = true;
    return true;
}

}  // namespace Nyx
