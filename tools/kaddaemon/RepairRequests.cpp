#include "kaddaemon/RepairRequests.h"

#include "core/streams/TStream.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/RepairJob.h"
#include "kaddaemon/RequestTable.h"
#include "kaddaemon/ResultNotes.h"
#include "kaddaemon/TraceLog.h"
#include "nyx/base/String.h"

namespace kaddaemon {
namespace {

constexpr uint32_t kStartRepair = 3;
constexpr uint32_t kPollRepair = 4;

}  // namespace

void RegisterRepairRequests(RequestTable& table, std::shared_ptr<AssetStore> store, bool testRequests)
{
    auto job = std::make_shared<RepairJob>(std::move(store));

    table.Register(kStartRepair, [job](RequestContext& context, TStream& request, TStream&) {
        uint32_t mode;
        request.ReadInt32(mode, 0u);
        if (request.GetError() != 0) {
            SendErrors(NotesOf(context.connection), context.transactionId,
                       {"The request to repair the asset database is incomplete."});
            return;
        }
        if (!job->Start(&context.connection, context.transactionId)) {
            SendErrors(NotesOf(context.connection), context.transactionId,
                       {"A repair of the asset database is at work already."});
            return;
        }
        if (TraceLog* trace = context.server.Trace())
            trace->Frame("do", "repair", mode, context.transactionId, 0);
    });

    table.Register(kPollRepair, [job](RequestContext& context, TStream&, TStream& reply) {
        RepairJob::Poll poll = job->TakePoll(&context.connection);
        // The errors go first, so that the answer finds them in the log.
        SendErrors(NotesOf(context.connection), poll.transactionId, poll.errors);
        reply.WriteBool(poll.running);
        reply.WriteFloat(poll.progress);
        reply.WriteString(Nyx::AnsiString(poll.status));
        context.closeConnection = poll.dropLink;
    });

    if (!testRequests)
        return;

    table.Register(testrequest::kRepairHoldRunning, [job](RequestContext&, TStream& request, TStream&) {
        uint32_t polls;
        request.ReadInt32(polls, 0u);
        job->HoldRunning(polls);
    });

    table.Register(testrequest::kRepairDropAfterPoll,
                   [job](RequestContext&, TStream&, TStream&) { job->DropLinkAfterNextPoll(); });
}

}  // namespace kaddaemon
