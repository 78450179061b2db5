#include "scriptapi/world/WorldItemFactory.h"

#include <algorithm>
#include <vector>

namespace {

// Made with the first factory and freed with the last, so factories that
// are static objects of any translation unit find it whatever the order.
std::vector<WorldItemFactory*>* factories = nullptr;

}  // namespace

WorldItemFactory::WorldItemFactory(uint32_t typeCode, const Nyx::PString& name) : typeCode_(typeCode), name_(name)
{
    if (!factories)
        factories = new std::vector<WorldItemFactory*>;
    factories->push_back(this);
}

WorldItemFactory::~WorldItemFactory()
{
    if (!factories)
        return;
    std::erase(*factories, this);
    if (factories->empty()) {
        delete factories;
        factories = nullptr;
    }
}

WorldBaseItem* WorldItemFactory::CreateByType(uint32_t typeCode, void* world, TStream& stream)
{
    if (!factories)
        return nullptr;
    for (WorldItemFactory* factory : *factories) {
        if (factory->typeCode_ == typeCode)
            return factory->Create(world, stream);
    }
    return nullptr;
}
