// The command words that make, install and inspect content packages and
// asset folders, and their helpers that tests and other commands call.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "config/kuid/KUID.h"
#include "config/kuid/KUIDRing.h"
#include "nyx/files/File.h"
#include "nyx/base/String.h"
#include "platform/FileConfinement.h"

class ResultsLog;

// Installs every asset folder at or below the folder through the daemon,
// one request per folder; a folder holding a config is installed and not
// searched further. Links to folders are not followed, and the search goes
// no deeper than kMaxInstallDepth folders nor into a folder whose config's
// path would be too long for the system: such a folder is named in an
// error result. The search stops after any entry once `cancel` is given
// and set. False when the daemon reported an install as failed, or a
// folder was not listed or not searched.
constexpr int kMaxInstallDepth = Platform::kMaxAssetFolderDepth;
bool InstallFromPath(const Nyx::File::Path& folder, ResultsLog& log, const std::atomic<bool>* cancel = nullptr);

// One asset into a package file of its own. A failed export or write is an
// error result of the log, and no file is written for a failed export.
bool WriteAssetToCDP(const KUID& kuid, ResultsLog& log, const Nyx::File::Path& outputPath);

// Writes the image bytes as they are; the package writer's error text,
// empty on success.
Nyx::String WriteThumbnailFile(const std::vector<uint8_t>& bytes, const Nyx::File::Path& outputPath);

// Each line break (CR LF and LF CR count as one) as backslash and "n", each
// backslash doubled; a null text gives the empty text.
Nyx::String EscapeLineBreaks(const char* text);

// The KUID texts joined with ", ".
Nyx::String KUIDListText(const KUIDRing& kuids);

// "vrqparse": installs the package's assets, reverts them all when one
// fails, else commits, checks and lists each and writes its own package
// and thumbnail beside the package file. False when the package does not
// read, the install was aborted, or an asset's own package could not be
// written.
bool ParseCdpFile(const Nyx::File::Path& packagePath, ResultsLog& log);
