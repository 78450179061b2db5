// Engine textures, and the render kernel's collection of textures that any
// material may share (the plain white one first).
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/base/ReferenceCount.h"
#include "nyx/gfx/display/DisplayFormat.h"

namespace Nyx {

// Pixels handed to a texture: a view of the caller's bytes.
struct TextureImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pixelFormat = 0;  // 1 luminance, 2 ARGB, 3 XRGB, 4 RGB
    const uint8_t* data = nullptr;
};

class Display;

class Texture : public ReferenceCount {
public:
    explicit Texture(const PString& name) : name_(name) {}
    const PString& GetName() const noexcept { return name_; }

    // Asks for the texture to be brought in for use at the given level;
    // the headless texture only counts the requests.
    void Activate(int32_t value) noexcept
    {
        ++activations_;
        lastActivation_ = value;
    }
    uint32_t GetActivationCount() const noexcept { return activations_; }
    int32_t GetLastActivation() const noexcept { return lastActivation_; }
    // Puts the texture on a stage of the display.
    void BindToStage(Display& display, uint32_t stage) const;
    // A new texture of the same name and image, with one reference for the
    // caller.
    Texture* Duplicate() const;
    // Textures load in the background; tests hold one back.
    bool IsLoaded() const noexcept { return loaded_; }
    void SetLoaded(bool loaded) noexcept { loaded_ = loaded; }
    // What the texture holds: kFlat or kCubeMap.
    enum Kind : uint32_t { kFlat = 0, kCubeMap = 1 };
    uint32_t GetKind() const noexcept { return kind_; }
    void SetKind(uint32_t kind) noexcept { kind_ = kind; }
    // A texture whose image cannot be had reports a failure.
    bool HasFailed() const noexcept { return failed_; }
    void SetFailed(bool failed) noexcept { failed_ = failed; }
    // Asks for the image at once; false when it cannot be had.
    bool Load() noexcept
    {
        ++loadRequests_;
        if (!failed_)
            loaded_ = true;
        return !failed_;
    }
    uint32_t GetLoadRequestCount() const noexcept { return loadRequests_; }
    float GetPriority() const noexcept { return priority_; }
    void SetPriority(float priority) noexcept { priority_ = priority; }

    // Replaces the texture's image by the pixels, kept in the display
    // format; false, and the texture unchanged, for an image without
    // pixels.
    bool ReplaceImage(const TextureImage& image, const DisplayFormat& format)
    {
        if (!image.data || image.width == 0 || image.height == 0)
            return false;
        width_ = image.width;
        height_ = image.height;
        format_ = format;
        ++replacements_;
        return true;
    }
    uint32_t GetWidth() const noexcept { return width_; }
    uint32_t GetHeight() const noexcept { return height_; }
    const DisplayFormat& GetFormat() const noexcept { return format_; }
    uint32_t GetReplacementCount() const noexcept { return replacements_; }

private:
    PString name_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    DisplayFormat format_;
    uint32_t replacements_ = 0;
    uint32_t activations_ = 0;
    int32_t lastActivation_ = 0;
    bool loaded_ = true;
    bool failed_ = false;
    uint32_t loadRequests_ = 0;
    float priority_ = 0.0f;
    uint32_t kind_ = kFlat;
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
