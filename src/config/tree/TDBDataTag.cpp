#include "config/tree/TDBDataTag.h"

#include <utility>

void TDBDataTag::SetValue(ACSValueType type, ACSRawData data)
{
    type_ = type;
    data_ = std::move(data);
}
