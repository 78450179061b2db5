#include "core/streams/TStream.h"

#include <algorithm>
#include <limits>

TBuffer::~TBuffer()
{
    if (owns_)
        delete buffer_;
}

void TBuffer::Reset()
{
    buffer_->Clean();
    ClearReadAhead();
}

uint32_t TBuffer::Tell() { return buffer_->Position() - unread_; }

uint32_t TBuffer::WriteRaw(const void* data, uint32_t n)
{
    try {
        // Large buffers grow by a generous step so that a run of small
        // writes does not copy the whole buffer each time.
        uint64_t end = uint64_t(buffer_->Position()) + n;
        if (end > buffer_->AllocatedSize() && buffer_->AllocatedSize() > 16384) {
            uint64_t more = uint64_t(n) + 65536;
            buffer_->AddLength(static_cast<uint32_t>(std::min<uint64_t>(more, std::numeric_limits<uint32_t>::max())));
        }
        return buffer_->Write(data, n, 1);
    } catch (...) {
        SetError(kErrString);
        return 0;
    }
}

uint32_t TBuffer::ReadRaw(void* data, uint32_t n) { return buffer_->Read(data, n, 1); }

void TBuffer::SeekRaw(int64_t offset, int origin)
{
    int64_t target;
    switch (origin) {
    case kFromCurrent:
        target = int64_t(Tell()) + offset;
        break;
    case kFromEnd:
        // Counts backwards from the end of the data.
        target = int64_t(buffer_->DataLength()) - offset;
        break;
    default:
        target = offset;
        break;
    }
    target = std::clamp<int64_t>(target, 0, buffer_->AllocatedSize());
    buffer_->Seek(static_cast<uint32_t>(target));
}

bool TBuffer::IsEOF() { return Tell() >= buffer_->DataLength(); }
