#include "resources/mesh/MeshGeometrySettings.h"

#include "config/tree/TDBContainerTag.h"

void ReadGeometrySettings(const ChunkRef& description, GeometrySettings& settings)
{
    static const char* const kKeys[GeometrySettings::kCount] = {
        "SoftwareLighting", "SoftwareAnimation", "DynamicVertex", "DynamicIndex", "HardwareAnimationFloatPrecision"};
    for (uint32_t k = 0; k < GeometrySettings::kCount; ++k) {
        // The text reader folds tag names to lower case.
        const Nyx::PString key = Nyx::PStringCache::ToLower(Nyx::PString(kKeys[k]));
        if (TDBContainerTag::GetChildType(description, key) == ACS_TYPE_NONE)
            continue;
        settings.value[k] = static_cast<uint8_t>(TDBContainerTag::GetInt(description, key, 0));
        settings.present[k] = 1;
    }
}
