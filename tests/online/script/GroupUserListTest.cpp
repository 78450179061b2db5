// An online group's user list as the server's packets change it, in-process
// on the script API tests' shared machine: entries matched by exact name
// for the script's own changes and whatever the case for the server's, and
// one script message per change plus one for the whole list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/router/GSRouter.h"
#include "online/OnlineAccessClientEndpoint.h"
#include "online/script/GSOOnlineAccess.h"
#include "online/script/GSOOnlineGroup.h"
#include "online/script/OnlineScriptClasses.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/support/ScriptApiMachine.h"

namespace {

struct Entry {
    std::string name;
    uint8_t status;
};

// A user list as the server sends it.
void WriteList(TBuffer& packet, const std::vector<Entry>& users)
{
    packet.WriteUInt16(static_cast<uint16_t>(users.size()));
    for (const Entry& user : users) {
        packet.WriteString(Nyx::String(user.name));
        packet.WriteUInt8(user.status);
    }
    packet.SeekRaw(0, SEEK_SET);
}

class GroupUserListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallOnlineScriptClasses();
        scriptapitest::ScriptApiMachine& shared = scriptapitest::ScriptApiMachine::Get();
        ASSERT_TRUE(shared.ready);
        context_ = std::make_unique<KestroScriptContext>(&shared.machine);
        context_->SetRouter(std::make_unique<GSRouter>(context_.get()));
        owner_ = GSOOnlineAccess::Instance(context_.get(), KUID(600002, 1, 0));
        ASSERT_NE(nullptr, owner_);
        group_ = GSOOnlineGroup::Create(owner_, Nyx::PString("g-1"));
        ASSERT_NE(nullptr, group_);
    }
    void TearDown() override
    {
        if (group_)
            GSRuntime::ReleasePart(group_->GetInstance());
        if (owner_)
            GSRuntime::ReleasePart(owner_->GetInstance());
        context_.reset();
    }

    // The script messages the list read posted.
    size_t Read(const std::vector<Entry>& users, bool replace)
    {
        TBuffer packet;
        WriteList(packet, users);
        const size_t before = context_->Router()->ImmediateCount();
        group_->ReadUserList(packet, replace);
        return context_->Router()->ImmediateCount() - before;
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const GSOOnlineGroup::User& user : group_->Users())
            names.push_back(std::string(user.name.View()) + ":" + std::to_string(user.status));
        return names;
    }

    std::unique_ptr<KestroScriptContext> context_;
    GSOOnlineAccess* owner_ = nullptr;
    GSOOnlineGroup* group_ = nullptr;
};

TEST_F(GroupUserListTest, ARemovedUnknownUserIsPassedByAndTheSameListAgainChangesNothing)
{
    // Made with no link to the server: nothing asked, nothing awaited.
    EXPECT_EQ(GSOOnlineGroup::kNotConnected, group_->GetStatus());
    // Two "UserAdded" and one "UsersChange".
    EXPECT_EQ(3u, Read({{"Ann", 1}, {"Bob", 255}, {"Cy", 2}}, false));
    EXPECT_EQ((std::vector<std::string>{"Ann:1", "Cy:2"}), Names());
    EXPECT_EQ(0u, Read({{"Ann", 1}, {"Bob", 255}, {"Cy", 2}}, false));
    // Removed, and its status changed: one message each and the list's.
    EXPECT_EQ(3u, Read({{"cy", 255}, {"ANN", 4}}, false));
    EXPECT_EQ((std::vector<std::string>{"Ann:4"}), Names());
}

TEST_F(GroupUserListTest, ServerNamesMatchWhateverTheCaseTheScriptsOnlyExactly)
{
    Read({{"Ann", 1}}, false);
    // A server list naming her in capitals updates her entry.
    EXPECT_EQ(2u, Read({{"ANN", 3}}, false));
    EXPECT_EQ((std::vector<std::string>{"Ann:3"}), Names());
    // Replacing: the list is emptied first, which is a change already.
    EXPECT_EQ(2u, Read({{"Ann", 3}}, true));
    EXPECT_EQ((std::vector<std::string>{"Ann:3"}), Names());
    EXPECT_EQ(1u, Read({}, true));
    EXPECT_TRUE(Names().empty());
}

TEST_F(GroupUserListTest, AListCutShortNamesNoFurtherUsers)
{
    TBuffer packet;
    packet.WriteUInt16(500);
    packet.WriteString(Nyx::String("Ann"));
    packet.WriteUInt8(1);
    packet.WriteString(Nyx::String("Bo"));
    packet.SeekRaw(0, SEEK_SET);
    group_->ReadUserList(packet, false);
    EXPECT_EQ((std::vector<std::string>{"Ann:1"}), Names());
}

