#include "config/results/ResultsLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/results/ResultsLogRegistry.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Contents(TBuffer& b)
{
    const Nyx::DynamicBuffer* d = b.GetBuffer();
    return Bytes(d->Data(), d->Data() + d->DataLength());
}

// Builds expected stream bytes.
struct Expect {
    Bytes bytes;
    Expect& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    // A string record: length with the NUL, text, NUL; the empty text is a 0.
    Expect& Str(const std::string& s)
    {
        if (s.empty())
            return U32(0);
        U32(uint32_t(s.size() + 1));
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
        return *this;
    }
};

PropertyRef Asset(const KUID& kuid)
{
    return PropertyRef(new KestroPropertyAssetID("AssetID", kuid));
}

KUID KUIDOf(const PropertyRef& ref)
{
    return ref ? static_cast<KestroPropertyAssetID*>(ref.Get())->GetKUID() : KUID::Null;
}

std::vector<const ResultsLog::Result*> Records(const ResultsLog& log)
{
    std::vector<const ResultsLog::Result*> out;
    for (const ResultsLog::Result* r : log.Results())
        out.push_back(r);
    return out;
}

std::unique_ptr<TBuffer> Over(const Bytes& bytes)
{
    auto b = std::make_unique<TBuffer>();
    if (!bytes.empty())
        b->GetBuffer()->Write(bytes.data(), uint32_t(bytes.size()), 1);
    b->GetBuffer()->Seek(0);
    return b;
}

// Listens to a log through a pipe and notes what it hears.
class Listener : public NuMessageRecipient {
public:
    bool ReceiveMessage(NuMessageData& message) override
    {
        heard.push_back(message.GetName().Str());
        data.push_back(message.GetData());
        return true;
    }
    std::vector<std::string> heard;
    std::vector<void*> data;
};

TEST(ResultsLogTest, ParametersFillPlaceholders)
{
    struct Param {
        const char* name;
        const char* value;
    };
    struct Case {
        const char* what;
        const char* text;
        std::vector<Param> params;
        const char* expected;
    };
    const Case cases[] = {
        {"both cases of one name", "Unreadable $(file_path) [$(FILE_PATH)] end", {{"file_path", "x.cdp"}},
         "Unreadable x.cdp [x.cdp] end"},
        {"mixed-case parameter name", "at $(Line)", {{"LiNe", "12"}}, "at 12"},
        {"several parameters", "copy $(SRC) to $(dst) ($(src))", {{"src", "a"}, {"dst", "b"}}, "copy a to b (a)"},
        {"unnamed placeholder stays", "$(file) and $(other)", {{"file", "f"}}, "f and $(other)"},
        {"value holding its own placeholder", "<$(X)>", {{"x", "[$(X)]"}}, "<[$(X)]>"},
        {"value repeating the placeholder", "$(x)$(x)", {{"x", "$(x)$(x)"}}, "$(x)$(x)$(x)$(x)"},
        {"empty value", "a$(gone)b$(GONE)c", {{"gone", ""}}, "abc"},
        {"unclosed placeholder", "$(x", {{"x", "v"}}, "$(x"},
        {"later parameter sees earlier value", "$(a)", {{"a", "$(b)"}, {"b", "B"}}, "B"},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        ChunkRef params;
        for (const Param& p : tc.params)
            TDBContainerTag::SetString(params, p.name, p.value);
        ResultsLog log;
        ResultsLog::AddResult(log, ResultsLog::kError, tc.text, &params);
        ASSERT_EQ(log.GetResultCount(), 1u);
        EXPECT_EQ(Records(log)[0]->text.Str(), tc.expected);
    }

    // Values of other types go in as their text; no parameters leave the
    // text alone.
    ChunkRef params;
    TDBContainerTag::SetInt(params, "count", 42);
    TDBContainerTag::SetKUID(params, "asset", KUID(5, 100, 3));
    ChunkRef none;
    ResultsLog log;
    ResultsLog::AddResult(log, 1, "$(COUNT) of $(asset)", &params);
    ResultsLog::AddResult(log, 1, "$(COUNT)", &none);
    ResultsLog::AddResult(log, 1, "$(COUNT)", nullptr);
    auto r = Records(log);
    EXPECT_EQ(r[0]->text.Str(), "42 of <kuid2:5:100:3>");
    EXPECT_EQ(r[1]->text.Str(), "$(COUNT)");
    EXPECT_EQ(r[2]->text.Str(), "$(COUNT)");
}

