#include "kad/client/SpecRegistryHook.h"

#include <atomic>

namespace {

class EmptySpecRegistry : public SpecRegistryHook {
public:
    ChunkRef FindConfig(const KUID&) override { return ChunkRef(); }
};

std::atomic<SpecRegistryHook::Factory> g_factory{nullptr};

}  // namespace

void SpecRegistryHook::SetFactory(Factory factory) { g_factory.store(factory, std::memory_order_release); }

std::unique_ptr<SpecRegistryHook> SpecRegistryHook::Create()
{
    if (Factory factory = g_factory.load(std::memory_order_acquire)) {
        if (std::unique_ptr<SpecRegistryHook> registry = factory())
            return registry;
    }
    return std::make_unique<EmptySpecRegistry>();
}
