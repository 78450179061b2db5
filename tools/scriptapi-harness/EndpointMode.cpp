#include "scriptapi-harness/EndpointMode.h"

#include <cstdlib>
#include <iostream>
#include <span>
#include <string>

#include "online/MessageStore.h"
#include "online/OnlineAccessClientEndpoint.h"
#include "online/URL.h"
#include "scriptapi-harness/HarnessModes.h"
#include "scriptapi/UpdateTick.h"

namespace harness {

namespace {

// Bytes of a kind-11 body around its user name: kind, KUID, the name's
// length word, the null body, format and flag.
constexpr size_t kFixedBody = 1 + 8 + 4 + 16 + 4 + 1;

// The user name that makes the packet body `size` bytes; a name of n
// characters adds n + 1 bytes (its NUL), so the one size between gets the
// empty name's.
std::string PaddedName(size_t size)
{
    if (size <= kFixedBody + 1)
        return std::string();
    return std::string(size - kFixedBody - 1, 'x');
}

void Answer(std::ostream& out, const std::string& text) { out << "= " << text << std::endl; }

int RunEndpoint(std::span<char* const>) { return RunEndpointMode(std::cin, std::cout); }

const HarnessModeRegistration kMode({"endpoint", "(commands on standard input)", &RunEndpoint});

}  // namespace

int RunEndpointMode(std::istream& in, std::ostream& out)
{
    OnlineAccessClientEndpoint& endpoint = OnlineAccessClientEndpoint::Instance();
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);

        if (command == "connect") {
            Answer(out, std::string("connect ") + (endpoint.Connect(false) ? "1" : "0"));
        } else if (command == "update") {
            AdvanceToolClock(std::strtod(argument.c_str(), nullptr));
            UpdateTick();
            endpoint.Update();
            Answer(out, "status " + std::to_string(endpoint.GetStatus()));
        } else if (command == "send") {
            VersionedOnlineMessage message;
            message.format = 1;
            message.userName = PaddedName(std::strtoul(argument.c_str(), nullptr, 10));
            Answer(out, "result " + std::to_string(endpoint.SendVersionedMessage(message)));
        } else if (command == "url") {
            const URL url = URL::Parse(argument.c_str());
            Answer(out, std::string("url ") + url.scheme + "|" + url.user + "|" + url.password + "|" + url.host + "|"
                            + std::to_string(url.port) + "|" + url.path + "|" + url.query + "|"
                            + URL::Format(url).c_str());
        } else if (command == "save-store") {
            MessageStore::Save(endpoint);
            Answer(out, "stored " + std::to_string(endpoint.StoredMessages().size()));
        } else if (command == "load-store") {
            MessageStore::Load(endpoint);
            Answer(out, "stored " + std::to_string(endpoint.StoredMessages().size()));
        } else if (command == "quit") {
            Answer(out, "bye");
            return 0;
        } else {
            Answer(out, "error unknown command " + command);
        }
    }
    return 0;
}

}  // namespace harness