TEST(ResultsLogTest, CountsBySeverityAndReportedFlag)
{
    ResultsLog log;
    EXPECT_TRUE(log.IsReported());
    for (int32_t severity : {1, 2, 3, 4, 5, 0, -1, 3})
        ResultsLog::AddResult(log, severity, "t");
    EXPECT_FALSE(log.IsReported());
    EXPECT_EQ(log.GetResultCount(), 8u);
    EXPECT_EQ(log.GetWarningCount(), 1u);
    EXPECT_EQ(log.GetErrorCount(), 2u);
    EXPECT_EQ(log.GetOutputCount(), 1u);

    // Every change clears the flag; printing and writing set it.
    log.SetReported(true);
    TBuffer out;
    ResultsLog::AddResult(log, 1, "t");
    EXPECT_FALSE(log.IsReported());
    log.WriteResults(out, 0);
    EXPECT_TRUE(log.IsReported());
    ResultsLog other;
    other.CopyFrom(log);
    EXPECT_FALSE(other.IsReported());
    other.SetReported(true);
    out.Rewind();
    ReadResults(out, other);
    EXPECT_FALSE(other.IsReported());
}

TEST(ResultsLogTest, CurrentAssetStack)
{
    PropertyRef a = Asset(KUID(1, 2, 0));
    PropertyRef b = Asset(KUID(3, 4, 5));
    PropertyRef own = Asset(KUID(9, 9, 0));
    ResultsLog log;
    log.PopCurrentAsset();  // nothing to pop: harmless
    ResultsLog::AddResult(log, 3, "none");
    log.PushCurrentAsset(a);
    ResultsLog::AddResult(log, 3, "a");
    log.PushCurrentAsset(b);
    ResultsLog::AddResult(log, 3, "b");
    ResultsLog::AddResult(log, 3, own, "own", nullptr);
    log.PopCurrentAsset();
    ResultsLog::AddResult(log, 3, "a again");
    log.PopCurrentAsset();
    ResultsLog::AddResult(log, 3, "none again");
    EXPECT_FALSE(log.GetCurrentAsset());

    std::vector<KUID> charged;
    for (const ResultsLog::Result* r : Records(log))
        charged.push_back(KUIDOf(r->asset));
    EXPECT_EQ(charged, (std::vector<KUID>{KUID::Null, KUID(1, 2, 0), KUID(3, 4, 5), KUID(9, 9, 0), KUID(1, 2, 0),
                                          KUID::Null}));
    auto records = Records(log);
    EXPECT_EQ(records[1]->asset.Get(), a.Get());  // shared, not copied
    EXPECT_FALSE(records[0]->asset);

    // Results read from elsewhere (a daemon's, for the command that checks
    // the asset) are charged the same way.
    ResultsLog sent;
    ResultsLog::AddResult(sent, 3, "theirs");
    ResultsLog::AddResult(sent, 3, own, "their own", nullptr);
    TBuffer form;
    sent.WriteResults(form, 0);
    ResultsLog read;
    form.Rewind();
    ReadResults(form, read);
    read.PushCurrentAsset(b);
    form.Rewind();
    ReadResults(form, read);
    charged.clear();
    for (const ResultsLog::Result* r : Records(read))
        charged.push_back(KUIDOf(r->asset));
    EXPECT_EQ(charged, (std::vector<KUID>{KUID::Null, KUID(9, 9, 0), KUID(3, 4, 5), KUID(9, 9, 0)}));
}

