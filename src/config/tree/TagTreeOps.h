// Operations over whole config trees: deep copy and the collection of the
// KUIDs a tree names.
//
// Each walk goes at most kMaxTreeDepth container levels below the tree it is
// given, so a tree nested deeper (or one that was made to contain itself)
// fails cleanly instead of exhausting the stack.
#pragma once

#include "config/tree/ACSChunk.h"
#include "config/kuid/KUIDRing.h"

inline constexpr int kMaxTreeDepth = 1000;

// Gives the destination the source's value (borrowed, not copied), removes
// the destination's children, and adds a copy of each child of the source,
// recursively. Copying a chunk onto itself changes nothing. False, with the
// destination untouched, when the destination is null or the source nests
// containers deeper than kMaxTreeDepth.
bool CopyChunk(const ChunkRef& destination, const ChunkRef& source);

// Appends every distinct, non-null KUID the tree names, in depth-first order
// of first sight: KUID values, and string values that are exactly one
// complete KUID text. False when the tree nests deeper than kMaxTreeDepth;
// the ring then holds what the levels within the limit named.
bool CollectReferencedKUIDs(const ChunkRef& container, KUIDRing& ring);

// Appends the distinct, non-null KUIDs that the direct children read as:
// KUID values, KUID texts, and integers (taken as a content id alone).
void CollectChildKUIDs(const ChunkRef& container, KUIDRing& ring);

// A new container holding the ring's non-null KUIDs under the names "0",
// "1", ... in ring order; null when there are none.
ChunkRef KUIDListToContainer(const KUIDRing& ring);
