#include "online/TMEPacket.h"

TMEPacket::TMEPacket(const uint8_t* body, uint32_t size)
{
    if (size != 0)
        WriteBytes(body, size);
    Rewind();
}

uint32_t TMEPacket::BodySize() const noexcept { return GetBuffer()->DataLength(); }

const uint8_t* TMEPacket::BodyData() const noexcept
{
    return GetBuffer()->Data();
}
