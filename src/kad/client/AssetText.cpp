#include "kad/client/AssetText.h"

#include "config/tree/TDBContainerTag.h"

namespace {

bool IsOpeningUtf8Quote(const uint8_t* p) { return p[0] == 0xE2 && p[1] == 0x80 && (p[2] == 0x98 || p[2] == 0x9C); }

bool IsClosingUtf8Quote(const uint8_t* last)
{
    return (last[0] == 0x99 || last[0] == 0x9D) && last[-1] == 0x80 && last[-2] == 0xE2;
}

}  // namespace

Nyx::String UnderscoresToSpaces(const Nyx::String& text)
{
    Nyx::String out = text;
    for (char& c : out.Str())
        if (c == '_')
            c = ' ';
    return out;
}

int32_t QuoteMarkLength(const char* at, int32_t length)
{
    if (length == 0 || !at)
        return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(at);
    if (p[0] == '\'' || p[0] == '"')
        return 1;
    if (p[0] >= 0x91 && p[0] <= 0x94) {
        if ((length > 1 && p[1] < 0x80) || (length < -1 && p[-1] < 0x80))
            return 1;
    }
    if (length >= 3 && IsOpeningUtf8Quote(p))
        return 3;
    if (length <= -3 && IsClosingUtf8Quote(p))
        return 3;
    return 0;
}

float GetConfigBuildVersion(const ChunkRef& config)
{
    const float build = TDBContainerTag::GetFloat(config, Nyx::PString("kestro-build"), 0.0f);
    if (build >= 1.0f && build < 100.0f)
        return build + 0.005f;
    for (const char* tag : {"mesh-table", "class", "scriptclass"}) {
        if (config && config->FindChildConst(Nyx::PString(tag)).IsReal())
            return 2.0f;
    }
    return 1.3f;
}
