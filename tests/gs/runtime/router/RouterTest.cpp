// The router on its own: names, nodes, posting and the step, delivery to
// one node, to subscribers and to all, subscriptions, updates, clearing,
// and its log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gs/runtime/RuntimeTestSupport.h"
#include "gs/runtime/router/GSRouter.h"

using namespace GSRuntime;

namespace {

// A node that records what it is given; a hook runs after each message.
class Recorder : public GSNode {
public:
    explicit Recorder(std::string nodeName = {}) : name(std::move(nodeName)) {}
    const char* GetName() const override { return name.empty() ? nullptr : name.c_str(); }
    void HandleMessage(GSMessage& message) override
    {
        got.push_back(message);
        GSNode::HandleMessage(message);
        if (hook)
            hook(message);
    }
    void Update(float dt) override
    {
        ++updates;
        GSNode::Update(dt);
    }

    std::string name;
    std::vector<GSMessage> got;
    int updates = 0;
    std::function<void(GSMessage&)> hook;
};

struct Routed {
    LogCapture log;
    GSRouter router{nullptr};

    // A message of interned names between two nodes.
    GSMessage Message(const char* major, const char* minor, uint32_t from, uint32_t to, uint32_t delayMs = 0)
    {
        return GSMessage{router.Intern(major), router.Intern(minor), from, to, delayMs | GSMessage::kPooled};
    }
};

std::vector<std::string> Minors(GSRouter& router, const std::vector<GSMessage>& got)
{
    std::vector<std::string> minors;
    for (const GSMessage& m : got)
        minors.emplace_back(router.Text(m.minor));
    return minors;
}

}  // namespace

TEST(RouterTest, NamesAndTheirIds)
{
    GSRouter router(nullptr);
    const struct {
        const char* name;
        uint16_t id;
    } cases[] = {
        {"", GSRouter::kAnyMinor}, {"Debug", GSRouter::kDebug}, {"Destroy", GSRouter::kDestroy},
        {"DumpStacks", GSRouter::kDumpStacks}, {"Ping", 100}, {"Pong", 101}, {"Ping", 100}, {"ping", 102},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(router.Intern(c.name), c.id) << c.name;
        EXPECT_STREQ(router.Text(c.id), c.name);
    }
    EXPECT_EQ(router.Text(5), nullptr);
    EXPECT_EQ(router.Text(99), nullptr);
    EXPECT_EQ(router.Text(103), nullptr);
}

// Ids are 16 bits: once 65535 is given, new names get none (a wrapped 1
// would match every minor) while the old ones keep theirs.
TEST(RouterTest, NamesRunOutWithoutWrapping)
{
    GSRouter router(nullptr);
    for (uint32_t id = GSRouter::kFirstUserId; id <= 0xFFFF; ++id)
        ASSERT_EQ(router.Intern("n" + std::to_string(id)), id);
    EXPECT_EQ(router.Intern("one more"), 0);
    EXPECT_EQ(router.Intern("and another"), 0);
    EXPECT_EQ(router.Intern("n100"), 100);
    EXPECT_EQ(router.Intern(""), GSRouter::kAnyMinor);
    EXPECT_STREQ(router.Text(0xFFFF), "n65535");
}

TEST(RouterTest, NodesIdsAndNames)
{
    GSRouter one(nullptr), two(nullptr);
    Recorder a("a"), b("a"), c;
    ASSERT_TRUE(one.AddNode(a));
    EXPECT_FALSE(one.AddNode(a)) << "attached already";
    EXPECT_FALSE(two.AddNode(a));
    ASSERT_TRUE(two.AddNode(b));
    ASSERT_TRUE(one.AddNode(c));
    EXPECT_LT(a.Id(), b.Id()) << "one counter for every router";
    EXPECT_LT(b.Id(), c.Id());
    EXPECT_EQ(one.FindNode(a.Id()), &a);
    EXPECT_EQ(one.FindNode(b.Id()), nullptr);
    EXPECT_EQ(one.FindNode("a"), &a);

    // A taken name leaves the newcomer out of the name table.
    Recorder d("a");
    one.AddNode(d);
    EXPECT_EQ(one.FindNode("a"), &a);
    EXPECT_EQ(one.FindNode(d.Id()), &d);

    // Ids are never given again, not even to the node that had one.
    const uint32_t old = a.Id();
    one.RemoveNode(a);
    EXPECT_EQ(a.Id(), GSNode::kDetached);
    EXPECT_EQ(one.FindNode(old), nullptr);
    EXPECT_EQ(one.FindNode("a"), nullptr);
    one.AddNode(a);
    EXPECT_GT(a.Id(), d.Id());
    EXPECT_EQ(one.Nodes().First(), &a) << "new nodes go first";
}

