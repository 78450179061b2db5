// The interned names the container checks read from definitions and
// configs, made once, and the small text tests they use.
#pragma once

#include <string_view>

#include "nyx/base/PString.h"

namespace TETLib {

struct DefinitionKeys {
    // Definition keys.
    Nyx::PString topLevel{"top-level"};
    Nyx::PString inherit{"inherit"};
    Nyx::PString subpossibilities{"subpossibilities"};
    Nyx::PString tagArray{"tagarray"};
    Nyx::PString arrayElement{"array-element"};
    Nyx::PString obsoleteTag{"obsolete-tag"};
    Nyx::PString obsoleteVersion{"obsolete-version"};
    Nyx::PString kind{"kind"};
    Nyx::PString containerType0{"container-type0"};
    Nyx::PString elementType{"element-type"};
    Nyx::PString element{"element"};
    Nyx::PString icon{"icon"};
    Nyx::PString compulsory{"compulsory"};
    Nyx::PString sequence{"sequence"};
    Nyx::PString savingName{"savingname"};
    Nyx::PString source{"source"};
    Nyx::PString validation{"validation"};
    Nyx::PString type{"type"};
    Nyx::PString dataType{"datatype"};
    Nyx::PString defaultValue{"default"};
    Nyx::PString disabled{"disabled"};
    Nyx::PString filter{"filter"};
    Nyx::PString unique{"unique"};
    Nyx::PString numArray{"numarray"};
    Nyx::PString category{"category"};
    // Words of entries.
    Nyx::PString value{"value"};
    Nyx::PString smoke{"smoke"};
    Nyx::PString parent{"parent"};
    Nyx::PString stringTable{"string-table"};
    // Config tags.
    Nyx::PString build{"kestro-build"};
    Nyx::PString alias{"alias"};
    Nyx::PString height{"height"};
    Nyx::PString chunkyMesh{"chunky_mesh"};
    Nyx::PString unitMesh{"unit_mesh"};
    Nyx::PString trackside{"trackside"};
    Nyx::PString meshAsset{"mesh-asset"};
    Nyx::PString file{"file"};
    Nyx::PString script{"script"};
    Nyx::PString cache{".cache"};
};

// Made on first use, never changed.
const DefinitionKeys& Keys();

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

inline bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace TETLib
