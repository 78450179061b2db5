#include "resources/textures/CompressAsciiResource.h"

#include <memory>

#include "nyx/files/ConfigData.h"
#include "nyx/gfx/display/DisplayTexture.h"
#include "nyx/resource/NIRFFile.h"
#include "resources/textures/TextureCompress.h"

namespace {

constexpr uint32_t kArrayStep = 128;

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return s;
}

// The option keys copied onto the description, in this order.
constexpr const char* kTextureKeys[] = {"Hint",      "AlphaHint", "Anisotropy", "AutoMip",
                                        "MagFilter", "MinFilter", "MipFilter",  "Tile"};

}  // namespace

CompressAsciiResource::CompressAsciiResource(const Nyx::PString& name, Nyx::ResourceDatabase* database)
    : Nyx::AsciiTextureResource(name, database)
{
}

CompressAsciiResource::~CompressAsciiResource() { FreeImages(); }

void CompressAsciiResource::FreeImages()
{
    for (TextureCompress* image : images_)
        delete image;
    images_.clear();
}

void CompressAsciiResource::Unload()
{
    FreeImages();
    forceOptions_ = bumpMap_ = alphaFlag_ = false;
    maxWidth_ = maxHeight_ = kNoLimit;
    Nyx::AsciiTextureResource::Unload();
}

uint32_t CompressAsciiResource::LoadTxt(const std::string& text)
{
    if (!options_)
        return kLoadFailed;
    forceOptions_ = options_->Get("forceOptions");
    bumpMap_ = options_->Get("BumpMap");
    options_->SetSeparators("MaxTextureSize", ",");
    uint32_t side = 0;
    // A limit of 0 would leave nothing to store: it counts as none.
    if (options_->Get("MaxTextureSize", side)) {
        if (side > 0)
            maxWidth_ = side;
        if (options_->GetNext(side) && side > 0)
            maxHeight_ = side;
    }
    if (forceOptions_ && Nyx::AsciiTextureResource::LoadTxt(text) != kLoadOk)
        return kLoadFailed;
    Nyx::ConfigData config;
    std::string value;
    for (const char* key : kTextureKeys)
        if (options_->Get(key, value))
            config.Set(key, value);
    if (!LoadTextureOptions(config))
        return kLoadFailed;
    if (!forceOptions_ && Nyx::AsciiTextureResource::LoadTxt(text) != kLoadOk)
        return kLoadFailed;
    return kLoadOk;
}

void CompressAsciiResource::ParseCompression(Choice (&slots)[3])
{
    for (Choice& slot : slots)
        slot = {Nyx::TextureResource::kFormatARGB, true};
    options_->SetSeparators("Compression", ",");
    std::string value;
    bool more = options_->GetFirst("Compression", value);
    for (int i = 0; more && i < 3; ++i, more = options_->GetNext(value)) {
        const std::string word = Lower(value);
        if (i == 0 && word == "auto") {
            slots[0] = {kFormatDXT1, false};
            slots[1] = {kFormatDXT1, true};
            slots[2] = {kFormatDXT5, true};
            return;
        }
        if (word == "dxt1")
            slots[i] = {kFormatDXT1, false};
        else if (word == "dxt1a")
            slots[i] = {kFormatDXT1, true};
        else if (word == "dxt3")
            slots[i] = {kFormatDXT3, true};
        else if (word == "dxt5")
            slots[i] = {kFormatDXT5, true};
        else if (word == "none")
            slots[i] = {kFormatARGB, true};
    }
}

uint32_t CompressAsciiResource::GetFormat()
{
    alphaFlag_ = true;
    if (!options_ || alphaHint_ == kAlphaHintUnknown)
        return kFormatARGB;
    Choice forced{kFormatARGB, false};
    if (options_->Get("Compression")) {
        // Normal maps do not keep one-bit alpha.
        if (GetNormalMapHint() && alphaHint_ == 2)
            alphaHint_ = 1;
        Choice slots[3];
        ParseCompression(slots);
        forced = slots[alphaHint_ == 0 ? 0 : alphaHint_ == 2 ? 1 : 2];
    }
    uint32_t width = 0;
    uint32_t height = 0;
    GetSize(width, height);
    const int hint = std::max(width, height) <= kSmallSide ? 0 : hint_;
    uint32_t format = kFormatARGB;
    switch (hint) {
    case 0:
        format = alphaHint_ == 0 ? kFormatXRGB : kFormatARGB;
        alphaFlag_ = alphaHint_ != 0;
        break;
    case 1:
        format = kFormatDXT1;
        alphaFlag_ = alphaHint_ != 0;
        break;
    case 2:
        format = kFormatDXT3;
        break;
    case 3:
        format = kFormatDXT5;
        break;
    default:
        break;
    }
    if (forceOptions_) {
        format = forced.format;
        alphaFlag_ = forced.alpha;
    }
    // Block compression needs whole 4 x 4 blocks.
    if (width % 4 != 0 || height % 4 != 0)
        format = alphaFlag_ ? kFormatARGB : kFormatXRGB;
    return format;
}

