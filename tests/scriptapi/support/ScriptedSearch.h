// A scripted daemon for the script API tests: request 2 answers with the
// KUIDs set here and keeps every filter it was sent; every other request
// fails, as with no daemon.
#pragma once

#include <memory>
#include <vector>

#include "config/kuid/KUID.h"
#include "core/streams/TStream.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"
#include "kad/requests/KUIDListWire.h"

namespace scriptapitest {

struct ScriptedSearch {
    static inline std::vector<KUID> answer;
    static inline std::vector<std::unique_ptr<KADFilterElement>> filters;

    ScriptedSearch() { KADRequests::SetTransport(&Answer); }
    ~ScriptedSearch()
    {
        KADRequests::SetTransport(nullptr);
        answer.clear();
        filters.clear();
    }
    ScriptedSearch(const ScriptedSearch&) = delete;
    ScriptedSearch& operator=(const ScriptedSearch&) = delete;

private:
    static bool Answer(uint32_t number, TStream& payload, TStream& reply, KADClientCallback*, ResultsLog*, bool)
    {
        if (number != KADRequests::kSearchAssets)
            return false;
        filters.push_back(ReadFilterElement(payload));
        WriteKUIDList(reply, std::span<const KUID>(answer));
        return true;
    }
};

}  // namespace scriptapitest
