// Making the product's material plug-ins by type name, for the export that
// enrols them in its fixed order.
#pragma once

#include <string_view>

namespace Nyx {

class MaterialPlugin;

class KestroMaterialPlugins {
public:
    // A new plug-in of the type ("tbumpgloss", "tbumptex", "tbumpenv",
    // "nofogtex", "tglossrust", "tonetexnoalpha", "tmpfx"), enrolled from
    // its construction and held by the plug-in system (one reference) for
    // the rest of the process; null for another type or when it cannot be
    // allocated.
    static MaterialPlugin* Create(std::string_view typeName);
};

}  // namespace Nyx
