#include "gs/support/PathBuffer.h"

void PathBuffer::StripDirectory()
{
    size_t cut = text_.find_last_of("\\/:");
    if (cut != std::string::npos)
        text_.erase(0, cut + 1);
}

void PathBuffer::Append(std::string_view component)
{
    if (!text_.empty() && text_.back() != '\\' && text_.back() != '/')
        text_ += '/';
    text_ += component;
}
