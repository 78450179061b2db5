#include "tetlib/container/DefinitionKeys.h"

namespace TETLib {

const DefinitionKeys& Keys()
{
    static const DefinitionKeys* const keys = new DefinitionKeys;
    return *keys;
}

}  // namespace TETLib
