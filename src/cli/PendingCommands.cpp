// The command words whose work is not part of this build yet. Each stays in
// the command table and fails with an error result until its work lands.
#include "cli/CommandHandlers.h"

#include "config/ResultsLog.h"
#include "nyx/String.h"

namespace {

int NotAvailable(ResultsLog& log, const char* word)
{
    ResultsLog::AddResult(log, ResultsLog::kError,
                          Nyx::String::Printf("The command \"%s\" is not available in this build.", word));
    return -1;
}

}  // namespace

int CommandHostCommand(ResultsLog& log) { return NotAvailable(log, "kadcommandhost"); }
