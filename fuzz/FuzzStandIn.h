// The stand-in daemon behind the client's request seam, in this process: a
// request a command makes goes straight to the stand-in's store and package
// handlers over a data root of the target's own, and the results they send
// beside the reply reach the request's log, as over a connection. While one
// lives it is the transport of every request.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"
#include "kad/requests/KADRequests.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/PackageRequests.h"
#include "kaddaemon/StoreRequests.h"
#include "nyx/base/DynamicBuffer.h"

class FuzzStandIn {
public:
    // The data root must exist; the store reads what is in it now.
    explicit FuzzStandIn(const std::string& root) : store_(std::make_unique<kaddaemon::AssetStore>(root))
    {
        if (!store_->Open())
            std::abort();
        current_ = this;
        KADRequests::SetTransport(&Transport);
    }
    ~FuzzStandIn()
    {
        KADRequests::SetTransport(nullptr);
        current_ = nullptr;
    }
    FuzzStandIn(const FuzzStandIn&) = delete;
    FuzzStandIn& operator=(const FuzzStandIn&) = delete;

    kaddaemon::AssetStore& Store() { return *store_; }
    // Shown every request's number and payload before it is served.
    std::function<void(uint32_t number, const std::string& payload)> observer;
    // Requests of each number served since the start.
    uint32_t Count(uint32_t number) const { return number < 256 ? counts_[number] : 0; }

private:
    static bool Transport(uint32_t number, TStream& payload, TStream& reply, KADClientCallback*, ResultsLog* log,
                          bool)
    {
        FuzzStandIn& self = *current_;
        if (number < 256)
            ++self.counts_[number];
        if (self.observer) {
            const uint32_t start = payload.Tell();
            std::string bytes(payload.GetSize() - start, '\0');
            payload.ReadBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
            payload.SeekRaw(start, SEEK_SET);
            self.observer(number, bytes);
        }
        const uint32_t transaction = ++self.transactions_;
        const kaddaemon::NoteSink notes = [log, transaction](uint32_t kind, const void* bytes, uint32_t length) {
            // Kind 3 carries results for the transaction's log.
            if (kind != 3 || !log)
                return;
            Nyx::DynamicBuffer copy;
            copy.Write(bytes, length, 1);
            copy.Seek(0);
            TBuffer in(&copy);
            uint32_t id = 0;
            in.ReadInt32(id, 0u);
            if (id != transaction)
                std::abort();
            ReadResults(in, *log);
        };
        if (!kaddaemon::ServeStoreRequest(*self.store_, number, transaction, payload, reply, notes))
            kaddaemon::ServePackageRequest(*self.store_, number, transaction, payload, reply, notes);
        return true;
    }

    static inline FuzzStandIn* current_ = nullptr;
    std::unique_ptr<kaddaemon::AssetStore> store_;
    uint32_t counts_[256] = {};
    uint32_t transactions_ = 0;
};
