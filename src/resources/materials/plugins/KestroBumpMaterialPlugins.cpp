#include "resources/materials/plugins/KestroBumpMaterialPlugins.h"

#include <new>
#include <string>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialCaches.h"
#include "nyx/gfx/display/RenderDevice.h"
#include "nyx/gfx/display/TextureCombiner.h"
#include "nyx/gfx/display/VertexProgram.h"
#include "resources/materials/bump/KestroBumpEnvMaterial.h"
#include "resources/materials/bump/KestroBumpGlossMaterial.h"
#include "resources/materials/programs/KestroBumpPrograms.h"

namespace Nyx {

namespace {

using P = KestroBumpPrograms;

// The order in which the program fields load: both vertex programs, then
// both combiners, then the rust four in the same pattern.
constexpr uint32_t kLoadOrder[KestroBumpPluginBase::kMaxPrograms] = {0, 2, 1, 3, 4, 6, 5, 7};

// The engine's one-texture material type word.
constexpr std::string_view kOneTextureType = "onetex";

}  // namespace

KestroBumpPluginBase::KestroBumpPluginBase(const PString& typeName, const UId& typeId, const ProgramNames& names)
    : MaterialPlugin(typeName, typeId), names_(names)
{
}

KestroBumpPluginBase::~KestroBumpPluginBase()
{
    for (RenderingCache* cache : {blendCache_, chunkCache_, maskCache_})
        if (cache)
            cache->Release();
    ReleasePrograms();
}

VertexProgram* KestroBumpPluginBase::GetVertexProgram(uint32_t field) const noexcept
{
    return field < kMaxPrograms && field % 2 == 0 ? vertexPrograms_[field / 2] : nullptr;
}

TextureCombiner* KestroBumpPluginBase::GetCombiner(uint32_t field) const noexcept
{
    return field < kMaxPrograms && field % 2 == 1 ? combiners_[field / 2] : nullptr;
}

bool KestroBumpPluginBase::IsSupported(Display& display, PString& fallback)
{
    if (display.QueryCapability(DisplayPipeline::kCapabilityVertexPrograms) &&
        display.QueryCapability(DisplayPipeline::kCapabilityBumpCombiners))
        return true;
    fallback = PString(names_.fallback.empty() ? kOneTextureType : names_.fallback);
    return false;
}

bool KestroBumpPluginBase::CreatePluginResources(RenderKernel* kernel)
{
    if (!kernel)
        return false;
    if (!blendCache_)
        blendCache_ = FindOrCreateCache<AlphaBlendCache>(*kernel, AlphaBlendCache::AlphaBlendCacheID);
    if (!maskCache_)
        maskCache_ = FindOrCreateCache<AlphaMaskCache>(*kernel, AlphaMaskCache::AlphaMaskCacheID);
    if (!chunkCache_)
        chunkCache_ = FindOrCreateCache<MaterialChunkCache>(*kernel, MaterialChunkCache::MaterialChunkCacheID);
    return blendCache_ && maskCache_ && chunkCache_;
}

bool KestroBumpPluginBase::LoadPrograms(RenderKernel* kernel)
{
    if (vertexPrograms_[0] && combiners_[0] && vertexPrograms_[1] && combiners_[1])
        return true;
    if (!kernel)
        return false;
    RenderDevice& device = kernel->GetDisplay().GetRenderDevice();
    VertexProgramManager* vertexManager = device.GetVertexProgramManager();
    TextureCombinerManager* combinerManager = device.GetTextureCombinerManager();
    // The texts are registered on every attempt: another plug-in or a
    // display reset may have replaced them since.
    if (vertexManager)
        vertexManager->RegisterBuiltInPrograms(std::string(P::kVertexSet), P::VertexSetText());
    if (combinerManager)
        for (std::string_view name : names_.combinerTexts)
            if (!name.empty())
                combinerManager->RegisterBuiltInPrograms(std::string(name), P::CombinerText(name));
    if (!vertexManager || !combinerManager)
        return false;
    for (uint32_t field : kLoadOrder) {
        if (field >= names_.count)
            continue;
        const std::string name(names_.fields[field]);
        const uint32_t result =
            field % 2 == 0 ? vertexManager->LoadVertexProgram(std::string(P::kVertexSet), name, kernel,
                                                              vertexPrograms_[field / 2], 99, 0)
                           : combinerManager->LoadTextureCombiner(name, kernel, combiners_[field / 2]);
        if (result != 0)
            return false;
    }
    return true;
}

void KestroBumpPluginBase::ReleasePrograms()
{
    for (VertexProgram*& program : vertexPrograms_) {
        if (program)
            program->Release();
        program = nullptr;
    }
    for (TextureCombiner*& combiner : combiners_) {
        if (combiner)
            combiner->Release();
        combiner = nullptr;
    }
}

Material* KestroBumpPluginBase::CreateInstance(MaterialManager* manager, RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel))
        return nullptr;
    if (!LoadPrograms(kernel)) {
        ReleasePrograms();
        return nullptr;
    }
    Material* material = NewMaterial(manager);
    if (material)
        material->Assign(this);
    return material;
}

