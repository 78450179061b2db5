#include "gs/support/FrameMemory.h"

#include <cstdlib>
#include <cstring>

namespace Utils {

FrameMemory::FrameMemory() { StartPages(kDefaultPageSize); }

FrameMemory::~FrameMemory() { Reset(); }

void FrameMemory::FreeChain(Page* page) noexcept
{
    while (page) {
        Page* next = page->next;
        std::free(page);
        page = next;
    }
}

void FrameMemory::Reset() noexcept
{
    FreeChain(first_);
    FreeChain(large_);
    first_ = current_ = large_ = nullptr;
    handedOut_ = allocations_ = pageSize_ = 0;
}

FrameMemory::Page* FrameMemory::NewPage() noexcept { return NewPage(pageSize_); }

FrameMemory::Page* FrameMemory::NewPage(size_t size) noexcept
{
    if (size > UINT32_MAX)
        return nullptr;
    auto* page = static_cast<Page*>(std::malloc(sizeof(Page) + size));
    if (!page)
        return nullptr;
    page->data = reinterpret_cast<uint8_t*>(page + 1);
    page->used = 0;
    page->size = static_cast<uint32_t>(size);
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

char* FrameMemory::CopyLongText(std::string_view text)
{
    if (!current_ || text.size() >= UINT32_MAX)
        return nullptr;
    char* copy = nullptr;
    if (text.size() < pageSize_) {
        copy = static_cast<char*>(Alloc(static_cast<uint32_t>(text.size() + 1), 1));
    } else {
        Page* page = NewPage(text.size() + 1);
        if (page) {
            page->used = page->size;
            page->next = large_;
            large_ = page;
            handedOut_ += page->size;
            ++allocations_;
            copy = reinterpret_cast<char*>(page->data);
        }
    }
    if (copy) {
        std::memcpy(copy, text.data(), text.size());
        copy[text.size()] = 0;
    }
    return copy;
}

}  // namespace Utils
