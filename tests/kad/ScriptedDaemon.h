// Stands in for the daemon behind the request stubs: records every request
// (number and payload bytes) and answers from a script. A script answer of
// nullopt fails the call as a lost connection would.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/streams/TStream.h"
#include "kad/requests/KADRequests.h"

class ScriptedDaemon {
public:
    struct Request {
        uint32_t number;
        std::string payload;
        ResultsLog* log;
        bool keepLog;
    };
    using Script = std::function<std::optional<std::string>(uint32_t number, const std::string& payload)>;

    explicit ScriptedDaemon(Script script = nullptr) : script_(std::move(script))
    {
        current_ = this;
        KADRequests::SetTransport(&Transport);
    }
    ~ScriptedDaemon()
    {
        KADRequests::SetTransport(nullptr);
        current_ = nullptr;
    }
    ScriptedDaemon(const ScriptedDaemon&) = delete;
    ScriptedDaemon& operator=(const ScriptedDaemon&) = delete;

    void SetScript(Script script) { script_ = std::move(script); }
    const std::vector<Request>& Requests() const { return requests_; }
    int Count(uint32_t number) const
    {
        int n = 0;
        for (const Request& r : requests_)
            n += r.number == number;
        return n;
    }
    void Clear() { requests_.clear(); }

private:
    static bool Transport(uint32_t number, TStream& payload, TStream& reply, KADClientCallback*, ResultsLog* log,
                          bool keepLog)
    {
        ScriptedDaemon& self = *current_;
        std::string bytes(payload.GetSize() - payload.Tell(), '\0');
        payload.ReadBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
        self.requests_.push_back({number, bytes, log, keepLog});
        std::optional<std::string> answer = self.script_ ? self.script_(number, bytes) : std::string();
        if (!answer)
            return false;
        reply.WriteBytes(answer->data(), static_cast<uint32_t>(answer->size()));
        return true;
    }

    static inline ScriptedDaemon* current_ = nullptr;
    Script script_;
    std::vector<Request> requests_;
};
