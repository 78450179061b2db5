// The archive saves the command hosts of one data root have under way, so
// that a host killed part-way does not leave the temporary of its save
// ("<name>.<process>-<number>.saving", Platform::FileSave) for good: each
// save is marked by a file in "<data root>/cache/archive-saves", named after
// the host's process and holding the path of the save's temporary, from
// before that file is made until the save has ended. A host starting on the
// root removes the ".saving" files of marks whose process has ended, and
// those marks; marks of hosts still at work stay.
#pragma once

#include <cstddef>
#include <string>

#include "platform/FileSave.h"

class PendingSaves {
public:
    static constexpr const char* kFolder = "cache/archive-saves";
    static constexpr const char* kSavingSuffix = Platform::FileSave::kTemporarySuffix;

    // An empty root marks nothing and removes nothing.
    explicit PendingSaves(std::string dataRoot);

    // Marks a save whose bytes go to `savingPath` (which ends in ".saving").
    // The mark's path, or empty when no mark could be written: the save
    // goes on unmarked.
    std::string Begin(const std::string& savingPath) const;
    // Removes the mark Begin gave; nothing for an empty one.
    static void End(const std::string& mark);

    // Removes what saves of hosts that have ended left behind: the file a
    // mark names when it is a ".saving" file (a regular file, not followed
    // through a link), then the mark. The number of files removed.
    size_t RemoveStale() const;

private:
    std::string folder_;
};
