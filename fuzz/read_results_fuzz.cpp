// Reads a results list from arbitrary bytes, walks every result, and checks
// that what was read survives being written and read again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzCheck.h"
#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"

namespace {

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
        FuzzCheck(r != nullptr);
        warnings += r->severity == ResultsLog::kWarning;
        errors += r->severity == ResultsLog::kError;
        outputs += r->severity == ResultsLog::kOutput;
        // Only KUID properties come out of a stream.
        KUID asset = r->asset ? static_cast<const KestroPropertyAssetID*>(r->asset.Get())->GetKUID() : KUID::Null;
        FuzzCheck(!r->asset || r->asset->GetKind() == KestroProperty::kKindAssetID);
        seen.push_back({r->severity, r->text, asset, bool(r->asset)});
    }
    log.Unlock();
    FuzzCheck(warnings == log.GetWarningCount());
    FuzzCheck(errors == log.GetErrorCount());
    FuzzCheck(outputs == log.GetOutputCount());
    FuzzCheck(seen.size() == log.GetResultCount());
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
    FuzzCheck(!log.IsReported());
    std::vector<Seen> first = Walk(log);
    // Every record took at least its minimum size of the input.
    FuzzCheck(first.size() * ResultsLog::kMinStreamRecordSize <= size);

    TBuffer out;
    log.WriteResults(out, 0);
    FuzzCheck(log.IsReported());
    out.Rewind();
    ResultsLog again;
    ReadResults(out, again);
    FuzzCheck(out.GetError() == TStream::kErrNone);
    std::vector<Seen> second = Walk(again);
    FuzzCheck(first.size() == second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        FuzzCheck(first[i].severity == second[i].severity);
        // A text too long for a string record goes out as the empty text.
        bool fits = first[i].text.Length() + 1 <= TStream::kMaxStringRecord;
        FuzzCheck(second[i].text == (fits ? first[i].text : Nyx::String()));
        FuzzCheck(first[i].hasAsset == second[i].hasAsset);
        FuzzCheck(first[i].asset == second[i].asset);
    }
    return 0;
}