TEST_F(GroupUserListTest, TheGroupClosesWhenItsOwnerLeavesTheEndpoint)
{
    OnlineAccessClientEndpoint& endpoint = OnlineAccessClientEndpoint::Instance();
    endpoint.AddClient(owner_);
    EXPECT_EQ(owner_, group_->Owner());
    endpoint.RemoveClient(owner_);
    EXPECT_EQ(GSOOnlineGroup::kClosed, group_->GetStatus());
    EXPECT_EQ(nullptr, group_->Owner());
    // A closed group cannot be asked for again.
    EXPECT_TRUE(!group_->IsIdle() && group_->MatchesId(Nyx::PString("g-1")));
}

// A group's request that could not go out, or went down with the link, is
// not waiting for an answer: the group stays (or becomes) unconnected and
// the answer to another group's request is not taken for its own.
TEST_F(GroupUserListTest, OnlyARequestOnTheLinkAwaitsTheServersAnswer)
{
    OnlineAccessClientEndpoint& endpoint = OnlineAccessClientEndpoint::Instance();
    TMEPeer peer;
    std::vector<GSOOnlineGroup*> groups;
    // The link is taken down and the groups released however the test ends.
    struct CleanUp {
        OnlineAccessClientEndpoint& endpoint;
        std::vector<GSOOnlineGroup*>& groups;
        ~CleanUp()
        {
            endpoint.Disconnect();
            for (GSOOnlineGroup* group : groups)
                GSRuntime::ReleasePart(group->GetInstance());
        }
    } cleanUp{endpoint, groups};
    auto create = [&](const char* id) {
        GSOOnlineGroup* group = GSOOnlineGroup::Create(owner_, Nyx::PString(id));
        if (group)
            groups.push_back(group);
        return group;
    };

    GSOOnlineGroup* early = create("");
    ASSERT_NE(nullptr, early);
    EXPECT_EQ(GSOOnlineGroup::kNotConnected, early->GetStatus());
    EXPECT_FALSE(early->IsIdle());

    endpoint.Attach(&peer);
    GSOOnlineGroup* created = create("");
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(GSOOnlineGroup::kRequested, created->GetStatus());
    // The server's answer to the create request: sequence 1, its new id and
    // no users.
    TBuffer answer;
    answer.WriteUInt8(1);
    answer.WriteUInt8(0);
    answer.WriteUInt8(OnlineAccessClientEndpoint::kCreateGroup);
    answer.WritePString(Nyx::PString("group-9"));
    answer.WriteUInt16(0);
    endpoint.ReceiveDatagram(answer.GetBuffer()->Data(), answer.GetBuffer()->DataLength());
    EXPECT_EQ(GSOOnlineGroup::kOpen, created->GetStatus());
    EXPECT_EQ("group-9", created->GroupId().Str());
    EXPECT_EQ(GSOOnlineGroup::kNotConnected, early->GetStatus());

    GSOOnlineGroup* opening = create("g-2");
    ASSERT_NE(nullptr, opening);
    EXPECT_EQ(GSOOnlineGroup::kRequested, opening->GetStatus());
    const size_t before = context_->Router()->ImmediateCount();
    endpoint.Disconnect();
    EXPECT_EQ(GSOOnlineGroup::kNotConnected, opening->GetStatus());
    EXPECT_EQ(before + 1, context_->Router()->ImmediateCount());  // its "StatusChange"
    EXPECT_EQ(GSOOnlineGroup::kOpen, created->GetStatus());
}

TEST(OfflineOutboxTest, NewChildrenTakeTheSmallestFreeNumbers)
{
    ChunkRef outbox(new TDBContainerTag);
    ChunkRef child(new TDBContainerTag);
    TDBContainerTag::SetChildContainer(outbox, Nyx::PString("0"), child);
    ChunkRef other(new TDBContainerTag);
    TDBContainerTag::SetChildContainer(outbox, Nyx::PString("2"), other);
    std::vector<std::string> added;
    for (int i = 0; i < 3; ++i) {
        const Nyx::PString name = FreeChildNumber(outbox);
        added.emplace_back(name.View());
        ChunkRef copy(new TDBContainerTag);
        TDBContainerTag::SetChildContainer(outbox, name, copy);
    }
    EXPECT_EQ((std::vector<std::string>{"1", "3", "4"}), added);
    EXPECT_EQ("0", std::string(FreeChildNumber(ChunkRef()).View()));
}

}  // namespace
