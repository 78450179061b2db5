#include "nyx/gfx/textures/TextureResource.h"

#include <algorithm>
#include <charconv>

#include "nyx/gfx/display/DisplayTexture.h"
#include "nyx/resource/NIRFFile.h"
#include "nyx/resource/ResourceDatabase.h"

namespace Nyx {

namespace {

constexpr uint32_t kChunkVersion = 100;

bool ParseNumber(const std::string& text, uint32_t& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The bytes of one level as stored: the whole block of a compressed
// level, the rows of an uncompressed one without their padding.
void PutLevel(NIRFChunk& chunk, const Bitmap& level)
{
    if (level.GetFormat() == Bitmap::kFormatRaw) {
        chunk.PutU32(level.GetDataSize());
        chunk.PutBytes(level.GetData(), level.GetDataSize());
        return;
    }
    const uint32_t row = level.GetWidth() * Bitmap::BytesPerPixel(level.GetFormat());
    chunk.PutU32(row * level.GetHeight());
    for (uint32_t y = 0; y < level.GetHeight(); ++y)
        chunk.PutBytes(level.GetData() + static_cast<size_t>(y) * level.GetPitch(), row);
}

}  // namespace

bool TextureResource::SaveLockedInternal(File& file, Display*)
{
    uint32_t width = 0;
    uint32_t height = 0;
    GetSize(width, height);
    const uint32_t format = GetFormat();
    const uint32_t depth = GetDepth();
    const uint32_t levels = GetNumMipLevels();
    NIRFChunk header("TXHD", kChunkVersion);
    for (uint32_t value : {width, height, depth, levels, format, GetAlphaFlag() ? 1u : 0u, GetWrapS(), GetWrapT()})
        header.PutU32(value);
    if (!header.Write(file))
        return false;
    for (uint32_t image = 0; image < depth; ++image) {
        for (uint32_t level = 0; level < levels; ++level) {
            std::unique_ptr<Bitmap> bitmap(GetMip(level, image));
            if (!bitmap)
                return false;
            NIRFChunk chunk("TXMP", kChunkVersion);
            for (uint32_t value : {image, level, bitmap->GetWidth(), bitmap->GetHeight()})
                chunk.PutU32(value);
            PutLevel(chunk, *bitmap);
            if (!chunk.Write(file))
                return false;
        }
    }
    return true;
}

bool TextureResource::Save(const File::Path& fileName, Display* display)
{
    if (!GetMipLock())
        return false;
    File file;
    bool ok = false;
    int64_t start = 0;
    if (file.Open(fileName, File::kModeWrite) && NIRFWriteHeader(file, kFileForm, start)) {
        ok = SaveLockedInternal(file, display);
        ok = NIRFFinishHeader(file, start) && ok;
    }
    file.Close();
    GetMipUnlock();
    return ok;
}

AsciiTextureResource::AsciiTextureResource(const PString& name, ResourceDatabase* database)
    : TextureResource(name, database)
{
}

AsciiTextureResource::~AsciiTextureResource() = default;

bool AsciiTextureResource::LoadTextureOptions(const ConfigData& config)
{
    std::string value;
    uint32_t number = 0;
    if (config.Get("Hint", value)) {
        if (!ParseNumber(value, number) || number > 3)
            return false;
        hint_ = static_cast<int8_t>(number);
    }
    if (config.Get("AlphaHint", value)) {
        if (!ParseNumber(value, number) || number > 2)
            return false;
        alphaHint_ = static_cast<uint8_t>(number);
    }
    if (config.Get("Anisotropy", value)) {
        if (!ParseNumber(value, number))
            return false;
        anisotropy_ = number;
    }
    if (config.Get("AutoMip", value))
        autoMip_ = !(value == "none" || value == "no" || value == "false" || value == "0");
    if (config.Get("MagFilter", value))
        magFilter_ = value;
    if (config.Get("MinFilter", value))
        minFilter_ = value;
    if (config.Get("MipFilter", value))
        mipFilter_ = value;
    if (config.Get("Tile", value)) {
        if (value != "st" && value != "s" && value != "t" && value != "none")
            return false;
        wrapS_ = value.find('s') != std::string::npos ? kWrapRepeat : kWrapClamp;
        wrapT_ = value.find('t') != std::string::npos && value != "none" ? kWrapRepeat : kWrapClamp;
    }
    if (config.Get("NormalMap", value)) {
        if (!ParseNumber(value, number))
            return false;
        normalMap_ = number != 0;
    }
    if (config.Get("ModifyMap", value)) {
        if (!ParseNumber(value, number))
            return false;
        modifyMap_ = number;
    }
    return true;
}

uint32_t AsciiTextureResource::LoadTxt(const std::string& text)
{
    const ConfigData config = ConfigData::Parse(text);
    if (!LoadTextureOptions(config))
        return kLoadFailed;
    std::string primary;
    std::string alpha;
    if (!config.Get("Primary", primary) || primary.empty())
        return kLoadFailed;
    config.Get("Alpha", alpha);
    if (!LoadImages(primary, alpha))
        return kLoadFailed;
    if (alphaHint_ == kAlphaHintUnknown) {
        bool onlyOpaque = true;
        bool onlyBinary = true;
        for (uint32_t y = 0; y < image_->GetHeight(); ++y) {
            for (uint32_t x = 0; x < image_->GetWidth(); ++x) {
                const uint32_t a = image_->GetPixel(x, y) >> 24;
                onlyOpaque = onlyOpaque && a == 255;
                onlyBinary = onlyBinary && (a == 0 || a == 255);
            }
        }
        alphaHint_ = onlyOpaque ? 0 : onlyBinary ? 2 : 1;
    }
    return kLoadOk;
}

bool AsciiTextureResource::LoadImages(const std::string& primary, const std::string& alpha)
{
    // Image names are relative to the description's folder.
    const std::string folder(GetFileName().Folder());
    const PString base = GetDatabase() ? GetDatabase()->GetName() : PString();
    auto image = std::make_unique<Bitmap>();
    if (!image->Load(base, File::Path(folder + primary)))
        return false;
    if (!alpha.empty()) {
        Bitmap mask;
        if (!mask.Load(base, File::Path(folder + alpha)) || mask.GetWidth() != image->GetWidth()
            || mask.GetHeight() != image->GetHeight())
            return false;
        auto combined = std::make_unique<Bitmap>(image->GetWidth(), image->GetHeight(), Bitmap::kFormatARGB32);
        for (uint32_t y = 0; y < image->GetHeight(); ++y) {
            for (uint32_t x = 0; x < image->GetWidth(); ++x) {
                const uint32_t m = mask.GetPixel(x, y);
                const uint32_t grey = (((m >> 16) & 0xFF) + ((m >> 8) & 0xFF) + (m & 0xFF) + 1) / 3;
                combined->SetPixel(x, y, (image->GetPixel(x, y) & 0x00FFFFFFu) | (grey << 24));
            }
        }
        image = std::move(combined);
    }
    image_ = std::move(image);
    return true;
}

void AsciiTextureResource::Unload()
{
    // A cached resource loads again from its description alone.
    image_.reset();
    mipLocks_ = 0;
    hint_ = 0;
    alphaHint_ = kAlphaHintUnknown;
    wrapS_ = wrapT_ = kWrapRepeat;
    autoMip_ = true;
    normalMap_ = false;
    modifyMap_ = 0;
    anisotropy_ = 0;
    magFilter_.clear();
    minFilter_.clear();
    mipFilter_.clear();
}

void AsciiTextureResource::GetSize(uint32_t& width, uint32_t& height)
{
    width = image_ ? image_->GetWidth() : 0;
    height = image_ ? image_->GetHeight() : 0;
}

uint32_t AsciiTextureResource::GetFormat() { return alphaHint_ == 0 ? kFormatXRGB : kFormatARGB; }

uint32_t AsciiTextureResource::GetNumMipLevels()
{
    if (!autoMip_)
        return 1;
    uint32_t width = 0;
    uint32_t height = 0;
    AsciiTextureResource::GetSize(width, height);
    return DisplayTexture::GetNumMipLevels(width, height);
}

bool AsciiTextureResource::GetMipLock()
{
    if (!image_)
        return false;
    ++mipLocks_;
    return true;
}

Bitmap* AsciiTextureResource::GetMip(uint32_t level, uint32_t image)
{
    if (!image_ || mipLocks_ == 0 || image != 0 || level >= AsciiTextureResource::GetNumMipLevels())
        return nullptr;
    const uint32_t width = std::max(1u, image_->GetWidth() >> level);
    const uint32_t height = std::max(1u, image_->GetHeight() >> level);
    return image_->Scale(width, height);
}

bool AsciiTextureResource::GetMipUnlock()
{
    if (mipLocks_ == 0)
        return false;
    --mipLocks_;
    return true;
}

}  // namespace Nyx
