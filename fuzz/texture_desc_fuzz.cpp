// Fuzzer bytes as a texture description of the compressing resource: the
// first byte picks the conversion options and the image's size, the rest is
// the description, loaded through LoadTxt beside a small image. Then the
// format choice and the stored size. Whatever the bytes: no crash, a format
// code the compiled file knows, and a stored size within the image and the
// limits.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "nyx/files/File.h"
#include "nyx/resource/ResourceDatabase.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "resources/textures/CompressAsciiResource.h"

namespace {

std::string Tga(uint16_t width, uint16_t height)
{
    std::string s(2, '\0');
    s += static_cast<char>(2);
    s.append(9, '\0');
    s += static_cast<char>(width & 0xFF);
    s += static_cast<char>(width >> 8);
    s += static_cast<char>(height & 0xFF);
    s += static_cast<char>(height >> 8);
    s += static_cast<char>(32);
    s += static_cast<char>(0x28);
    for (uint32_t i = 0; i < uint32_t{width} * height; ++i)
        s += std::string{static_cast<char>(i), static_cast<char>(i * 3), static_cast<char>(i * 7),
                         static_cast<char>(i % 3 == 0 ? 0 : 255)};
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("texture_desc_fuzz");
    static const Nyx::PString mount("texture-desc-fuzz");
    if (size == 0 || size > 4096)
        return 0;
    static const char* const kOptions[] = {
        "",
        "-Automip=none -Compression=auto",
        "-forceOptions -Compression=auto",
        "-forceOptions -Compression=dxt5,none,dxt1a -MaxTextureSize=8,4",
        "-Hint=3 -AlphaHint=2 -Tile=s -MaxTextureSize=3",
        "-forceOptions -Hint=1 -AutoMip=none -Compression=DXT3",
        "-MaxTextureSize=0,0 -BumpMap",
        "-Compression=,,,none",
    };
    const uint8_t pick = data[0];
    const uint16_t side = static_cast<uint16_t>(4u << (pick >> 6));  // 4 to 32
    static bool made = false;
    if (!made) {
        for (uint16_t s = 4; s <= 32; s *= 2)
            folder.Write("a/i" + std::to_string(s) + ".tga", Tga(s, static_cast<uint16_t>(s + 4)));
        Nyx::File::Subst::Add(mount, Nyx::File::Path(folder.Path() + "/"));
        KestroPluginRegistration::EnsureRegistered();
        made = true;
    }
    const std::string description =
        "Primary=i" + std::to_string(side) + ".tga\n" + std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    folder.Write("a/body.convert-tex.txt", description);

    Nyx::ResourceDatabase database(mount);
    auto* texture = dynamic_cast<CompressAsciiResource*>(
        database.Get(Nyx::PString("a/body.convert-tex"), Nyx::ResourceDatabase::kGetCreate));
    FuzzCheck(texture != nullptr);
    Nyx::Options options;
    options.ProcessRaw(kOptions[pick % 8]);
    texture->SetOptions(&options);
    if (texture->Lock()) {
        const uint32_t format = texture->GetFormat();
        FuzzCheck(format == 1 || format == 3 || format == 10 || format == 11 || format == 12);
        uint32_t width = 0;
        uint32_t height = 0;
        texture->GetSize(width, height);
        FuzzCheck(width >= 1 && height >= 1 && width <= side && height <= side + 4u);
        FuzzCheck(texture->GetNumMipLevels() >= 1 && texture->GetNumMipLevels() <= 6);
        FuzzCheck(texture->GetAlphaHint() <= 2);
        texture->Unlock();
    }
    texture->ReleaseReference();
    return 0;
}
