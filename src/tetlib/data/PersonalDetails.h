// The user's personal details, kept in "personalDetails.txt" in the
// validation data folder: read at the first load, written at shut-down.
#pragma once

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace TETLib {

struct PersonalDetails {
    Nyx::PString author;
    Nyx::PString license;
    Nyx::PString organisation;
    Nyx::PString email;
    Nyx::PString website;
    bool isinputboxon = true;
};

// Reads the file when it exists: each string from its tag (empty when
// absent), the flag from the integer "isinputboxon" (off when absent).
// False, with `details` untouched, when there is no file to read.
bool ReadPersonalDetailsFile(const Nyx::File::Path& path, PersonalDetails& details);
// Writes the file as config text; false when it could not be written, the
// old file then left as it was.
bool WritePersonalDetailsFile(const Nyx::File::Path& path, const PersonalDetails& details);

}  // namespace TETLib
