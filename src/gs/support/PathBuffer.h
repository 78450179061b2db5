// A file-name text built up by the compiler: strip to the bare name, append
// components. It grows as needed, so no path is ever cut.
#pragma once

#include <string>
#include <string_view>

class PathBuffer {
public:
    PathBuffer() = default;
    explicit PathBuffer(std::string_view text) : text_(text) {}

    // Keeps only what follows the last "\", "/" or ":".
    void StripDirectory();
    // Adds "/" unless the text is empty or already ends in "\" or "/",
    // then the component.
    void Append(std::string_view component);

    void Assign(std::string_view text) { text_ = text; }
    void Clear() noexcept { text_.clear(); }
    const std::string& Str() const noexcept { return text_; }
    const char* c_str() const noexcept { return text_.c_str(); }

private:
    std::string text_;
};
