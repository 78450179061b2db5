// The data-folder scan: every regular file of the validation data folder
// read as lines, each split at its first blank into a key and a text.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace TETLib {

struct DataLine {
    Nyx::PString key;   // the bytes before the first blank; the whole line without one
    Nyx::PString text;  // the bytes after it; empty without one
};
using DataLines = std::vector<DataLine>;
// By file name, in byte order of the names.
using DataFolderFiles = std::map<Nyx::PString, DataLines>;

// A larger file is not read: nothing the folder is meant to hold comes
// near it.
inline constexpr uint64_t kMaxDataFileSize = 64u << 20;

// The lines of a text: split at line feeds, trailing carriage returns and
// line feeds removed. Every line counts, empty ones too; a final line feed
// does not begin another line.
std::vector<std::string_view> SplitTextLines(std::string_view bytes);
// The lines as key and text.
DataLines SplitDataLines(std::string_view bytes);

// The whole file into `bytes`; false when it does not open, is not a
// regular file or is larger than kMaxDataFileSize.
bool ReadDataFile(const Nyx::File::Path& path, std::string& bytes);

// Reads every regular file of the folder in name order into `files`,
// replacing a list stored under the same name. Entries that are not
// regular files (sub-folders among them) are passed over. False when the
// folder cannot be searched or a file cannot be read; the lists stored
// until then stay.
bool ScanDataFolder(const Nyx::File::Path& folder, DataFolderFiles& files);

}  // namespace TETLib
