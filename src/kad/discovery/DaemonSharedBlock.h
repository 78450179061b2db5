// The 36-byte block through which the asset-database daemon tells its
// clients which process serves a data folder and on which loopback port.
//
// Processes that never share a build read and write it, so the offsets are
// the format. Every field is touched through the accessors below: the block
// lives in memory other processes write at the same time, and a plain load
// could tear or be cached.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

struct DaemonSharedBlock {
    static constexpr uint32_t kNoProcess = 0xFFFFFFFFu;
    static constexpr uint32_t kInitialMode = 3;
    static constexpr uint8_t kInitialAttachCount = 1;

    uint32_t holderProcessId;  // kNoProcess: nobody holds the block
    uint32_t claimProcessId;   // kNoProcess: nobody claims it
    uint32_t reserved8;
    uint32_t reserved12;
    uint32_t modeWord;         // gates the arithmetic on attachCount
    uint8_t attachCount;       // bumped without the lock by clients: never trusted
    uint8_t padding21[3];
    uint32_t refuseFlag;       // non-zero: clients that find the block must leave
    uint8_t reserved28;
    uint8_t padding29[3];
    uint32_t daemonPort;       // only the low 16 bits are a port

    // The values the process that creates the block writes (the padding is
    // left as it is).
    void Initialise(uint32_t creatorProcessId) noexcept
    {
        Store(holderProcessId, creatorProcessId);
        Store(claimProcessId, kNoProcess);
        Store(reserved8, kNoProcess);
        Store(reserved12, 0u);
        Store(modeWord, kInitialMode);
        Store(attachCount, kInitialAttachCount);
        Store(refuseFlag, 0u);
        Store(reserved28, uint8_t(0));
        Store(daemonPort, 0u);
    }

    template <class T>
    static T Load(T& field) noexcept
    {
        return std::atomic_ref<T>(field).load(std::memory_order_acquire);
    }
    template <class T, class V>
    static void Store(T& field, V value) noexcept
    {
        std::atomic_ref<T>(field).store(static_cast<T>(value), std::memory_order_release);
    }
};

static_assert(std::endian::native == std::endian::little, "the block is shared little-endian");
static_assert(sizeof(DaemonSharedBlock) == 36);
static_assert(offsetof(DaemonSharedBlock, holderProcessId) == 0);
static_assert(offsetof(DaemonSharedBlock, claimProcessId) == 4);
static_assert(offsetof(DaemonSharedBlock, reserved8) == 8);
static_assert(offsetof(DaemonSharedBlock, reserved12) == 12);
static_assert(offsetof(DaemonSharedBlock, modeWord) == 16);
static_assert(offsetof(DaemonSharedBlock, attachCount) == 20);
static_assert(offsetof(DaemonSharedBlock, refuseFlag) == 24);
static_assert(offsetof(DaemonSharedBlock, reserved28) == 28);
static_assert(offsetof(DaemonSharedBlock, daemonPort) == 32);
