#include "kaddaemon/RequestTable.h"

namespace kaddaemon {

void RequestTable::Register(uint32_t number, RequestHandler handler)
{
    if (handler)
        handlers_[number] = std::move(handler);
    else
        handlers_.erase(number);
}

const RequestHandler* RequestTable::Find(uint32_t number) const
{
    auto it = handlers_.find(number);
    return it == handlers_.end() ? nullptr : &it->second;
}

}  // namespace kaddaemon
