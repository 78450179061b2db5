// What a plug-in makes: it is tied to the plug-in type that made it, and
// keeps that type alive while it lives.
#pragma once

#include "nyx/Plugin.h"

namespace Nyx {

class PluginInstance {
public:
    PluginInstance() = default;
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;
    virtual ~PluginInstance()
    {
        if (plugin_)
            plugin_->ReleaseReference();
    }

    // Takes a reference on the new type and gives back the old one's.
    void Assign(PluginType* plugin)
    {
        if (plugin)
            plugin->AddReference();
        if (plugin_)
            plugin_->ReleaseReference();
        plugin_ = plugin;
    }
    PluginType* GetPluginType() const noexcept { return plugin_; }

private:
    PluginType* plugin_ = nullptr;
};

}  // namespace Nyx
