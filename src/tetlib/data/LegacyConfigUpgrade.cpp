#include "tetlib/data/LegacyConfigUpgrade.h"

namespace TETLib {

void UpgradeLegacyConfig(const ChunkRef&) {}

}  // namespace TETLib
