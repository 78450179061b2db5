// Callback objects: a call bound to its target, handed to the job queue and
// deleted by whoever runs (or discards) it. The argument is pointer-wide so a
// bound member function can receive an object pointer.
#pragma once

#include <cstdint>

class TCXCallbackBase {
public:
    TCXCallbackBase() = default;
    TCXCallbackBase(const TCXCallbackBase&) = delete;
    TCXCallbackBase& operator=(const TCXCallbackBase&) = delete;
    virtual ~TCXCallbackBase() = default;

    virtual int32_t Invoke(intptr_t) { return -1; }
};

// A member function of T taking an untyped pointer, bound to an object.
template <class T>
class TCXCallbackCPPVoidPtr : public TCXCallbackBase {
public:
    using Method = void (T::*)(void*);

    TCXCallbackCPPVoidPtr(T* object, Method method) : object_(object), method_(method) {}

    int32_t Invoke(intptr_t argument) override
    {
        (object_->*method_)(reinterpret_cast<void*>(argument));
        return 0;
    }

private:
    T* object_;
    Method method_;
};

// A plain function taking an integer.
class TCXCallbackCIntPtr : public TCXCallbackBase {
public:
    using Function = void (*)(intptr_t);

    explicit TCXCallbackCIntPtr(Function function) : function_(function) {}

    int32_t Invoke(intptr_t argument) override
    {
        function_(argument);
        return 0;
    }

private:
    Function function_;
};
