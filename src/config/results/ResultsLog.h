// What commands, tasks and checks found: an ordered, thread-safe list of
// results, each with a severity, a finished text and the asset it concerns.
//
// The log counts warnings, errors and output lines as they arrive and posts
// "list-updated" to its pipes whenever the list changes ("list-destroyed"
// when it goes). Listeners are called with the log's lock held. Results
// travel to and from the asset-database daemon in the stream form written by
// WriteResults and read by ReadResults.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "config/results/KestroProperty.h"
#include "config/results/NuMessageRecipient.h"
#include "core/containers/BlockRing.h"
#include "core/threads/CountedLock.h"
#include "nyx/base/String.h"

class ChunkRef;
class TStream;

class ResultsLog : public NuMessageRecipient {
public:
    enum Severity : int32_t {
        kInformation = 1,
        kWarning = 2,
        kError = 3,
        kOutput = 4,
    };

    struct Result {
        int32_t severity = 0;
        Nyx::String text;
        PropertyRef asset;  // the asset the result concerns, or null
    };

    // The log owns the records the ring points at.
    using ResultRing = PointerBlockRing<Result*>;

    // Stream form: u32 format, u32 count, then per record the u32 severity,
    // the string record of the text and the property record of the asset.
    static constexpr uint32_t kStreamFormat = 0;
    // The smallest record: severity, empty text, null asset.
    static constexpr uint32_t kMinStreamRecordSize = 12;

    ResultsLog() = default;
    // Leaves the registry, posts "list-destroyed", frees the results, then
    // closes the pipes.
    ~ResultsLog() override;

    // Appends one result. Without an asset of its own the result is charged
    // to the current asset (none when the stack is empty). Each child of the
    // parameters container fills every "$(NAME)" of its upper-cased name in
    // the text, matched without regard to case; a placeholder that no
    // parameter names stays as written.
    static void AddResult(ResultsLog& log, int32_t severity, const PropertyRef& asset, Nyx::String text,
                          const ChunkRef* parameters = nullptr);
    // The same with no asset of its own.
    static void AddResult(ResultsLog& log, int32_t severity, Nyx::String text, const ChunkRef* parameters = nullptr);

    // Callers bracket the checks of one asset with these: a result added or
    // read without an asset of its own is charged to the current one.
    void PushCurrentAsset(const PropertyRef& asset);
    // Nothing when the stack is empty.
    void PopCurrentAsset();

    // Replaces this log's results and counts by copies of the other's.
    // Posts nothing. Takes this log's lock before the other's.
    void CopyFrom(const ResultsLog& other);

    // Writes the stream form of the results from position `first` on (a
    // `first` past the end writes none) and marks the log reported.
    void WriteResults(TStream& stream, uint32_t first);
    friend void ReadResults(TStream& stream, ResultsLog& log);

    // The lock guards everything below; hold it while walking Results().
    void Lock() const { lock_.Lock(); }
    void Unlock() const { lock_.Unlock(); }

    const ResultRing& Results() const noexcept { return results_; }
    uint32_t GetResultCount() const;
    uint32_t GetWarningCount() const;
    uint32_t GetErrorCount() const;
    uint32_t GetOutputCount() const;

    // Set after construction, printing and WriteResults; cleared by every
    // change of the list.
    bool IsReported() const;
    void SetReported(bool reported);

    // The asset results without one of their own are charged to; null when
    // the stack is empty.
    PropertyRef GetCurrentAsset() const;

private:
    // Append and count; the caller holds the lock.
    void AppendLocked(std::unique_ptr<Result> record);
    void PostLocked(const Nyx::PString& name);

    mutable CountedLock lock_;
    ResultRing results_;
    uint32_t warningCount_ = 0;
    uint32_t errorCount_ = 0;
    uint32_t outputCount_ = 0;
    bool reported_ = true;
    std::vector<PropertyRef> currentAssets_;
};

// Appends the results of one stream form to the log. A format other than 0
// adds nothing; reading stops at the first record cut short and never tries
// more records than the stream's remaining bytes can hold. A record without
// an asset gets the log's current asset, when it has one. Whatever was read,
// the log is then marked unreported and posts "list-updated".
void ReadResults(TStream& stream, ResultsLog& log);
