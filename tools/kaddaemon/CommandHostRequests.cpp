#include "kaddaemon/CommandHostRequests.h"

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/RequestTable.h"
#include "kaddaemon/ResultNotes.h"
#include "nyx/base/DynamicBuffer.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

namespace kaddaemon {
namespace {

constexpr uint32_t kValidateAsset = 38;
constexpr uint32_t kRegisterHost = 140;
constexpr uint32_t kJobAnswer = 141;
constexpr uint32_t kNoteCommandHost = 1;
constexpr uint32_t kJobValidate = 0;

std::string BufferText(const Nyx::DynamicBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.DataLength());
}

// Hands jobs to the registered command host and its answers back to whoever
// asked. An asker waits on its own connection's reader thread; the answer
// arrives on the host's.
class CommandHostDesk : public std::enable_shared_from_this<CommandHostDesk> {
public:
    // On the connection's reader thread.
    void Register(DaemonConnection& connection)
    {
        std::lock_guard<std::mutex> hold(lock_);
        host_ = &connection;
        if (pending_.count(&connection) == 0) {
            pending_[&connection];
            // The entry lives until the connection ends, which fails what
            // it still owes.
            connection.AtEnd([desk = shared_from_this(), c = &connection]() { desk->Ended(c); });
        }
    }

    bool HasHost()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return host_ != nullptr;
    }

    // The oldest job sent to this connection gets the answer; an answer
    // nobody waits for is dropped.
    void Answer(DaemonConnection& connection, std::string answer)
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = pending_.find(&connection);
        if (it == pending_.end() || it->second.empty())
            return;
        std::shared_ptr<Job> job = it->second.front();
        it->second.pop_front();
        job->answer = std::move(answer);
        job->answered = true;
        job->done = true;
        changed_.notify_all();
    }

    // Sends the job to the host and waits for its answer.
    uint32_t Run(DaemonConnection& asker, const std::string& payload, std::string& answer)
    {
        std::unique_lock<std::mutex> hold(lock_);
        // A host asking itself would wait on the very thread that reads
        // its answer.
        if (!host_ || host_ == &asker)
            return testrequest::kJobNoHost;
        auto job = std::make_shared<Job>();
        std::deque<std::shared_ptr<Job>>& queue = pending_[host_];
        queue.push_back(job);
        // Sent under the lock, so the jobs queue up in the order the host
        // receives them.
        if (!host_->SendNote(kNoteCommandHost, payload.data(), static_cast<uint32_t>(payload.size()))) {
            queue.pop_back();
            return testrequest::kJobHostLeft;
        }
        changed_.wait(hold, [&]() { return job->done; });
        if (!job->answered)
            return testrequest::kJobHostLeft;
        answer = std::move(job->answer);
        return testrequest::kJobAnswered;
    }

private:
    struct Job {
        bool done = false;
        bool answered = false;
        std::string answer;
    };

    void Ended(DaemonConnection* connection)
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (host_ == connection)
            host_ = nullptr;
        auto it = pending_.find(connection);
        if (it == pending_.end())
            return;
        for (const std::shared_ptr<Job>& job : it->second)
            job->done = true;
        pending_.erase(it);
        changed_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    DaemonConnection* host_ = nullptr;
    // Per connection that registered, the jobs it still owes an answer, oldest first.
    std::map<DaemonConnection*, std::deque<std::shared_ptr<Job>>> pending_;
};

std::string AbsoluteFolder(const std::string& root, const std::string& folder)
{
    std::filesystem::path path(folder);
    if (folder.empty() || path.is_absolute())
        return folder;
    return (std::filesystem::path(root) / path).lexically_normal().string();
}

// Job 0 for a folder: no archive, the folder absolute.
std::string ValidateJob(const std::string& folder)
{
    Nyx::DynamicBuffer bytes;
    {
        TBuffer out(&bytes);
        out.WriteInt32(kJobValidate);
        out.WriteString(Nyx::AnsiString(""));
        out.WriteString(Nyx::AnsiString(folder));
    }
    return BufferText(bytes);
}

// The host's answer to job 0: its results go to the asker's request as a
// results notification, its verdict is the reply.
void ForwardValidateAnswer(RequestContext& context, const std::string& answer, TStream& reply)
{
    Nyx::DynamicBuffer bytes;
    TBuffer in(&bytes);
    in.WriteBytes(answer.data(), static_cast<uint32_t>(answer.size()));
    in.Rewind();
    ResultsLog log;
    ReadResults(in, log);
    uint8_t valid;
    in.ReadUInt8(valid, 0);
    if (log.GetResultCount() > 0)
        SendResults(NotesOf(context.connection), context.transactionId, log);
    reply.WriteBool(valid != 0);
}

}  // namespace

void RegisterCommandHostRequests(RequestTable& table, const std::string& root, bool testRequests)
{
    auto desk = std::make_shared<CommandHostDesk>();

    table.Register(kRegisterHost,
                   [desk](RequestContext& context, TStream&, TStream&) { desk->Register(context.connection); });

    table.Register(kJobAnswer, [desk](RequestContext& context, TStream& request, TStream&) {
        desk->Answer(context.connection, RestOfPayload(request));
    });

    RequestHandler ownCheck;
    if (const RequestHandler* existing = table.Find(kValidateAsset))
        ownCheck = *existing;
    table.Register(kValidateAsset, [desk, ownCheck, root](RequestContext& context, TStream& request,
                                                          TStream& reply) {
        if (desk->HasHost()) {
            Nyx::PString name;
            Nyx::String folder;
            request.ReadPString(name);
            request.ReadString(folder);
            std::string answer;
            if (desk->Run(context.connection, ValidateJob(AbsoluteFolder(root, folder.c_str())), answer) ==
                testrequest::kJobAnswered) {
                ForwardValidateAnswer(context, answer, reply);
                return;
            }
            request.Rewind();
        }
        if (ownCheck)
            ownCheck(context, request, reply);
    });

    if (!testRequests)
        return;

    table.Register(testrequest::kCommandHostJob, [desk](RequestContext& context, TStream& request, TStream& reply) {
        std::string answer;
        uint32_t outcome = desk->Run(context.connection, RestOfPayload(request), answer);
        reply.WriteInt32(outcome);
        reply.WriteBytes(answer.data(), static_cast<uint32_t>(answer.size()));
    });

    table.Register(testrequest::kCommandHostState, [desk](RequestContext&, TStream&, TStream& reply) {
        reply.WriteInt32(desk->HasHost() ? 1u : 0u);
    });
}

}  // namespace kaddaemon
