// Reads a results list from arbitrary bytes, walks every result, and checks
// that what was read survives being written and read again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

struct Seen {
    int32_t severity;
    Nyx::String text;
    KUID asset;
    bool hasAsset;
};

std::vector<Seen> Walk(const ResultsLog& log)
{
    std::vector<Seen> seen;
    uint32_t warnings = 0, errors = 0, outputs = 0;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results()) {
        Check(r != nullptr);
        warnings += r->severity == ResultsLog::kWarning;
        errors += r->severity == ResultsLog::kError;
        outputs += r->severity == ResultsLog::kOutput;
        // Only KUID properties come out of a stream.
        KUID asset = r->asset ? static_cast<const KestroPropertyAssetID*>(r->asset.Get())->GetKUID() : KUID::Null;
        Check(!r->asset || r->asset->GetKind() == KestroProperty::kKindAssetID);
        seen.push_back({r->severity, r->text, asset, bool(r->asset)});
    }
    log.Unlock();
    Check(warnings == log.GetWarningCount());
    Check(errors == log.GetErrorCount());
    Check(outputs == log.GetOutputCount());
    Check(seen.size() == log.GetResultCount());
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    TBuffer in;
    if (size)
        in.GetBuffer()->Write(data, static_cast<uint32_t>(size), 1);
    in.GetBuffer()->Seek(0);

    ResultsLog log;
    ReadResults(in, log);
    Check(!log.IsReported());
    std::vector<Seen> first = Walk(log);
    // Every record took at least its minimum size of the input.
    Check(first.size() * ResultsLog::kMinStreamRecordSize <= size);

    TBuffer out;
    log.WriteResults(out, 0);
    Check(log.IsReported());
    out.Rewind();
    ResultsLog again;
    ReadResults(out, again);
    Check(out.GetError() == TStream::kErrNone);
    std::vector<Seen> second = Walk(again);
    Check(first.size() == second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        Check(first[i].severity == second[i].severity);
        // A text too long for a string record goes out as the empty text.
        bool fits = first[i].text.Length() + 1 <= TStream::kMaxStringRecord;
        Check(second[i].text == (fits ? first[i].text : Nyx::String()));
        Check(first[i].hasAsset == second[i].hasAsset);
        Check(first[i].asset == second[i].asset);
    }
    return 0;
}
