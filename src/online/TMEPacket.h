// One packet of the reliable datagram link: its body in a growable buffer
// that the packet owns, written and read with the usual stream records, and
// the link's bookkeeping beside it.
#pragma once

#include <cstdint>

#include "core/streams/TStream.h"

class TMEPacket : public TBuffer {
public:
    TMEPacket() = default;
    // A packet holding a copy of the bytes, positioned at its start.
    TMEPacket(const uint8_t* body, uint32_t size);

    uint32_t BodySize() const noexcept;
    const uint8_t* BodyData() const noexcept;

    // 0 for unsequenced packets (keep-alive, acknowledgement, close).
    uint8_t sequence = 0;
    // Stamped at every send.
    uint8_t acknowledgement = 0;
    uint8_t sendCount = 0;
    // Tool-clock seconds.
    float lastSendTime = 0.0f;
};
