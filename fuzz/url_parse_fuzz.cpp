// Any text as a URL: every part stays terminated inside its field, the port
// is a port, and the composed text holds every part it composes.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "online/URL.h"

namespace {

template <size_t N>
size_t Terminated(const char (&field)[N])
{
    const void* end = std::memchr(field, 0, N);
    FuzzCheck(end != nullptr);
    return static_cast<size_t>(static_cast<const char*>(end) - field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const URL url = URL::Parse(text.c_str());
    // The composed text leaves out a password that comes without a user.
    const size_t user = Terminated(url.user);
    const size_t password = Terminated(url.password);
    const size_t parts = Terminated(url.scheme) + (user ? user + password : 0) + Terminated(url.host)
                         + Terminated(url.path) + Terminated(url.query);
    FuzzCheck(url.port >= 0 && url.port <= 65535);
    const Nyx::String formatted = URL::Format(url);
    FuzzCheck(formatted.Length() >= parts);
    return 0;
}
