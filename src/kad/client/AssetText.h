// Small helpers on asset names and configs that the daemon client, the
// package install and the command host share.
#pragma once

#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "nyx/base/String.h"

// The text with every "_" turned into a space.
Nyx::String UnderscoresToSpaces(const Nyx::String& text);

// The byte length of a quotation mark at `at`, or 0. A positive `length`
// is the number of bytes from `at` on (a mark that opens a text); a negative
// one is minus the bytes up to and including `at` (a mark that closes it).
// ASCII quotes count either way; the single-byte curly quotes 0x91-0x94
// count when the byte beside them, on the side read, is ASCII; of the UTF-8
// curly quotes only the opening ones count forwards and only the closing
// ones backwards.
int32_t QuoteMarkLength(const char* at, int32_t length);

// The "kestro-build" of the config plus 0.005 when it lies in [1, 100);
// otherwise 2.0 for a config with a "mesh-table", "class" or "scriptclass"
// child, else 1.3.
float GetConfigBuildVersion(const ChunkRef& config);
