// Reads arbitrary bytes as config text, writes the tree back and reads that
// text again. The writer's text of a tree the reader built must read back to
// a tree that the writer renders with the very same bytes, except where the
// format itself changes a value (a float whose text is "-0", an infinity or
// not a number, names that collide once sanitised, a name starting
// with '{'). Two rounds are checked, so a tree that came from the writer's
// text is checked too.
#include <cstdint>
#include <set>
#include <string>

#include "config/tree/ACSConvert.h"
#include "config/formats/ConfigText.h"
#include "config/tree/TagTreeOps.h"
#include "core/streams/TStream.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

std::string Write(const ChunkRef& root)
{
    TBuffer out;
    Check(WriteConfigText(out, root));
    Check(out.GetError() == TStream::kErrNone);
    const Nyx::DynamicBuffer* b = out.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

ChunkRef Read(const std::string& text)
{
    TBuffer in;
    if (!text.empty())
        in.GetBuffer()->Write(text.data(), static_cast<uint32_t>(text.size()), 1);
    in.GetBuffer()->Seek(0);
    ChunkRef root;
    Check(ReadConfigText(root, in, false));
    return root;
}

// Whether the tree holds nothing that the format turns into something else
// on the way back.
bool WritesBackUnchanged(const ChunkRef& chunk, int depth)
{
    Check(depth <= kMaxTreeDepth);
    std::set<std::string> names;
    bool unchanged = true;
    for (uint32_t i = 0; i < chunk->GetChildCount(); ++i) {
        Nyx::PString name;
        ChunkRef child;
        Check(chunk->GetChildAt(i, name, child));
        Check(!name.Empty() && name.Length() <= ConfigText::kMaxReadName);
        unchanged &= names.insert(ConfigText::SanitiseName(name.View())).second;
        // After a line without value, a line starting with '{' opens a
        // container for it.
        unchanged &= name.View().front() != '{';
        if (child->GetType() == ACS_TYPE_CONTAINER) {
            unchanged &= WritesBackUnchanged(child, depth + 1);
        } else if (child->GetType() == ACS_TYPE_FLOAT) {
            ACSRawData value = ACSConvert(ACS_TYPE_FLOAT, ACSRawData::FromChunk(child), ACS_TYPE_STRING);
            std::string_view text = RawDataText(value);
            unchanged &= text.find_first_of("in") == std::string_view::npos && text.find("-0,") == std::string_view::npos &&
                         text != "-0" && !text.ends_with(",-0");
        }
    }
    return unchanged;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1u << 20)
        return 0;
    TBuffer stream;
    if (size)
        stream.GetBuffer()->Write(data, static_cast<uint32_t>(size), 1);
    stream.GetBuffer()->Seek(0);

    ChunkRef first;
    if (!ReadConfigText(first, stream, false)) {
        Check(!first);
        return 0;
    }
    Check(stream.Tell() <= size);
    // Each round's text must read back to a tree that writes the same text,
    // unless the tree holds something the format changes.
    ChunkRef tree = first;
    for (int round = 0; round < 2; ++round) {
        // An empty root writes a byte-order mark alone, which reads as no tree.
        bool exact = !tree || (tree->GetChildCount() > 0 && WritesBackUnchanged(tree, 0));
        std::string text = Write(tree);
        ChunkRef next = Read(text);
        Check(!tree == !next || tree->GetChildCount() == 0);
        if (exact)
            Check(Write(next) == text);
        tree = next;
    }
    return 0;
}