TEST(ResultsLogTest, PropertyReferencesFollowTheRecords)
{
    auto* p = new KestroPropertyAssetID("AssetID", KUID(1, 2, 0));
    PropertyRef held(p);
    {
        ResultsLog log;
        log.PushCurrentAsset(held);
        ResultsLog::AddResult(log, 2, "w");
        ResultsLog::AddResult(log, 3, held, "e", nullptr);
        EXPECT_EQ(p->RefCount(), 4);  // held, the stack, two records
        ResultsLog copy;
        copy.CopyFrom(log);
        EXPECT_EQ(p->RefCount(), 6);
        copy.CopyFrom(copy);  // into itself: nothing changes
        EXPECT_EQ(p->RefCount(), 6);
        EXPECT_EQ(copy.GetResultCount(), 2u);
    }
    EXPECT_EQ(p->RefCount(), 1);
}

TEST(ResultsLogTest, CopyFromReplacesResultsAndCounts)
{
    ResultsLog source;
    ResultsLog::AddResult(source, 2, Asset(KUID(7, 8, 0)), "warn", nullptr);
    ResultsLog::AddResult(source, 4, "out");
    for (int i = 0; i < 30; ++i)  // more than one block
        ResultsLog::AddResult(source, 3, "err " + std::to_string(i));

    Listener listener;  // outlives the log it listens to
    ResultsLog target;
    ResultsLog::AddResult(target, 3, "old");
    ResultsLog::AddResult(target, 2, "old");
    target.OpenPipe(&listener, nullptr);
    target.CopyFrom(source);
    EXPECT_TRUE(listener.heard.empty());

    auto got = Records(target);
    auto want = Records(source);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NE(got[i], want[i]);
        EXPECT_EQ(got[i]->severity, want[i]->severity);
        EXPECT_EQ(got[i]->text, want[i]->text);
        EXPECT_EQ(got[i]->asset.Get(), want[i]->asset.Get());
    }
    EXPECT_EQ(target.GetWarningCount(), 1u);
    EXPECT_EQ(target.GetErrorCount(), 30u);
    EXPECT_EQ(target.GetOutputCount(), 1u);
    EXPECT_EQ(source.GetResultCount(), 32u);
}

TEST(ResultsLogTest, StreamFormIsByteExact)
{
    ResultsLog log;
    ResultsLog::AddResult(log, 3, Asset(KUID(5, 100, 0)), "bad", nullptr);
    ResultsLog::AddResult(log, 1, "", nullptr);
    ResultsLog::AddResult(log, 4, Asset(KUID(1, 2, 3)), "out", nullptr);

    Expect third;
    third.U32(4).Str("out").U32(8).Str("AssetID").Str("<kuid2:1:2:3>");
    Expect all;
    all.U32(0).U32(3);
    all.U32(3).Str("bad").U32(8).Str("AssetID").Str("<kuid:5:100>");
    all.U32(1).Str("").U32(0);
    all.bytes.insert(all.bytes.end(), third.bytes.begin(), third.bytes.end());

    struct Case {
        uint32_t first;
        Bytes expected;
    };
    Expect fromLast, empty;
    fromLast.U32(0).U32(1);
    fromLast.bytes.insert(fromLast.bytes.end(), third.bytes.begin(), third.bytes.end());
    empty.U32(0).U32(0);
    for (const Case& tc : {Case{0, all.bytes}, Case{2, fromLast.bytes}, Case{3, empty.bytes},
                           // A first position past the end writes no records
                           // instead of a wrapped-around count.
                           Case{4, empty.bytes}, Case{0xFFFFFFFFu, empty.bytes}}) {
        SCOPED_TRACE(tc.first);
        TBuffer out;
        log.WriteResults(out, tc.first);
        EXPECT_EQ(Contents(out), tc.expected);
    }
}

