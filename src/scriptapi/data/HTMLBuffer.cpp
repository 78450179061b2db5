#include "scriptapi/data/HTMLBuffer.h"

#include <cstring>
#include <string_view>

bool HTMLBuffer::Grow(const char* bytes, uint32_t count)
{
    if (!bytes || count == 0)
        return true;
    if (count > UINT32_MAX - length_)
        return false;
    if (length_ + count > capacity_) {
        const uint64_t wanted = uint64_t(count) + 2 * uint64_t(capacity_);
        const uint32_t room = wanted > UINT32_MAX ? UINT32_MAX : uint32_t(wanted);
        auto grown = std::make_unique_for_overwrite<char[]>(room);
        if (length_)
            std::memcpy(grown.get(), text_.get(), length_);
        std::memset(grown.get() + length_, 0, room - length_);
        text_ = std::move(grown);
        capacity_ = room;
    }
    std::memcpy(text_.get() + length_, bytes, count);
    length_ += count;
    return true;
}

void HTMLBuffer::Escape(const char* text)
{
    if (!text || !*text)
        return;
    empty_ = false;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '<':
            Append("&lt;", 4);
            break;
        case '>':
            Append("&gt;", 4);
            break;
        case '&':
            Append("&amp;", 5);
            break;
        case '\r':
            if (p[1] == '\n')
                ++p;
            Append("<br>", 4);
            break;
        case '\n':
            if (p[1] == '\r')
                ++p;
            Append("<br>", 4);
            break;
        default:
            Append(p, 1);
            break;
        }
    }
}

Nyx::PString HTMLBuffer::AsString() const
{
    if (length_ == 0)
        return Nyx::PString();
    const std::string_view all(text_.get(), length_);
    return Nyx::PString(all.substr(0, all.find('\0')));
}

void HTMLBuffer::Clear() noexcept
{
    if (length_)
        std::memset(text_.get(), 0, length_);
    length_ = 0;
    empty_ = true;
}
