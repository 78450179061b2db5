// Mode "worldlist IN OUT": the world list of file IN loaded into a new
// list (cleared first, every section read) and saved to OUT with no item
// selected out; prints the number of items loaded. Items of type 'test'
// keep their payloads, so a list of them saves back as it was read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/streams/TStream.h"
#include "scriptapi-harness/HarnessModes.h"
#include "scriptapi-harness/TestWorldItem.h"
#include "scriptapi/world/WorldList.h"

namespace {

int WorldListRoundTrip(std::span<char* const> args)
{
    if (args.size() != 2) {
        std::fputs("worldlist: give IN and OUT\n", stderr);
        return 2;
    }
    std::ifstream in(args[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "worldlist: cannot read %s\n", args[0]);
        return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    TestWorldItemFactory factory;
    TBuffer source;
    source.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
    source.Rewind();
    WorldList list;
    list.LoadItems(source, true, 0xFFFFFFFFu);

    TBuffer saved;
    list.SaveItems(saved, 0);
    Nyx::DynamicBuffer* buffer = saved.GetBuffer();
    std::ofstream out(args[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(buffer->Data()), buffer->DataLength());
    if (!out.flush()) {
        std::fprintf(stderr, "worldlist: cannot write %s\n", args[1]);
        return 1;
    }
    std::printf("= items %u\n", list.ItemCount());
    return 0;
}

const HarnessModeRegistration kMode({"worldlist", "IN OUT", &WorldListRoundTrip});

}  // namespace
