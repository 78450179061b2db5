#include "scriptapi/image/FontPlatform.h"

#include "scriptapi/image/FreeTypeFontPlatform.h"

namespace {

FontPlatform* g_current = nullptr;

}  // namespace

bool FontPlatform::CreateDIBSection(Nyx::Bitmap& atlas, uint32_t side)
{
    return atlas.Init(side, side, Nyx::Bitmap::kFormatARGB32);
}

FontPlatform& FontPlatform::Current()
{
    static FreeTypeFontPlatform freeType;
    return g_current ? *g_current : freeType;
}

void FontPlatform::SetCurrent(FontPlatform* platform) noexcept { g_current = platform; }
