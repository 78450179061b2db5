#include "config/results/NuMessageRecipient.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Heard {
    std::string who;
    std::string name;
    void* data;
};

// Notes every message it gets in a shared journal.
class Listener : public NuMessageRecipient {
public:
    Listener(std::string who, std::vector<Heard>* journal, bool answer = true)
        : who_(std::move(who)), journal_(journal), answer_(answer)
    {
    }

    bool ReceiveMessage(NuMessageData& message) override
    {
        journal_->push_back({who_, message.GetName().Str(), message.GetData()});
        if (onMessage)
            onMessage(message);
        return answer_;
    }

    std::function<void(NuMessageData&)> onMessage;

private:
    std::string who_;
    std::vector<Heard>* journal_;
    bool answer_;
};

class Forwarder : public NuMessageRecipient {
public:
    explicit Forwarder(NuMessageRecipient* target) : target_(target) {}
    NuMessageRecipient* GetForwardTarget() override { return target_; }

private:
    NuMessageRecipient* target_;
};

std::vector<NuMessagePipe*> Walk(const NuMessageRecipient& r)
{
    std::vector<NuMessagePipe*> forward;
    for (NuMessagePipe* p = r.Pipes().head; p; p = p->next)
        forward.push_back(p);
    // The backward links must tell the same story.
    std::vector<NuMessagePipe*> backward;
    for (NuMessagePipe* p = r.Pipes().tail; p; p = p->previous)
        backward.insert(backward.begin(), p);
    EXPECT_EQ(forward, backward);
    return forward;
}

TEST(NuMessageRecipientTest, ForwardingPassesTheAnswerOn)
{
    std::vector<Heard> journal;
    NuMessageData msg(NuMessageListUpdated(), &journal);

    NuMessageRecipient plain;
    EXPECT_TRUE(plain.ReceiveMessage(msg));

    Listener refusing("end", &journal, false);
    Forwarder middle(&refusing);
    Forwarder first(&middle);
    EXPECT_FALSE(first.ReceiveMessage(msg));
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].who, "end");
    EXPECT_EQ(journal[0].data, &journal);
}

TEST(NuMessageRecipientTest, PostReachesEveryReceiverInOrder)
{
    std::vector<Heard> journal;
    Listener a("a", &journal), b("b", &journal), c("c", &journal);
    NuMessageRecipient sender;
    sender.OpenPipe(&a, nullptr);
    sender.OpenPipe(nullptr, &b);  // no receiver: skipped
    sender.OpenPipe(&b, nullptr);
    NuMessagePipe* toC = sender.OpenPipe(&c, nullptr);

    // A receiver that closes its own pipe while handling the message does
    // not cut the walk short.
    c.onMessage = [&](NuMessageData&) { NuMessageRecipient::ClosePipe(toC); };
    NuMessageData msg(NuMessageListUpdated(), &sender);
    sender.PostMessage(msg);
    sender.PostMessage(msg);

    std::vector<std::string> order;
    for (const Heard& h : journal)
        order.push_back(h.who + ":" + h.name);
    EXPECT_EQ(order, (std::vector<std::string>{"a:list-updated", "b:list-updated", "c:list-updated",
                                               "a:list-updated", "b:list-updated"}));
    EXPECT_EQ(Walk(sender).size(), 3u);
}

TEST(NuMessageRecipientTest, ClosingUnlinksAndTellsTheCloseParty)
{
    struct Case {
        const char* what;
        int closeAt;
    };
    for (const Case& tc : {Case{"head", 0}, Case{"middle", 1}, Case{"tail", 2}}) {
        SCOPED_TRACE(tc.what);
        std::vector<Heard> journal;
        Listener party("party", &journal), receiver("receiver", &journal);
        NuMessageRecipient sender;
        std::vector<NuMessagePipe*> pipes;
        for (int i = 0; i < 3; ++i)
            pipes.push_back(sender.OpenPipe(&receiver, i == tc.closeAt ? &party : nullptr));

        NuMessageRecipient::ClosePipe(pipes[tc.closeAt]);
        pipes.erase(pipes.begin() + tc.closeAt);
        EXPECT_EQ(Walk(sender), pipes);
        ASSERT_EQ(journal.size(), 1u);
        EXPECT_EQ(journal[0].who, "party");
        EXPECT_EQ(journal[0].name, "pipe-closed");
        EXPECT_EQ(journal[0].data, &receiver);

        // Closing the rest (no close parties) tells nobody and empties the list.
        for (NuMessagePipe* p : pipes)
            NuMessageRecipient::ClosePipe(p);
        EXPECT_EQ(sender.Pipes().head, nullptr);
        EXPECT_EQ(sender.Pipes().tail, nullptr);
        EXPECT_EQ(journal.size(), 1u);
    }
}

TEST(NuMessageRecipientTest, DestructionClosesEveryPipeHeadFirst)
{
    std::vector<Heard> journal;
    Listener one("one", &journal), two("two", &journal);
    {
        NuMessageRecipient sender;
        sender.OpenPipe(&one, &one);
        sender.OpenPipe(&two, &two);
        // A close party that closes a further pipe of the dying list from its
        // handler must not leave the destructor walking a freed pipe.
        NuMessagePipe* extra = sender.OpenPipe(&one, nullptr);
        one.onMessage = [&](NuMessageData&) {
            if (extra)
                NuMessageRecipient::ClosePipe(std::exchange(extra, nullptr));
        };
    }
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].who, "one");
    EXPECT_EQ(journal[0].data, &one);
    EXPECT_EQ(journal[1].who, "two");
    EXPECT_EQ(journal[1].name, "pipe-closed");
}

}  // namespace
