// Material plug-ins: the engine's factories for materials of one type
// word. A plug-in is enrolled with the plug-in system (material family)
// and with the material manager from its construction until it is
// destroyed; the manager asks it whether the display can draw its material
// and has it make instances.
#pragma once

#include <cstdint>
#include <string_view>

#include "nyx/Plugin.h"

namespace Nyx {

class Display;
class Material;
class MaterialManager;
class OneTextureMaterial;
class RenderDevice;
class RenderKernel;
class RenderingCache;
class TextureStageSetup;

// The family every material plug-in is enrolled in.
inline constexpr std::string_view kMaterialPluginFamily = "4C414E81-BBDA-11d4-9AD7-0001025364B8";

class MaterialPlugin : public PluginType {
public:
    MaterialPlugin(const PString& typeName, const UId& typeId);
    ~MaterialPlugin() override;

    // The engine's parameterless form makes nothing.
    virtual Material* CreateInstance() { return nullptr; }
    // False, with the type to make instead in `fallback`, when the display
    // cannot draw this material.
    virtual bool IsSupported(Display& display, PString& fallback);
    // A new material with no references yet, or null.
    virtual Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) = 0;

    // Finds the cache of that id in the kernel's manager (taking a
    // reference) or makes and enrols a new one (holding its first
    // reference); the cache, or null when it cannot.
    template <class Cache>
    static Cache* FindOrCreateCache(RenderKernel& kernel, uint32_t id);

private:
    uint32_t token_ = 0;
};

// The engine's one-texture material type, also the base of plug-ins whose
// materials are one-texture materials drawn another way.
class OneTextureMaterialPlugin : public MaterialPlugin {
public:
    OneTextureMaterialPlugin(const PString& typeName, const UId& typeId) : MaterialPlugin(typeName, typeId) {}
    ~OneTextureMaterialPlugin() override;

    bool IsSupported(Display& display, PString& fallback) override;
    Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
    using MaterialPlugin::CreateInstance;

    // The caches and the stage set-up; false without a kernel.
    bool CreatePluginResources(RenderKernel* kernel);

    RenderingCache* GetChunkCache() const noexcept { return chunkCache_; }
    RenderingCache* GetMaskCache() const noexcept { return maskCache_; }
    RenderingCache* GetBlendCache() const noexcept { return blendCache_; }
    TextureStageSetup* GetStageSetup() const noexcept { return stageSetup_; }

private:
    RenderingCache* chunkCache_ = nullptr;
    RenderingCache* maskCache_ = nullptr;
    RenderingCache* blendCache_ = nullptr;
    TextureStageSetup* stageSetup_ = nullptr;
    RenderDevice* device_ = nullptr;
};

}  // namespace Nyx
