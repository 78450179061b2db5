#include "gs/support/FrameMemory.h"

#include <cstdlib>
#include <cstring>

namespace Utils {

FrameMemory::FrameMemory() { StartPages(kDefaultPageSize); }

FrameMemory::~FrameMemory() { Reset(); }

void FrameMemory::Reset() noexcept
{
    for (Page* p = first_; p;) {
        Page* next = p->next;
        std::free(p);
        p = next;
    }
    first_ = current_ = nullptr;
    handedOut_ = allocations_ = pageSize_ = 0;
}

FrameMemory::Page* FrameMemory::NewPage() noexcept
{
    auto* page = static_cast<Page*>(std::malloc(sizeof(Page) + pageSize_));
    if (!page)
        return nullptr;
    page->data = reinterpret_cast<uint8_t*>(page + 1);
    page->used = 0;
    page->size = pageSize_;
    page->next = nullptr;
    return page;
}

bool FrameMemory::StartPages(uint32_t pageSize)
{
    Reset();
    pageSize_ = pageSize;
    first_ = current_ = NewPage();
    return first_ != nullptr;
}

void* FrameMemory::Alloc(uint32_t size, uint32_t alignment)
{
    if (alignment == 0)
        alignment = 1;
    uint64_t needs = uint64_t(size) + alignment - 1;
    if (!current_ || needs > pageSize_)
        return nullptr;
    if (current_->size - current_->used < needs) {
        if (!current_->next) {
            Page* page = NewPage();
            if (!page)
                return nullptr;
            current_->next = page;
        }
        current_ = current_->next;
    }
    auto address = reinterpret_cast<uintptr_t>(current_->data + current_->used);
    uintptr_t aligned = (address + alignment - 1) & ~uintptr_t(alignment - 1);
    current_->used += static_cast<uint32_t>(aligned - address) + size;
    handedOut_ += size;
    ++allocations_;
    return reinterpret_cast<void*>(aligned);
}

char* FrameMemory::StrDup(const char* text)
{
    if (!text)
        return nullptr;
    size_t length = std::strlen(text);
    if (length >= UINT32_MAX)
        return nullptr;
    auto* copy = static_cast<char*>(Alloc(static_cast<uint32_t>(length + 1), 1));
    if (copy)
        std::memcpy(copy, text, length + 1);
    return copy;
}

}  // namespace Utils
