// The animations attached to one skinned mesh. The animator reads the
// animation files from its folder (the mesh's asset folder) and drives the
// mesh's skeleton.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nyx/files/File.h"

namespace Nyx {

class Display;
class SkeletonModifier;

class Animator {
public:
    // What Add answers.
    static constexpr int32_t kAdded = 0;
    static constexpr int32_t kNoSkeleton = 2;
    static constexpr int32_t kNoResource = 3;
    static constexpr int32_t kNoObserver = 4;

    Animator(Display* display, const File::Path& folder, SkeletonModifier* skeleton)
        : display_(display), folder_(folder), skeleton_(skeleton)
    {
    }
    Animator(const Animator&) = delete;
    Animator& operator=(const Animator&) = delete;
    virtual ~Animator() = default;

    // Attaches the animation file of that name with its type and weights:
    // kNoResource when the file is not there, kNoSkeleton when the mesh has
    // no bones to move, else kAdded. kNoObserver is never answered by this
    // animator; it stands for a mesh that refuses the animation.
    int32_t Add(std::string_view name, int32_t type, float weight, float blendIn, float blendOut);

    struct Entry {
        std::string name;
        int32_t type;
        float weight;
        float blendIn;
        float blendOut;
    };
    const std::vector<Entry>& GetEntries() const noexcept { return entries_; }
    Display* GetDisplay() const noexcept { return display_; }
    const File::Path& GetFolder() const noexcept { return folder_; }
    SkeletonModifier* GetSkeleton() const noexcept { return skeleton_; }

private:
    Display* display_;
    File::Path folder_;
    SkeletonModifier* skeleton_;
    std::vector<Entry> entries_;
};

}  // namespace Nyx
