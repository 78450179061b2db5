// The dummy materials through which the product's vertex types reach the
// engine: loading one material of each type makes its plug-in set up what
// the type draws with; they are held for the life of the process.
#include <cstdint>
#include <string>

#include "core/process/Log.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/materials/RenderingCache.h"
#include "nyx/gfx/textures/Texture.h"
#include "resources/AlphaBlendCaches.h"
#include "tetlib/data/DataManager.h"

namespace TETLib {

const char* const DataManager::kVertexTypeMaterialNames[kVertexTypeMaterialCount] = {
    "KestroDummyLoad.m.tbumptex",      "KestroDummyLoad.m.tbumpcoltex",     "KestroDummyLoad.m.tbumpglosscol",
    "KestroDummyLoad.m.tbumpenv",      "KestroDummyLoad.m.tgroundonetex",   "KestroDummyLoad.m.tgroundonetexvs",
    "KestroDummyLoad.m.tonetexnoalpha", "KestroDummyLoad.m.tbumpgloss",     "KestroDummyLoad.m.tglossrust",
    "KestroDummyLoad.m.notex",         "KestroDummyLoad.m.onetex",          "KestroDummyLoad.m.nofogtex",
    "KestroDummyLoad.m.gloss",         "KestroDummyLoad.m.reflect",
};

namespace {

// Rows of kVertexTypeMaterialNames the chunks are made from, in order.
constexpr uint32_t kNotex = 9;
constexpr uint32_t kOnetex = 10;
constexpr uint32_t kGloss = 12;
constexpr uint32_t kReflect = 13;
constexpr uint32_t kChunkMaterials[DataManager::kVertexTypeChunkCount] = {kNotex, kOnetex, kGloss, kReflect};

// Where the shared texture goes on the gloss and reflect materials.
constexpr uint32_t kSharedTextureSlot = 9;
constexpr float kSharedTextureWeight = 1.0f;

struct Registration {
    bool registered = false;
    // The cache manager the caches were enrolled with; they leave it again.
    Nyx::RenderingCacheManager* cacheManager = nullptr;
    Nyx::RenderingCache* caches[3] = {};
    Nyx::Material* materials[DataManager::kVertexTypeMaterialCount] = {};
    Nyx::GeometryChunk* chunks[DataManager::kVertexTypeChunkCount] = {};
    uint32_t chunkCount = 0;
};

Registration g_registration;

}  // namespace

void DataManager::RegisterKestroBumpVertexType()
{
    Registration& r = g_registration;
    if (r.registered || !renderKernel_)
        return;

    r.cacheManager = &renderKernel_->GetRenderingCacheManager();
    r.caches[0] = new Nyx::KestroAlphaBlendCache;
    r.caches[1] = new Nyx::AlphaBlendCacheUnsorted;
    r.caches[2] = new Nyx::UnsortedAlphaBlendCache(1);
    for (Nyx::RenderingCache* cache : r.caches) {
        cache->AddRef();
        r.cacheManager->AddCache(cache);
    }
    r.chunkCount = 0;
    r.registered = true;

    Nyx::MaterialManager& materials = renderKernel_->GetMaterialManager();
    for (uint32_t i = 0; i < kVertexTypeMaterialCount; ++i) {
        r.materials[i] = materials.LoadMaterial(Nyx::PString(kVertexTypeMaterialNames[i]));
        if (r.materials[i])
            continue;
        LogMessage("DataManager::RegisterKestroBumpVertexType> Unable to load 'm.%s'",
                   std::string(Nyx::MaterialManager::TypeOf(kVertexTypeMaterialNames[i])).c_str());
        if (i >= kFirstRequiredMaterial)
            return;
    }

    Nyx::Texture* texture = renderKernel_->GetSharedTextures().GetTexture(0);
    if (!texture) {
        LogMessage("DataManager::RegisterKestroBumpVertexType> SharedTextureCollection failed");
        return;
    }
    r.materials[kGloss]->SetTexture(texture, kSharedTextureSlot, kSharedTextureWeight);
    r.materials[kReflect]->SetTexture(texture, kSharedTextureSlot, kSharedTextureWeight);
    texture->Release();

    Nyx::ChunkHint hint;
    hint.flags = Nyx::ChunkHint::kFlagRebuildable;
    hint.vertexType = 4;
    hint.vertexSize = 24;
    hint.streamCount = 1;
    for (uint32_t row : kChunkMaterials)
        if (Nyx::GeometryChunk* chunk = Nyx::GeometryChunk::Create(r.materials[row], hint, 3, 1, 3))
            r.chunks[r.chunkCount++] = chunk;
}

void DataManager::ReleaseVertexTypeMaterials()
{
    Registration& r = g_registration;
    if (!r.registered)
        return;
    r.registered = false;
    for (uint32_t i = 0; i < r.chunkCount; ++i) {
        r.chunks[i]->Release();
        r.chunks[i] = nullptr;
    }
    r.chunkCount = 0;
    for (Nyx::Material*& material : r.materials) {
        if (material)
            material->Release();
        material = nullptr;
    }
    for (Nyx::RenderingCache*& cache : r.caches) {
        r.cacheManager->RemoveCache(cache);
        cache->Release();
        cache = nullptr;
    }
    r.cacheManager = nullptr;
}

bool DataManager::IsVertexTypeRegistered() { return g_registration.registered; }

Nyx::Material* DataManager::GetVertexTypeMaterial(uint32_t index)
{
    return index < kVertexTypeMaterialCount ? g_registration.materials[index] : nullptr;
}

uint32_t DataManager::GetVertexTypeChunkCount() { return g_registration.chunkCount; }

Nyx::GeometryChunk* DataManager::GetVertexTypeChunk(uint32_t index)
{
    return index < g_registration.chunkCount ? g_registration.chunks[index] : nullptr;
}

}  // namespace TETLib
