#include "core/streams/TStream.h"

TFile::~TFile() { ReleaseFile(); }

void TFile::ReleaseFile()
{
    if (file_) {
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
    file_->Close();
    file_->Open(base, path, Nyx::File::kModeWrite, flags);
    ClearReadAhead();
    ClearError();
}

uint32_t TFile::Tell()
{
    if (!file_)
        return 0;
    int64_t at = file_->Tell() - unread_;
    return at > 0 ? static_cast<uint32_t>(at) : 0;
}

bool TFile::IsOpen() { return file_ && file_->GetHandle() != Nyx::File::kInvalidHandle; }

uint32_t TFile::WriteRaw(const void* data, uint32_t n)
{
    if (!file_) {
        SetError(kErrFile);
        return 0;
    }
    uint32_t done = file_->Write(data, n, 1);
    if (done < n)
        SetError(kErrFile);
    return done;
}

uint32_t TFile::ReadRaw(void* data, uint32_t n)
{
    if (!file_) {
        SetError(kErrFile);
        return 0;
    }
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
    if (origin == kFromCurrent)
        offset -= unread_;
    file_->Seek(offset, origin);
}

bool TFile::IsEOF()
{
    if (!file_)
        return true;
    if (unread_)
        return false;
    return file_->Eof();
}
