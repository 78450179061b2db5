// A pointer that does not hold its target and reads null once the target
// has gone: the target keeps the ring of pointers that refer to it and
// clears them when it is destroyed.
#pragma once

template <class T>
class SafePointer;

template <class T>
class SafePointerTarget {
public:
    SafePointerTarget() = default;
    SafePointerTarget(const SafePointerTarget&) = delete;
    SafePointerTarget& operator=(const SafePointerTarget&) = delete;
    ~SafePointerTarget() { ClearSafePointers(); }

    // Every pointer to this target reads null from now on.
    void ClearSafePointers() noexcept
    {
        while (head_.next_ != &head_)
            head_.next_->Detach();
    }

private:
    friend class SafePointer<T>;
    SafePointer<T> head_;  // the ring's head; its own target stays null
};

template <class T>
class SafePointer {
public:
    SafePointer() = default;
    explicit SafePointer(T* target) { Set(target); }
    SafePointer(const SafePointer& other) { Set(other.target_); }
    SafePointer& operator=(const SafePointer& other)
    {
        if (this != &other)
            Set(other.target_);
        return *this;
    }
    ~SafePointer() { Detach(); }

    void Set(T* target)
    {
        Detach();
        if (!target)
            return;
        SafePointer& head = static_cast<SafePointerTarget<T>*>(target)->head_;
        target_ = target;
        next_ = head.next_;
        prev_ = &head;
        head.next_->prev_ = this;
        head.next_ = this;
    }
    T* Get() const noexcept { return target_; }

private:
    friend class SafePointerTarget<T>;

    void Detach() noexcept
    {
        next_->prev_ = prev_;
        prev_->next_ = next_;
        next_ = prev_ = this;
        target_ = nullptr;
    }

    T* target_ = nullptr;
    SafePointer* next_ = this;
    SafePointer* prev_ = this;
};
