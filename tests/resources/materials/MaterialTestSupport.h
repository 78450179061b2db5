// A render kernel with the bump-family plug-ins enrolled, a viewport whose
// camera stands at (0, 0, 10) looking down -z, and helpers that read the
// recording display back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/display/DisplayLight.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/materials/MaterialPlugin.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/materials/plugins/KestroMaterialPlugins.h"

namespace materialtest {

inline Nyx::DisplayColour Rgba(float r, float g, float b, float a) { return {r, g, b, a}; }

class MaterialFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        kernel_ = std::make_unique<Nyx::RenderKernel>(nullptr, 8.0f);
        for (const char* type : {"tbumpgloss", "tbumptex", "tbumpenv", "nofogtex"})
            plugins_.push_back(Nyx::KestroMaterialPlugins::Create(type));
        viewport_.GetCamera().SetFrame({0.0f, 0.0f, 10.0f}, Nyx::Quaternion{});
    }
    void TearDown() override
    {
        for (Nyx::Material* material : materials_)
            material->Release();
        for (Nyx::GeometryChunk* chunk : chunks_)
            chunk->Release();
        for (Nyx::MaterialPlugin* plugin : plugins_)
            if (plugin)
                plugin->ReleaseReference();
        kernel_.reset();
    }

    Nyx::Display& Display() { return kernel_->GetDisplay(); }
    Nyx::MaterialPlugin* Plugin(const char* type)
    {
        for (Nyx::MaterialPlugin* plugin : plugins_)
            if (plugin && plugin->GetName().Str() == type)
                return plugin;
        return nullptr;
    }
    // A material of the type through the manager (held by the fixture).
    template <class T = Nyx::OneTextureMaterial>
    T* Make(const std::string& type)
    {
        Nyx::Material* material = kernel_->GetMaterialManager().LoadMaterial(Nyx::PString("probe.m." + type));
        if (!material)
            return nullptr;
        materials_.push_back(material);
        return dynamic_cast<T*>(material);
    }
    Nyx::GeometryChunk* Chunk(Nyx::OneTextureMaterial& material, uint32_t primitives = 4)
    {
        Nyx::StandardChunkHint hint(1, 0);
        Nyx::GeometryChunk* chunk = material.CreateGeometryChunk(8, primitives, primitives * 3, primitives, 0, hint);
        if (chunk)
            chunks_.push_back(chunk);
        return chunk;
    }
    // Events from `from` on, by name only.
    std::vector<std::string> EventNames(size_t from = 0) const
    {
        std::vector<std::string> names;
        const auto& events = kernel_->GetDisplay().GetEvents();
        for (size_t i = from; i < events.size(); ++i)
            names.push_back(events[i].name);
        return names;
    }

    std::unique_ptr<Nyx::RenderKernel> kernel_;
    std::vector<Nyx::MaterialPlugin*> plugins_;
    std::vector<Nyx::Material*> materials_;
    std::vector<Nyx::GeometryChunk*> chunks_;
    Nyx::ViewPoint viewport_;
};

}  // namespace materialtest
