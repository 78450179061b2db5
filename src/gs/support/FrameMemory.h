// Page allocator for short-lived texts and records that are freed all at
// once: allocations are carved from the current page, the next page of the
// chain (made when there is none) takes over when a request does not fit,
// and nothing is freed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace Utils {

class FrameMemory {
public:
    static constexpr uint32_t kDefaultPageSize = 2048;

    // Page size 2048 with its first page.
    FrameMemory();
    FrameMemory(const FrameMemory&) = delete;
    FrameMemory& operator=(const FrameMemory&) = delete;
    virtual ~FrameMemory();

    // Frees every page and clears every field; Alloc then gives null until
    // StartPages gives the memory a first page again.
    void Reset() noexcept;
    // Sets the page size and makes the first page (after a Reset).
    bool StartPages(uint32_t pageSize);

    // Null when there is no page, or when size + alignment - 1 is more
    // than a page holds. Alignment is a power of two.
    void* Alloc(uint32_t size, uint32_t alignment);
    // A NUL-terminated copy; null for a null text or when it does not fit.
    char* StrDup(const char* text);
    // A NUL-terminated copy of any length: a text that does not fit a page
    // gets a page of its own, freed with the others. Null only when memory
    // runs out (or there is no page at all).
    char* CopyText(std::string_view text)
    {
        // Names and literals are short: one that fits the current page is
        // copied here.
        if (current_ && text.size() < current_->size - current_->used) {
            char* copy = reinterpret_cast<char*>(current_->data + current_->used);
            if (!text.empty())
                std::memcpy(copy, text.data(), text.size());
            copy[text.size()] = 0;
            current_->used += static_cast<uint32_t>(text.size() + 1);
            handedOut_ += static_cast<uint32_t>(text.size() + 1);
            ++allocations_;
            return copy;
        }
        return CopyLongText(text);
    }

    uint32_t PageSize() const noexcept { return pageSize_; }
    uint32_t BytesHandedOut() const noexcept { return handedOut_; }
    uint32_t Allocations() const noexcept { return allocations_; }

private:
    struct Page {
        uint8_t* data;
        uint32_t used;
        uint32_t size;
        Page* next;
    };
    char* CopyLongText(std::string_view text);
    Page* NewPage() noexcept;
    static Page* NewPage(size_t size) noexcept;
    static void FreeChain(Page* page) noexcept;

    Page* first_ = nullptr;
    Page* current_ = nullptr;
    // Pages of their own for texts longer than a page; never allocated from.
    Page* large_ = nullptr;
    uint32_t handedOut_ = 0;
    uint32_t allocations_ = 0;
    uint32_t pageSize_ = 0;
};

}  // namespace Utils
