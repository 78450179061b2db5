// Compressing one 32-bit image, with or without its mip chain, into one of
// the stored texture formats through the texture compression library; the
// library's output is kept as one raw bitmap per mip level.
//
// The library keeps process-wide state and must not run twice at once: one
// lock serialises every compression. Its last error text is kept per
// thread, for the thread that ran the failed compression to read.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/gfx/bitmap/Bitmap.h"

class TextureCompress {
public:
    TextureCompress() = default;
    virtual ~TextureCompress();
    TextureCompress(const TextureCompress&) = delete;
    TextureCompress& operator=(const TextureCompress&) = delete;

    // Compresses a bitmap of pixel format 2 or 3 (whose pixels may be
    // changed: with format 3 on either side every non-zero pixel becomes
    // opaque) to the format code 1, 3, 10 (DXT1, DXT1a with the flag), 11 or
    // 12, appending the levels to `out`. False for another format code or
    // source format (nothing done then) or when the library fails (its
    // error text is then this thread's last error). In DXT1, and in DXT1a
    // where the source is opaque, no texel decodes through a block's
    // transparent entry.
    static bool Compress(Nyx::Bitmap& source, TextureCompress& out, uint32_t format, bool dxt1a, bool repeatWrap,
                         bool normalMap, bool mipmaps, bool accelerate);

    // This thread's last compressor error: cleared when a compression
    // starts, set when the library reports one.
    static Nyx::PString GetLastError();
    static void SetLastError(const Nyx::PString& text);

    // Takes the bitmap.
    void Append(Nyx::Bitmap* level);
    uint32_t GetCount() const noexcept { return static_cast<uint32_t>(levels_.size()); }
    // Level i, or null out of range.
    Nyx::Bitmap* GetLevel(uint32_t i) const noexcept { return i < levels_.size() ? levels_[i] : nullptr; }

private:
    std::vector<Nyx::Bitmap*> levels_;
};
