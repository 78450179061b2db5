// Posting, delivering and clearing messages, and the router's step.
#include <algorithm>
#include <cmath>
#include <functional>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"

using GSRuntime::GSGameObject;
using GSRuntime::GSMessage;
using GSRuntime::GSNode;
using GSRuntime::GSThread;
using GSRuntime::Subscription;

void GSRouter::PostMessage(const GSMessage& message)
{
    const uint32_t delay = message.delay & GSMessage::kDelayMask;
    if (delay == 0) {
        immediate_.push_back(message);
        return;
    }
    GSMessage* copy = AllocateMessage();
    // The heap goes by the full due time: the 30 bits the message carries
    // wrap after about twelve days.
    const uint64_t due = clockMs_ + delay;
    *copy = message;
    copy->delay = (uint32_t(due) & GSMessage::kDelayMask) | (message.delay & GSMessage::kForwarding) |
                  GSMessage::kPooled;
    ++postedMessages_;
    delayed_.push_back(Due{due, serial_++, copy});
    std::push_heap(delayed_.begin(), delayed_.end(), std::greater<>());
}

void GSRouter::DeliverMessage(GSMessage& message)
{
    if (message.major == kDebug && message.minor == kDumpStacks) {
        DumpStacks(message.destination);
        return;
    }
    if (message.destination != 0) {
        GSNode* node = FindNode(message.destination);
        if (!node)
            return;
        if (message.major >= kFirstUserId && (node->flags & GSNode::kNoSubscriptionDelivery) &&
            Subscriptions(*node, message.major) != 0) {
            node->HandleMessage(message);
            // The handling may have taken the node away.
            node = FindNode(message.destination);
            if (!node)
                return;
        }
        node->HandleMessage(message);
        return;
    }
    // A broadcast walks the ids of the nodes it had when it began and looks
    // each up again: handlers it runs may add or take away nodes and
    // subscriptions.
    std::vector<uint32_t>& ids = TakeSnapshot();
    if (message.major >= kFirstUserId) {
        if (const GSRuntime::MajorSubscriptions* record = SubscribersOf(message.major)) {
            Utils::GSIAVLTree::Iterator it;
            for (auto* s = it.Begin(record->tree); s; s = it.Next())
                ids.push_back(static_cast<const Subscription*>(s)->node->Id());
        }
    } else {
        for (auto* n = nodes_.First(); n; n = nodes_.After(*n))
            ids.push_back(static_cast<GSNode*>(n)->Id());
    }
    const bool subscribers = message.major >= kFirstUserId;
    for (size_t i = 0; i < ids.size(); ++i) {
        GSNode* node = FindNode(ids[i]);
        if (node && !(subscribers && (node->flags & GSNode::kNoSubscriptionDelivery)))
            node->HandleMessage(message);
    }
    DropSnapshot();
}

uint32_t GSRouter::ClearMessages(const GSNode& node, uint16_t major, uint16_t minor)
{
    uint32_t cleared = 0;
    for (size_t i = delayed_.size(); i-- > 0;) {
        const GSMessage& m = *delayed_[i].message;
        if (m.destination != node.Id() || m.major != major || (minor != kAnyMinor && m.minor != minor))
            continue;
        FreeMessage(delayed_[i].message);
        delayed_.erase(delayed_.begin() + std::ptrdiff_t(i));
        ++cleared;
    }
    if (cleared == 0)
        return 0;
    std::make_heap(delayed_.begin(), delayed_.end(), std::greater<>());
    const char* name = node.GetName();
    const char* majorText = Text(major);
    const char* minorText = Text(minor);
    ScriptLog("%d queued router messages cleared for %04d '%s', message %s, %s", int(cleared), int(node.Id()),
              name ? name : "", majorText ? majorText : "", minorText ? minorText : "");
    return cleared;
}

std::vector<GSMessage> GSRouter::Delayed() const
{
    std::vector<Due> order = delayed_;
    std::sort(order.begin(), order.end(), [](const Due& a, const Due& b) { return b > a; });
    std::vector<GSMessage> messages;
    for (const Due& d : order)
        messages.push_back(*d.message);
    return messages;
}

void GSRouter::DumpThreads(GSGameObject& object)
{
    const char* name = object.GetName();
    int number = 0;
    for (auto* t = object.Threads().First(); t; t = object.Threads().After(*t)) {
        ScriptLog("*** STACK DUMP OF THREAD %d ON GAME OBJECT %s, id %d ***", number++, name ? name : "",
                  int(object.Id()));
        static_cast<GSThread*>(t)->stack.Dump();
    }
}

void GSRouter::DumpStacks(uint32_t destination)
{
    if (destination == 0) {
        ScriptLog("*** DUMPING ALL THREAD STACKS ***");
        for (auto* n = nodes_.First(); n; n = nodes_.After(*n)) {
            if (auto* object = dynamic_cast<GSGameObject*>(static_cast<GSNode*>(n)))
                DumpThreads(*object);
        }
        return;
    }
    GSNode* node = FindNode(destination);
    auto* object = node && (node->flags & GSNode::kAlive) ? dynamic_cast<GSGameObject*>(node) : nullptr;
    if (object)
        DumpThreads(*object);
}

void GSRouter::Step(float dt)
{
    // Steps of more than a year are a year: the clock never wraps.
    constexpr double kLongestStep = 365.0 * 24 * 3600;
    if (std::isfinite(dt) && dt > 0.0f)
        clockMs_ += uint64_t(std::llround(std::min(double(dt), kLongestStep) * 1000.0));

    // What was queued before the step; posts made while it runs wait for
    // the next one.
    for (size_t n = immediate_.size(); n > 0 && !immediate_.empty(); --n) {
        GSMessage message = immediate_.front();
        immediate_.pop_front();
        DeliverMessage(message);
    }
    // A post made while these are delivered is due after the clock.
    while (!delayed_.empty() && delayed_.front().due <= clockMs_) {
        std::pop_heap(delayed_.begin(), delayed_.end(), std::greater<>());
        GSMessage* pooled = delayed_.back().message;
        delayed_.pop_back();
        GSMessage message = *pooled;
        FreeMessage(pooled);
        DeliverMessage(message);
    }

    std::vector<uint32_t>& ids = TakeSnapshot();
    ids.swap(updates_);
    for (uint32_t id : ids) {
        GSNode* node = FindNode(id);
        if (!node || !node->updateRequested_)
            continue;
        node->updateRequested_ = false;
        node->Update(dt);
    }
    ids.clear();
    DropSnapshot();
    frameUsed_ = 0;
}
