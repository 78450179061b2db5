// Converting every texture description found in a folder and below.
#pragma once

#include <cstdint>

#include "nyx/File.h"
#include "nyx/String.h"

class ResultsLog;

// Reports into the log. Returns 0 when the folder cannot be searched, else
// an outcome code 0, 1 or 2; 2 means the conversion run succeeded.
uint32_t TextureConvertFolder(Nyx::String& out, const Nyx::File::Path& folder, ResultsLog& log);
uint32_t RunTextureConvertFolder(Nyx::String& out, const Nyx::File::Path& folder, ResultsLog& log);
