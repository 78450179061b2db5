#include "config/tree/TDBDataChunk.h"

#include <utility>

TDBDataChunk::TDBDataChunk(TDBBinaryFile* file, TDBRecordId id, ACSValueType type, ACSRawData data) noexcept
    : file_(file), id_(id), data_(std::move(data)), type_(type)
{
    file_->AddRef();
}

TDBDataChunk::~TDBDataChunk()
{
    // The bytes may be the file's: they go first.
    data_.Release();
    file_->Release();
}
