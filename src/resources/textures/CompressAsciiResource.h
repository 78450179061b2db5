// The texture that the texture conversion creates for a description under
// its conversion name ("<body>.convert-tex.txt"): the text-described
// texture, with conversion options that override or complete the
// description's keys, a stored format chosen from its hints, its alpha and
// its size, and every image compressed to that format with its mip levels.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/files/Options.h"
#include "nyx/gfx/textures/TextureResource.h"

class TextureCompress;

class CompressAsciiResource : public Nyx::AsciiTextureResource {
public:
    static constexpr uint32_t kNoLimit = 0xFFFFFFFF;
    // Textures whose larger side is at most this are stored uncompressed.
    static constexpr uint32_t kSmallSide = 64;

    CompressAsciiResource(const Nyx::PString& name, Nyx::ResourceDatabase* database);
    ~CompressAsciiResource() override;

    // The caller's option store (kept by the caller), set before loading.
    void SetOptions(Nyx::Options* options) noexcept { options_ = options; }

    // The stored size: the description's size brought within
    // "MaxTextureSize", keeping the sides' ratio.
    void GetSize(uint32_t& width, uint32_t& height) override;
    // The chosen format code; sets the alpha flag with it.
    uint32_t GetFormat() override;
    bool GetAlphaFlag() override { return alphaFlag_; }
    uint32_t GetNumMipLevels() override;
    // The base lock, then every image compressed; a failed compression
    // undoes the lock.
    bool GetMipLock() override;
    // A view of the compressed bytes of that level of that image.
    Nyx::Bitmap* GetMip(uint32_t level, uint32_t image) override;
    // The base unlock; when it succeeds the compressed images go.
    bool GetMipUnlock() override;

    // For a caller already holding the base mip lock: compresses every image
    // and writes the compiled texture to that file of the mount (a path on
    // disk for an empty mount name). Does not unlock.
    bool SaveCompressed(const Nyx::PString& subst, const Nyx::File::Path& fileName, bool accelerate);

    bool GetForceOptions() const noexcept { return forceOptions_; }
    bool GetBumpMap() const noexcept { return bumpMap_; }
    uint32_t GetImageCount() const noexcept { return static_cast<uint32_t>(images_.size()); }

protected:
    uint32_t LoadTxt(const std::string& text) override;
    void Unload() override;

private:
    struct Choice {
        uint32_t format;
        bool alpha;
    };
    // The three "Compression" slots: no alpha, alpha hint 2, alpha hint 1.
    void ParseCompression(Choice (&slots)[3]);
    bool CompressAll(bool accelerate);
    void FreeImages();

    std::vector<TextureCompress*> images_;
    Nyx::Options* options_ = nullptr;
    bool forceOptions_ = false;
    bool alphaFlag_ = false;
    bool bumpMap_ = false;
    uint32_t maxWidth_ = kNoLimit;
    uint32_t maxHeight_ = kNoLimit;
};
