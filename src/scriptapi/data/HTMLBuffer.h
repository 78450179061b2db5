// A growable text buffer into which scripts write raw HTML and escaped
// text. It only grows: Clear keeps the room. Growth takes the appended
// length plus twice the old room, so a run of appends costs amortised
// constant time per byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "nyx/base/PString.h"

class HTMLBuffer {
public:
    HTMLBuffer() = default;
    HTMLBuffer(const HTMLBuffer&) = delete;
    HTMLBuffer& operator=(const HTMLBuffer&) = delete;
    virtual ~HTMLBuffer() = default;

    // Nothing for null bytes or a count of 0; false, with nothing appended,
    // when the text would pass what a 32-bit length holds.
    bool Append(const char* bytes, uint32_t count)
    {
        // Scripts append in small pieces: the common case stays inline.
        if (bytes && count && count <= capacity_ - length_) {
            std::memcpy(text_.get() + length_, bytes, count);
            length_ += count;
            return true;
        }
        return Grow(bytes, count);
    }
    // Appends the text with "<", ">" and "&" as entities and each line
    // break (CR, LF, CR LF or LF CR) as "<br>"; a non-empty text marks the
    // buffer as no longer empty.
    void Escape(const char* text);
    // The text up to its first NUL.
    Nyx::PString AsString() const;
    void Clear() noexcept;

    bool IsEmpty() const noexcept { return empty_; }
    uint32_t Length() const noexcept { return length_; }
    uint32_t Capacity() const noexcept { return capacity_; }

private:
    // Append when the room is short (or there is nothing to append).
    bool Grow(const char* bytes, uint32_t count);

    std::unique_ptr<char[]> text_;
    uint32_t capacity_ = 0;
    uint32_t length_ = 0;
    // Print leaves it as it is: only escaped text counts as content.
    bool empty_ = true;
};
