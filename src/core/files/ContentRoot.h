// The content root: the folder below which the data folders, archives and
// asset folders lie. The daemon client learns it when it connects; until then
// it is empty. Any thread may read it at any time.
#pragma once

#include "nyx/files/File.h"

// A copy of the content root, without a trailing "/" (the file-system root
// itself stays "/").
Nyx::File::Path GetContentRootPath();

// Stores a new content root, dropping any trailing "/".
void SetContentRootPath(const Nyx::File::Path& path);
