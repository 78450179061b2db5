// The named checks of single tag values that a definition's "validation"
// may bind to a tag. Each reports its own finding against the tag (or, for
// "istracksidetype", against the "type" tag it found) and answers whether
// the tag passes. A rule that meets an empty value fails without a message.
#pragma once

#include "config/tree/ACSChunk.h"

namespace TETLib {

class Tag;

bool RuleIsTracksideType(Tag& tag, const ChunkRef* argument);
bool RuleNeedCollateMeshes(Tag& tag, const ChunkRef* argument);
bool RuleIsPositive(Tag& tag, const ChunkRef* argument);
bool RuleIsNotZero(Tag& tag, const ChunkRef* argument);
bool RuleScriptFileExists(Tag& tag, const ChunkRef* argument);
bool RuleRange(Tag& tag, const ChunkRef* argument);
bool RuleArraySize(Tag& tag, const ChunkRef* argument);
bool RuleNotOwnParent(Tag& tag, const ChunkRef* argument);
bool RuleMustBeOwnParent(Tag& tag, const ChunkRef* argument);
bool RuleMustBeInLightContainer(Tag& tag, const ChunkRef* argument);
bool RuleMustBePaired(Tag& tag, const ChunkRef* argument);

}  // namespace TETLib
