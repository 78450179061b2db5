// A script world: the state scripts of one owner share. The tool's script
// context derives from it.
#pragma once

namespace GSRuntime {

class GSContext {
public:
    GSContext() = default;
    GSContext(const GSContext&) = delete;
    GSContext& operator=(const GSContext&) = delete;
    virtual ~GSContext() = default;
};

}  // namespace GSRuntime
