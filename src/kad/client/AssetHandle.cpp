#include "kad/client/AssetHandle.h"

#include <utility>

#include "kad/requests/KADRequests.h"

AssetHandleRef::AssetHandleRef(AssetHandle* handle, bool edit) noexcept : handle_(handle), edit_(edit ? 1 : 0)
{
    if (handle_)
        ++handle_->refCount;
}

AssetHandleRef::AssetHandleRef(const AssetHandleRef& other) noexcept : handle_(other.handle_), edit_(other.edit_)
{
    if (handle_)
        ++handle_->refCount;
}

AssetHandleRef::AssetHandleRef(AssetHandleRef&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), edit_(std::exchange(other.edit_, 0))
{
}

AssetHandleRef& AssetHandleRef::operator=(const AssetHandleRef& other) noexcept
{
    if (this != &other) {
        if (other.handle_)
            ++other.handle_->refCount;
        Release();
        handle_ = other.handle_;
        edit_ = other.edit_;
    }
    return *this;
}

AssetHandleRef& AssetHandleRef::operator=(AssetHandleRef&& other) noexcept
{
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, nullptr);
        edit_ = std::exchange(other.edit_, 0);
    }
    return *this;
}

void AssetHandleRef::Release() noexcept
{
    AssetHandle* handle = std::exchange(handle_, nullptr);
    edit_ = 0;
    if (!handle || --handle->refCount != 0)
        return;
    KADRequests::CloseAsset(handle->handle);
    delete handle;
}
