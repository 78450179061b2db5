#include "kaddaemon/OnlineRequests.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "config/formats/ConfigFile.h"
#include "core/streams/TStream.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonState.h"
#include "kaddaemon/RequestTable.h"
#include "nyx/base/String.h"

namespace kaddaemon {

namespace {

constexpr uint32_t kStartURLFetch = 230;
constexpr uint32_t kEndURLFetch = 231;
constexpr uint32_t kPollURLFetch = 232;
constexpr uint32_t kGetOnlineProfile = 240;
constexpr uint32_t kForgetTicket = 241;
constexpr uint32_t kGetTicket = 242;

struct Fetch {
    uint32_t pollsLeft = 1;
    int32_t result = 0;
    std::string ticket;
    bool done = false;
};

struct OnlineState {
    std::mutex lock;
    std::string root;
    // Set once the ticket changed in this daemon: it then wins over the file.
    std::optional<std::string> ticket;
    std::map<uint64_t, Fetch> fetches;
    uint64_t nextHandle = 1;

    std::string Setting(const char* tag) const
    {
        ChunkRef tree;
        const std::string path = root + "/" + DaemonState::kFileName;
        if (!LoadConfigFile(tree, nullptr, path.c_str(), "txt") || !tree)
            return std::string();
        return TagText(tree, tag);
    }
    int32_t Number(const char* tag, int32_t fallback) const
    {
        const std::string text = Setting(tag);
        return text.empty() ? fallback : static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
    }
};

}  // namespace

void RegisterOnlineRequests(RequestTable& table, const std::string& root)
{
    auto state = std::make_shared<OnlineState>();
    state->root = root;

    table.Register(kGetOnlineProfile, [state](RequestContext&, TStream&, TStream& reply) {
        const std::string profile = state->Setting("online-profile");
        reply.WriteString(Nyx::String(profile));
        reply.WriteString(Nyx::String());
        reply.WriteString(Nyx::String());
        reply.WriteInt32(0u);
        reply.WriteString(Nyx::String());
        reply.WriteInt32(0u);
    });
    table.Register(kGetTicket, [state](RequestContext&, TStream&, TStream& reply) {
        std::lock_guard<std::mutex> hold(state->lock);
        const std::string ticket = state->ticket ? *state->ticket : state->Setting("online-ticket");
        reply.WriteString(Nyx::String(ticket));
    });
    table.Register(kForgetTicket, [state](RequestContext&, TStream&, TStream&) {
        std::lock_guard<std::mutex> hold(state->lock);
        state->ticket = std::string();
    });
    table.Register(kStartURLFetch, [state](RequestContext&, TStream&, TStream& reply) {
        Fetch fetch;
        const int32_t polls = state->Number("online-fetch-polls", 1);
        fetch.pollsLeft = polls < 1 ? 1u : static_cast<uint32_t>(polls);
        fetch.result = state->Number("online-fetch-result", 0);
        fetch.ticket = state->Setting("online-fetch-ticket");
        std::lock_guard<std::mutex> hold(state->lock);
        const uint64_t handle = state->nextHandle++;
        state->fetches[handle] = fetch;
        reply.WriteUInt64(handle);
    });
    table.Register(kPollURLFetch, [state](RequestContext&, TStream& request, TStream& reply) {
        uint64_t handle = 0;
        request.ReadUInt64(handle, 0);
        std::lock_guard<std::mutex> hold(state->lock);
        auto it = state->fetches.find(handle);
        bool done = true;
        int32_t result = -1;
        if (it != state->fetches.end()) {
            Fetch& fetch = it->second;
            if (!fetch.done && --fetch.pollsLeft == 0) {
                fetch.done = true;
                if (fetch.result == 0)
                    state->ticket = fetch.ticket;
            }
            done = fetch.done;
            result = fetch.done ? fetch.result : 0;
        }
        reply.WriteBool(done);
        reply.WriteInt32(0);
        reply.WriteInt32(result);
        reply.WriteInt32(0);
        reply.WriteString(Nyx::String());
        reply.WritePString(Nyx::PString());
    });
    table.Register(kEndURLFetch, [state](RequestContext&, TStream& request, TStream&) {
        uint64_t handle = 0;
        request.ReadUInt64(handle, 0);
        std::lock_guard<std::mutex> hold(state->lock);
        state->fetches.erase(handle);
    });
}

}  // namespace kaddaemon
