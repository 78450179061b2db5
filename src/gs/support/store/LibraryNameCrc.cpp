#include "gs/support/store/LibraryNameCrc.h"

#include <strings.h>

#include <cstdio>

#include <string>

#include "core/compress/Crc32.h"

uint32_t LibraryNameCrc(std::string_view name)
{
    size_t cut = name.find_last_of("\\/:");
    if (cut != std::string_view::npos)
        name.remove_prefix(cut + 1);
    if (name.size() >= 4 && ::strncasecmp(name.data() + name.size() - 4, ".gse", 4) == 0)
        name.remove_suffix(1);
    // A NUL inside the name ends it, as it would end the C text.
    std::string text(name.substr(0, name.find('\0')));
    return Crc32LowerCase(text.c_str());
}

ScriptSourceCrcs ScriptLibraryCrcs(const char* text, uint32_t length, std::string_view name)
{
    ScriptSourceCrcs crcs;
    crcs.source = text ? Crc32(text, length) : 0;
    crcs.name = LibraryNameCrc(name);
    return crcs;
}

std::string ScriptCacheFileName(const ScriptSourceCrcs& crcs)
{
    char text[32];
    std::snprintf(text, sizeof text, "%08x%08x.gsl", crcs.source, crcs.name);
    return text;
}
