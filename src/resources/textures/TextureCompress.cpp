#include "resources/textures/TextureCompress.h"

#include <cstring>
#include <exception>
#include <mutex>
#include <new>

#include "resources/textures/OpaqueDxt1Blocks.h"
#include "resources/textures/TextureCompressHandlers.h"

namespace {

// The library is not safe to run twice at once.
std::mutex& LibraryLock()
{
    static std::mutex* lock = new std::mutex;  // never destroyed: compressions may run at exit
    return *lock;
}

// Each worker reads the error of its own compression: a process-wide text
// would be overwritten by another worker's failure first.
thread_local Nyx::PString t_lastError;

constexpr uint32_t kArrayStep = 128;
constexpr uint32_t kDxt1 = 10;

// The library's format for a format code; false for a code it does not take.
bool LibraryFormat(uint32_t format, bool dxt1a, nvtt::Format& out)
{
    switch (format) {
    case 1:
    case 3:
        out = nvtt::Format_RGBA;
        return true;
    case kDxt1:
        out = dxt1a ? nvtt::Format_DXT1a : nvtt::Format_DXT1;
        return true;
    case 11:
        out = nvtt::Format_DXT3;
        return true;
    case 12:
        out = nvtt::Format_DXT5;
        return true;
    default:
        return false;
    }
}

}  // namespace

TextureCompress::~TextureCompress()
{
    for (Nyx::Bitmap* level : levels_)
        delete level;
}

void TextureCompress::Append(Nyx::Bitmap* level)
{
    if (!level)
        return;
    if (levels_.size() == levels_.capacity())
        levels_.reserve((levels_.size() / kArrayStep + 1) * kArrayStep);
    levels_.push_back(level);
}

Nyx::PString TextureCompress::GetLastError() { return t_lastError; }

void TextureCompress::SetLastError(const Nyx::PString& text) { t_lastError = text; }

bool TextureCompress::Compress(Nyx::Bitmap& source, TextureCompress& out, uint32_t format, bool dxt1a,
                               bool repeatWrap, bool normalMap, bool mipmaps, bool accelerate)
{
    nvtt::Format libraryFormat;
    if (!LibraryFormat(format, dxt1a, libraryFormat))
        return false;
    const uint32_t sourceFormat = source.GetFormat();
    if ((sourceFormat != Nyx::Bitmap::kFormatARGB32 && sourceFormat != Nyx::Bitmap::kFormatXRGB32) || source.Empty())
        return false;

    // Opaque storage: every pixel but the value 0 (kept transparent black)
    // gets a full alpha.
    if (sourceFormat == Nyx::Bitmap::kFormatXRGB32 || format == 3) {
        for (uint32_t y = 0; y < source.GetHeight(); ++y) {
            for (uint32_t x = 0; x < source.GetWidth(); ++x) {
                const uint32_t pixel = source.GetPixel(x, y);
                if (pixel != 0)
                    source.SetPixel(x, y, pixel | 0xFF000000u);
            }
        }
    }

    // The library reads rows without padding.
    const uint8_t* pixels = source.GetData();
    std::vector<uint8_t> packed;
    const uint32_t row = source.GetWidth() * 4;
    if (source.GetPitch() != row) {
        packed.resize(static_cast<size_t>(row) * source.GetHeight());
        for (uint32_t y = 0; y < source.GetHeight(); ++y)
            std::memcpy(packed.data() + static_cast<size_t>(y) * row,
                        source.GetData() + static_cast<size_t>(y) * source.GetPitch(), row);
        pixels = packed.data();
    }

    const uint32_t first = out.GetCount();
    std::unique_lock<std::mutex> hold(LibraryLock());
    bool ok = false;
    OurOutputHandler output(out);
    OurErrorHandler errors;
    SetLastError(Nyx::PString());
    try {
        nvtt::Compressor compressor;
        nvtt::InputOptions input;
        nvtt::OutputOptions outputOptions;
        nvtt::CompressionOptions compression;
        input.setMipmapGeneration(mipmaps, -1);
        if (normalMap)
            input.setNormalMap(true);
        input.setWrapMode(repeatWrap ? nvtt::WrapMode_Repeat : nvtt::WrapMode_Clamp);
        compressor.enableCudaAcceleration(accelerate);
        compression.setFormat(libraryFormat);
        // The library's production DXT1 encoder now and then gives opaque
        // texels the transparent entry of a three-colour block, and lands
        // further from the source than its fast encoder on every image we
        // measured.
        compression.setQuality(format == kDxt1 ? nvtt::Quality_Fastest : nvtt::Quality_Production);
        input.setTextureLayout(nvtt::TextureType_2D, static_cast<int>(source.GetWidth()),
                               static_cast<int>(source.GetHeight()), 1);
        input.setMipmapData(pixels, static_cast<int>(source.GetWidth()), static_cast<int>(source.GetHeight()), 1, 0,
                            0);
        // The library's best filter is Kaiser; normal maps keep the box.
        input.setMipmapFilter(normalMap ? nvtt::MipmapFilter_Box : nvtt::MipmapFilter_Kaiser);
        outputOptions.setOutputHandler(&output);
        outputOptions.setErrorHandler(&errors);
        outputOptions.setOutputHeader(false);
        ok = compressor.process(input, compression, outputOptions);
    } catch (const std::exception& e) {
        SetLastError(Nyx::PString(e.what()));
        ok = false;
    } catch (...) {
        SetLastError(Nyx::PString("texture compression library exception"));
        ok = false;
    }
    if (ok)
        output.Flush();
    else
        output.Discard();
    hold.unlock();
    // Whatever the encoder chose: no texel of an opaque source comes out
    // transparent or black.
    if (ok && format == kDxt1) {
        const OpaqueDxt1Blocks opaque(pixels, source.GetWidth(), source.GetHeight(), dxt1a, repeatWrap);
        for (uint32_t i = first; i < out.GetCount(); ++i) {
            Nyx::Bitmap& level = *out.GetLevel(i);
            opaque.Apply(level.GetData(), level.GetDataSize(), level.GetWidth(), level.GetHeight());
        }
    }
    return ok;
}

OurOutputHandler::~OurOutputHandler() { Discard(); }

void OurOutputHandler::Flush()
{
    receiver_.Append(current_);
    current_ = nullptr;
}

void OurOutputHandler::Discard()
{
    delete current_;
    current_ = nullptr;
}

void OurOutputHandler::beginImage(int size, int width, int height, int, int, int)
{
    Flush();
    announced_ = 0;
    written_ = 0;
    if (size <= 0 || width <= 0 || height <= 0)
        return;
    auto* bitmap = new (std::nothrow) Nyx::Bitmap;
    if (!bitmap || !bitmap->Init(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                 Nyx::Bitmap::kFormatRaw, nullptr, static_cast<uint32_t>(size))) {
        delete bitmap;
        return;
    }
    current_ = bitmap;
    announced_ = static_cast<uint32_t>(size);
}

bool OurOutputHandler::writeData(const void* data, int size)
{
    if (size < 0 || !current_ || !data)
        return false;
    const uint32_t n = static_cast<uint32_t>(size);
    if (n > announced_ - written_)
        return false;
    std::memcpy(current_->GetData() + written_, data, n);
    written_ += n;
    return true;
}

void OurErrorHandler::error(nvtt::Error e) { TextureCompress::SetLastError(Nyx::PString(nvtt::errorString(e))); }
