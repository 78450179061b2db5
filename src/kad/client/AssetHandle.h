// An asset the daemon holds open for the tool, shared by counted
// references. The daemon's handle is closed (request 31) when the last
// reference goes.
#pragma once

#include <cstdint>

#include "config/kuid/KUID.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"

struct AssetHandle {
    static constexpr uint64_t kNoHandle = ~0ull;

    uint32_t refCount = 0;
    uint64_t handle = kNoHandle;
    KUID kuid = KUID::Null;
    Nyx::PString name;
    Nyx::File::Path folder;
    // Set while `name` and `folder` are what the daemon last reported;
    // committing or reverting may move the asset, so both clear it.
    uint8_t folderKnown = 0;
};

class AssetHandleRef {
public:
    AssetHandleRef() noexcept = default;
    // Takes a new handle (count 0) or shares an existing one.
    AssetHandleRef(AssetHandle* handle, bool edit) noexcept;
    AssetHandleRef(const AssetHandleRef& other) noexcept;
    AssetHandleRef(AssetHandleRef&& other) noexcept;
    AssetHandleRef& operator=(const AssetHandleRef& other) noexcept;
    AssetHandleRef& operator=(AssetHandleRef&& other) noexcept;
    ~AssetHandleRef() { Release(); }

    // Drops this reference; the last one closes the handle on the daemon.
    void Release() noexcept;

    bool IsValid() const noexcept { return handle_ != nullptr; }
    AssetHandle* Get() const noexcept { return handle_; }
    AssetHandle* operator->() const noexcept { return handle_; }
    bool IsEdit() const noexcept { return edit_ != 0; }
    void SetEdit(bool edit) noexcept { edit_ = edit ? 1 : 0; }

private:
    AssetHandle* handle_ = nullptr;
    uint8_t edit_ = 0;
};
