// Author names by author id, asked of the daemon once per id and kept for
// the life of the process. Author ids are signed: negative ids name
// built-in content and are looked up like any other.
#pragma once

#include <cstdint>

#include "nyx/PString.h"

struct AssetRecord;

// The author's name; empty when the daemon has none or cannot be asked.
// Every answer the daemon gave is kept, an empty one too; a failed call is
// not, so the next lookup asks again.
Nyx::PString GetAuthorName(int32_t authorId);
// The name of the author the record names (its first group's number).
Nyx::PString LookupAuthorName(const AssetRecord& record);
// Forgets every kept name.
void ClearAuthorNames();
