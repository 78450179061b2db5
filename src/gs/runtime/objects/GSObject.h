// The native side of script-visible values: every value a script holds a
// reference to is a GSObjectReference; a GSObject can carry an instance of
// a script class and belongs to the context it was attached in.
#pragma once

#include <cstdint>

namespace GSRuntime {

class GSContext;

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
    virtual void* GetInstance() = 0;

    uint32_t Kind() const noexcept { return kind_; }

protected:
    uint32_t kind_;
};

class GSObject : public GSObjectReference {
public:
    GSObject() noexcept : GSObjectReference(kPlainObject) {}
    void* GetInstance() override { return instance_; }
    GSContext* Context() const noexcept { return context_; }

protected:
    void* instance_ = nullptr;
    GSContext* context_ = nullptr;
};

}  // namespace GSRuntime
