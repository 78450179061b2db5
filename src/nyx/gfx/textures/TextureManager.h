// The material manager's textures by name within a resource database: the
// headless engine loads none from disk, so tests (and whoever owns a
// texture) enter them here and materials look them up.
#pragma once

#include <vector>

#include "nyx/base/PString.h"

namespace Nyx {

class ResourceDatabase;
class Texture;

class TextureManager {
public:
    TextureManager() = default;
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;
    ~TextureManager();

    // Takes a reference; a later entry of the same database and name (case
    // folded) replaces an earlier one.
    void AddTexture(const ResourceDatabase* database, Texture* texture);
    // The texture with one more reference for the caller; null when none.
    Texture* GetTexture(const ResourceDatabase* database, const PString& name) const;

private:
    struct Entry {
        const ResourceDatabase* database;
        Texture* texture;
    };
    std::vector<Entry> entries_;
};

}  // namespace Nyx
