// A script world: the state scripts of one owner share. It tracks every
// value made in it, keeps one static object per static class of each
// library, and may own a message router. The tool's script context derives
// from it.
//
// Contexts enter a process-wide list when they are made (in order), so that
// game objects of other contexts can be found by id; they leave it when
// they end.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "gs/runtime/objects/GSValue.h"
#include "gs/runtime/objects/TrackedObjects.h"

class GSMachine;
class GSRouter;

namespace GSRuntime {

class GSClass;
class GSLibrary;
class GSObject;
class GSThread;
struct GSMessage;

class GSContext {
public:
    struct GSLibraryContext {
        GSLibrary* library;
        std::vector<GSObject*> statics;  // one per class of the library
    };

    // The context finds the system library in the machine given (the
    // process's machine when none).
    explicit GSContext(GSMachine* machine = nullptr);
    GSContext(const GSContext&) = delete;
    GSContext& operator=(const GSContext&) = delete;
    // Releases the static objects, destroys the router, leaves the list of
    // contexts, then frees every value still tracked.
    virtual ~GSContext();

    TrackedObjectTable& Tracked() noexcept { return tracked_; }
    GSRouter* Router() const noexcept { return router_.get(); }
    // The context owns the router from then on.
    void SetRouter(std::unique_ptr<GSRouter> router);
    // Whether objects of this context may be stored into instances of others.
    bool SharesObjects() const noexcept { return sharesObjects_; }
    void SetSharesObjects(bool shares) noexcept { sharesObjects_ = shares; }
    GSMachine& Machine() const;

    GSLibraryContext* GetLibraryContext(GSLibrary& library);
    // The one object of a static class in this context, made on first use;
    // null for a class not flagged static or when its constructor fails.
    GSObject* GetStaticObject(GSClass& cls);
    // A new script Message object for a router message, with one count (the
    // caller's): its view, or null when the system library's Message class
    // is missing or unfit.
    GSSlot* CreateMessageObject(const GSMessage& message);

    // Every live context, in the order they were made.
    static const std::vector<GSContext*>& All() noexcept;

    // The natives of the script class Router, on this context's router:
    // game objects by id (here or in any context) and by name, the
    // router's information, and posts between node ids.
    void NativeGetGameObject(GSThread& thread);
    void NativeGetForeignGameObject(GSThread& thread);
    void NativeGetGameObjectByName(GSThread& thread);
    void NativeInfo(GSThread& thread);
    void NativePostMessage(GSThread& thread);

private:
    TrackedObjectTable tracked_;
    std::map<uint64_t, std::unique_ptr<GSLibraryContext>> libraries_;
    std::unique_ptr<GSRouter> router_;
    bool sharesObjects_ = false;
    GSMachine* machine_;
};

}  // namespace GSRuntime
