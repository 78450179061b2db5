#include "kaddaemon/CommandHostRequests.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"
#include "kaddaemon/CommandHostLauncher.h"
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

// How long a command host the stand-in started has to register.
constexpr auto kRegisterTimeout = std::chrono::seconds(60);
// How often a wait for a registration looks whether its asker has gone.
constexpr auto kAskerCheck = std::chrono::milliseconds(100);
// How long a host the stand-in started has to end when asked to.
constexpr int kEndGraceMs = 10000;

// Hands jobs to the registered command host and its answers back to whoever
// asked. An asker waits on its own connection's reader thread; the answer
// arrives on the host's.
class CommandHostDesk : public std::enable_shared_from_this<CommandHostDesk> {
public:
    // `program` is the tool to start as the command host when a job finds
    // none; empty for never.
    explicit CommandHostDesk(const std::string& program)
        : launcher_(std::make_shared<CommandHostLauncher>(program, [this]() { changed_.notify_all(); }))
    {
    }

    // The host it started ends with it, and with it the calls of the
    // launcher's watcher into this desk.
    ~CommandHostDesk() { launcher_->End(kEndGraceMs); }

    const std::shared_ptr<CommandHostLauncher>& Launcher() const { return launcher_; }

    // On the connection's reader thread.
    void Register(DaemonConnection& connection)
    {
        std::lock_guard<std::mutex> hold(lock_);
        std::erase(hosts_, &connection);
        hosts_.push_back(&connection);
        launching_ = false;
        changed_.notify_all();
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
        return !hosts_.empty();
    }

    // Makes sure a command host other than the asker is registered, starting
    // one when none is and waiting for it to register; false, with the
    // reason, when there is none to be had.
    bool AwaitHost(DaemonConnection& asker, std::string& error)
    {
        // The asker's reader may wait here: what it holds back goes out first.
        asker.Flush();
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            if (!hosts_.empty()) {
                if (hosts_.back() != &asker)
                    return true;
                error = "the command host cannot give itself a job";
                return false;
            }
            if (!launching_) {
                if (!launcher_->Start(error))
                    return false;
                launching_ = true;
                deadline_ = std::chrono::steady_clock::now() + kRegisterTimeout;
            } else if (!launcher_->Running()) {
                launching_ = false;
                error = "it ended before it registered";
                return false;
            } else if (std::chrono::steady_clock::now() > deadline_) {
                launching_ = false;
                hold.unlock();
                launcher_->End(0);
                error = "it did not register in time";
                return false;
            }
            if (asker.PeerGone()) {
                error = "the request was given up";
                return false;
            }
            changed_.wait_for(hold, kAskerCheck);
        }
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

    // Sends the job to the host registered last and waits for its answer.
    uint32_t Run(DaemonConnection& asker, const std::string& payload, std::string& answer)
    {
        // The asker's reader waits here: what it holds back goes out first.
        asker.Flush();
        std::unique_lock<std::mutex> hold(lock_);
        // A host asking itself would wait on the very thread that reads
        // its answer.
        if (hosts_.empty() || hosts_.back() == &asker)
            return testrequest::kJobNoHost;
        DaemonConnection* host = hosts_.back();
        auto job = std::make_shared<Job>();
        std::deque<std::shared_ptr<Job>>& queue = pending_[host];
        queue.push_back(job);
        // Sent under the lock, so the jobs queue up in the order the host
        // receives them.
        if (!host->SendNote(kNoteCommandHost, payload.data(), static_cast<uint32_t>(payload.size()))) {
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
        std::erase(hosts_, connection);
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
    // The connections registered as command hosts, the one registered last
    // at the back; it gets the jobs.
    std::vector<DaemonConnection*> hosts_;
    // Per connection that registered, the jobs it still owes an answer, oldest first.
    std::map<DaemonConnection*, std::deque<std::shared_ptr<Job>>> pending_;
    // A host the desk started has not registered yet.
    bool launching_ = false;
    std::chrono::steady_clock::time_point deadline_;
    // Last: ended, and its watcher joined, before the rest goes.
    std::shared_ptr<CommandHostLauncher> launcher_;
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

// A validation that did not take place is a failed one, with the reason.
void FailValidation(RequestContext& context, const std::string& error, TStream& reply)
{
    SendErrors(NotesOf(context.connection), context.transactionId, {error});
    reply.WriteBool(false);
}

}  // namespace

std::shared_ptr<CommandHostLauncher> RegisterCommandHostRequests(RequestTable& table, const std::string& root,
                                                                 bool testRequests, const std::string& hostProgram)
{
    auto desk = std::make_shared<CommandHostDesk>(hostProgram);

    table.Register(kRegisterHost,
                   [desk](RequestContext& context, TStream&, TStream&) { desk->Register(context.connection); });

    table.Register(kJobAnswer, [desk](RequestContext& context, TStream& request, TStream&) {
        desk->Answer(context.connection, RestOfPayload(request));
    });

    // Only the command host validates: a validation it cannot do fails,
    // never passes for want of a check.
    table.Register(kValidateAsset, [desk, root](RequestContext& context, TStream& request, TStream& reply) {
        Nyx::PString name;
        Nyx::String folder;
        request.ReadPString(name);
        request.ReadString(folder);
        std::string why;
        if (!desk->AwaitHost(context.connection, why)) {
            FailValidation(context, "No command host could validate the asset: " + why + ".", reply);
            return;
        }
        std::string answer;
        switch (desk->Run(context.connection, ValidateJob(AbsoluteFolder(root, folder.c_str())), answer)) {
        case testrequest::kJobAnswered:
            ForwardValidateAnswer(context, answer, reply);
            break;
        case testrequest::kJobHostLeft:
            FailValidation(context, "The command host ended before it finished validating the asset.", reply);
            break;
        default:
            FailValidation(context, "No command host could validate the asset: it left before the job was sent.",
                           reply);
            break;
        }
    });

    if (!testRequests)
        return desk->Launcher();

    table.Register(testrequest::kCommandHostJob, [desk](RequestContext& context, TStream& request, TStream& reply) {
        std::string answer;
        uint32_t outcome = desk->Run(context.connection, RestOfPayload(request), answer);
        reply.WriteInt32(outcome);
        reply.WriteBytes(answer.data(), static_cast<uint32_t>(answer.size()));
    });

    table.Register(testrequest::kCommandHostState, [desk](RequestContext&, TStream&, TStream& reply) {
        reply.WriteInt32(desk->HasHost() ? 1u : 0u);
    });
    return desk->Launcher();
}

}  // namespace kaddaemon
