#include "gs/support/BlockMemory.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace Utils {

BlockMemory::~BlockMemory() { Destroy(); }

bool BlockMemory::Init(uint32_t blockSize, uint32_t blocksPerChunk, uint32_t reserve)
{
    Destroy();
    blockSize_ = (blockSize + 3) & ~3u;
    if (blockSize_ == 0)
        blockSize_ = 4;
    blocksPerChunk_ = (blocksPerChunk + 31) & ~31u;
    if (blocksPerChunk_ == 0)
        blocksPerChunk_ = 32;
    bitmapWords_ = blocksPerChunk_ / 32;
    reserve_ = reserve;
    alignment_ = 4;
    inUse_ = 0;
    chunkCount_ = 0;
    chunks_ = static_cast<Chunk**>(std::malloc(sizeof(Chunk*)));
    chunkCapacity_ = chunks_ ? 1 : 0;
    return chunks_ != nullptr;
}

int BlockMemory::MakeChunk() noexcept
{
    if (blockSize_ == 0)
        return -1;  // not initialised
    if (chunkCount_ == chunkCapacity_) {
        const uint32_t capacity = chunkCapacity_ ? chunkCapacity_ * 2 : 1;
        auto** grown = static_cast<Chunk**>(std::realloc(chunks_, sizeof(Chunk*) * capacity));
        if (!grown)
            return -1;
        chunks_ = grown;
        chunkCapacity_ = capacity;
    }
    uint64_t bytes = uint64_t(blockSize_) * blocksPerChunk_;
    if (bytes > UINT32_MAX)
        return -1;
    auto* chunk = static_cast<Chunk*>(std::malloc(sizeof(Chunk)));
    uint8_t* raw = static_cast<uint8_t*>(std::malloc(bytes + alignment_ - 1));
    auto* bitmap = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * bitmapWords_));
    if (!chunk || !raw || !bitmap) {
        std::free(chunk);
        std::free(raw);
        std::free(bitmap);
        return -1;
    }
    auto address = reinterpret_cast<uintptr_t>(raw);
    chunk->raw = raw;
    chunk->start = raw + ((alignment_ - (address % alignment_)) % alignment_);
    chunk->end = chunk->start + bytes;
    chunk->bitmap = bitmap;
    std::memset(bitmap, 0xFF, sizeof(uint32_t) * bitmapWords_);
    chunk->inUse = 0;
    chunk->lowFreeWord = 0;
    uint32_t at = 0;
    while (at < chunkCount_ && chunks_[at]->start < chunk->start)
        ++at;
    std::memmove(chunks_ + at + 1, chunks_ + at, sizeof(Chunk*) * (chunkCount_ - at));
    chunks_[at] = chunk;
    ++chunkCount_;
    return static_cast<int>(at);
}

void BlockMemory::ReleaseChunk(uint32_t index) noexcept
{
    Chunk* chunk = chunks_[index];
    if (current_ == chunk)
        current_ = nullptr;
    std::free(chunk->raw);
    std::free(chunk->bitmap);
    std::free(chunk);
    std::memmove(chunks_ + index, chunks_ + index + 1, sizeof(Chunk*) * (chunkCount_ - index - 1));
    --chunkCount_;
}

void BlockMemory::ChooseCurrent() noexcept
{
    current_ = nullptr;
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        Chunk* c = chunks_[i];
        if (c->inUse < blocksPerChunk_ && (!current_ || c->inUse >= current_->inUse))
            current_ = c;
    }
}

void* BlockMemory::AllocSlow()
{
    if (!current_) {
        int index = MakeChunk();
        if (index < 0)
            return nullptr;
        current_ = chunks_[index];
    }
    Chunk* chunk = current_;
    for (uint32_t w = chunk->lowFreeWord; w < bitmapWords_; ++w) {
        uint32_t word = chunk->bitmap[w];
        if (word == 0)
            continue;
        chunk->lowFreeWord = w;
        uint32_t bit = static_cast<uint32_t>(std::countl_zero(word));  // lowest block index first
        chunk->bitmap[w] = word & ~(0x80000000u >> bit);
        ++chunk->inUse;
        ++inUse_;
        if (chunk->inUse == blocksPerChunk_) {
            ++fullChunks_;
            if (fullChunks_ == chunkCount_)
                current_ = nullptr;
            else
                ChooseCurrent();
        }
        return chunk->start + uint64_t(w * 32 + bit) * blockSize_;
    }
    return nullptr;  // a chunk counted as not full always has a free bit
}

bool BlockMemory::Free(void* address)
{
    if (inUse_ % 16 == 0)
        ChooseCurrent();
    auto* p = static_cast<uint8_t*>(address);
    uint32_t low = 0, high = chunkCount_;
    Chunk* chunk = nullptr;
    uint32_t index = 0;
    while (low < high) {
        uint32_t mid = (low + high) / 2;
        Chunk* c = chunks_[mid];
        if (p < c->start) {
            high = mid;
        } else if (p >= c->end) {
            low = mid + 1;
        } else {
            chunk = c;
            index = mid;
            break;
        }
    }
    if (!chunk)
        return false;
    uint64_t offset = uint64_t(p - chunk->start);
    if (offset % blockSize_ != 0)
        return false;
    uint64_t block = offset / blockSize_;
    if (block >= blocksPerChunk_)
        return false;
    uint32_t mask = 0x80000000u >> (block % 32);
    uint32_t& word = chunk->bitmap[block / 32];
    if (word & mask)
        return false;
    word |= mask;
    if (chunk->inUse == blocksPerChunk_)
        --fullChunks_;
    if (block / 32 < chunk->lowFreeWord)
        chunk->lowFreeWord = static_cast<uint32_t>(block / 32);
    --chunk->inUse;
    --inUse_;
    int64_t freeElsewhere = int64_t(chunkCount_ - 1) * blocksPerChunk_ - inUse_;
    if (chunk->inUse == 0 && int64_t(reserve_) < freeElsewhere) {
        ReleaseChunk(index);
        ChooseCurrent();
    }
    return true;
}

void BlockMemory::MarkAllFree() noexcept
{
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        std::memset(chunks_[i]->bitmap, 0xFF, sizeof(uint32_t) * bitmapWords_);
        chunks_[i]->inUse = 0;
        chunks_[i]->lowFreeWord = 0;
    }
    inUse_ = 0;
    fullChunks_ = 0;
    current_ = chunkCount_ ? chunks_[0] : nullptr;
}

void BlockMemory::Shrink()
{
    while (chunkCount_ > 1)
        ReleaseChunk(chunkCount_ - 1);
    MarkAllFree();
}

void BlockMemory::Destroy() noexcept
{
    while (chunkCount_ > 0)
        ReleaseChunk(chunkCount_ - 1);
    std::free(chunks_);
    chunks_ = nullptr;
    chunkCapacity_ = 0;
    current_ = nullptr;
    reserve_ = blocksPerChunk_ = bitmapWords_ = blockSize_ = inUse_ = fullChunks_ = 0;
}

}  // namespace Utils
