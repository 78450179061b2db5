// A pool of fixed-size pieces carved from a chain of large blocks. Pieces
// are never given back to the heap one by one: a returned piece is kept for
// the next request, and the blocks are freed with the chain.
#pragma once

#include <cstdint>
#include <vector>

class KSMemoryChain {
public:
    // A piece size of 0 is taken as 1; a block holds at least one piece.
    KSMemoryChain(uint32_t pieceSize, uint32_t blockSize);
    KSMemoryChain(const KSMemoryChain&) = delete;
    KSMemoryChain& operator=(const KSMemoryChain&) = delete;
    virtual ~KSMemoryChain();

    // A returned piece first, else the next one of the current block (a new
    // block is linked after it when it is full). Pieces are aligned for
    // 32-bit fields when the piece size is a multiple of 4.
    void* Take();
    // The piece must have come from this chain; null is ignored.
    void Return(void* piece);
    // Drops every piece at once, keeping the first block for reuse.
    void Reset();

    uint32_t GetPieceSize() const noexcept { return pieceSize_; }
    uint32_t GetBlockSize() const noexcept { return blockSize_; }
    uint32_t GetBlockCount() const noexcept;

private:
    struct Block {
        Block* next;
        Block* prev;
        uint8_t* cursor;
        uint8_t* start;
        uint8_t* end;
    };

    Block* NewBlockAfter(Block* at);

    uint32_t pieceSize_;
    uint32_t blockSize_;
    Block* first_ = nullptr;
    Block* current_ = nullptr;
    std::vector<void*> returned_;
};
