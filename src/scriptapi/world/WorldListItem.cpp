#include "scriptapi/world/WorldListItem.h"

#include "scriptapi/world/WorldList.h"

WorldListItem::~WorldListItem()
{
    if (list_)
        list_->RemoveItem(*this);
}
