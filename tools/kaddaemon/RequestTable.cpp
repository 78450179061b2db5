#include "kaddaemon/RequestTable.h"

#include "core/streams/TStream.h"

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

std::string RestOfPayload(TStream& request)
{
    std::string bytes;
    char buf[65536];
    while (uint32_t n = request.ReadBytes(buf, sizeof buf))
        bytes.append(buf, n);
    return bytes;
}

}  // namespace kaddaemon