TEST(ResultsLogTest, ReadBackGivesEqualResults)
{
    ResultsLog log;
    ResultsLog::AddResult(log, 3, Asset(KUID(5, 100, 0)), "bad $(X)", nullptr);
    ResultsLog::AddResult(log, 2, Asset(KUID(-3, 7, 127)), std::string(300, 'w'), nullptr);
    ResultsLog::AddResult(log, 4, "", nullptr);
    ResultsLog::AddResult(log, 9, "odd", nullptr);
    for (int i = 0; i < 20; ++i)
        ResultsLog::AddResult(log, 1 + i % 4, "n" + std::to_string(i));
    TBuffer out;
    log.WriteResults(out, 0);

    Listener listener;
    ResultsLog back;
    ResultsLog::AddResult(back, 3, "already there");
    back.OpenPipe(&listener, nullptr);
    out.Rewind();
    ReadResults(out, back);
    EXPECT_EQ(out.GetError(), 0u);
    EXPECT_EQ(listener.heard, std::vector<std::string>{"list-updated"});
    EXPECT_EQ(listener.data, std::vector<void*>{&back});

    auto got = Records(back);
    auto want = Records(log);
    ASSERT_EQ(got.size(), want.size() + 1);
    EXPECT_EQ(got[0]->text.Str(), "already there");
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i + 1]->severity, want[i]->severity);
        EXPECT_EQ(got[i + 1]->text, want[i]->text);
        EXPECT_EQ(KUIDOf(got[i + 1]->asset), KUIDOf(want[i]->asset));
    }
    EXPECT_EQ(back.GetWarningCount(), log.GetWarningCount());
    EXPECT_EQ(back.GetErrorCount(), log.GetErrorCount() + 1);
    EXPECT_EQ(back.GetOutputCount(), log.GetOutputCount());
}

TEST(ResultsLogTest, ReadOfOddStreams)
{
    Expect oneRecord;
    oneRecord.U32(0).U32(1).U32(3).Str("e").U32(0);
    Expect huge;  // a count of 0xFFFFFFFF in front of two real records
    huge.U32(0).U32(0xFFFFFFFFu).U32(3).Str("e").U32(0).U32(2).Str("w").U32(0);
    Expect hugeBare;
    hugeBare.U32(0).U32(0xFFFFFFFFu);
    Expect format1;
    format1.U32(1).U32(1).U32(3).Str("e").U32(0);
    Expect countOnly;
    countOnly.U32(0).U32(0);
    Expect longText;  // a string record above the limit
    longText.U32(0).U32(2).U32(3).U32(70000);
    longText.bytes.resize(longText.bytes.size() + 70000, 'x');
    longText.U32(0).U32(3).Str("e").U32(0);

    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t records;
    };
    const Case cases[] = {
        {"one record", oneRecord.bytes, 1},
        {"count past the records", huge.bytes, 2},
        {"count with nothing behind", hugeBare.bytes, 0},
        {"format 1", format1.bytes, 0},
        {"empty stream", {}, 0},
        {"short format", {0, 0}, 0},
        {"short count", {0, 0, 0, 0, 1}, 0},
        {"count 0", countOnly.bytes, 0},
        {"overlong text", longText.bytes, 0},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        Listener listener;
        ResultsLog log;
        log.OpenPipe(&listener, nullptr);
        ReadResults(*Over(tc.bytes), log);
        EXPECT_EQ(log.GetResultCount(), tc.records);
        EXPECT_FALSE(log.IsReported());
        EXPECT_EQ(listener.heard, std::vector<std::string>{"list-updated"});
    }
}

TEST(ResultsLogTest, TruncatedStreamKeepsOnlyWholeRecords)
{
    ResultsLog log;
    ResultsLog::AddResult(log, 3, Asset(KUID(5, 100, 0)), "first", nullptr);
    ResultsLog::AddResult(log, 2, "", nullptr);
    ResultsLog::AddResult(log, 4, Asset(KUID(1, 2, 3)), "third", nullptr);
    TBuffer out;
    log.WriteResults(out, 0);
    Bytes whole = Contents(out);

    // Where each record ends.
    std::vector<size_t> ends;
    for (uint32_t first = 1; first <= 3; ++first) {
        TBuffer tail;
        log.WriteResults(tail, first);
        ends.push_back(whole.size() - (Contents(tail).size() - 8));
    }
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        ResultsLog back;
        ReadResults(*Over(Bytes(whole.begin(), whole.begin() + cut)), back);
        uint32_t complete = 0;
        while (complete < ends.size() && ends[complete] <= cut)
            ++complete;
        ASSERT_EQ(back.GetResultCount(), complete);
        auto got = Records(back);
        auto want = Records(log);
        for (uint32_t i = 0; i < complete; ++i)
            EXPECT_EQ(got[i]->text, want[i]->text);
    }
}

