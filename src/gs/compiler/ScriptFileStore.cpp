#include "gs/compiler/ScriptFileStore.h"

#include <strings.h>

// Only the plain form is handled so far: the scrambled form's reader and
// writer are not part of this build, so ".gse" files neither open nor save.

namespace {

bool IsPlainSource(const Nyx::File::Path& path)
{
    std::string_view ext = path.Extension();
    return ext.size() == 2 && ::strncasecmp(ext.data(), "gs", 2) == 0;
}

}  // namespace

bool ScriptFileStore::Open(const Nyx::PString& container, const Nyx::File::Path& path)
{
    text_.clear();
    loaded_ = false;
    if (!IsPlainSource(path))
        return false;
    Nyx::File file;
    if (!file.Open(container, path, Nyx::File::kModeRead))
        return false;
    int64_t size = file.Size();
    if (size < 0 || size > 0x4000000)
        return false;
    text_.resize(static_cast<size_t>(size));
    if (size > 0 && file.Read(text_.data(), 1, static_cast<uint32_t>(size)) != static_cast<uint32_t>(size)) {
        text_.clear();
        return false;
    }
    loaded_ = true;
    return true;
}

bool ScriptFileStore::Save(const Nyx::PString& container, const Nyx::File::Path& path)
{
    if (!loaded_ || path.Empty() || !IsPlainSource(path))
        return false;
    Nyx::File file;
    if (!file.Open(container, path, Nyx::File::kModeWrite))
        return false;
    return text_.empty() ||
           file.Write(text_.data(), 1, static_cast<uint32_t>(text_.size())) == static_cast<uint32_t>(text_.size());
}
