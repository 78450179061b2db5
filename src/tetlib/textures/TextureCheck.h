// The texture check of an asset folder, with every sub-folder: compiled
// textures need their description beside them, conversion markers left
// behind are reported, and every texture description's "Primary=" and
// "Alpha=" images must exist, load whole through the engine's bitmap loader
// (as the texture compression loads them), have sides that are powers of
// two and match each other; outside the data folder "editing" the compiled
// texture of each description must exist too. Every finding is reported
// with neither container nor tag.
#pragma once

#include "nyx/files/File.h"

namespace TETLib {

// Checks `folder` (ending in "/" or not). Messages show paths without the
// `base` they start with. True when nothing was reported; a folder that
// cannot be searched counts as clean. Image names that leave the folder
// first given (absolute, or through "..") count as missing images.
bool CheckTextures(const Nyx::File::Path& base, const Nyx::File::Path& folder);

// A side is a power of two (0 is not).
bool IsPowerOfTwo(uint32_t side);

}  // namespace TETLib
