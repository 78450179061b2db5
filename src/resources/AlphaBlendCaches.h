// The product's two render caches for alpha-blended geometry, which the
// product's materials hand their see-through chunks to: one that sorts what
// it collects back to front, one that draws it in arrival order. Both are
// made once at start-up and enrolled with the display's cache manager.
#pragma once

#include "resources/materials/alpha/AlphaBlendCacheUnsorted.h"
#include "resources/materials/alpha/KestroAlphaBlendCache.h"
