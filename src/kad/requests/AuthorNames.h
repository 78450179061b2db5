// Author names by user id (the first word of a KUID). A few ids have fixed
// names and never reach the daemon; the others are asked of the daemon once
// (request 90) and kept for the life of the process, their names lower-cased.
// User ids are signed.
#pragma once

#include <cstdint>

#include "nyx/base/PString.h"

struct AssetRecord;

// The daemon's value (-1 for none) and the name of the user id; the fixed
// names answer with the value -1. A failed request answers -1 and the empty
// name and is not kept, so the next lookup asks again. Always true.
bool QueryAuthorName(int32_t userId, int32_t& value, Nyx::PString& name);
// The name part of QueryAuthorName.
Nyx::PString GetAuthorName(int32_t userId);
// The name of the author the record names (its first group's number).
Nyx::PString LookupAuthorName(const AssetRecord& record);
// Forgets every kept name.
void ClearAuthorNames();
