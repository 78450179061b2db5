// The records the client and the daemon read from each other: a filter tree,
// an asset information record and a KUID list. The first input byte picks
// the record, the rest are its bytes. Whatever reads must write back to
// bytes that read and write again unchanged, and a filter tree must equal
// its own re-read.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/streams/TStream.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KUIDListWire.h"

namespace {

std::string Bytes(const TBuffer& s)
{
    const Nyx::DynamicBuffer* b = s.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

void Load(TBuffer& s, const std::string& bytes)
{
    s.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
    s.Rewind();
}

std::string Filter(const std::string& in, std::unique_ptr<KADFilterElement>& element)
{
    TBuffer input;
    Load(input, in);
    element = ReadFilterElement(input);
    TBuffer output;
    if (element)
        WriteFilterElement(output, element.get());
    return Bytes(output);
}

std::string Record(const std::string& in)
{
    TBuffer input;
    Load(input, in);
    AssetRecord record;
    AssetRecord::Parse(input, record);
    TBuffer output;
    WriteAssetInfo(output, record);
    return Bytes(output);
}

std::string List(const std::string& in)
{
    TBuffer input;
    Load(input, in);
    KUIDRing ring;
    ReadKUIDList(input, ring);
    TBuffer output;
    WriteKUIDList(output, ring);
    return Bytes(output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0: {
        std::unique_ptr<KADFilterElement> first, second, third;
        const std::string once = Filter(bytes, first);
        if (!first)
            break;
        const std::string twice = Filter(once, second);
        const std::string thrice = Filter(twice, third);
        if (!second || !third || twice != thrice || !FilterElementsEqual(second.get(), third.get()))
            std::abort();
        break;
    }
    case 1: {
        const std::string once = Record(bytes);
        if (Record(once) != once)
            std::abort();
        break;
    }
    default: {
        const std::string once = List(bytes);
        if (List(once) != once)
            std::abort();
        break;
    }
    }
    return 0;
}
