// "repairdatabase": the repair run on the calling thread, which tests call
// without the console handling of the command itself.
#pragma once

#include <cstdint>

class ResultsLog;

// Runs a database repair of the mode (50, 100 or 150) to its end and copies
// its results into the log. -1 when the daemon could not be reached to the
// end (the results then say so), else 255 when any result is an error,
// else 0.
int RunDatabaseRepair(ResultsLog& log, uint32_t mode);
