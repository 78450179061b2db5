// An animation file (".kin") as a resource. Its format is not read here:
// the tool only needs to know that the file is there, so an existing file
// loads and every animation is of length 0.
#pragma once

#include "nyx/files/File.h"

namespace Nyx {

class AnimationResource {
public:
    explicit AnimationResource(const File::Path& path) : path_(path) {}

    // True when the file exists (and is not a folder); names match without
    // regard to case, as every engine file open does.
    bool Load();
    bool IsLoaded() const noexcept { return loaded_; }
    const File::Path& GetPath() const noexcept { return path_; }
    // Seconds; 0 while the format is not read.
    float GetLength() const noexcept { return 0.0f; }

private:
    File::Path path_;
    bool loaded_ = false;
};

}  // namespace Nyx
