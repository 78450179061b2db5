#include "nyx/gfx/textures/TextureManager.h"

#include <strings.h>

#include "nyx/gfx/textures/Texture.h"

namespace Nyx {

namespace {

bool SameName(const PString& a, const PString& b)
{
    return a.Length() == b.Length() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

TextureManager::~TextureManager()
{
    for (Entry& entry : entries_)
        entry.texture->Release();
}

void TextureManager::AddTexture(const ResourceDatabase* database, Texture* texture)
{
    if (!texture)
        return;
    texture->AddRef();
    for (Entry& entry : entries_) {
        if (entry.database == database && SameName(entry.texture->GetName(), texture->GetName())) {
            entry.texture->Release();
            entry.texture = texture;
            return;
        }
    }
    entries_.push_back({database, texture});
}

Texture* TextureManager::GetTexture(const ResourceDatabase* database, const PString& name) const
{
    for (const Entry& entry : entries_) {
        if (entry.database == database && SameName(entry.texture->GetName(), name)) {
            entry.texture->AddRef();
            return entry.texture;
        }
    }
    return nullptr;
}

}  // namespace Nyx
