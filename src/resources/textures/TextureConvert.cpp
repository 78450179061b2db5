#include "resources/textures/TextureConvert.h"

#include "config/results/ResultsLog.h"

uint32_t TextureConvertFolder(Nyx::String& out, const Nyx::File::Path& folder, ResultsLog& log)
{
    return RunTextureConvertFolder(out, folder, log);
}

// The texture compressor is not part of this build yet: a run reports that
// and converts nothing.
uint32_t RunTextureConvertFolder(Nyx::String& /*out*/, const Nyx::File::Path& /*folder*/, ResultsLog& log)
{
    ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String("Texture conversion is not available in this build."));
    return 0;
}
