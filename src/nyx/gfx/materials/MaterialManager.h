// Makes materials by their decorated names "<name>.m.<type>": the type word
// picks the material type that makes it. Types are enrolled process-wide
// (the engine's own before main, a plug-in's when it is loaded) and looked
// up without regard to case, the newest enrolment of a word first, so a
// later one stands in for an earlier one until it is withdrawn.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/gfx/textures/TextureManager.h"

namespace Nyx {

class Display;
class Material;
class MaterialPlugin;
class RenderKernel;

class MaterialManager {
public:
    // Makes a material of the type for the decorated name, with one
    // reference for the caller; null when it cannot.
    using Factory = Material* (*)(const PString& name, const PString& type);

    MaterialManager() = default;
    MaterialManager(const MaterialManager&) = delete;
    MaterialManager& operator=(const MaterialManager&) = delete;

    // Enrols a factory under a type word; returns the enrolment's token
    // (never 0), or 0 for an empty word or a null factory.
    static uint32_t RegisterType(std::string_view type, Factory factory);
    // Enrols a plug-in under its type word (not owned: it withdraws itself
    // when destroyed). A plug-in that finds the display unable to draw its
    // material names the type made instead.
    static uint32_t RegisterPlugin(std::string_view type, MaterialPlugin* plugin);
    // Withdraws one enrolment; unknown tokens are ignored.
    static void UnregisterType(uint32_t token);
    // True when some enrolment serves the type word.
    static bool IsTypeKnown(std::string_view type);

    // The type word of a decorated name: the text after its last ".m.";
    // empty when the name has none or nothing follows it.
    static std::string_view TypeOf(std::string_view decoratedName);

    // A new material for the decorated name, with one reference for the
    // caller; null when the name carries no type word, no enrolment serves
    // the word, or its factory fails.
    Material* LoadMaterial(const PString& decoratedName);
    uint32_t GetLoadCount() const noexcept { return loads_; }

    // The display chunk and material operations work with (not owned).
    void SetRenderContext(Display* display) noexcept { renderContext_ = display; }
    Display* GetRenderContext() const noexcept { return renderContext_; }
    // The kernel that owns the manager, which plug-ins make their materials
    // with (not owned).
    void SetRenderKernel(RenderKernel* kernel) noexcept { kernel_ = kernel; }
    RenderKernel* GetRenderKernel() const noexcept { return kernel_; }
    TextureManager& GetTextureManager() noexcept { return *textures_; }

    // Results of FindOrCreate.
    enum FindResult : uint32_t { kFound = 0, kUnknownType = 1, kNoName = 2, kNotCreatable = 3 };
    // The material of that decorated name, made once and then shared: on
    // kFound `out` holds one reference for the caller; otherwise null. A
    // known type whose factory fails gives kNotCreatable.
    uint32_t FindOrCreate(const PString& decoratedName, Material*& out);
    // The type the manager falls back on for names it cannot serve.
    static constexpr std::string_view kDefaultType = "onetex";
    // "<name>.m.<type>" into its two parts; a name without the token gives
    // itself and an empty type.
    static void SplitDecoratedMaterialName(const PString& decoratedName, PString& name, PString& type);

    // Gives back the references the manager holds on what it made.
    ~MaterialManager();

private:
    Material* LoadMaterial(const PString& decoratedName, uint32_t depth);

    RenderKernel* kernel_ = nullptr;
    std::unique_ptr<TextureManager> textures_ = std::make_unique<TextureManager>();
    uint32_t loads_ = 0;
    Display* renderContext_ = nullptr;
    std::vector<std::pair<PString, Material*>> made_;
};

}  // namespace Nyx
