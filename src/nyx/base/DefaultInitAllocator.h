// An allocator whose containers leave new elements of plain types as
// allocated instead of zeroing them: for arrays that are written whole
// before they are read, where zeroing first would touch every byte twice.
// Growth that must read as zeros says so (resize(n, 0), assign(n, 0)).
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace Nyx {

template <typename T, typename Base = std::allocator<T>>
class DefaultInitAllocator : public Base {
    using Traits = std::allocator_traits<Base>;

public:
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U, typename Traits::template rebind_alloc<U>>;
    };

    using Base::Base;

    // No arguments: default-initialised, which leaves a plain value as is.
    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        Traits::construct(static_cast<Base&>(*this), p, std::forward<Args>(args)...);
    }
};

}  // namespace Nyx
