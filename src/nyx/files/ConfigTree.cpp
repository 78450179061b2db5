#include "nyx/files/ConfigTree.h"

#include <charconv>
#include <string>

namespace Nyx {

const ConfigTree ConfigTree::unknownItem;

namespace {

bool SameKey(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Splits the text into words, quoted texts, braces and line ends.
class Tokens {
public:
    enum Kind { kWord, kOpen, kClose, kLineEnd, kEnd, kBad };

    explicit Tokens(std::string_view text) : text_(text) {}

    Kind Next(std::string& word)
    {
        word.clear();
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++pos_;
                return kLineEnd;
            }
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
                continue;
            }
            if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    ++pos_;
                continue;
            }
            if (c == '{' || c == '}') {
                ++pos_;
                return c == '{' ? kOpen : kClose;
            }
            if (c == '"') {
                const size_t close = text_.find('"', pos_ + 1);
                if (close == std::string_view::npos)
                    return kBad;
                word.assign(text_.substr(pos_ + 1, close - pos_ - 1));
                pos_ = close + 1;
                return kWord;
            }
            const size_t start = pos_;
            while (pos_ < text_.size() && std::string_view(" \t\r\n{}\"").find(text_[pos_]) == std::string_view::npos &&
                   !(text_[pos_] == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/'))
                ++pos_;
            word.assign(text_.substr(start, pos_ - start));
            return kWord;
        }
        return kEnd;
    }

    // The next token that is no line end.
    Kind NextOnAnyLine(std::string& word)
    {
        Kind kind;
        while ((kind = Next(word)) == kLineEnd) {
        }
        return kind;
    }

    size_t Position() const noexcept { return pos_; }
    void Rewind(size_t pos) noexcept { pos_ = pos; }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Reads items into `parent` up to the closing brace (or the end at the top).
bool ReadItems(Tokens& tokens, ConfigTree& parent, uint32_t depth)
{
    std::string word;
    for (;;) {
        const Tokens::Kind kind = tokens.NextOnAnyLine(word);
        if (kind == Tokens::kEnd)
            return depth == 0;
        if (kind == Tokens::kClose)
            return depth > 0;
        if (kind != Tokens::kWord)
            return false;  // a brace without a key, or a broken quote
        ConfigTree item(word, std::string_view());
        // The value: the next word on the key's line.
        size_t mark = tokens.Position();
        Tokens::Kind after = tokens.Next(word);
        if (after == Tokens::kWord) {
            item = ConfigTree(item.Key().View(), word);
            mark = tokens.Position();
            after = tokens.Next(word);
        }
        if (after == Tokens::kBad)
            return false;
        // Children: a brace on this line or the first one after it.
        if (after == Tokens::kLineEnd)
            after = tokens.NextOnAnyLine(word);
        if (after == Tokens::kOpen) {
            if (depth + 1 >= ConfigTree::kMaxDepth || !ReadItems(tokens, item, depth + 1))
                return false;
        } else {
            tokens.Rewind(mark);
        }
        parent.AddChild(std::move(item));
    }
}

}  // namespace

ConfigTree& ConfigTree::AddChild(ConfigTree child)
{
    children_.push_back(std::move(child));
    return children_.back();
}

uint32_t ConfigTree::Count(std::string_view key) const noexcept
{
    uint32_t n = 0;
    for (const ConfigTree& child : children_)
        n += SameKey(child.key_.View(), key) ? 1 : 0;
    return n;
}

const ConfigTree& ConfigTree::operator()(std::string_view key, uint32_t n) const noexcept
{
    for (const ConfigTree& child : children_)
        if (SameKey(child.key_.View(), key) && n-- == 0)
            return child;
    return unknownItem;
}

const ConfigTree& ConfigTree::operator>>(float& target) const noexcept
{
    const std::string_view text = value_.View();
    float value = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (known_ && error == std::errc())
        target = value;
    return *this;
}

const ConfigTree& ConfigTree::operator>>(bool& target) const noexcept
{
    if (!known_)
        return *this;
    const std::string_view text = value_.View();
    for (const char* yes : {"true", "yes", "on", "1"})
        if (SameKey(text, yes))
            target = true;
    for (const char* no : {"false", "no", "off", "0"})
        if (SameKey(text, no))
            target = false;
    return *this;
}

const ConfigTree& ConfigTree::operator>>(String& target) const
{
    if (known_)
        target = value_;
    return *this;
}

const ConfigTree& ConfigTree::operator>>(PString& target) const
{
    if (known_)
        target = PString(value_.View());
    return *this;
}

uint32_t ConfigTree::ParseText(std::string_view text, ConfigTree& root, float& version)
{
    root = ConfigTree(std::string_view(), std::string_view());
    version = 0.0f;
    Tokens tokens(text);
    if (!ReadItems(tokens, root, 0)) {
        root = ConfigTree();
        return kFormatError;
    }
    root("version") >> version;
    return kOk;
}

uint32_t ConfigTree::Parse(const PString& base, const File::Path& path, ConfigTree& root, float& version)
{
    File file;
    if (!file.Open(base, path, File::kModeRead))
        return kOpenError;
    const int64_t size = file.Size();
    // A description is a few lines; anything past this is no description.
    constexpr int64_t kMaxText = 16 << 20;
    if (size < 0 || size > kMaxText)
        return kOpenError;
    std::string text(static_cast<size_t>(size), '\0');
    if (file.Read(text.data(), 1, static_cast<uint32_t>(size)) != static_cast<uint32_t>(size))
        return kOpenError;
    return ParseText(text, root, version);
}

}  // namespace Nyx
