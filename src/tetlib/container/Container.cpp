#include "tetlib/container/Container.h"

#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"

namespace TETLib {

Container::Container() : serial_(static_cast<ContainerSerial>(NextObjectSerial())) {}

Container::~Container()
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->RemoveContainerEntry(serial_);
    if (DataManager* manager = DataManager::Existing())
        manager->UnregisterContainer(*this);
}

bool Container::Check(const ChunkRef& config)
{
    config_ = config;
    return true;
}

bool Container::CheckContent(const ChunkRef&) { return true; }

}  // namespace TETLib
