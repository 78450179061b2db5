// The three bump plug-ins ("tbumptex", "tbumpenv", "tbumpgloss"): each
// shares its render caches (found in, or added to, the kernel's cache
// manager) and its programs among all its materials, registering the
// built-in program texts and loading its programs on its first successful
// instance.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "nyx/gfx/materials/MaterialPlugin.h"

namespace Nyx {

class RenderingCache;
class TextureCombiner;
class VertexProgram;

class KestroBumpPluginBase : public MaterialPlugin {
public:
    // Program fields in order: parallel vertex program, parallel combiner,
    // spot vertex program, spot combiner, then the rust four (bump-gloss).
    static constexpr uint32_t kMaxPrograms = 8;

    ~KestroBumpPluginBase() override;

    bool IsSupported(Display& display, PString& fallback) override;
    Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
    using MaterialPlugin::CreateInstance;

    RenderingCache* GetBlendCache() const noexcept { return blendCache_; }
    RenderingCache* GetMaskCache() const noexcept { return maskCache_; }
    RenderingCache* GetChunkCache() const noexcept { return chunkCache_; }
    VertexProgram* GetVertexProgram(uint32_t field) const noexcept;
    TextureCombiner* GetCombiner(uint32_t field) const noexcept;

    // What a plug-in loads and registers, and its fallback type.
    struct ProgramNames {
        std::array<std::string_view, kMaxPrograms> fields;  // empty past the plug-in's count
        uint32_t count;
        std::string_view fallback;                 // empty: the engine's one-texture type
        std::array<std::string_view, 3> combinerTexts;  // registered besides the vertex set
    };

protected:
    KestroBumpPluginBase(const PString& typeName, const UId& typeId, const ProgramNames& names);

    // Makes the material from the caches and programs (which are set).
    virtual Material* NewMaterial(MaterialManager* manager) = 0;

private:
    bool CreatePluginResources(RenderKernel* kernel);
    bool LoadPrograms(RenderKernel* kernel);
    void ReleasePrograms();

    const ProgramNames& names_;
    RenderingCache* blendCache_ = nullptr;
    RenderingCache* maskCache_ = nullptr;
    RenderingCache* chunkCache_ = nullptr;
    // Even fields hold vertex programs, odd ones combiners.
    std::array<VertexProgram*, kMaxPrograms / 2> vertexPrograms_{};
    std::array<TextureCombiner*, kMaxPrograms / 2> combiners_{};
};

class KestroBumpMaterialPlugin : public KestroBumpPluginBase {
public:
    static constexpr std::string_view kTypeName = "tbumptex";
    static constexpr std::string_view kUId = "E34011F3-C721-48ba-B3C0-19621E408CBD";
    KestroBumpMaterialPlugin();

protected:
    Material* NewMaterial(MaterialManager* manager) override;
};

class KestroBumpEnvMaterialPlugin : public KestroBumpPluginBase {
public:
    static constexpr std::string_view kTypeName = "tbumpenv";
    static constexpr std::string_view kUId = "0ECEE41C-76E7-47fd-ADBB-0E938E809C03";
    KestroBumpEnvMaterialPlugin();

protected:
    Material* NewMaterial(MaterialManager* manager) override;
};

class KestroBumpGlossMaterialPlugin : public KestroBumpPluginBase {
public:
    static constexpr std::string_view kTypeName = "tbumpgloss";
    static constexpr std::string_view kUId = "F7478888-C721-48AB-B3C0-19621E66554E";
    KestroBumpGlossMaterialPlugin();

protected:
    Material* NewMaterial(MaterialManager* manager) override;
};

}  // namespace Nyx