// ---- the three plug-ins ----

namespace {

using Names = KestroBumpPluginBase;

const Names::ProgramNames kBumpNames{
    {P::kBumpParallel, P::kBumpMatParallel, P::kBumpSpot, P::kBumpMatParallel}, 4, {}, {P::kBumpMatParallel}};
const Names::ProgramNames kEnvNames{{P::kEnvParallel, P::kEnvMatParallel, P::kEnvSpot, P::kEnvMatSpot},
                                    4,
                                    "tonetexnoalpha",
                                    {P::kEnvMatParallel, P::kEnvMatSpot}};
const Names::ProgramNames kGlossNames{{P::kGlossParallel, P::kGlossMatParallel, P::kGlossSpot, P::kGlossMatSpot,
                                       P::kBumpParallel, P::kRustMatParallel, P::kBumpSpot, P::kRustMatParallel},
                                      8,
                                      "tglossrust",
                                      {P::kGlossMatParallel, P::kGlossMatSpot, P::kRustMatParallel}};

}  // namespace

KestroBumpMaterialPlugin::KestroBumpMaterialPlugin()
    : KestroBumpPluginBase(PString(kTypeName), UId(kUId), kBumpNames)
{
}

Material* KestroBumpMaterialPlugin::NewMaterial(MaterialManager* manager)
{
    return new (std::nothrow) KestroBumpMaterial(manager, GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                                 GetVertexProgram(0), GetCombiner(1), GetVertexProgram(2),
                                                 GetCombiner(3));
}

KestroBumpEnvMaterialPlugin::KestroBumpEnvMaterialPlugin()
    : KestroBumpPluginBase(PString(kTypeName), UId(kUId), kEnvNames)
{
}

Material* KestroBumpEnvMaterialPlugin::NewMaterial(MaterialManager* manager)
{
    return new (std::nothrow) KestroBumpEnvMaterial(manager, GetChunkCache(), GetMaskCache(), GetBlendCache(),
                                                    GetVertexProgram(0), GetCombiner(1), GetVertexProgram(2),
                                                    GetCombiner(3));
}

KestroBumpGlossMaterialPlugin::KestroBumpGlossMaterialPlugin()
    : KestroBumpPluginBase(PString(kTypeName), UId(kUId), kGlossNames)
{
}

Material* KestroBumpGlossMaterialPlugin::NewMaterial(MaterialManager* manager)
{
    return new (std::nothrow) KestroBumpGlossMaterial(
        manager, GetChunkCache(), GetMaskCache(), GetBlendCache(), GetVertexProgram(0), GetCombiner(1),
        GetVertexProgram(2), GetCombiner(3), GetVertexProgram(4), GetCombiner(5), GetVertexProgram(6), GetCombiner(7));
}

}  // namespace Nyx
