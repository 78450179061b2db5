#include "gs/compiler/driver/IncludePathList.h"

namespace GSCompiler {

IncludePathList& IncludePathList::Global()
{
    static IncludePathList list;
    return list;
}

void IncludePathList::PushFront(const Nyx::File::Path& folder, const Nyx::PString& container)
{
    entries_.insert(entries_.begin(), IncludePath{folder, container});
}

void IncludePathList::Append(const Nyx::File::Path& folder, const Nyx::PString& container)
{
    entries_.push_back(IncludePath{folder, container});
}

}  // namespace GSCompiler
