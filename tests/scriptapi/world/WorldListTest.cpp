// The world list: ids, hints and reserved ids, its observer, and its
// stream form read from hand-built bytes of every version.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/streams/TStream.h"
#include "scriptapi-harness/TestWorldItem.h"
#include "scriptapi/world/WorldList.h"
#include "scriptapi/world/WorldListObserver.h"

namespace {

// Little-endian words and packed KUIDs, as the list writes them.
struct Bytes {
    std::string data;

    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            data += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes& Kuid(const KUID& k)
    {
        return U32(uint32_t(k.content)).U32((uint32_t(k.version) << 25) | (uint32_t(k.user) & 0x1FFFFFF));
    }
    Bytes& Raw(const std::string& s)
    {
        data += s;
        return *this;
    }
    // A record of versions 3 to 5.
    Bytes& Item(uint32_t id, uint32_t type, const KUID& k, const std::string& payload)
    {
        return U32(id).U32(type).Kuid(k).U32(uint32_t(payload.size())).Raw(payload);
    }
    Bytes& State(uint32_t id, uint32_t type, const std::string& payload)
    {
        return U32(id).U32(type).U32(uint32_t(payload.size())).Raw(payload);
    }
    // A length-prefixed section around the bytes of `body`.
    Bytes& Section(const Bytes& body) { return U32(uint32_t(body.data.size())).Raw(body.data); }
};

std::string Contents(TBuffer& buffer)
{
    Nyx::DynamicBuffer* b = buffer.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

struct Loaded {
    TBuffer stream;
    explicit Loaded(const std::string& bytes)
    {
        stream.WriteBytes(bytes.data(), uint32_t(bytes.size()));
        stream.Rewind();
    }
};

TestWorldItem* TestItemAt(WorldList& list, uint32_t id) { return dynamic_cast<TestWorldItem*>(list.ItemAt(id)); }

// An item that records what happens to it.
class PlainItem : public WorldListItem {
public:
    explicit PlainItem(std::vector<std::string>* events = nullptr, uint32_t flags = 1) : events_(events), flags_(flags) {}
    uint32_t GetTypeCode() override { return 0x6E69616Cu; }
    uint32_t GetFlags() override { return flags_; }
    void OnEnterList() override { Record("enter"); }
    void OnLeaveList() override { Record("leave"); }
    void Notify(uint32_t message, uint32_t flags) override
    {
        Record("notify " + std::to_string(message) + " " + std::to_string(flags));
    }
    void GetDefaultState(WorldItemExtent& extent) override
    {
        extent = WorldItemExtent();
        extent.x1 = 5.0f;
    }

private:
    void Record(const std::string& what)
    {
        if (events_)
            events_->push_back(what);
    }
    std::vector<std::string>* events_;
    uint32_t flags_;
};

class RecordingObserver : public WorldListObserver {
public:
    std::vector<std::string> calls;
    void ItemAdded(WorldListItem& item, const WorldItemExtent& extent) override
    {
        calls.push_back("added " + std::to_string(item.Id()) + " x1=" + std::to_string(int(extent.x1)) +
                        " flag=" + std::to_string(extent.flag));
    }
    void ItemRemoved(WorldListItem& item) override { calls.push_back("removed " + std::to_string(item.Id())); }
    void ListCleared() override { calls.push_back("cleared"); }
};

// A typed-state item: it saves and loads one word.
class TypedItem : public WorldListItem {
public:
    uint32_t word = 0;
    uint32_t GetTypeCode() override { return WorldList::kTypedStateType; }
    void SaveTypedState(TStream& s) override { s.WriteInt32(word); }
    void LoadTypedState(TStream& s) override { s.ReadInt32(word, 0); }
};

constexpr KUID kK1{5, 7, 0};
constexpr KUID kK2{-3, 12, 2};

class WorldListTest : public ::testing::Test {
protected:
    TestWorldItemFactory factory_;
};

// --------------------------------------------------------------- ids

TEST_F(WorldListTest, NewItemsTakeEvenIdsAndRemovalLowersTheHintOfItsParity)
{
    WorldList list;
    PlainItem a, b, c, odd;
    EXPECT_EQ(0, list.AddItem(a));
    EXPECT_EQ(2, list.AddItem(b));
    EXPECT_EQ(4, list.AddItem(c));
    EXPECT_EQ(6u, list.EvenHint());
    ASSERT_TRUE(list.InsertAt(7, odd));
    EXPECT_EQ(7u, odd.Id());

    list.RemoveItem(b);
    EXPECT_EQ(WorldListItem::kNoId, b.Id());
    EXPECT_EQ(nullptr, b.List());
    EXPECT_EQ(2u, list.EvenHint());
    list.RemoveItem(odd);
    EXPECT_EQ(1u, list.OddHint());
    EXPECT_EQ(2, list.AddItem(b));
    EXPECT_EQ(6, list.AddItem(odd));
}

TEST_F(WorldListTest, AddingAnItemAlreadyInAListGivesMinusOne)
{
    WorldList first, second;
    PlainItem a;
    ASSERT_EQ(0, first.AddItem(a));
    EXPECT_EQ(-1, first.AddItem(a));
    EXPECT_EQ(-1, second.AddItem(a));
    EXPECT_FALSE(second.InsertAt(3, a));
    PlainItem b;
    EXPECT_FALSE(first.InsertAt(0, b)) << "slot taken";
    EXPECT_FALSE(first.InsertAt(WorldListItem::kNoId, b));
}

TEST_F(WorldListTest, ReservedIdsAreSkippedUntilTheirItemLeaves)
{
    WorldList list;
    list.ReserveId(0);
    list.ReserveId(2);
    PlainItem a, b;
    EXPECT_EQ(4, list.AddItem(a));
    ASSERT_TRUE(list.InsertAt(2, b));
    list.RemoveItem(b);
    EXPECT_FALSE(list.IsReserved(2));
    EXPECT_EQ(6u, list.EvenHint()) << "a reserved id leaves the hint alone";
}

TEST_F(WorldListTest, DeletingAnItemTakesItOutOfItsList)
{
    WorldList list;
    auto* a = new PlainItem;
    ASSERT_EQ(0, list.AddItem(*a));
    delete a;
    EXPECT_EQ(nullptr, list.ItemAt(0));
    EXPECT_EQ(0u, list.ItemCount());
}

TEST_F(WorldListTest, TheObserverHearsOfAddedRemovedAndClearedItemsInOrder)
{
    std::vector<std::string> events;
    RecordingObserver observer;
    WorldList list;
    list.SetObserver(&observer);
    auto* a = new PlainItem(&events, 1);
    auto* b = new PlainItem(&events, 3);
    list.AddItem(*a);
    list.InsertAt(5, *b);
    list.Notify(9, 2);
    list.RemoveItems(2, 2);
    list.RemoveItems(0, 0);
    EXPECT_EQ((std::vector<std::string>{"added 0 x1=5 flag=1", "added 5 x1=5 flag=1", "removed 5", "cleared",
                                        "removed 0"}),
              observer.calls);
    EXPECT_EQ((std::vector<std::string>{"enter", "enter", "notify 9 3", "leave", "leave"}), events);
    EXPECT_EQ(0u, list.ItemCount());
}

// ---------------------------------------------------------- saving

TEST_F(WorldListTest, AnEmptyListSavesAsItsVersionValueEndAndAnEmptyStateSection)
{
    WorldList list;
    TBuffer out;
    list.SaveItems(out, 0);
    const std::string expected = Bytes()
                                     .U32(5)
                                     .U32(0xFFFFFFFF)
                                     .U32(0xFFFFFFFF)
                                     .U32(16)
                                     .U32(0xFEEDCEEB)
                                     .U32(5)
                                     .U32(0xFFFFFFFF)
                                     .U32(0xFFFFFFFF)
                                     .data;
    EXPECT_EQ(expected, Contents(out));
}

TEST_F(WorldListTest, ItemsAndTheirStatesRoundTripWithTheStateMask)
{
    Bytes state = Bytes().U32(0xFEEDCEEB).U32(5).U32(0xFFFFFFFF);
    state.State(3, TestWorldItem::kTypeCode, "st3").State(4, TestWorldItem::kTypeCode, "st4").U32(0xFFFFFFFF);
    const std::string bytes = Bytes()
                                  .U32(5)
                                  .U32(0xFFFFFFFF)
                                  .Item(3, TestWorldItem::kTypeCode, kK1, "abc")
                                  .Item(4, TestWorldItem::kTypeCode, kK2, "")
                                  .U32(0xFFFFFFFF)
                                  .Section(state)
                                  .data;
    Loaded in(bytes);
    WorldList list;
    ASSERT_TRUE(list.LoadItems(in.stream, true, 0xFFFFFFFF));
    ASSERT_NE(nullptr, TestItemAt(list, 3));
    EXPECT_EQ(kK1, TestItemAt(list, 3)->GetKUID());
    EXPECT_EQ("abc", TestItemAt(list, 3)->Payload());
    EXPECT_EQ("st3", TestItemAt(list, 3)->State());
    EXPECT_EQ(kK2, TestItemAt(list, 4)->GetKUID());
    EXPECT_EQ(bytes.size(), in.stream.Tell());

    // The test items answer flags 1: a mask of 5 selects none of them.
    TBuffer out;
    list.SaveItems(out, 4);
    EXPECT_EQ(Bytes().U32(5).U32(0xFFFFFFFF).U32(0xFFFFFFFF).data, Contents(out).substr(0, 12));
    TBuffer all;
    list.SaveItems(all, 0);
    const std::string noState =
        Bytes()
            .U32(5)
            .U32(0xFFFFFFFF)
            .Item(3, TestWorldItem::kTypeCode, kK1, "abc")
            .Item(4, TestWorldItem::kTypeCode, kK2, "")
            .U32(0xFFFFFFFF)
            .Section(Bytes().U32(0xFEEDCEEB).U32(5).U32(0xFFFFFFFF).U32(0xFFFFFFFF))
            .data;
    EXPECT_EQ(noState, Contents(all));
}

// Records reach the stream in pieces of many records each: records of
// every size, one of them larger than any piece and one that patches a
// length of its own, come out byte for byte behind what the stream held.
TEST_F(WorldListTest, ManyItemsOfEverySizeSaveByteForByteWithTheirStates)
{
    class SizedItem : public WorldListItem {
    public:
        SizedItem(std::string payload, std::string state, bool block)
            : payload_(std::move(payload)), state_(std::move(state)), block_(block)
        {
        }
        uint32_t GetTypeCode() override { return 0x657A6973u; }
        uint32_t GetFlags() override { return 5; }
        KUID GetKUID() override { return KUID(int32_t(Id()), -int32_t(Id()), int32_t(Id() % 128)); }
        void Save(TStream& s) override
        {
            const uint32_t block = block_ ? s.BeginBlock() : 0;
            s.WriteBytes(payload_.data(), uint32_t(payload_.size()));
            if (block_)
                s.EndBlock(block);
        }
        void SaveState(TStream& s) override { s.WriteBytes(state_.data(), uint32_t(state_.size())); }

    private:
        std::string payload_;
        std::string state_;
        bool block_;
    };

    WorldList list;
    list.SetWorldValue(-7);
    Bytes items = Bytes().U32(5).U32(uint32_t(-7));
    Bytes states = Bytes().U32(0xFEEDCEEB).U32(5).U32(uint32_t(-7));
    for (uint32_t n = 0; n < 3000; ++n) {
        const std::string payload = n == 1234 ? std::string(200000, 'L') : std::string(n % 97, char('a' + n % 26));
        const std::string state(n % 5, char('A' + n % 26));
        const bool block = n % 11 == 3;
        const auto id = uint32_t(list.AddItem(*new SizedItem(payload, state, block)));
        const KUID kuid(int32_t(id), -int32_t(id), int32_t(id % 128));
        items.Item(id, 0x657A6973u, kuid, block ? Bytes().U32(uint32_t(payload.size())).Raw(payload).data : payload);
        states.State(id, 0x657A6973u, state);
    }
    items.U32(0xFFFFFFFF);
    states.U32(0xFFFFFFFF);

    const struct {
        uint32_t mask;
        Bytes section;
    } cases[] = {
        {0, Bytes().U32(0xFEEDCEEB).U32(5).U32(uint32_t(-7)).U32(0xFFFFFFFF)},
        {4, states},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        TBuffer out;
        out.WriteBytes("head", 4);
        list.SaveItems(out, c.mask);
        EXPECT_EQ("head" + Bytes(items).Section(c.section).data, Contents(out));
        EXPECT_EQ(0u, out.GetError());
    }
}

// ---------------------------------------------------------- loading

// A record's head is read whole; a stream that ends inside it leaves each
// field it cut off at the value its own read would have given.
TEST_F(WorldListTest, ARecordHeadCutShortLoadsWithTheDefaultsOfTheMissingFields)
{
    const std::string whole = Bytes().U32(3).Item(6, TestWorldItem::kTypeCode, kK2, "").data;
    for (size_t cut = 8; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        Loaded in(whole.substr(0, cut));
        WorldList list;
        EXPECT_TRUE(list.LoadItems(in.stream, true, 0));
        EXPECT_EQ(TStream::kErrShortRecord, in.stream.GetError());
        const size_t head = cut - 8;  // bytes of the record after its id
        if (head < 4) {
            EXPECT_EQ(0u, list.ItemCount()) << "type code 0 has no factory";
            continue;
        }
        ASSERT_NE(nullptr, TestItemAt(list, 6));
        const KUID expected = KUID::FromPacked(head >= 12 ? kK2.PackedWord() : KUID::Null.PackedWord(),
                                               head >= 8 ? kK2.content : KUID::Null.content);
        EXPECT_EQ(expected, TestItemAt(list, 6)->GetKUID());
        EXPECT_EQ(cut, in.stream.Tell());
    }
}

TEST_F(WorldListTest, EveryVersionLoadsItsRecords)
{
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t items;
    };
    const Bytes v3Records = Bytes().Item(1, TestWorldItem::kTypeCode, kK1, "p").U32(0xFFFFFFFF);
    const Bytes emptyState = Bytes().U32(0xFEEDCEEB).U32(5).U32(0xFFFFFFFF).U32(0xFFFFFFFF);
    const Case cases[] = {
        {"version 1 has no records", Bytes().U32(1).Item(1, TestWorldItem::kTypeCode, kK1, "p").data, 0},
        {"version 3", Bytes().U32(3).Raw(v3Records.data).data, 1},
        {"version 4 with a state section", Bytes().U32(4).Raw(v3Records.data).Section(emptyState).data, 1},
        {"version 5", Bytes().U32(5).U32(7).Raw(v3Records.data).Section(emptyState).data, 1},
        {"version 6 reads nothing", Bytes().U32(6).Raw(v3Records.data).data, 0},
        {"version 0 reads nothing", Bytes().U32(0).Raw(v3Records.data).data, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded in(c.bytes);
        WorldList list;
        list.LoadItems(in.stream, true, 0xFFFFFFFF);
        EXPECT_EQ(c.items, list.ItemCount());
        if (c.items) {
            ASSERT_NE(nullptr, TestItemAt(list, 1));
            EXPECT_EQ("p", TestItemAt(list, 1)->Payload());
            EXPECT_EQ(kK1, TestItemAt(list, 1)->GetKUID());
        }
        EXPECT_EQ(-1, list.WorldValue()) << "the list's own value stands after a load";
    }
}

// Version 2 records carry no length: the factory reads the item from the
// stream itself.
class WordItem : public WorldListItem {
public:
    static constexpr uint32_t kTypeCode = 0x64726F77u;
    uint32_t word = 0;
    int32_t worldValue = 0;
    uint32_t GetTypeCode() override { return kTypeCode; }
    void Load(TStream& s) override { s.ReadInt32(word, 0); }
};

class WordFactory : public WorldItemFactory {
public:
    WordFactory() : WorldItemFactory(WordItem::kTypeCode, Nyx::PString("word")) {}
    WorldBaseItem* Create(void*, TStream& s) override
    {
        auto* item = new WordItem;
        item->Load(s);
        item->worldValue = WorldList::Current().worldValue;
        return item;
    }
};

TEST_F(WorldListTest, VersionTwoItemsReadFromTheStreamAndAnItemOfTheSameTypeLoadsInPlace)
{
    WordFactory words;
    WorldList list;
    auto* kept = new WordItem;
    ASSERT_TRUE(list.InsertAt(2, *kept));
    Loaded in(Bytes().U32(2).U32(1).U32(WordItem::kTypeCode).U32(11).U32(2).U32(WordItem::kTypeCode).U32(22)
                  .U32(0xFFFFFFFF)
                  .data);
    ASSERT_TRUE(list.LoadItems(in.stream, false, 0));
    EXPECT_EQ(kept, list.ItemAt(2));
    EXPECT_EQ(22u, kept->word);
    ASSERT_NE(nullptr, dynamic_cast<WordItem*>(list.ItemAt(1)));
    EXPECT_EQ(11u, dynamic_cast<WordItem*>(list.ItemAt(1))->word);
}

TEST_F(WorldListTest, TheCurrentItemRecordHoldsTheLoadingItemsKUIDAndTheStreamsWorldValue)
{
    WordFactory words;
    int world = 0;
    WorldList list(&world);
    Loaded in(Bytes().U32(5).U32(42).Item(0, WordItem::kTypeCode, kK2, Bytes().U32(9).data).U32(0xFFFFFFFF)
                  .Section(Bytes().U32(0xFEEDCEEB).U32(5).U32(0xFFFFFFFF).U32(0xFFFFFFFF))
                  .data);
    ASSERT_TRUE(list.LoadItems(in.stream, true, 0));
    auto* item = dynamic_cast<WordItem*>(list.ItemAt(0));
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(42, item->worldValue);
    EXPECT_EQ(-1, list.WorldValue());
    EXPECT_EQ(KUID::Null, WorldList::Current().kuid);
    EXPECT_EQ(nullptr, WorldList::Current().world);
    EXPECT_EQ(-1, WorldList::Current().worldValue);
}

TEST_F(WorldListTest, AnUnknownTypeIsSkippedByItsLengthAndAnOverlongLengthEndsTheLoad)
{
    Loaded skipped(Bytes()
                       .U32(3)
                       .Item(0, 0x6E6F6E65u, kK1, "unknown payload")
                       .Item(2, TestWorldItem::kTypeCode, kK2, "x")
                       .U32(0xFFFFFFFF)
                       .data);
    WorldList list;
    EXPECT_TRUE(list.LoadItems(skipped.stream, true, 0));
    EXPECT_EQ(nullptr, list.ItemAt(0));
    ASSERT_NE(nullptr, TestItemAt(list, 2));
    EXPECT_EQ("x", TestItemAt(list, 2)->Payload());

    Loaded overlong(Bytes()
                        .U32(3)
                        .U32(0)
                        .U32(TestWorldItem::kTypeCode)
                        .Kuid(kK1)
                        .U32(0x1000000)
                        .Item(2, TestWorldItem::kTypeCode, kK2, "x")
                        .U32(0xFFFFFFFF)
                        .data);
    WorldList second;
    EXPECT_FALSE(second.LoadItems(overlong.stream, true, 0));
    EXPECT_EQ(0u, second.ItemCount());
}

TEST_F(WorldListTest, APayloadRunningPastTheStreamDeletesItsItemAndStops)
{
    Loaded in(Bytes().U32(3).U32(0).U32(TestWorldItem::kTypeCode).Kuid(kK1).U32(100).Raw("short").data);
    WorldList list;
    EXPECT_FALSE(list.LoadItems(in.stream, true, 0));
    EXPECT_EQ(0u, list.ItemCount());
}

// Ids reach InsertAt, which grows the list up to them: a stream must not
// make it allocate gigabytes.
TEST_F(WorldListTest, IdsFromTwoToTheTwentiethAreRefusedOnLoad)
{
    Loaded in(Bytes()
                  .U32(3)
                  .Item(0x7FFFFFF0, TestWorldItem::kTypeCode, kK1, "big")
                  .Item(WorldList::kMaxLoadedId, TestWorldItem::kTypeCode, kK1, "edge")
                  .Item(WorldList::kMaxLoadedId - 1, TestWorldItem::kTypeCode, kK2, "last")
                  .U32(0xFFFFFFFF)
                  .data);
    WorldList list;
    EXPECT_TRUE(list.LoadItems(in.stream, true, 0));
    EXPECT_EQ(1u, list.ItemCount());
    EXPECT_EQ(WorldList::kMaxLoadedId, list.Count());
    ASSERT_NE(nullptr, TestItemAt(list, WorldList::kMaxLoadedId - 1));

    WordFactory words;
    Loaded v2(Bytes().U32(2).U32(0x7FFFFFF0).U32(WordItem::kTypeCode).U32(1).U32(0xFFFFFFFF).data);
    WorldList second;
    EXPECT_FALSE(second.LoadItems(v2.stream, true, 0));
    EXPECT_EQ(0u, second.Count());
}

TEST_F(WorldListTest, StateSectionsOfEveryVersion)
{
    const std::string records = Bytes().Item(1, TestWorldItem::kTypeCode, kK1, "p").U32(0xFFFFFFFF).data;
    struct Case {
        const char* name;
        Bytes section;
        uint32_t mask;
        const char* state;
    };
    const Case cases[] = {
        {"version 0: no header, no type code", Bytes().U32(1).U32(2).Raw("s0").U32(0xFFFFFFFF), 4, ""},
        {"version 1: no world value", Bytes().U32(0xFEEDCEEB).U32(1).State(1, TestWorldItem::kTypeCode, "s1")
                                          .U32(0xFFFFFFFF),
         4, "s1"},
        {"version 2", Bytes().U32(0xFEEDCEEB).U32(2).U32(3).State(1, TestWorldItem::kTypeCode, "s2").U32(0xFFFFFFFF),
         4, "s2"},
        {"version 5", Bytes().U32(0xFEEDCEEB).U32(5).U32(3).State(1, TestWorldItem::kTypeCode, "s5").U32(0xFFFFFFFF),
         4, "s5"},
        {"version 6 is skipped", Bytes().U32(0xFEEDCEEB).U32(6).U32(3).State(1, TestWorldItem::kTypeCode, "s6")
                                      .U32(0xFFFFFFFF),
         4, ""},
        {"without the state mask", Bytes().U32(0xFEEDCEEB).U32(5).U32(3).State(1, TestWorldItem::kTypeCode, "s")
                                        .U32(0xFFFFFFFF),
         3, ""},
        {"another type code", Bytes().U32(0xFEEDCEEB).U32(5).U32(3).State(1, 0x20202020, "s").U32(0xFFFFFFFF), 4, ""},
        {"a length of the marker ends it", Bytes().U32(0xFEEDCEEB).U32(5).U32(3).U32(1).U32(TestWorldItem::kTypeCode)
                                                .U32(0xFEEDCEEB).Raw("s"),
         4, ""},
        {"a payload past the section ends it", Bytes().U32(0xFEEDCEEB).U32(5).U32(3).U32(1)
                                                    .U32(TestWorldItem::kTypeCode).U32(50).Raw("s"),
         4, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = Bytes().U32(4).Raw(records).Section(c.section).Raw("tail").data;
        Loaded in(bytes);
        WorldList list;
        ASSERT_TRUE(list.LoadItems(in.stream, true, c.mask));
        ASSERT_NE(nullptr, TestItemAt(list, 1));
        EXPECT_EQ(c.state, TestItemAt(list, 1)->State());
        EXPECT_EQ(bytes.size() - 4, in.stream.Tell()) << "left at the section's end";
    }
}

TEST_F(WorldListTest, AVersionZeroStateSectionFeedsItemsOfTheBlankTypeCode)
{
    class BlankItem : public WorldListItem {
    public:
        std::string state;
        uint32_t GetTypeCode() override { return WorldList::kBlankTypeCode; }
        void LoadState(TStream& s) override { state = TestWorldItem::ReadRest(s); }
    };
    WorldList list;
    auto* item = new BlankItem;
    ASSERT_TRUE(list.InsertAt(1, *item));
    Loaded in(Bytes().U32(4).U32(0xFFFFFFFF).Section(Bytes().U32(1).U32(2).Raw("s0").U32(0xFFFFFFFF)).data);
    ASSERT_TRUE(list.LoadItems(in.stream, false, 4));
    EXPECT_EQ("s0", item->state);
}

TEST_F(WorldListTest, TheTypedStateSectionRoundTripsAndStopsAtBadRecords)
{
    WorldList list;
    auto* a = new TypedItem;
    auto* b = new TypedItem;
    a->word = 0xAAAA;
    b->word = 0xBBBB;
    list.InsertAt(1, *a);
    list.InsertAt(4, *b);
    list.AddItem(*new PlainItem);
    TBuffer out;
    list.SaveTypedState(out);
    const std::string expected = Bytes()
                                     .Section(Bytes()
                                                  .U32(0xFEEDCEEB)
                                                  .U32(1)
                                                  .U32(1)
                                                  .U32(4)
                                                  .U32(0xAAAA)
                                                  .U32(4)
                                                  .U32(4)
                                                  .U32(0xBBBB)
                                                  .U32(0xFFFFFFFF))
                                     .data;
    EXPECT_EQ(expected, Contents(out));

    a->word = b->word = 0;
    out.Rewind();
    list.LoadTypedState(out);
    EXPECT_EQ(0xAAAAu, a->word);
    EXPECT_EQ(0xBBBBu, b->word);

    // An id past the slot count ends the section before b's record.
    a->word = b->word = 0;
    const std::string bad =
        Bytes()
            .Section(Bytes().U32(0xFEEDCEEB).U32(0).U32(1).U32(4).U32(7).U32(99).U32(4).U32(1).U32(4).U32(8).U32(
                0xFFFFFFFF))
            .Raw("tail")
            .data;
    Loaded in(bad);
    list.LoadTypedState(in.stream);
    EXPECT_EQ(7u, a->word);
    EXPECT_EQ(0u, b->word);
    EXPECT_EQ(bad.size() - 4, in.stream.Tell());
}

}  // namespace
