#include "core/streams/TStream.h"

#include <algorithm>

TSubFile::TSubFile(TStream* parent, uint32_t start, uint32_t end)
    : parent_(parent), start_(start), end_(std::max(start, end)), pos_(parent->Tell())
{
}

uint32_t TSubFile::Tell() { return pos_ - start_ - unread_; }

uint32_t TSubFile::WriteRaw(const void* data, uint32_t n)
{
    if (n == 0 || pos_ >= end_)
        return 0;
    // Bytes past the range end belong to whatever follows it.
    n = std::min(n, end_ - pos_);
    parent_->DropReadAhead();
    uint32_t done = parent_->WriteRaw(data, n);
    pos_ += done;
    return done;
}

uint32_t TSubFile::ReadRaw(void* data, uint32_t n)
{
    if (pos_ >= end_)
        return 0;
    n = std::min(n, end_ - pos_);
    if (n == 0)
        return 0;
    uint32_t got;
    if (parent_->unread_ >= n) {
        std::memcpy(data, parent_->readAhead_ + parent_->offset_, n);
        parent_->offset_ += n;
        parent_->unread_ -= n;
        got = n;
    } else {
        // A parent that ends inside the range delivers less.
        got = parent_->Read(data, n);
    }
    pos_ += got;
    return got;
}

void TSubFile::SeekRaw(int64_t offset, int origin)
{
    int64_t target;
    switch (origin) {
    case kFromCurrent:
        target = int64_t(pos_) - unread_ + offset;
        break;
    case kFromEnd:
        target = int64_t(end_) + offset;
        break;
    default:
        target = int64_t(start_) + offset;
        break;
    }
    if (target == pos_)
        return;
    pos_ = static_cast<uint32_t>(std::clamp<int64_t>(target, start_, end_));
    parent_->SetPosition(pos_);
}

bool TSubFile::IsEOF()
{
    if (unread_)
        return false;
    return pos_ >= end_;
}
