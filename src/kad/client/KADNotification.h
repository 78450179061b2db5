// One notification from the daemon, kept until its handler runs: its kind
// and its payload, rewound for reading.
#pragma once

#include <cstdint>

#include "core/streams/TStream.h"
#include "nyx/base/DynamicBuffer.h"

struct KADNotification {
    static constexpr uint32_t kKindValue = 0;        // a value for the client's callback
    static constexpr uint32_t kKindCommandHost = 1;  // a job for the command host
    static constexpr uint32_t kKindQuestion = 2;     // a question about a running request
    static constexpr uint32_t kKindResults = 3;      // results for a request's log

    KADNotification() = default;
    KADNotification(const KADNotification&) = delete;
    KADNotification& operator=(const KADNotification&) = delete;

    bool IsResults() const noexcept { return kind == kKindResults; }

    uint32_t kind = 0;
    Nyx::DynamicBuffer buffer{512};
    // Declared after the buffer it reads, so it goes first.
    TBuffer stream{&buffer};
};
