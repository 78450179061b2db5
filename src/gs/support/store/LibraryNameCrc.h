// A library's identifier comes from its source: the low word is the CRC-32
// of the source's own text (no prologue or prefix in front), the high word
// the CRC-32 of its bare file name without regard to case, a final ".gse"
// counted as ".gs", so a scrambled source and its plain form name the same
// library. The compiler writes these words and the script cache names its
// files by them, so both take them from here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// `name` may carry folders; they are left out.
uint32_t LibraryNameCrc(std::string_view name);

struct ScriptSourceCrcs {
    uint32_t source = 0;
    uint32_t name = 0;
};

// The text is the source's own, `name` its file name or path.
ScriptSourceCrcs ScriptLibraryCrcs(const char* text, uint32_t length, std::string_view name);

// The script cache's file name of a library: "%08x%08x.gsl", source first.
std::string ScriptCacheFileName(const ScriptSourceCrcs& crcs);
