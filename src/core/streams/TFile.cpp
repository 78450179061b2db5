#include "core/streams/TStream.h"

#include <algorithm>

namespace {

// The open-mode bits that ask for write access.
constexpr uint32_t kWriteAccess = 0x0F;

}  // namespace

TFile::~TFile() { ReleaseFile(); }

void TFile::ReleaseFile()
{
    if (file_) {
        EndHeld();
        if (owns_)
            delete file_;
        else if (unread_)
            file_->Seek(-int64_t(unread_), Nyx::File::kSeekCur);
    }
    file_ = nullptr;
    ClearReadAhead();
    ClearError();
}

void TFile::Open(const Nyx::File::Path& path, uint32_t mode)
{
    ReleaseFile();
    file_ = new Nyx::File;
    owns_ = true;
    ClearReadAhead();
    file_->Open(path, mode, 0);
}

void TFile::OpenIn(const Nyx::PString& base, const Nyx::File::Path& name, uint32_t mode)
{
    ReleaseFile();
    file_ = new Nyx::File;
    owns_ = true;
    ClearReadAhead();
    file_->Open(base, name, mode, 0);
}

void TFile::EnsureFile()
{
    if (file_)
        return;
    file_ = new Nyx::File;
    owns_ = true;
}

void TFile::Attach(Nyx::File* file, bool owns)
{
    // Held bytes belong to the file they were written to.
    if (file_)
        EndHeld();
    file_ = file;
    owns_ = owns;
    ClearReadAhead();
}

void TFile::Reset()
{
    if (!IsOpen())
        return;
    Nyx::PString base = file_->GetBase();
    Nyx::File::Path path = file_->GetPath();
    uint32_t flags = file_->GetFlags();
    // The reopened file starts empty: held bytes would only be cut off again.
    holding_ = false;
    heldLength_ = cursor_ = 0;
    file_->Close();
    file_->Open(base, path, Nyx::File::kModeWrite, flags);
    ClearReadAhead();
    ClearError();
}

uint32_t TFile::Tell()
{
    if (!file_)
        return 0;
    int64_t at = (holding_ ? heldBase_ + cursor_ : file_->Tell()) - unread_;
    return at > 0 ? static_cast<uint32_t>(at) : 0;
}

bool TFile::IsOpen() { return file_ && file_->GetHandle() != Nyx::File::kInvalidHandle; }

bool TFile::Gathers() const
{
    return file_ && file_->IsOpen() && (file_->GetMode() & kWriteAccess) != 0;
}

bool TFile::WriteHeld()
{
    if (heldLength_ == 0)
        return true;
    uint32_t done = file_->Write(held_.get(), heldLength_, 1);
    bool ok = done == heldLength_;
    if (!ok)
        SetError(kErrFile);
    const int64_t at = heldBase_ + cursor_;
    if (done != cursor_)
        file_->Seek(at, Nyx::File::kSeekSet);
    heldBase_ = at;
    heldLength_ = cursor_ = 0;
    return ok;
}

bool TFile::EndHeld()
{
    if (!holding_)
        return true;
    bool ok = WriteHeld();
    holding_ = false;
    return ok;
}

bool TFile::Flush() { return !file_ || EndHeld(); }

uint32_t TFile::WriteRaw(const void* data, uint32_t n)
{
    if (!file_) {
        SetError(kErrFile);
        return 0;
    }
    if (!holding_ && n != 0 && Gathers()) {
        int64_t at = file_->Tell();
        if (at >= 0) {
            heldBase_ = at;
            heldLength_ = cursor_ = 0;
            holding_ = true;
        }
    }
    if (!holding_) {
        // Not open for writing: fails here and now, as it always did.
        uint32_t done = file_->Write(data, n, 1);
        if (done < n)
            SetError(kErrFile);
        return done;
    }
    if (uint64_t(cursor_) + n > kWriteBufferSize) {
        WriteHeld();
        if (n >= kWriteBufferSize) {
            uint32_t done = file_->Write(data, n, 1);
            heldBase_ += done;
            if (done < n) {
                SetError(kErrFile);
                holding_ = false;
            }
            return done;
        }
    }
    if (!held_)
        held_ = std::make_unique<uint8_t[]>(kWriteBufferSize);
    std::memcpy(held_.get() + cursor_, data, n);
    cursor_ += n;
    heldLength_ = std::max(heldLength_, cursor_);
    return n;
}

uint32_t TFile::ReadRaw(void* data, uint32_t n)
{
    if (!file_) {
        SetError(kErrFile);
        return 0;
    }
    EndHeld();
    uint32_t done = file_->Read(data, n, 1);
    if (done < n)
        SetError(kErrFile);
    return done;
}

void TFile::SeekRaw(int64_t offset, int origin)
{
    if (!file_) {
        SetError(kErrFile);
        return;
    }
    if (holding_ && origin != kFromEnd) {
        const int64_t target = origin == kFromCurrent ? heldBase_ + cursor_ - unread_ + offset : offset;
        // A length field patched while its block is still held.
        if (target >= heldBase_ && target <= heldBase_ + heldLength_) {
            cursor_ = static_cast<uint32_t>(target - heldBase_);
            return;
        }
    }
    EndHeld();
    if (origin == kFromCurrent)
        offset -= unread_;
    // After a move to a known place the next write need not ask where the
    // file stands.
    if (file_->Seek(offset, origin) && origin == kFromStart && unread_ == 0 && Gathers()) {
        heldBase_ = offset;
        heldLength_ = cursor_ = 0;
        holding_ = true;
    }
}

bool TFile::IsEOF()
{
    if (!file_)
        return true;
    if (unread_)
        return false;
    EndHeld();
    return file_->Eof();
}
