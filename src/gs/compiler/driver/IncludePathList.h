// The folders the compiler searches, in order, for every source it opens:
// one process-wide list. An entry may name a container (a mount) that its
// folder is taken in; plain folders have none.
#pragma once

#include <string>
#include <vector>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

namespace GSCompiler {

struct IncludePath {
    Nyx::File::Path folder;
    Nyx::PString container;
};

class IncludePathList {
public:
    using Entries = std::vector<IncludePath>;

    // The process-wide list.
    static IncludePathList& Global();

    void PushFront(const Nyx::File::Path& folder, const Nyx::PString& container = Nyx::PString());
    void Append(const Nyx::File::Path& folder, const Nyx::PString& container = Nyx::PString());
    void Clear() noexcept { entries_.clear(); }

    const Entries& Items() const noexcept { return entries_; }
    bool Empty() const noexcept { return entries_.empty(); }

private:
    Entries entries_;
};

}  // namespace GSCompiler
