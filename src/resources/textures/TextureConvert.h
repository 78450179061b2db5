// Converting every texture description ("<body>.texture.txt") found in a
// folder and below into the compiled texture "<body>.texture" beside it.
#pragma once

#include <cstdint>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ResultsLog;

// The walk's answers.
inline constexpr uint32_t kTexturesConverted = 2;
inline constexpr uint32_t kTexturesNotConverted = 0;

// With an archive name the folder lies inside that archive's mount; without,
// it is a folder on disk below the content root. Every failure is reported
// into the log; returns kTexturesConverted when every description of the
// folder tree was converted.
uint32_t TextureConvertFolder(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log);
uint32_t RunTextureConvertFolder(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log);

// Files of one walk open at a time (decoded and waiting to be written):
// about twice the job queue's workers.
uint32_t TextureConvertOpenLimit();
