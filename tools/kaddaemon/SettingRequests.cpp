#include "kaddaemon/SettingRequests.h"

#include <strings.h>

#include "core/streams/TStream.h"
#include "kaddaemon/DaemonState.h"
#include "kaddaemon/RequestTable.h"
#include "nyx/base/PString.h"

namespace kaddaemon {

namespace {

constexpr uint32_t kGetSetting = 102;

bool Is(const Nyx::PString& text, const char* word) { return ::strcasecmp(text.c_str(), word) == 0; }

}  // namespace

void RegisterSettingRequests(RequestTable& table, const std::string& root)
{
    table.Register(kGetSetting, [root](RequestContext&, TStream& request, TStream& reply) {
        Nyx::PString section;
        Nyx::PString key;
        request.ReadPString(section);
        request.ReadPString(key);
        std::string value;
        if (Is(section, "internet") && Is(key, "language")) {
            DaemonState state;
            std::string error;
            if (state.Load(root, error))
                value = state.Language();
        }
        reply.WritePString(Nyx::PString(value));
    });
}

}  // namespace kaddaemon