TEST(RouterTest, PostingQueuesByDelay)
{
    const struct {
        const char* what;
        uint32_t delayMs;
        bool immediate;
        std::vector<float> steps;  // the step that delivers it is the last
    } cases[] = {
        {"no delay: the next step", 0, true, {0.0f}},
        {"250 ms: not at 200", 250, false, {0.2f, 0.05f}},
        {"1 ms: the first step that moves the clock", 1, false, {0.0f, 0.001f}},
        {"1500 ms", 1500, false, {1.0f, 0.4f, 0.1f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Routed r;
        Recorder to;
        r.router.AddNode(to);
        r.router.Step(0.5f);
        r.router.PostMessage(r.Message("Ping", "", 0, to.Id(), c.delayMs));
        EXPECT_EQ(r.router.ImmediateCount(), c.immediate ? 1u : 0u);
        EXPECT_EQ(r.router.DelayedCount(), c.immediate ? 0u : 1u);
        if (!c.immediate) {
            // The copy carries its due time on the router clock.
            const GSMessage queued = r.router.Delayed().front();
            EXPECT_EQ(queued.delay, (500 + c.delayMs) | GSMessage::kPooled);
        }
        for (size_t i = 0; i < c.steps.size(); ++i) {
            r.router.Step(c.steps[i]);
            EXPECT_EQ(to.got.size(), i + 1 == c.steps.size() ? 1u : 0u) << "step " << i;
        }
    }
}

TEST(RouterTest, AStepDeliversWhatWasQueuedBeforeIt)
{
    Routed r;
    Recorder to;
    r.router.AddNode(to);
    // Each immediate message posts another: that one waits for the next
    // step, after the delayed messages of this one.
    to.hook = [&](GSMessage& m) {
        if (std::string(r.router.Text(m.major)) == "Now" && to.got.size() < 3)
            r.router.PostMessage(r.Message("Now", "again", 0, to.Id()));
    };
    r.router.PostMessage(r.Message("Late", "b", 0, to.Id(), 100));
    r.router.PostMessage(r.Message("Late", "a", 0, to.Id(), 50));
    r.router.PostMessage(r.Message("Late", "a2", 0, to.Id(), 50));
    r.router.PostMessage(r.Message("Now", "first", 0, to.Id()));
    r.router.Step(0.1f);
    EXPECT_EQ(Minors(r.router, to.got), (std::vector<std::string>{"first", "a", "a2", "b"}));
    r.router.Step(0.1f);
    EXPECT_EQ(Minors(r.router, to.got), (std::vector<std::string>{"first", "a", "a2", "b", "again"}));
    r.router.Step(0.1f);
    EXPECT_EQ(to.got.size(), 5u);
    EXPECT_TRUE(r.router.Settled());
}

// The message's 30-bit due time wraps after about twelve days; the heap
// goes by the full time.
TEST(RouterTest, DelayedMessagesKeepTheirOrderWhenTheClockWraps)
{
    Routed r;
    Recorder to;
    r.router.AddNode(to);
    r.router.Step(1073741.0f);  // 1,073,741,000 ms: 824 ms before the 30 bits wrap
    r.router.PostMessage(r.Message("Late", "second", 0, to.Id(), 1000));
    r.router.PostMessage(r.Message("Late", "first", 0, to.Id(), 500));
    EXPECT_EQ(r.router.Delayed().front().delay & GSMessage::kDelayMask, 1073741500u);
    EXPECT_EQ(r.router.Delayed().back().delay & GSMessage::kDelayMask, 176u) << "the field wraps";
    r.router.Step(0.1f);
    EXPECT_TRUE(to.got.empty());
    r.router.Step(0.4f);
    EXPECT_EQ(Minors(r.router, to.got), std::vector<std::string>{"first"});
    r.router.Step(0.4f);
    EXPECT_EQ(to.got.size(), 1u);
    r.router.Step(0.1f);
    EXPECT_EQ(Minors(r.router, to.got), (std::vector<std::string>{"first", "second"}));
}

// However many are waiting, a delayed post is never dropped.
TEST(RouterTest, ThePoolGrowsForDelayedPosts)
{
    Routed r;
    Recorder to;
    r.router.AddNode(to);
    constexpr uint32_t kPosts = 5000;
    for (uint32_t i = 0; i < kPosts; ++i)
        r.router.PostMessage(r.Message("Late", "", 0, to.Id(), 1 + i % 7));
    EXPECT_EQ(r.router.DelayedCount(), kPosts);
    r.router.Step(1.0f);
    EXPECT_EQ(to.got.size(), kPosts);
}

TEST(RouterTest, DeliveryToOneToSubscribersOrToAll)
{
    const struct {
        const char* what;
        const char* major;
        bool toB;  // else a broadcast
        std::vector<int> reached;  // a b c
    } cases[] = {
        {"a user major to subscribers only", "User", false, {1, 0, 1}},
        {"a built-in major to every node", "Destroy", false, {1, 1, 1}},
        {"one destination, subscribed or not", "User", true, {0, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Routed r;
        Recorder a, b, cNode;
        for (Recorder* n : {&a, &b, &cNode})
            r.router.AddNode(*n);
        const uint16_t user = r.router.Intern("User");
        ASSERT_GE(user, GSRouter::kFirstUserId);
        r.router.Subscribe(a, user);
        r.router.Subscribe(cNode, user);
        GSMessage m = r.Message(c.major, "", a.Id(), c.toB ? b.Id() : 0);
        r.router.DeliverMessage(m);
        EXPECT_EQ((std::vector<int>{int(a.got.size()), int(b.got.size()), int(cNode.got.size())}), c.reached);
    }
}

TEST(RouterTest, NodesExcludedFromSubscriptionDelivery)
{
    Routed r;
    Recorder a, b;
    r.router.AddNode(a);
    r.router.AddNode(b);
    const uint16_t user = r.router.Intern("User");
    r.router.Subscribe(a, user);
    r.router.Subscribe(b, user);
    b.flags |= GSNode::kNoSubscriptionDelivery;
    GSMessage broadcast = r.Message("User", "", 0, 0);
    r.router.DeliverMessage(broadcast);
    EXPECT_EQ(a.got.size(), 1u);
    EXPECT_EQ(b.got.size(), 0u);
    // Sent to it, such a node hears it through its subscription first, and
    // then as the destination.
    GSMessage direct = r.Message("User", "", 0, b.Id());
    r.router.DeliverMessage(direct);
    EXPECT_EQ(b.got.size(), 2u);
}

TEST(RouterTest, BroadcastsReachSubscribersInAscendingAddresses)
{
    Routed r;
    std::vector<std::unique_ptr<Recorder>> nodes;
    std::vector<const GSNode*> heard;
    const uint16_t user = r.router.Intern("User");
    for (int i = 0; i < 20; ++i) {
        auto& n = nodes.emplace_back(std::make_unique<Recorder>());
        r.router.AddNode(*n);
        r.router.Subscribe(*n, user);
        n->hook = [&heard, node = n.get()](GSMessage&) { heard.push_back(node); };
    }
    GSMessage m = r.Message("User", "", 0, 0);
    r.router.DeliverMessage(m);
    ASSERT_EQ(heard.size(), 20u);
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end(), std::less<const GSNode*>()));
}

TEST(RouterTest, SubscriptionsAreCounted)
{
    Routed r;
    Recorder a, b;
    r.router.AddNode(a);
    r.router.AddNode(b);
    const uint16_t user = r.router.Intern("User");
    r.router.Subscribe(a, user);
    r.router.Subscribe(a, user);
    r.router.Subscribe(b, user);
    EXPECT_EQ(r.router.Subscriptions(a, user), 2u);
    EXPECT_EQ(r.router.SubscribersOf(user)->count, 2u) << "one record per node";
    r.router.Unsubscribe(a, user);
    EXPECT_EQ(r.router.Subscriptions(a, user), 1u);
    r.router.Unsubscribe(a, user);
    EXPECT_EQ(r.router.Subscriptions(a, user), 0u);
    EXPECT_EQ(r.router.SubscribersOf(user)->count, 1u);
    r.router.Unsubscribe(a, user);  // none left: nothing happens
    EXPECT_EQ(r.router.Subscriptions(b, user), 1u);

    // A detached node cannot subscribe; a removed one loses its own.
    Recorder loose;
    r.router.Subscribe(loose, user);
    EXPECT_EQ(r.router.Subscriptions(loose, user), 0u);
    r.router.RemoveNode(b);
    EXPECT_EQ(r.router.SubscribersOf(user)->count, 0u);
}

TEST(RouterTest, TheDestroyMajorMarksAnUnhandledNode)
{
    Routed r;
    Recorder a;
    r.router.AddNode(a);
    GSMessage other = r.Message("User", "", 0, a.Id());
    r.router.DeliverMessage(other);
    EXPECT_FALSE(a.flags & GSNode::kDestroyRequested);
    GSMessage destroy = r.Message("Destroy", "", 0, a.Id());
    r.router.DeliverMessage(destroy);
    EXPECT_TRUE(a.flags & GSNode::kDestroyRequested);
}

namespace {

struct Counted : GSNode {
    explicit Counted(int& gone) : deleted(gone) {}
    ~Counted() override { ++deleted; }
    int& deleted;
};

}  // namespace

TEST(RouterTest, UpdateRequests)
{
    Routed r;
    Recorder a;
    a.RequestUpdate();
    r.router.Step(0.1f);
    EXPECT_EQ(a.updates, 0) << "detached: remembered";
    r.router.AddNode(a);
    a.RequestUpdate();  // asked once, updated once
    r.router.Step(0.1f);
    EXPECT_EQ(a.updates, 1);
    r.router.Step(0.1f);
    EXPECT_EQ(a.updates, 1);

    // Its own queue is handled in order at the update.
    a.QueueOwnMessage(r.Message("User", "1", 0, a.Id()));
    a.QueueOwnMessage(r.Message("User", "2", 0, a.Id()));
    EXPECT_TRUE(a.got.empty());
    EXPECT_FALSE(r.router.Settled());
    r.router.Step(0.1f);
    EXPECT_EQ(Minors(r.router, a.got), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(r.router.Settled());

    // A detached node marked for destruction deletes itself when it asks.
    int deleted = 0;
    auto* doomed = new Counted(deleted);
    doomed->RequestUpdate();
    EXPECT_EQ(deleted, 0);
    doomed->flags |= GSNode::kDestroyRequested;
    doomed->RequestUpdate();
    EXPECT_EQ(deleted, 1);
}

// Nodes a broadcast's handlers take away are passed by; nodes they add
// wait for the next message.
TEST(RouterTest, ABroadcastSurvivesNodesComingAndGoing)
{
    Routed r;
    std::vector<std::unique_ptr<Recorder>> nodes;
    for (int i = 0; i < 4; ++i)
        r.router.AddNode(*nodes.emplace_back(std::make_unique<Recorder>()));
    // List order is newest first: nodes[3] hears it first and takes
    // itself and the rest but nodes[0] away, adding a new one.
    Recorder added;
    nodes[3]->hook = [&](GSMessage&) {
        r.router.RemoveNode(*nodes[3]);
        nodes[2].reset();
        r.router.RemoveNode(*nodes[1]);
        r.router.AddNode(added);
    };
    GSMessage m = r.Message("Destroy", "", 0, 0);
    r.router.DeliverMessage(m);
    EXPECT_EQ(nodes[3]->got.size(), 1u);
    EXPECT_EQ(nodes[1]->got.size(), 0u);
    EXPECT_EQ(nodes[0]->got.size(), 1u);
    EXPECT_EQ(added.got.size(), 0u);

    // The same over a subscription tree: the first subscriber (the lowest
    // address) unsubscribes the second, which still hears this message,
    // and takes the third away, which does not.
    Routed s;
    Recorder x, y, z;
    std::vector<Recorder*> order = {&x, &y, &z};
    std::sort(order.begin(), order.end(), std::less<Recorder*>());
    const uint16_t user = s.router.Intern("User");
    for (Recorder* n : order) {
        s.router.AddNode(*n);
        s.router.Subscribe(*n, user);
    }
    order[0]->hook = [&](GSMessage&) {
        s.router.Unsubscribe(*order[1], user);
        s.router.RemoveNode(*order[2]);
    };
    GSMessage b = s.Message("User", "", 0, 0);
    s.router.DeliverMessage(b);
    EXPECT_EQ(order[0]->got.size(), 1u);
    EXPECT_EQ(order[1]->got.size(), 1u);
    EXPECT_EQ(order[2]->got.size(), 0u);
}

TEST(RouterTest, ClearMessagesAndItsLine)
{
    Routed r;
    Recorder a("Alpha"), b;
    r.router.AddNode(a);
    r.router.AddNode(b);
    for (const char* minor : {"x", "y", "x"})
        r.router.PostMessage(r.Message("Timer", minor, 0, a.Id(), 100));
    r.router.PostMessage(r.Message("Timer", "x", 0, b.Id(), 100));
    r.router.PostMessage(r.Message("Other", "x", 0, a.Id(), 100));
    r.router.PostMessage(r.Message("Timer", "x", 0, a.Id()));  // immediate: stays
    r.log.Take();
    const uint16_t timer = r.router.Intern("Timer");
    EXPECT_EQ(r.router.ClearMessages(a, timer, r.router.Intern("x")), 2u);
    char line[128];
    std::snprintf(line, sizeof line, "2 queued router messages cleared for %04d 'Alpha', message Timer, x",
                  int(a.Id()));
    EXPECT_EQ(r.log.Take(), std::vector<std::string>{line});
    EXPECT_EQ(r.router.ClearMessages(a, timer, r.router.Intern("x")), 0u);
    EXPECT_TRUE(r.log.Take().empty()) << "nothing cleared, nothing logged";
    EXPECT_EQ(r.router.ClearMessages(a, timer, GSRouter::kAnyMinor), 1u) << "the empty minor matches any";
    EXPECT_EQ(r.router.DelayedCount(), 2u);
    EXPECT_EQ(r.router.ImmediateCount(), 1u);
    r.router.Step(0.2f);
    EXPECT_EQ(Minors(r.router, a.got), (std::vector<std::string>{"x", "x"}));
    EXPECT_EQ(b.got.size(), 1u);
}

TEST(RouterTest, InfoLines)
{
    Routed r;
    Recorder a, b;
    r.router.AddNode(a);
    r.router.AddNode(b);
    r.router.Subscribe(a, r.router.Intern("One"));
    r.router.Subscribe(b, r.router.Intern("Two"));
    r.router.PostMessage(r.Message("One", "", 0, a.Id(), 100));
    r.router.PostMessage(r.Message("One", "", 0, a.Id(), 200));
    r.router.PostMessage(r.Message("One", "", 0, a.Id()));
    a.RequestMessage("One", "", 0, 0);
    r.log.Take();
    r.router.PrintInfo();
    EXPECT_EQ(r.log.Take(),
              (std::vector<std::string>{"ROUTER INFO\n===========", "2 Node(s)", "2 Message(s) in the delay queue",
                                        "6 Major types", "2 Message allocations", "1 Frame message allocations",
                                        "2 Posted messages", "2 Subscription AVL trees"}));
}

TEST(RouterTest, RequestMessageAndTheRoutersEnd)
{
    LogCapture log;
    Recorder loose, a, b;
    EXPECT_EQ(loose.RequestMessage("Ping", "", 0, 0), nullptr);
    EXPECT_EQ(log.Take(), std::vector<std::string>{"GSNode::RequestMessage> source is not attached to router"});
    {
        GSRouter router(nullptr);
        router.AddNode(a);
        router.AddNode(b);
        const GSMessage* m = a.RequestMessage("Ping", "", b.Id(), 0x7FFFFFFF);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->major, router.Intern("Ping"));
        EXPECT_EQ(m->minor, GSRouter::kAnyMinor);
        EXPECT_EQ(m->source, a.Id());
        EXPECT_EQ(m->destination, b.Id());
        EXPECT_EQ(m->delay, 0x3FFFFFFFu | GSMessage::kPooled) << "the delay keeps its 30 bits";
        router.RemoveNode(b);
    }
    EXPECT_EQ(log.Take(), std::vector<std::string>{"GSRouter::Done(), 1 outstanding node(s)"});
    EXPECT_FALSE(a.Attached());
}
