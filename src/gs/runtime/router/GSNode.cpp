#include "gs/runtime/router/GSNode.h"

#include "gs/runtime/router/GSRouter.h"

namespace GSRuntime {

GSNode::~GSNode()
{
    if (router_)
        router_->RemoveNode(*this);
}

}  // namespace GSRuntime
