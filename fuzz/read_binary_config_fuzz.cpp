// Reads arbitrary bytes as an "ACS$" file and works the views it gives: every
// child is reached by index and by name, every value is read as every type,
// a few edits go through the overlay, and the tree is written and read again.
// Beyond crashes, it checks that the views agree with themselves: counts
// match what the index walk finds, a child's name finds a real child, edits
// change the count by one, and a rewritten tree reads back with the same
// shape.
#include <cstdint>
#include <cstring>

#include "config/tree/ACSConvert.h"
#include "config/formats/BinaryConfig.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataTag.h"
#include "config/tree/TagTreeOps.h"
#include "core/streams/TStream.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

void ReadValue(const ChunkRef& parent, const Nyx::PString& name, const ChunkRef& child)
{
    using Tag = TDBContainerTag;
    (void)Tag::GetInt(parent, name, 0);
    (void)Tag::GetBool(parent, name, false);
    (void)Tag::GetFloat(parent, name, 0.0f);
    (void)Tag::GetKUID(parent, name, KUID::Null);
    Nyx::PString text = Tag::GetString(parent, name);
    Check(text.Length() == std::strlen(text.c_str()));
    FloatArray floats;
    (void)Tag::GetFloatArray(parent, name, floats);

    ACSRawData raw = ACSRawData::FromChunk(child);
    Check(raw.Size() == child->GetDataSize());
    for (int type = ACS_TYPE_NONE; type <= ACS_TYPE_KUID; ++type) {
        ACSRawData out = ACSConvert(child->GetType(), raw, static_cast<ACSValueType>(type));
        (void)RawDataText(out);
    }
}

// Returns the number of chunks visited below `chunk`.
uint32_t Walk(const ChunkRef& chunk, int depth)
{
    Check(depth <= kMaxTreeDepth);
    uint32_t visited = 0;
    uint32_t count = chunk->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        Check(chunk->GetChildAt(i, name, child));
        Check(child.IsReal());
        ++visited;
        ChunkRef found = chunk->FindChild(name);
        Check(found.IsReal());
        ReadValue(chunk, name, child);
        if (child->GetType() == ACS_TYPE_CONTAINER)
            visited += Walk(child, depth + 1);
    }
    Nyx::PString name;
    ChunkRef past;
    Check(!chunk->GetChildAt(count, name, past));
    return visited;
}

void Edit(const ChunkRef& root)
{
    uint32_t count = root->GetChildCount();
    auto* tag = new TDBDataTag;
    int32_t seven = 7;
    tag->SetValue(ACS_TYPE_INT, ACSRawData::Copy(&seven, 4));
    ChunkRef added(tag);
    root->AddChild("fuzz-added", added);
    root->AddChild("fuzz-again", added);
    Check(root->GetChildCount() == count + 1);

    // Moving a value of the file into the first child container.
    Nyx::PString name;
    ChunkRef first;
    if (count > 0 && root->GetChildAt(0, name, first)) {
        root->RemoveChild(first);
        Check(root->GetChildCount() == count);
        ChunkRef sub = TDBContainerTag::GetChildContainerAt(root, 0);
        if (sub && first->GetType() != ACS_TYPE_CONTAINER) {
            uint32_t subCount = sub->GetChildCount();
            sub->AddChild(name, first);
            Check(sub->GetChildCount() == subCount + 1);
            sub->RemoveChild(first);
            Check(sub->GetChildCount() == subCount);
        }
    }
    root->RemoveChild(added);
    Check(root->GetChildCount() == (count > 0 ? count - 1 : 0));
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

    ChunkRef root;
    if (!ReadBinaryConfig(stream, root))
        return 0;
    uint32_t visited = Walk(root, 0);

    TBuffer rewritten;
    Check(WriteBinaryConfig(rewritten, root));
    rewritten.Rewind();
    ChunkRef again;
    // A file whose root has no children reads as no config at all.
    bool reread = ReadBinaryConfig(rewritten, again);
    Check(reread == (root->GetChildCount() > 0));
    Check(!reread || Walk(again, 0) == visited);

    Edit(root);
    Walk(root, 0);
    return 0;
}
