#include <algorithm>
#include <cstring>

#include "config/tree/ACSConvert.h"
#include "config/formats/ConfigText.h"
#include "config/tree/TagTreeOps.h"
#include "core/streams/TStream.h"

namespace ConfigText {

std::string SanitiseName(std::string_view name)
{
    std::string out;
    AppendSanitisedName(out, name);
    return out;
}

void AppendSanitisedName(std::string& out, std::string_view name)
{
    size_t from = out.size();
    out.append(name.substr(0, kMaxWrittenName));
    for (size_t i = from; i < out.size(); ++i) {
        auto b = static_cast<uint8_t>(out[i]);
        if (b <= 0x20 || b >= 0x80)
            out[i] = '_';
        else if (b >= 'A' && b <= 'Z')
            out[i] = static_cast<char>(b + ('a' - 'A'));
    }
}

void WriteQuoted(std::string& out, std::string_view text, bool force)
{
    if (text.empty())
        return;
    bool quote = force || text.find_first_of("\r\n \t") != std::string_view::npos;
    if (quote)
        out += '"';
    size_t from = out.size();
    out += text;
    // There is no escape for the quotation mark, so one inside the text
    // would end it early when read back.
    for (size_t i = from; i < out.size(); ++i) {
        if (out[i] == '"')
            out[i] = '\'';
    }
    if (quote)
        out += '"';
}

namespace {

constexpr int kIndentUnit = 2;
constexpr int kValueColumn = 40;

// Collects the text and hands it to the stream in large pieces: every
// stream write is a transfer of its own.
class TextSink {
public:
    explicit TextSink(TStream& stream) : stream_(stream) { text_.reserve(kFlushAt + 4096); }

    // Numbers are written by the converters to text that ACSConvert would
    // pick, the built-in ones, unless others were registered ahead of them.
    bool builtInNumbers = BuiltInNumberTexts();
    ~TextSink() { Flush(); }
    TextSink(const TextSink&) = delete;
    TextSink& operator=(const TextSink&) = delete;

    std::string& Text() noexcept { return text_; }
    void Indent(int level) { text_.append(size_t(level) * kIndentUnit, ' '); }
    void LineEnd()
    {
        text_ += "\r\n";
        if (text_.size() >= kFlushAt)
            Flush();
    }
    void Flush()
    {
        const char* p = text_.data();
        size_t left = text_.size();
        while (left) {
            auto n = static_cast<uint32_t>(std::min<size_t>(left, 1u << 30));
            stream_.WriteBytes(p, n);
            p += n;
            left -= n;
        }
        text_.clear();
    }

private:
    static bool BuiltInNumberTexts()
    {
        const ACSConverter* ints = nullptr;
        const ACSConverter* floats = nullptr;
        for (const ACSConverter* c = ACSConverter::First(); c; c = c->Next()) {
            if (c->OutputType() != ACS_TYPE_STRING)
                continue;
            if (!ints && c->InputType() == ACS_TYPE_INT)
                ints = c;
            if (!floats && c->InputType() == ACS_TYPE_FLOAT)
                floats = c;
        }
        return dynamic_cast<const ACSConverter_IntText*>(ints) && dynamic_cast<const ACSConverter_FloatText*>(floats);
    }

    static constexpr size_t kFlushAt = 1 << 16;
    TStream& stream_;
    std::string text_;
};

// The text of a string value: its bytes up to the first NUL.
std::string_view TextOf(const uint8_t* data, uint32_t size) noexcept
{
    const char* p = reinterpret_cast<const char*>(data);
    if (!p)
        return {};
    const void* nul = std::memchr(p, 0, size);
    return {p, nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : size};
}

// Appends the text a value is written as; nothing for values that have
// none. Straight from the chunk's bytes: a large file is mostly values, and
// a value object and a converted copy for each would cost more than the
// rest of the line.
void AppendValue(std::string& out, const ChunkRef& chunk, ACSValueType type, bool builtInNumbers)
{
    switch (type) {
    case ACS_TYPE_STRING:
    case ACS_TYPE_STRING_ALT:
        // The second string code has no converter; it is still a text.
        WriteQuoted(out, TextOf(chunk->GetData(), chunk->GetDataSize()), true);
        return;
    // Number texts hold no blank and no quotation mark: never quoted.
    case ACS_TYPE_INT:
        if (builtInNumbers) {
            AppendIntText(out, chunk->GetData(), chunk->GetDataSize());
            return;
        }
        break;
    case ACS_TYPE_FLOAT:
        if (builtInNumbers) {
            AppendFloatText(out, chunk->GetData(), chunk->GetDataSize());
            return;
        }
        break;
    case ACS_TYPE_KUID:
        break;
    default:
        return;
    }
    WriteQuoted(out, RawDataText(ACSConvert(type, ACSRawData::FromChunk(chunk), ACS_TYPE_STRING)), false);
}

bool WriteChildren(const ChunkRef& container, TextSink& sink, int level);

void WriteTag(const ChunkRef& chunk, const Nyx::PString& name, TextSink& sink, int level, bool& complete)
{
    ACSValueType type = chunk->GetType();
    std::string& out = sink.Text();
    sink.Indent(level);
    AppendSanitisedName(out, name.View());
    if (type == ACS_TYPE_CONTAINER) {
        sink.LineEnd();
        sink.Indent(level);
        out += '{';
        sink.LineEnd();
        complete &= WriteChildren(chunk, sink, level + 1);
        sink.Indent(level);
        out += '}';
        return;
    }
    // Measured on the name as stored, before it is cut or sanitised.
    int64_t pad = int64_t(kValueColumn - level * kIndentUnit) - int64_t(name.Length());
    out.append(size_t(pad < 1 ? 1 : pad), ' ');
    AppendValue(out, chunk, type, sink.builtInNumbers);
}

bool WriteChildren(const ChunkRef& container, TextSink& sink, int level)
{
    bool complete = true;
    uint32_t count = container->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!container->GetChildAt(i, name, child))
            continue;
        if (!child)
            child = ChunkRef::SharedEmpty();
        if (child->GetType() == ACS_TYPE_CONTAINER) {
            // The reader could not take it back, and the stack would not
            // survive a tree that contains itself.
            if (level + 1 > kMaxTreeDepth) {
                complete = false;
                continue;
            }
            if (i > 0) {
                sink.Indent(level);
                sink.LineEnd();
            }
        }
        WriteTag(child, name, sink, level, complete);
        sink.LineEnd();
    }
    return complete;
}

}  // namespace
}  // namespace ConfigText

bool WriteConfigText(TStream& stream, const ChunkRef& root)
{
    if (!root)
        return true;
    ConfigText::TextSink sink(stream);
    sink.Text() += "\xEF\xBB\xBF";
    sink.LineEnd();
    return ConfigText::WriteChildren(root, sink, 0);
}
