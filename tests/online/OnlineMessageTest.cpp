// The message records' stream forms and the store of undelivered messages.
#include "online/MessageStore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "nyx/files/File.h"
#include "online/OnlineAccessClientEndpoint.h"
#include "online/OnlineMessage.h"
#include "support/TempFolder.h"

namespace {

std::string BytesOf(TBuffer& buffer)
{
    const Nyx::DynamicBuffer* b = buffer.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

std::string U32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

const std::string kNullBody = std::string("ACS$") + U32(1) + U32(0) + U32(0);

// KUID 1:2 version 3 as it goes on the wire.
const std::string kKUID123 = U32(2) + U32((3u << 25) | 1u);

template <class Record>
std::string Written(const Record& record)
{
    TBuffer buffer;
    record.Write(buffer);
    return BytesOf(buffer);
}

TEST(OnlineMessageTest, EachRecordHasItsStreamForm)
{
    OnlineMessage plain;
    plain.asset = KUID(1, 2, 3);
    plain.userName = "ann";
    EXPECT_EQ(Written(plain), kKUID123 + U32(4) + std::string("ann\0", 4) + kNullBody);

    VersionedOnlineMessage versioned;
    versioned.asset = KUID(1, 2, 3);
    versioned.format = 1;
    versioned.senderModified = true;
    EXPECT_EQ(Written(versioned), kKUID123 + U32(0) + kNullBody + U32(1) + std::string("\1", 1));

    OnlineGroupMessage group;
    group.sender = KUID(1, 2, 3);
    group.userName = "bo";
    group.groupId = Nyx::PString("g7");
    EXPECT_EQ(Written(group),
              kKUID123 + U32(3) + std::string("bo\0", 3) + U32(3) + std::string("g7\0", 3) + kNullBody);
}

TEST(OnlineMessageTest, RecordsReadBackWithTheirBodies)
{
    ChunkRef body(new TDBContainerTag);
    TDBContainerTag::SetInt(body, Nyx::PString("score"), 42);

    VersionedOnlineMessage out;
    out.asset = KUID(-5, 77, 2);
    out.userName = "carla";
    out.body = body;
    out.format = 1;
    OnlineGroupMessage group;
    group.groupId = Nyx::PString("room");
    group.body = body;

    TBuffer buffer;
    out.Write(buffer);
    group.Write(buffer);
    OnlineMessage empty;
    empty.Write(buffer);
    buffer.Rewind();

    VersionedOnlineMessage in;
    in.Read(buffer);
    EXPECT_EQ(in.asset, KUID(-5, 77, 2));
    EXPECT_EQ(in.userName, "carla");
    EXPECT_EQ(in.format, 1u);
    EXPECT_FALSE(in.senderModified);
    ASSERT_TRUE(in.body);
    EXPECT_EQ(TDBContainerTag::GetInt(in.body, Nyx::PString("score"), 0), 42);

    OnlineGroupMessage groupIn;
    groupIn.Read(buffer);
    EXPECT_EQ(groupIn.groupId, Nyx::PString("room"));
    EXPECT_TRUE(groupIn.sender.IsNull());
    ASSERT_TRUE(groupIn.body);

    OnlineMessage emptyIn;
    emptyIn.Read(buffer);
    EXPECT_FALSE(emptyIn.body);
    EXPECT_EQ(buffer.GetError(), 0u);

    // A text stored with its NUL cut off still reads.
    TBuffer unterminated;
    unterminated.WriteBytes(kKUID123.data(), 8);
    unterminated.WriteBytes((U32(3) + "dan").data(), 7);
    unterminated.WriteBytes(kNullBody.data(), 16);
    unterminated.Rewind();
    OnlineMessage dan;
    dan.Read(unterminated);
    EXPECT_EQ(dan.userName, "dan");
    EXPECT_EQ(unterminated.GetError(), 0u);
}

TEST(MessageStoreTest, StreamForms)
{
    StoredMessageList none;
    TBuffer empty;
    WriteStoredMessages(empty, none);
    EXPECT_EQ(BytesOf(empty), std::string("\1\0\0\0\0\0\0\0", 8));

    // A plain message goes out, and comes back, as a versioned one.
    StoredMessageList list;
    auto plain = std::make_unique<OnlineMessage>();
    plain->asset = KUID(1, 2, 3);
    plain->userName = "ann";
    list.push_back(std::move(plain));
    TBuffer one;
    WriteStoredMessages(one, list);
    EXPECT_EQ(BytesOf(one), U32(1) + U32(1) + kKUID123 + U32(4) + std::string("ann\0", 4) + kNullBody + U32(0)
                                + std::string("\0", 1));
    one.Rewind();
    StoredMessageList back;
    ReadStoredMessages(one, back);
    ASSERT_EQ(back.size(), 1u);
    auto* versioned = dynamic_cast<VersionedOnlineMessage*>(back[0].get());
    ASSERT_NE(versioned, nullptr);
    EXPECT_EQ(versioned->format, 0u);
    EXPECT_FALSE(versioned->senderModified);
    EXPECT_EQ(versioned->userName, "ann");
}

TEST(MessageStoreTest, StoresThatAreNotVersionOneOrEndEarly)
{
    auto listOfOne = []() {
        StoredMessageList list;
        auto kept = std::make_unique<VersionedOnlineMessage>();
        kept->userName = "kept";
        list.push_back(std::move(kept));
        return list;
    };
    struct Case {
        const char* name;
        std::string bytes;
        size_t size;      // of the list afterwards
        bool keptList;    // the list is the one before
        uint32_t error;   // of the stream afterwards
    };
    VersionedOnlineMessage record;
    record.userName = "r";
    const std::string whole = Written(record);
    const Case cases[] = {
        {"version 2", U32(2) + U32(1) + whole, 1, true, 0},
        {"no version", std::string("\1\0", 2), 1, true, TStream::kErrShortRecord},
        {"count beyond the data", U32(1) + U32(1000000) + whole, 1, false, TStream::kErrShortRecord},
        {"last record cut", U32(1) + U32(2) + whole + whole.substr(0, whole.size() - 1), 1, false,
         TStream::kErrShortRecord},
        {"count 0", U32(1) + U32(0), 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoredMessageList list = listOfOne();
        TBuffer buffer;
        buffer.WriteBytes(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
        buffer.Rewind();
        ReadStoredMessages(buffer, list);
        ASSERT_EQ(list.size(), c.size);
        if (c.size == 1) {
            EXPECT_EQ(list[0]->userName, c.keptList ? "kept" : "r");
        }
        EXPECT_EQ(buffer.GetError(), c.error);
    }
}

class MessageStoreFileTest : public ::testing::Test {
protected:
    MessageStoreFileTest()
    {
        std::filesystem::create_directories(temp_ / "cache");
        Nyx::File::Subst::Add(Nyx::PString("cache"), Nyx::File::Path(temp_ / "cache/"));
    }
    ~MessageStoreFileTest() override { Nyx::File::Subst::Remove(Nyx::PString("cache")); }

    std::string StorePath() const { return temp_ / "cache/oa_messages.dat"; }

    static void Store(OnlineAccessClientEndpoint& endpoint, const std::string& userName)
    {
        auto message = std::make_unique<VersionedOnlineMessage>();
        message->asset = KUID(1, 2, 0);
        message->userName = userName;
        endpoint.StoreMessage(std::move(message));
    }

    TempFolder temp_;
};

TEST_F(MessageStoreFileTest, SavesAndLoadsTheUndeliveredMessages)
{
    OnlineAccessClientEndpoint endpoint;
    EXPECT_FALSE(MessageStore::Load(endpoint));
    Store(endpoint, "ann");
    Store(endpoint, "bo");
    ASSERT_TRUE(MessageStore::Save(endpoint));
    for (const auto& entry : std::filesystem::directory_iterator(temp_ / "cache"))
        EXPECT_EQ(entry.path().string().find(".saving"), std::string::npos) << entry.path();

    OnlineAccessClientEndpoint again;
    ASSERT_TRUE(MessageStore::Load(again));
    ASSERT_EQ(again.StoredMessages().size(), 2u);
    EXPECT_EQ(again.StoredMessages()[1]->userName, "bo");

    OnlineAccessClientEndpoint none;
    ASSERT_TRUE(MessageStore::Save(none));
    EXPECT_EQ(std::filesystem::file_size(StorePath()), 8u);
}

TEST_F(MessageStoreFileTest, AFailedSaveKeepsTheStoreThatWasThere)
{
    OnlineAccessClientEndpoint before;
    Store(before, "ann");
    ASSERT_TRUE(MessageStore::Save(before));

    OnlineAccessClientEndpoint after;
    Store(after, std::string(20000, 'x'));
    // A file may not grow past 4096 bytes while the store is saved, as on a
    // full disk.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = MessageStore::Save(after);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(saved);

    OnlineAccessClientEndpoint loaded;
    ASSERT_TRUE(MessageStore::Load(loaded));
    ASSERT_EQ(loaded.StoredMessages().size(), 1u);
    EXPECT_EQ(loaded.StoredMessages()[0]->userName, "ann");
}

}  // namespace
