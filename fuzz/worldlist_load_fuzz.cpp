// Loads a world list from arbitrary bytes with the test item type known,
// every section read (the state section too), then reads the rest as a
// typed-state section over the same list. Whatever the bytes, a load makes
// no id from 2^20 on, leaves the stream inside the data, and what it kept
// saves and loads back to the same items.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "core/streams/TStream.h"
#include "scriptapi-harness/TestWorldItem.h"
#include "scriptapi/world/WorldList.h"

namespace {

TestWorldItemFactory factory;

// The typed-state item: every list slot may hold one.
class TypedItem : public WorldListItem {
public:
    uint32_t GetTypeCode() override { return WorldList::kTypedStateType; }
    void LoadTypedState(TStream& s) override { bytes = TestWorldItem::ReadRest(s); }
    std::string bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    TBuffer in;
    in.WriteBytes(data, static_cast<uint32_t>(size));
    in.Rewind();
    WorldList list;
    list.InsertAt(1, *new TypedItem);
    list.LoadItems(in, false, 0xFFFFFFFFu);
    FuzzCheck(list.Count() <= WorldList::kMaxLoadedId);
    FuzzCheck(in.Tell() <= size);
    list.LoadTypedState(in);
    FuzzCheck(in.Tell() <= size);

    TBuffer saved;
    list.SaveItems(saved, 0);
    saved.Rewind();
    WorldList again;
    FuzzCheck(again.LoadItems(saved, true, 0xFFFFFFFFu));
    for (uint32_t id = 0; id < list.Count(); ++id) {
        auto* before = dynamic_cast<TestWorldItem*>(list.ItemAt(id));
        auto* after = dynamic_cast<TestWorldItem*>(again.ItemAt(id));
        FuzzCheck((before == nullptr) == (after == nullptr));
        if (before)
            FuzzCheck(before->Payload() == after->Payload() && before->GetKUID() == after->GetKUID());
    }
    return 0;
}
