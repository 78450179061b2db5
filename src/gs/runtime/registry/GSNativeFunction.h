// Native functions: a script function declared native is bound at link time
// to the binding registered under its class name and its signature string
// ("$int@KUIDList::CountKUIDs()"), compared as interned strings. The
// binding reads its parameters from the calling thread's stack and pushes
// its result there.
#pragma once

#include <typeinfo>

#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSObject.h"
#include "gs/support/DoubleLinkList.h"
#include "nyx/base/PString.h"

namespace GSRuntime {

class GSThread;

class GSNativeFunction : public Utils::IDoubleLinkListNode {
public:
    GSNativeFunction(const Nyx::PString& className, const Nyx::PString& signature)
        : className_(className), signature_(signature)
    {
    }
    ~GSNativeFunction() override = default;

    // False when the call cannot be made on this target.
    virtual bool Call(GSObject* target, GSThread& thread) = 0;

    const Nyx::PString& ClassName() const noexcept { return className_; }
    const Nyx::PString& Signature() const noexcept { return signature_; }

private:
    Nyx::PString className_;
    Nyx::PString signature_;
};

// A plain function, given the target's context.
class GSCNativeFunction : public GSNativeFunction {
public:
    using Handler = void (*)(GSContext* context, GSThread& thread);

    GSCNativeFunction(const Nyx::PString& className, const Nyx::PString& signature, Handler handler)
        : GSNativeFunction(className, signature), handler_(handler)
    {
    }
    bool Call(GSObject* target, GSThread& thread) override
    {
        if (!target)
            return false;
        handler_(target->Context(), thread);
        return true;
    }

private:
    Handler handler_;
};

// A member function of the target's own class T; a target of another
// class is refused.
template <class T>
class GSCPPNativeFunction : public GSNativeFunction {
public:
    using Handler = void (T::*)(GSThread& thread);

    GSCPPNativeFunction(const Nyx::PString& className, const Nyx::PString& signature, Handler handler)
        : GSNativeFunction(className, signature), handler_(handler)
    {
    }
    bool Call(GSObject* target, GSThread& thread) override
    {
        if (!target)
            return false;
        // Most targets are of T itself, which a type comparison settles
        // without walking the hierarchy.
        T* self = typeid(*target) == typeid(T) ? static_cast<T*>(target) : dynamic_cast<T*>(target);
        if (!self)
            return false;
        (self->*handler_)(thread);
        return true;
    }

private:
    Handler handler_;
};

// A member function of the target's context, of context class T.
template <class T>
class GSCPPContextNativeFunction : public GSNativeFunction {
public:
    using Handler = void (T::*)(GSThread& thread);

    GSCPPContextNativeFunction(const Nyx::PString& className, const Nyx::PString& signature, Handler handler)
        : GSNativeFunction(className, signature), handler_(handler)
    {
    }
    bool Call(GSObject* target, GSThread& thread) override
    {
        T* context = target ? dynamic_cast<T*>(target->Context()) : nullptr;
        if (!context)
            return false;
        (context->*handler_)(thread);
        return true;
    }

private:
    Handler handler_;
};

}  // namespace GSRuntime