TEST(ResultsLogTest, ListenersHearChangesAndDestruction)
{
    Listener listener, closeParty;
    uintptr_t logAddress;  // compared as a number: the log is gone by then
    {
        ResultsLog log;
        logAddress = reinterpret_cast<uintptr_t>(&log);
        log.OpenPipe(&listener, &closeParty);
        ResultsLog::AddResult(log, 1, "a");
        log.PushCurrentAsset(Asset(KUID(1, 1, 0)));  // not a change of the list
        log.PopCurrentAsset();
    }
    EXPECT_EQ(listener.heard, (std::vector<std::string>{"list-updated", "list-destroyed"}));
    void* logPointer = reinterpret_cast<void*>(logAddress);
    EXPECT_EQ(listener.data, (std::vector<void*>{logPointer, logPointer}));
    EXPECT_EQ(closeParty.heard, std::vector<std::string>{"pipe-closed"});
    EXPECT_EQ(closeParty.data, std::vector<void*>{&listener});
}

TEST(ResultsLogTest, RegistryMapsKeysToLogs)
{
    ResultsLog kept;
    ResultsLogRegistry::Set(7001, &kept);
    {
        ResultsLog a, b;
        ResultsLogRegistry::Set(7002, &a);
        ResultsLogRegistry::Set(7003, &a);
        EXPECT_EQ(ResultsLogRegistry::Get(7002), &a);
        ResultsLogRegistry::Set(7003, &b);  // overwrites
        EXPECT_EQ(ResultsLogRegistry::Get(7003), &b);
        ResultsLogRegistry::Set(7003, &a);
        ResultsLogRegistry::Remove(7999);  // absent: nothing
        EXPECT_EQ(ResultsLogRegistry::Get(7999), nullptr);
    }
    // A log registered under two keys leaves both when destroyed.
    EXPECT_EQ(ResultsLogRegistry::Get(7002), nullptr);
    EXPECT_EQ(ResultsLogRegistry::Get(7003), nullptr);
    EXPECT_EQ(ResultsLogRegistry::Get(7001), &kept);
    ResultsLogRegistry::Remove(7001);
    EXPECT_EQ(ResultsLogRegistry::Get(7001), nullptr);
}

TEST(ResultsLogTest, ConcurrentAddsAndReadsKeepTheCounts)
{
    ResultsLog log;
    TBuffer form;
    {
        ResultsLog source;
        for (int i = 0; i < 10; ++i)
            ResultsLog::AddResult(source, 3, "remote");
        source.WriteResults(form, 0);
    }
    Bytes formBytes = Contents(form);

    constexpr int kThreads = 4;
    constexpr int kAdds = 500;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < kAdds; ++i) {
                if (t == 0 && i % 50 == 0) {
                    ReadResults(*Over(formBytes), log);
                }
                ResultsLog::AddResult(log, 2 + i % 3, "t" + std::to_string(t));
            }
        });
    }
    go = true;
    for (auto& th : threads)
        th.join();
    uint32_t reads = kAdds / 50;
    EXPECT_EQ(log.GetResultCount(), kThreads * kAdds + reads * 10);
    uint32_t perSeverity = kThreads * kAdds / 3;
    EXPECT_NEAR(log.GetWarningCount(), perSeverity, kThreads);
    EXPECT_EQ(log.GetWarningCount() + log.GetErrorCount() + log.GetOutputCount(), log.GetResultCount());
}

}  // namespace
