#include "resources/collision/KSMemoryChain.h"

#include <cstddef>
#include <new>

KSMemoryChain::KSMemoryChain(uint32_t pieceSize, uint32_t blockSize)
    : pieceSize_(pieceSize == 0 ? 1 : pieceSize), blockSize_(blockSize < pieceSize_ ? pieceSize_ : blockSize)
{
}

KSMemoryChain::~KSMemoryChain()
{
    Block* block = first_;
    while (block) {
        Block* next = block->next;
        ::operator delete(block);
        block = next;
    }
}

KSMemoryChain::Block* KSMemoryChain::NewBlockAfter(Block* at)
{
    // The header and the area share one allocation; the area starts at a
    // multiple of the header's alignment.
    auto* raw = static_cast<uint8_t*>(::operator new(sizeof(Block) + blockSize_));
    auto* block = reinterpret_cast<Block*>(raw);
    block->start = raw + sizeof(Block);
    block->cursor = block->start;
    block->end = block->start + blockSize_;
    block->prev = at;
    block->next = at ? at->next : nullptr;
    if (at) {
        if (at->next)
            at->next->prev = block;
        at->next = block;
    } else {
        first_ = block;
    }
    return block;
}

void* KSMemoryChain::Take()
{
    if (!returned_.empty()) {
        void* piece = returned_.back();
        returned_.pop_back();
        return piece;
    }
    // After a reset the blocks past the current one are empty and reused.
    while (current_ && static_cast<size_t>(current_->end - current_->cursor) < pieceSize_) {
        if (current_->next) {
            current_ = current_->next;
            current_->cursor = current_->start;
        } else {
            current_ = NewBlockAfter(current_);
        }
    }
    if (!current_)
        current_ = NewBlockAfter(nullptr);
    void* piece = current_->cursor;
    current_->cursor += pieceSize_;
    return piece;
}

void KSMemoryChain::Return(void* piece)
{
    if (piece)
        returned_.push_back(piece);
}

void KSMemoryChain::Reset()
{
    returned_.clear();
    current_ = first_;
    if (current_)
        current_->cursor = current_->start;
}

uint32_t KSMemoryChain::GetBlockCount() const noexcept
{
    uint32_t count = 0;
    for (const Block* block = first_; block; block = block->next)
        ++count;
    return count;
}
