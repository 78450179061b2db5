// The process-wide client of the asset-database daemon: its settings, the
// one loopback connection, the handshake, the numbered request call and the
// receiver thread that reads everything the daemon sends.
//
// Lock order (never taken the other way round):
//   link lock -> transaction-table lock -> results lock
//             -> results-log registry lock -> a ResultsLog's lock
// The notification-queue lock, the question-thread lock and the settings
// lock are taken alone. The receiver thread never takes the link lock, so a
// thread that holds it may wait for the receiver to end. Requesters
// register and unregister their transactions while they do not hold the
// link lock.
//
// Handlers that run on the receiver thread (the results of kind 3, and
// whatever listens to the results log they fill) must not call the daemon:
// the receiver is what would carry the reply.
#pragma once

#include <cstdint>
#include <memory>

#include "config/tree/ACSChunk.h"
#include "config/kuid/KUID.h"
#include "nyx/files/File.h"
#include "nyx/base/String.h"

class KADClientCallback;
class KADClientLink;
class KADInstallPrompt;
class KADClientTransaction;
struct KADQueuedRequest;
class ResultsLog;
class SpecRegistryHook;
class TStream;
struct KADNotification;

struct KADClientSettings {
    // Indexes into flags.
    static constexpr int kFlagMayLaunchDaemon = 3;  // a request may start the daemon
    static constexpr int kFlagClient = 5;           // sent in the handshake

    // The data folder: it holds "assets.tdx" and the "bin" folder.
    Nyx::File::Path path;
    // Receives notifications of kind 0; null for none.
    void (*callback)(uint32_t) = nullptr;
    uint8_t flags[6] = {1, 1, 1, 1, 0, 1};
};

class KADClient {
public:
    // Attempts of Start (and of a request that may launch the daemon): the
    // first at once, the daemon launched before the second, a pause before
    // each later one.
    static constexpr int kConnectAttempts = 11;
    static constexpr uint32_t kAttemptPauseMs = 1000;
    // How long CloseDaemon waits for the daemon to drop the connection.
    static constexpr uint32_t kCloseWaitMs = 15000;
    static constexpr uint32_t kCloseWaitStepMs = 100;

    // Request numbers of the client's own traffic.
    static constexpr uint32_t kRequestCommandHostAnswer = 141;
    static constexpr uint32_t kRequestAnswerQuestion = 150;

    // The command host's handler of kind-1 notifications: it reads the job
    // from the first stream and writes its answer into the second.
    using CommandHostCallback = void (*)(TStream& request, TStream& answer);

    // Keeps the settings, connects (launching the daemon once when the
    // first attempt fails) and creates the asset-description registry. True at once when
    // already started; false after the last attempt, with the settings back
    // at their defaults.
    static bool Start(const KADClientSettings& settings);
    // Orderly disconnect and reset; nothing when not started.
    static void Stop();
    static bool IsStarted();
    // A copy of the settings the client holds (the defaults when stopped).
    static KADClientSettings GetSettings();

    // Under the link lock: makes sure a connection with a finished handshake
    // and a running receiver exists. A connection whose receiver has found
    // the link dead is dropped and made afresh.
    static bool Connect();
    // Closes the connection; unless the link is broken the orderly
    // disconnect word goes out first. Every request still waiting for its
    // reply fails. Nothing when called on the receiver thread.
    static void Disconnect(bool broken);
    // Set once the handshake is done; cleared when the link is lost or
    // closed.
    static bool IsConnected();
    // The serial number of the connection that is open and alive now; 0
    // when there is none. Every new connection has a new number, so a caller
    // that finds it changed knows that the connection it used is gone, even
    // when a later request has made a new one. Takes the link lock: not for
    // the receiver thread.
    static uint64_t GetLinkSerial();

    // One numbered request: sends the payload from its position to its end,
    // waits for the reply and appends its payload to `reply`. The callback
    // answers the daemon's questions about this request; the log receives
    // the results it reports; with keepLog the log stays registered under
    // the request's id after the call. True when the whole reply arrived;
    // always false on the receiver thread, which carries the replies.
    static bool CallDaemon(uint32_t number, TStream& payload, TStream& reply, KADClientCallback* callback = nullptr,
                           ResultsLog* log = nullptr, bool keepLog = false);
    // Request 270, then a wait (bounded by kCloseWaitMs) until the daemon
    // has dropped the connection. No later request launches the daemon.
    static void CloseDaemon();

