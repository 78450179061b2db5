#include "config/results/ResultsLog.h"

#include <memory>
#include <string>
#include <string_view>

#include "config/tree/ACSChunk.h"
#include "config/results/ResultsLogRegistry.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"

namespace {

class Holding {
public:
    explicit Holding(const ResultsLog& log) : log_(log) { log_.Lock(); }
    ~Holding() { log_.Unlock(); }
    Holding(const Holding&) = delete;
    Holding& operator=(const Holding&) = delete;

private:
    const ResultsLog& log_;
};

char FoldAscii(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) noexcept
{
    if (needle.size() > text.size())
        return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && FoldAscii(text[i + k]) == FoldAscii(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

// Searching resumes behind each inserted value, so a value holding its own
// placeholder is not expanded again (and cannot make this loop forever).
void FillPlaceholder(std::string& text, std::string_view placeholder, std::string_view value)
{
    size_t at = FindNoCase(text, placeholder, 0);
    while (at != std::string_view::npos) {
        text.replace(at, placeholder.size(), value);
        at = FindNoCase(text, placeholder, at + value.size());
    }
}

void FillParameters(std::string& text, const ChunkRef& parameters)
{
    uint32_t count = parameters->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        parameters->GetChildAt(i, name, child);
        // The value is that of the first child of the name, as every lookup
        // by name gives.
        Nyx::PString value = TDBContainerTag::GetString(parameters, name);
        std::string placeholder = "$(";
        for (char c : name.View())
            placeholder += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        placeholder += ')';
        FillPlaceholder(text, placeholder, value.View());
    }
}

}  // namespace

ResultsLog::~ResultsLog()
{
    ResultsLogRegistry::Unregister(this);
    {
        Holding hold(*this);
        PostLocked(NuMessageListDestroyed());
        currentAssets_.clear();
        results_.DeleteAll();
    }
    // The pipes are closed by the base.
}

void ResultsLog::AddResult(ResultsLog& log, int32_t severity, const PropertyRef& asset, Nyx::String text,
                           const ChunkRef* parameters)
{
    Holding hold(log);
    PropertyRef charged = asset;
    if (!charged && !log.currentAssets_.empty())
        charged = log.currentAssets_.back();
    if (parameters && *parameters)
        FillParameters(text.Str(), *parameters);
    auto record = std::make_unique<Result>();
    record->severity = severity;
    record->text = std::move(text);
    record->asset = std::move(charged);
    log.AppendLocked(std::move(record));
    log.reported_ = false;
    log.PostLocked(NuMessageListUpdated());
}

void ResultsLog::AddResult(ResultsLog& log, int32_t severity, Nyx::String text, const ChunkRef* parameters)
{
    AddResult(log, severity, PropertyRef(), std::move(text), parameters);
}

void ResultsLog::PushCurrentAsset(const PropertyRef& asset)
{
    Holding hold(*this);
    currentAssets_.push_back(asset);
}

void ResultsLog::PopCurrentAsset()
{
    Holding hold(*this);
    if (!currentAssets_.empty())
        currentAssets_.pop_back();
}

void ResultsLog::CopyFrom(const ResultsLog& other)
{
    if (&other == this)
        return;
    Holding hold(*this);
    {
        Holding holdOther(other);
        results_.DeleteAll();
        for (const Result* r : other.results_) {
            auto copy = std::make_unique<Result>(*r);
            results_.Append(copy.get());
            copy.release();
        }
        warningCount_ = other.warningCount_;
        errorCount_ = other.errorCount_;
        outputCount_ = other.outputCount_;
    }
    reported_ = false;
}

void ResultsLog::WriteResults(TStream& stream, uint32_t first)
{
    Holding hold(*this);
    uint32_t count = results_.Count();
    if (first > count)
        first = count;
    stream.WriteInt32(kStreamFormat);
    stream.WriteInt32(count - first);
    reported_ = true;
    for (auto it = results_.IteratorAt(first); !it.AtEnd(); ++it) {
        const Result* r = *it;
        stream.WriteInt32(r->severity);
        stream.WriteString(Nyx::AnsiString(r->text));
        WriteProperty(stream, r->asset);
    }
}

void ReadResults(TStream& stream, ResultsLog& log)
{
    Holding hold(log);
    uint32_t format;
    stream.ReadInt32(format, 0xFFFFFFFFu);
    if (format == ResultsLog::kStreamFormat) {
        uint32_t count;
        stream.ReadInt32(count, 0u);
        // The count comes from outside: every record takes at least
        // kMinStreamRecordSize bytes, so the rest of the stream bounds it.
        uint32_t end = count ? stream.GetSize() : 0;
        bool clean = stream.GetError() == TStream::kErrNone;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t here = stream.Tell();
            if (here >= end || end - here < ResultsLog::kMinStreamRecordSize)
                break;
            auto record = std::make_unique<ResultsLog::Result>();
            int32_t severity;
            stream.ReadInt32(severity, 0);
            record->severity = severity;
            stream.ReadString(record->text);
            ReadProperty(stream, record->asset);
            // A record cut short is not a record.
            if (clean && stream.GetError() != TStream::kErrNone)
                break;
            // Results that come from elsewhere while a command checks one
            // asset (a validation by the command host) concern that asset,
            // as those added here do.
            if (!record->asset && !log.currentAssets_.empty())
                record->asset = log.currentAssets_.back();
            log.AppendLocked(std::move(record));
        }
    }
    log.reported_ = false;
    log.PostLocked(NuMessageListUpdated());
}

uint32_t ResultsLog::GetResultCount() const
{
    Holding hold(*this);
    return results_.Count();
}

uint32_t ResultsLog::GetWarningCount() const
{
    Holding hold(*this);
    return warningCount_;
}

uint32_t ResultsLog::GetErrorCount() const
{
    Holding hold(*this);
    return errorCount_;
}

uint32_t ResultsLog::GetOutputCount() const
{
    Holding hold(*this);
    return outputCount_;
}

bool ResultsLog::IsReported() const
{
    Holding hold(*this);
    return reported_;
}

void ResultsLog::SetReported(bool reported)
{
    Holding hold(*this);
    reported_ = reported;
}

PropertyRef ResultsLog::GetCurrentAsset() const
{
    Holding hold(*this);
    return currentAssets_.empty() ? PropertyRef() : currentAssets_.back();
}

void ResultsLog::AppendLocked(std::unique_ptr<Result> record)
{
    int32_t severity = record->severity;
    results_.Append(record.get());
    record.release();
    switch (severity) {
    case kWarning:
        ++warningCount_;
        break;
    case kError:
        ++errorCount_;
        break;
    case kOutput:
        ++outputCount_;
        break;
    default:
        break;
    }
}

void ResultsLog::PostLocked(const Nyx::PString& name)
{
    NuMessageData message(name, this);
    PostMessage(message);
}
