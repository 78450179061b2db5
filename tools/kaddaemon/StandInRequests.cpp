#include "kaddaemon/StandInRequests.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/RequestTable.h"
#include "kaddaemon/ResultNotes.h"
#include "nyx/base/PString.h"

namespace kaddaemon {
namespace {

constexpr uint32_t kAnswerQuestion = 150;

void Write(TStream& out, const std::string& bytes)
{
    out.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

struct Answers {
    std::mutex lock;
    uint32_t lastId = 0;
    uint32_t lastAnswer = 0;
};

}  // namespace

void RegisterStandInRequests(RequestTable& table, bool testRequests)
{
    using namespace testrequest;
    auto answers = std::make_shared<Answers>();

    table.Register(kAnswerQuestion, [answers](RequestContext& context, TStream& request, TStream&) {
        uint32_t id;
        uint32_t answer;
        request.ReadInt32(id, 0u);
        request.ReadInt32(answer, 0u);
        {
            std::lock_guard<std::mutex> hold(answers->lock);
            answers->lastId = id;
            answers->lastAnswer = answer;
        }
        // The question's request was kept waiting for this.
        DaemonConnection::HeldReply held;
        if (context.connection.TakeHeldReply(id, held)) {
            uint8_t payload[4];
            StoreLE32(payload, answer);
            context.connection.SendReply(held.number, held.transactionId, payload, sizeof payload);
        }
    });
    if (!testRequests)
        return;

    table.Register(kEcho,
                   [](RequestContext&, TStream& request, TStream& reply) { Write(reply, RestOfPayload(request)); });

    table.Register(kResults, [](RequestContext& context, TStream& request, TStream& reply) {
        uint32_t count;
        request.ReadInt32(count, 0u);
        count = std::min(count, kMostResults);
        ResultsLog log;
        for (uint32_t i = 0; i < count; ++i)
            ResultsLog::AddResult(log, i % 2 ? ResultsLog::kWarning : ResultsLog::kInformation,
                                  Nyx::String::Printf("result %u of transaction %u", i, context.transactionId));
        SendResults(NotesOf(context.connection), context.transactionId, log);
        reply.WriteInt32(count);
    });

    table.Register(kAsk, [](RequestContext& context, TStream& request, TStream&) {
        KUID asset;
        ReadKUID(request, asset);
        std::string text = RestOfPayload(request);
        Nyx::DynamicBuffer note;
        {
            TBuffer out(&note);
            out.WriteInt32(context.transactionId);
            out.WritePString(Nyx::PString(text));
            WriteKUID(out, asset);
        }
        context.connection.HoldReply({context.number, context.transactionId, std::string()});
        context.replyNow = false;
        context.connection.SendNote(2, note.Data(), note.DataLength());
    });

    table.Register(kHold, [](RequestContext& context, TStream& request, TStream&) {
        context.connection.HoldReply({context.number, context.transactionId, RestOfPayload(request)});
        context.replyNow = false;
    });

    table.Register(kReleaseHeld, [](RequestContext& context, TStream&, TStream& reply) {
        std::vector<DaemonConnection::HeldReply> held = context.connection.TakeHeldReplies();
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            context.connection.SendReply(it->number, it->transactionId, it->payload.data(),
                                         static_cast<uint32_t>(it->payload.size()));
        reply.WriteInt32(static_cast<uint32_t>(held.size()));
    });

    table.Register(kDropReply, [](RequestContext& context, TStream&, TStream&) { context.replyNow = false; });

    table.Register(kNote, [](RequestContext& context, TStream& request, TStream&) {
        uint32_t kind;
        request.ReadInt32(kind, 0u);
        std::string bytes = RestOfPayload(request);
        context.connection.SendNote(kind, bytes.data(), static_cast<uint32_t>(bytes.size()));
    });

    table.Register(kCloseLink, [](RequestContext& context, TStream&, TStream&) {
        context.replyNow = false;
        context.closeConnection = true;
    });

    table.Register(kStrayReply, [](RequestContext& context, TStream& request, TStream& reply) {
        std::string bytes = RestOfPayload(request);
        context.connection.SendReply(context.number, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
        Write(reply, bytes);
    });

    table.Register(kBadFrame, [](RequestContext& context, TStream& request, TStream&) {
        uint32_t what;
        request.ReadInt32(what, 0u);
        context.replyNow = false;
        Nyx::DynamicBuffer frame;
        {
            TBuffer out(&frame);
            if (what == kOversizeReply)
                DaemonWire::WriteFrameHeader(out, {DaemonWire::kTagReply, context.transactionId,
                                                   DaemonWire::kMaxPayloadLength + 1});
            else if (what == kOversizeNote)
                DaemonWire::WriteFrameHeader(out, {DaemonWire::kTagNote, 0, DaemonWire::kMaxPayloadLength + 1});
            else
                out.WriteBytes("junk", 4);
        }
        context.connection.SendRaw(frame.Data(), frame.DataLength());
    });

    table.Register(kStuck, [](RequestContext& context, TStream&, TStream&) {
        context.connection.Flush();
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    });

    table.Register(kLastAnswer, [answers](RequestContext&, TStream&, TStream& reply) {
        std::lock_guard<std::mutex> hold(answers->lock);
        reply.WriteInt32(answers->lastId);
        reply.WriteInt32(answers->lastAnswer);
    });
}

}  // namespace kaddaemon
