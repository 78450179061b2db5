// A game object: a script object that is also a router node and owns the
// script threads that run its thread methods and the handlers that run a
// script method, or forward to a sniffing object, for the messages it gets.
#pragma once

#include <cstdint>
#include <vector>

#include "gs/runtime/objects/GSObject.h"
#include "gs/runtime/router/GSNode.h"
#include "gs/support/DoubleLinkList.h"

namespace GSRuntime {

class GSThread;
struct GSFunction;

// One entry of a game object's handler list.
struct GSHandler {
    uint16_t major;
    uint16_t minor;  // 1: any minor
    bool sniff;
    uint32_t node;  // the node whose method runs, or that sniffs
    GSClass* cls = nullptr;           // the class declaring the method
    GSFunction* function = nullptr;   // "$void@<Class>::<name>(Message)"
    uint64_t serial = 0;              // tells entries apart after changes
};

class GSGameObject : public GSObject, public GSNode {
public:
    static constexpr uint32_t kMaxThreads = 64;

    // Detached, asking for one update.
    GSGameObject() noexcept;
    // Deletes its threads and handlers and leaves its router.
    ~GSGameObject() override;

    // Drops its threads and handlers, then attaches the class only when it
    // derives from "GameObject" (any other class lets the instance go).
    bool AttachClass(GSClass* cls, GSContext* context) override;
    void ReleaseScriptState() override { ClearThreads(); }

    // Threads first (any that takes it handles it), then each matching
    // handler in order; a message of the major that destroys that nothing
    // handled marks the object for destruction.
    void HandleMessage(GSMessage& message) override;
    // The node's own messages, then one run of each thread present when
    // the update began (threads that end go); another update is asked for
    // while threads remain.
    void Update(float dt) override;
    bool Idle() const noexcept override { return GSNode::Idle() && threads_.Count() == 0; }

    // A new thread of this object, linked into its list, with an update
    // asked for; null when it has no instance or already runs kMaxThreads
    // threads.
    GSThread* NewThread();
    void DeleteThread(GSThread& thread);
    void ClearThreads();
    const Utils::DoubleLinkList& Threads() const noexcept { return threads_; }

    // Handlers, each with the object subscribed to its major.
    void AddHandler(const GSHandler& handler);
    // Removes the first sniff handler of the major and minor forwarding to
    // the node; false when there is none.
    bool RemoveSniff(uint16_t major, uint16_t minor, uint32_t node);
    void ClearHandlers();
    const std::vector<GSHandler>& Handlers() const noexcept { return handlers_; }

    // The natives of the script class GameObject; "me" is this object.
    void NativeSendMessage(GSThread& thread);
    void NativePostMessage(GSThread& thread);
    void NativeClearMessages(GSThread& thread);
    void NativeAddHandler(GSThread& thread);
    void NativeSniff(GSThread& thread);
    void NativeSleep(GSThread& thread);
    void NativeGetId(GSThread& thread);
    void NativeGetName(GSThread& thread);
    void NativeException(GSThread& thread);

private:
    bool HasHandler(uint64_t serial) const noexcept;
    // Runs the handler's method for the message as a nested run on the
    // machine thread; false when its object cannot run it.
    bool RunHandler(const GSHandler& handler, const GSMessage& message);

    Utils::DoubleLinkList threads_;
    std::vector<GSHandler> handlers_;
    uint64_t nextSerial_ = 1;
    uint32_t threadGeneration_ = 0;  // counts ClearThreads
    std::vector<GSThread*> spareThreadList_;  // an update's list, kept for the next
};

}  // namespace GSRuntime
