#include "kaddaemon/ResultNotes.h"

#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"
#include "kaddaemon/DaemonConnection.h"
#include "nyx/base/DynamicBuffer.h"
#include "nyx/base/String.h"

namespace kaddaemon {

namespace {

constexpr uint32_t kNoteResults = 3;

}  // namespace

NoteSink NotesOf(DaemonConnection& connection)
{
    return [&connection](uint32_t kind, const void* payload, uint32_t length) {
        connection.SendNote(kind, payload, length);
    };
}

void SendResults(const NoteSink& notes, uint32_t transactionId, ResultsLog& log)
{
    if (!notes)
        return;
    Nyx::DynamicBuffer note;
    {
        TBuffer out(&note);
        out.WriteInt32(transactionId);
        log.WriteResults(out, 0);
    }
    notes(kNoteResults, note.Data(), note.DataLength());
}

void SendErrors(const NoteSink& notes, uint32_t transactionId, const std::vector<std::string>& errors)
{
    if (errors.empty() || !notes)
        return;
    ResultsLog log;
    for (const std::string& text : errors)
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(text));
    SendResults(notes, transactionId, log);
}

}  // namespace kaddaemon
