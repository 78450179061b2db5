// Pool of fixed-size blocks carved from chunks, one bit per block telling
// whether it is free. Allocation fills the fullest chunk first, so empty
// chunks can be given back once enough free blocks remain elsewhere, and
// takes a chunk's lowest free block, so blocks allocated one after another
// (the nodes of a syntax tree as it is built) lie one after another in
// memory and are read back in that order.
#pragma once

#include <bit>
#include <cstdint>

namespace Utils {

class BlockMemory {
public:
    BlockMemory() = default;
    BlockMemory(const BlockMemory&) = delete;
    BlockMemory& operator=(const BlockMemory&) = delete;
    virtual ~BlockMemory();

    // Block size rounds up to a multiple of 4, blocks per chunk to one of
    // 32; `reserve` free blocks are kept before an empty chunk is released.
    bool Init(uint32_t blockSize, uint32_t blocksPerChunk, uint32_t reserve);
    void* Alloc()
    {
        // The usual case, inline: the current chunk's lowest free word has
        // a block, and taking it does not fill the chunk.
        if (Chunk* chunk = current_; chunk && chunk->inUse + 1 < blocksPerChunk_) {
            const uint32_t w = chunk->lowFreeWord;
            const uint32_t word = chunk->bitmap[w];
            if (word) {
                const uint32_t bit = static_cast<uint32_t>(std::countl_zero(word));
                chunk->bitmap[w] = word & ~(0x80000000u >> bit);
                ++chunk->inUse;
                ++inUse_;
                return chunk->start + uint64_t(w * 32 + bit) * blockSize_;
            }
        }
        return AllocSlow();
    }
    // False for an address that is not a block of this pool, or a block
    // that is free already.
    bool Free(void* address);
    void MarkAllFree() noexcept;
    // Releases every chunk but the first, then marks all free.
    void Shrink();
    void Destroy() noexcept;

    uint32_t BlockSize() const noexcept { return blockSize_; }
    uint32_t BlocksPerChunk() const noexcept { return blocksPerChunk_; }
    uint32_t BitmapWords() const noexcept { return bitmapWords_; }
    uint32_t InUse() const noexcept { return inUse_; }
    uint32_t ChunkCount() const noexcept { return chunkCount_; }

private:
    struct Chunk {
        uint8_t* raw;
        uint8_t* start;
        uint8_t* end;
        uint32_t* bitmap;  // 1 = free; block i is bit 31 - i % 32 of word i / 32
        uint32_t inUse;
        // No bitmap word below this one has a free block, so a search
        // for the first word with one starts here.
        uint32_t lowFreeWord;
    };
    void* AllocSlow();
    int MakeChunk() noexcept;
    void ReleaseChunk(uint32_t index) noexcept;
    void ChooseCurrent() noexcept;

    Chunk** chunks_ = nullptr;  // sorted by start address
    uint32_t chunkCount_ = 0;
    uint32_t chunkCapacity_ = 0;
    Chunk* current_ = nullptr;
    uint32_t reserve_ = 0;
    uint32_t blocksPerChunk_ = 0;
    uint32_t bitmapWords_ = 0;
    uint32_t blockSize_ = 0;
    uint32_t alignment_ = 4;
    uint32_t inUse_ = 0;
    // Chunks with no free block: when all are, a new one is made without
    // looking through them.
    uint32_t fullChunks_ = 0;
};

}  // namespace Utils
