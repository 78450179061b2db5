// The native side of script-visible values: every value a script holds a
// reference to is a GSObjectReference; a GSObject can carry an instance of
// a script class and belongs to the context it was attached in.
#pragma once

#include <cstdint>

#include "gs/runtime/objects/GSValue.h"

namespace GSRuntime {

class GSClass;
class GSContext;
class GSScriptInstance;

class GSObjectReference {
public:
    static constexpr uint32_t kArray = 1;
    static constexpr uint32_t kString = 2;
    static constexpr uint32_t kPlainObject = 3;
    static constexpr uint32_t kGameObject = 4;

    explicit GSObjectReference(uint32_t kind) noexcept : kind_(kind) {}
    GSObjectReference(const GSObjectReference&) = delete;
    GSObjectReference& operator=(const GSObjectReference&) = delete;
    virtual ~GSObjectReference() = default;
    // The view scripts hold: an object's field block, an array's or a
    // string's one-word view.
    virtual GSSlot* GetInstance() = 0;
    // The instance's last count went.
    virtual void LastReferenceGone() = 0;
    // Drops what holds script references besides the instance's own fields
    // (a game object's threads); the context runs it before it frees its
    // values.
    virtual void ReleaseScriptState() {}

    uint32_t Kind() const noexcept { return kind_; }

protected:
    uint32_t kind_;
};

class GSObject : public GSObjectReference {
public:
    GSObject() noexcept : GSObjectReference(kPlainObject) {}
    // Destroys the instance when nothing else holds it; otherwise lets go of
    // it, and the instance lives on while scripts hold it.
    ~GSObject() override;

    GSSlot* GetInstance() override { return instance_; }
    void LastReferenceGone() override;

    // Makes an instance of the class in the context, running its
    // constructors; a null class lets go of the instance. False when the
    // object already has an instance or a constructor fails.
    virtual bool AttachClass(GSClass* cls, GSContext* context);

    GSContext* Context() const noexcept { return context_; }
    GSScriptInstance* Instance() const noexcept;
    // The object belongs to its instance from now on: it is deleted when the
    // last reference goes (objects that scripts make).
    void GiveToInstance() noexcept { ownedByInstance_ = true; }
    bool OwnedByInstance() const noexcept { return ownedByInstance_; }
    // The context's end freed the instance.
    void InstanceFreed() noexcept
    {
        instance_ = nullptr;
        context_ = nullptr;
    }

    // The view of the instance holding `part` as the class: the whole block
    // for its own class, a base part, or null.
    static GSSlot* CastToClass(GSSlot* part, const GSClass* cls) noexcept;

protected:
    explicit GSObject(uint32_t kind) noexcept : GSObjectReference(kind) {}

    GSSlot* instance_ = nullptr;
    GSContext* context_ = nullptr;
    bool ownedByInstance_ = false;

    friend class GSClass;
};

}  // namespace GSRuntime
