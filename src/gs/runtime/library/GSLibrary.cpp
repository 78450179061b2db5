#include "gs/runtime/library/GSLibrary.h"

#include <cstring>

namespace GSRuntime {

GSClass* GSLibrary::FindClass(const char* className) const noexcept
{
    for (uint32_t i = classCount; i-- > 0;) {
        if (classes[i].name && std::strcmp(classes[i].name, className) == 0)
            return &classes[i];
    }
    return nullptr;
}

}  // namespace GSRuntime