void CompressAsciiResource::GetSize(uint32_t& width, uint32_t& height)
{
    Nyx::AsciiTextureResource::GetSize(width, height);
    if (width > maxWidth_) {
        height = std::max(1u, static_cast<uint32_t>(static_cast<double>(height) / width * maxWidth_));
        width = maxWidth_;
    }
    if (height > maxHeight_) {
        width = std::max(1u, static_cast<uint32_t>(static_cast<double>(width) / height * maxHeight_));
        height = maxHeight_;
    }
}

uint32_t CompressAsciiResource::GetNumMipLevels()
{
    uint32_t width = 0;
    uint32_t height = 0;
    GetSize(width, height);
    return std::min(Nyx::DisplayTexture::GetNumMipLevels(width, height), Nyx::AsciiTextureResource::GetNumMipLevels());
}

bool CompressAsciiResource::CompressAll(bool accelerate)
{
    // Images of an earlier compression would be lost otherwise.
    FreeImages();
    uint32_t baseWidth = 0;
    uint32_t baseHeight = 0;
    Nyx::AsciiTextureResource::GetSize(baseWidth, baseHeight);
    uint32_t width = 0;
    uint32_t height = 0;
    GetSize(width, height);
    for (uint32_t i = 0; i < GetDepth(); ++i) {
        std::unique_ptr<Nyx::Bitmap> bitmap(Nyx::AsciiTextureResource::GetMip(0, i));
        if (!bitmap)
            return false;
        if (width != baseWidth || height != baseHeight) {
            bitmap.reset(bitmap->Scale(width, height));
            if (!bitmap)
                return false;
        }
        if (GetModifyMap() == 1 && bitmap->GetFormat() != Nyx::Bitmap::kFormatXRGB32) {
            for (uint32_t y = 0; y < bitmap->GetHeight(); ++y) {
                for (uint32_t x = 0; x < bitmap->GetWidth(); ++x) {
                    const uint32_t pixel = bitmap->GetPixel(x, y);
                    if (pixel != 0)
                        bitmap->SetPixel(x, y, (pixel & 0xFFFF00FFu) | ((255 - ((pixel >> 8) & 0xFF)) << 8));
                }
            }
        }
        const bool repeat = GetWrapS() == kWrapRepeat || GetWrapT() == kWrapRepeat;
        const uint32_t format = GetFormat();
        auto compressed = std::make_unique<TextureCompress>();
        if (!TextureCompress::Compress(*bitmap, *compressed, format, alphaFlag_, repeat, GetNormalMapHint(),
                                       UseMipMaps(), accelerate))
            return false;
        if (images_.size() == images_.capacity())
            images_.reserve((images_.size() / kArrayStep + 1) * kArrayStep);
        images_.push_back(compressed.release());
    }
    return true;
}

bool CompressAsciiResource::GetMipLock()
{
    if (!Nyx::AsciiTextureResource::GetMipLock())
        return false;
    if (!CompressAll(true)) {
        Nyx::AsciiTextureResource::GetMipUnlock();
        return false;
    }
    return true;
}

Nyx::Bitmap* CompressAsciiResource::GetMip(uint32_t level, uint32_t image)
{
    if (image >= images_.size())
        return nullptr;
    Nyx::Bitmap* data = images_[image]->GetLevel(level);
    if (!data)
        return nullptr;
    auto* view = new Nyx::Bitmap;
    if (!view->Init(data->GetWidth(), data->GetHeight(), data->GetFormat(), data->GetData(), data->GetPitch())) {
        delete view;
        return nullptr;
    }
    return view;
}

bool CompressAsciiResource::GetMipUnlock()
{
    if (!Nyx::AsciiTextureResource::GetMipUnlock())
        return false;
    FreeImages();
    return true;
}

bool CompressAsciiResource::SaveCompressed(const Nyx::PString& subst, const Nyx::File::Path& fileName,
                                           bool accelerate)
{
    if (!CompressAll(accelerate))
        return false;
    Nyx::File file;
    if (!file.Open(subst, fileName, Nyx::File::kModeWrite))
        return false;
    int64_t start = 0;
    if (!Nyx::NIRFWriteHeader(file, kFileForm, start))
        return false;
    bool ok = SaveLockedInternal(file, nullptr);
    ok = Nyx::NIRFFinishHeader(file, start) && ok;
    file.Close();
    return ok;
}
