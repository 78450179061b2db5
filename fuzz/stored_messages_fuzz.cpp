// Any bytes as a message store: reading never keeps a record it could not
// read whole, and what it kept writes back and reads again unchanged.
#include <cstdint>

#include "FuzzCheck.h"
#include "core/streams/TStream.h"
#include "online/MessageStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    TBuffer in;
    in.WriteBytes(data, static_cast<uint32_t>(size));
    in.Rewind();
    StoredMessageList messages;
    ReadStoredMessages(in, messages);
    FuzzCheck(messages.size() <= size / 8);

    TBuffer out;
    WriteStoredMessages(out, messages);
    out.Rewind();
    StoredMessageList again;
    ReadStoredMessages(out, again);
    FuzzCheck(out.GetError() == 0);
    FuzzCheck(again.size() == messages.size());
    for (size_t i = 0; i < messages.size(); ++i) {
        FuzzCheck(again[i]->asset == messages[i]->asset);
        FuzzCheck(again[i]->userName == messages[i]->userName);
    }
    return 0;
}