    // Exact send and receive on the daemon connection; false when there is
    // none. A failed send, or a failed receive with closeOnFailure, closes
    // the link as broken. Receiving is for the handshake only: once the
    // receiver runs, the read side is its own.
    static bool SendLink(const void* bytes, uint32_t length);
    static bool ReceiveLink(void* bytes, uint32_t length, bool closeOnFailure);

    // <settings path>/bin/kaddaemon.
    static Nyx::File::Path GetDaemonPath();
    // Starts the daemon hidden, in its own folder; false when it could not
    // be started.
    static bool LaunchDaemon();
    // The command host's per-pass hook; nothing to do.
    static void Update() {}

    // Sends the queued requests when the link lock is free (its holder
    // sends them otherwise).
    static void SendQueuedRequests();
    // Requests waiting in the send queue now.
    static uint32_t QueuedRequestCount();

    // Answers a question of the daemon (request 150).
    static void AnswerQuestion(uint32_t transactionId, uint32_t answer);
    // Drops the notifications still queued for the main thread.
    static void DiscardNotifications();
    // Installed by the command host; null removes it.
    static void SetCommandHostCallback(CommandHostCallback callback);

    // The registry Start created; null while not started.
    static SpecRegistryHook* GetSpecRegistry();

    // Install flags of InstallPackageEntry.
    static constexpr uint32_t kInstallCommit = 2;           // commit, config as "config.chump"
    static constexpr uint32_t kInstallChecksumMatches = 4;  // set by the install from the entry's "dsid"
    static constexpr uint32_t kInstallSameBuild = 8;        // adds 8 to the commit mode

    // Installs one content-package entry: creates the asset, or opens it
    // for edit when it is installed already (then without a commit), puts
    // the entry's files into its folder in place of what was there, writes
    // its config and, with kInstallCommit, commits. Results go to the log
    // with the asset's KUID as "asset_kuid"; a failure after the asset was
    // created or opened reverts it; an entry without a KUID is refused
    // before the daemon is asked anything. The installed KUID, or the null
    // KUID when the install was skipped or failed. No caller passes a
    // prompt.
    static KUID InstallPackageEntry(const ChunkRef& entry, ResultsLog& log, uint32_t flags, bool* secondResult,
                                    KADInstallPrompt* prompt = nullptr);
    // The config's "username" (else "name", else "asset-filename"), its
    // underscores turned into spaces for a build below 2.9, cleaned.
    static Nyx::String GetConfigDisplayName(const ChunkRef& config);
    // Trimmed of spaces, tabs and line breaks, then of one quotation mark at
    // each end; the interface text "$cm_general_untitled" when nothing is
    // left.
    static Nyx::String CleanDisplayName(const Nyx::String& text);

private:
    friend class KADClientLink;

    class LinkGuard;

    // A request too large for one piece: its header and then its payload,
    // all under the link lock.
    static bool SendLargeRequest(const uint8_t* header, TStream& payload, uint32_t length,
                                 KADClientTransaction& transaction);
    // Under the link lock: sends every queued request, each batch in one
    // write.
    static void SendQueuedLocked();
    static void SendBatch(KADQueuedRequest* batch);
    static bool MayLaunchDaemon();

    // The receiver's side: a link's receiver has ended.
    static void LinkEnded();
    // Reads the rest of a notification whose kind has been read and hands
    // it on; false when the link failed.
    static bool ReadNotification(KADClientLink& link, uint32_t kind);
    // Results at once on the receiver thread, the rest as main-thread jobs.
    static void DispatchNotification(std::unique_ptr<KADNotification> record);
    static void RunQueuedNotification(intptr_t);
    static void HandleNotification(uint32_t kind, TStream& payload);
    static void StartQuestion(uint32_t transactionId, const Nyx::String& question, const KUID& asset);
    static void JoinQuestionThreads();
};

// Asks what to do about an asset that a package install finds installed
// already.
class KADInstallPrompt {
public:
    virtual ~KADInstallPrompt() = default;
    // The prompt's text and its log form, the asset's display name and the
    // install's log. Answers 2 and 3 install over the asset; any other skips
    // it.
    virtual uint32_t Ask(const Nyx::String& text, const Nyx::String& logText, const Nyx::String& assetName,
                         ResultsLog& log) = 0;
};

// Answers the daemon's questions about one running request (notification
// kind 2). Called on a thread of its own while the request waits.
class KADClientCallback {
public:
    virtual ~KADClientCallback() = default;
    // The question and the asset it concerns; `answer` is empty on entry.
    // Returns the answer code sent back to the daemon.
    virtual uint32_t Answer(const Nyx::String& question, Nyx::String& answer, const KUID& asset,
                            uint32_t reserved) = 0;
};
