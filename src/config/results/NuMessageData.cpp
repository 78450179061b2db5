#include "config/results/NuMessageData.h"

namespace {

const Nyx::PString& Leaked(const char* text)
{
    return *new Nyx::PString(Nyx::PStringCache::Create(text));
}

}  // namespace

const Nyx::PString& NuMessageListUpdated()
{
    static const Nyx::PString& name = Leaked("list-updated");
    return name;
}

const Nyx::PString& NuMessageListDestroyed()
{
    static const Nyx::PString& name = Leaked("list-destroyed");
    return name;
}

const Nyx::PString& NuMessagePipeClosed()
{
    static const Nyx::PString& name = Leaked("pipe-closed");
    return name;
}
