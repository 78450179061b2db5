// Engine textures, and the render kernel's collection of textures that any
// material may share (the plain white one first).
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/PString.h"
#include "nyx/ReferenceCount.h"

namespace Nyx {

class Texture : public ReferenceCount {
public:
    explicit Texture(const PString& name) : name_(name) {}
    const PString& GetName() const noexcept { return name_; }

private:
    PString name_;
};

class SharedTextureCollection {
public:
    SharedTextureCollection() = default;
    SharedTextureCollection(const SharedTextureCollection&) = delete;
    SharedTextureCollection& operator=(const SharedTextureCollection&) = delete;
    ~SharedTextureCollection() { Clear(); }

    static constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

    // Appends the texture, taking a reference; returns its index (kNoIndex
    // for null, which is not added).
    uint32_t AddTexture(Texture* texture);
    // The texture at the index with one more reference for the caller;
    // null past the end.
    Texture* GetTexture(uint32_t index) const;
    uint32_t GetCount() const noexcept { return static_cast<uint32_t>(textures_.size()); }
    // Gives back every texture.
    void Clear();

private:
    std::vector<Texture*> textures_;
};

}  // namespace Nyx
