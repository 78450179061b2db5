// The settings folder, the user's KUID range (its base KUID kept in
// "settings/kuid.txt" of that folder), the generation of new KUIDs in the
// range, and the program's one random generator.
#pragma once

#include <cstdint>
#include <functional>

#include "config/kuid/KUID.h"
#include "nyx/files/File.h"
#include "nyx/base/Rand.h"

// Stores the folder, marks it set and reads the base KUID from it.
void SetSettingsFolder(const Nyx::File::Path& folder);
// The stored folder, or "-foobar-" while none was set. Always true.
bool GetSettingsFolder(Nyx::File::Path& out);
// Loads "settings/kuid.txt" of the settings folder: the base becomes its
// "base-kuid" (the null KUID when the file or the tag is missing), and a
// base whose user id is not -2 makes that user id the local one.
void ReadUserKUIDBase();
KUID GetUserKUIDBase();
// -2 until a base names another user.
int32_t GetLocalUserId();

// A null KUID is refused. Otherwise it becomes the base, its user id the
// local one, and it is saved as the only tag of "settings/kuid.txt"; true
// when the save succeeded.
bool WriteUserKUIDBase(const KUID& base);

// What the generator asks the daemon about each candidate. The client's
// request stubs answer; a missing callable stands for a daemon that cannot
// be asked.
struct UserKUIDDaemon {
    // Request 27: the latest version of the KUID, or the KUID itself when
    // the daemon cannot be asked.
    std::function<KUID(const KUID&)> latestVersion;
    // Request 21 with the field mask 0: whether the daemon knows the asset.
    std::function<bool(const KUID&)> isKnown;
};

// Candidates one generation may try before it gives up.
constexpr uint32_t kMaxUserKUIDCandidates = 100000;

// Hands out the next free KUID of the user's range, upwards from the base,
// and saves it as the new base. The base in memory holds the last candidate
// tried, so successive calls hand out consecutive content ids. The null KUID
// when no KUID could be made: the local user id does not fit a KUID, the
// content ids would run past the largest positive one, or the daemon turned
// down kMaxUserKUIDCandidates candidates in a row; the caller reports that
// as a failure.
KUID GenerateUserKUID(const UserKUIDDaemon& daemon);

// Randomised once at start-up.
Nyx::Rand& ProgramRandom();
