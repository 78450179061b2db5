#include "nyx/resource/Resource.h"

#include <vector>

#include "nyx/resource/ResourceDatabase.h"

namespace Nyx {

namespace {

bool EndsWithTxt(std::string_view name)
{
    if (name.size() < 4)
        return false;
    std::string_view end = name.substr(name.size() - 4);
    return end[0] == '.' && (end[1] | 0x20) == 't' && (end[2] | 0x20) == 'x' && (end[3] | 0x20) == 't';
}

}  // namespace

Resource::Resource(const PString& name, ResourceDatabase* database) : name_(name), database_(database) {}

Resource::~Resource() = default;

uint32_t Resource::LoadTxt(const std::string&) { return kLoadFailed; }

uint32_t Resource::Load(File&) { return kLoadFailed; }

uint32_t Resource::LoadFromFile()
{
    const PString base = database_ ? database_->GetName() : PString();
    File file;
    if (!file.Open(base, fileName_.Empty() ? File::Path(name_) : fileName_, File::kModeRead))
        return kLoadFailed;
    if (!EndsWithTxt(file.GetPath().View()))
        return Load(file);
    const int64_t size = file.Size();
    if (size < 0 || size > kMaxTextBytes)
        return kLoadFailed;
    std::string text(static_cast<size_t>(size), '\0');
    if (size > 0 && file.Read(text.data(), 1, static_cast<uint32_t>(size)) != static_cast<uint32_t>(size))
        return kLoadFailed;
    return LoadTxt(text);
}

bool Resource::Lock()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (locks_ == 0) {
        if (LoadFromFile() != kLoadOk) {
            failed_ = true;
            Unload();
            return false;
        }
        failed_ = false;
        LoadComplete();
    }
    ++locks_;
    return true;
}

void Resource::Unlock()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (locks_ == 0)
        return;
    if (--locks_ == 0)
        Unload();
}

uint32_t Resource::GetLockCount() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return locks_;
}

bool Resource::IsLoaded() const { return GetLockCount() > 0; }

uint32_t Resource::IsAllLoaded() const
{
    std::lock_guard<std::mutex> hold(lock_);
    if (locks_ > 0)
        return kAllLoaded;
    return failed_ ? kLoadFailedState : kStillLoading;
}

}  // namespace Nyx
