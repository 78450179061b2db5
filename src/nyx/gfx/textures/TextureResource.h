// Texture resources: a texture's images with their mip levels, and the
// text-described texture whose description names its image files.
//
// The compiled texture file that SaveLockedInternal writes follows the NIRF
// frame: a "TXHD" chunk (version 100) with u32 width, height, image count,
// mip levels, format code, alpha flag, wrap S and wrap T; then one "TXMP"
// chunk (version 100) per image and level, image by image: u32 image,
// level, width, height, byte count, then the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "nyx/files/ConfigData.h"
#include "nyx/gfx/bitmap/Bitmap.h"
#include "nyx/resource/Resource.h"

namespace Nyx {

class Display;

class TextureResource : public Resource {
public:
    // Texture format codes.
    static constexpr uint32_t kFormatARGB = 1;   // uncompressed 32-bit with alpha
    static constexpr uint32_t kFormatXRGB = 3;   // uncompressed 32-bit without alpha
    static constexpr uint32_t kFormatDXT1 = 10;  // DXT1a with the alpha flag
    static constexpr uint32_t kFormatDXT3 = 11;
    static constexpr uint32_t kFormatDXT5 = 12;
    // Wrap modes.
    static constexpr uint32_t kWrapClamp = 1;
    static constexpr uint32_t kWrapRepeat = 2;
    // The form code of compiled texture files: "MMTF" as stored.
    static constexpr uint32_t kFileForm = 0x46544D4D;

    using Resource::Resource;

    virtual void GetSize(uint32_t& width, uint32_t& height) = 0;
    virtual uint32_t GetFormat() = 0;
    uint32_t GetFormatCode() { return GetFormat(); }
    // Whether the stored format carries alpha (the flag written to the file).
    virtual bool GetAlphaFlag() = 0;
    virtual uint32_t GetNumMipLevels() = 0;
    virtual uint32_t GetDepth() { return 1; }
    virtual uint32_t GetWrapS() { return kWrapRepeat; }
    virtual uint32_t GetWrapT() { return kWrapRepeat; }
    // Holds the images while they are read; every GetMipLock needs its
    // GetMipUnlock.
    virtual bool GetMipLock() = 0;
    // A new bitmap of that level of that image (the caller deletes it); null
    // out of range or without the mip lock.
    virtual Bitmap* GetMip(uint32_t level, uint32_t image) = 0;
    virtual bool GetMipUnlock() = 0;

    // Writes the texture's chunks; the caller holds the mip lock.
    bool SaveLockedInternal(File& file, Display* display);
    // Locks, writes the whole compiled file at that path, unlocks.
    virtual bool Save(const File::Path& fileName, Display* display);
};

class AsciiTextureResource : public TextureResource {
public:
    static constexpr uint8_t kAlphaHintUnknown = 0xFF;

    AsciiTextureResource(const PString& name, ResourceDatabase* database);
    ~AsciiTextureResource() override;

    // Applies the texture keys of a config: "Hint" (0-3), "AlphaHint"
    // (0-2), "Anisotropy", "AutoMip" ("none", "no", "false" or "0" turn the
    // mip chain off), "MagFilter", "MinFilter", "MipFilter", "Tile" ("st",
    // "s", "t" or "none": the sides that repeat), "NormalMap" and
    // "ModifyMap". False for a value out of its range.
    bool LoadTextureOptions(const ConfigData& config);

    void GetSize(uint32_t& width, uint32_t& height) override;
    uint32_t GetFormat() override;
    bool GetAlphaFlag() override { return alphaHint_ != 0; }
    uint32_t GetNumMipLevels() override;
    uint32_t GetWrapS() override { return wrapS_; }
    uint32_t GetWrapT() override { return wrapT_; }
    bool GetMipLock() override;
    Bitmap* GetMip(uint32_t level, uint32_t image) override;
    bool GetMipUnlock() override;

    int8_t GetHint() const noexcept { return hint_; }
    uint8_t GetAlphaHint() const noexcept { return alphaHint_; }
    bool GetNormalMapHint() const noexcept { return normalMap_; }
    uint32_t GetModifyMap() const noexcept { return modifyMap_; }
    bool UseMipMaps() const noexcept { return autoMip_; }

protected:
    // Applies the description's keys, loads "Primary=" (and "Alpha=", whose
    // grey level becomes the alpha) from the description's folder, and works
    // the alpha hint out from the pixels when no key gave it.
    uint32_t LoadTxt(const std::string& text) override;
    void Unload() override;

    int8_t hint_ = 0;
    uint8_t alphaHint_ = kAlphaHintUnknown;

private:
    bool LoadImages(const std::string& primary, const std::string& alpha);

    uint32_t wrapS_ = kWrapRepeat;
    uint32_t wrapT_ = kWrapRepeat;
    bool autoMip_ = true;
    bool normalMap_ = false;
    uint32_t modifyMap_ = 0;
    uint32_t anisotropy_ = 0;
    std::string magFilter_;
    std::string minFilter_;
    std::string mipFilter_;
    std::unique_ptr<Bitmap> image_;
    uint32_t mipLocks_ = 0;
};

}  // namespace Nyx
