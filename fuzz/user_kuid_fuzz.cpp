// "settings/kuid.txt" of arbitrary bytes: the user's KUID base read from it
// and two KUIDs generated from it. The first input byte steers the daemon
// the generator asks (how many candidates it turns down, and how); the rest
// is the file. Whatever the file holds, a KUID handed out lies in the local
// user's range, is what the file holds afterwards, and the next one follows
// it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "kad/requests/UserKUID.h"

namespace {

// Turns down the first `refusals` candidates, by an answer of the kind the
// input picks, and takes every one after that.
struct Daemon {
    uint32_t refusals = 0;
    bool byLatest = false;
    uint32_t asked = 0;

    UserKUIDDaemon Callables()
    {
        UserKUIDDaemon daemon;
        daemon.latestVersion = [this](const KUID& kuid) {
            if (byLatest && asked < refusals) {
                ++asked;
                return KUID(kuid.user, kuid.content, kuid.version + 1);
            }
            return kuid;
        };
        daemon.isKnown = [this](const KUID&) {
            if (!byLatest && asked < refusals) {
                ++asked;
                return true;
            }
            return false;
        };
        return daemon;
    }
};

bool InLocalRange(const KUID& kuid)
{
    const int32_t user = GetLocalUserId();
    return kuid.user == user && kuid.version == (user >= 0 ? 0 : 127);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("user_kuid_fuzz");
    if (size == 0)
        return 0;

    // Every input starts from the local user and base of a fresh program.
    SetSettingsFolder(Nyx::File::Path(folder.Path()));
    WriteUserKUIDBase(KUID(-2, 1, 127));
    folder.Write("settings/kuid.txt", std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    ReadUserKUIDBase();

    Daemon daemon;
    daemon.refusals = data[0] & 7;
    daemon.byLatest = (data[0] & 8) != 0;
    const KUID first = GenerateUserKUID(daemon.Callables());
    if (first.IsNull())
        return 0;
    FuzzCheck(InLocalRange(first) && GetUserKUIDBase() == first);
    ReadUserKUIDBase();
    FuzzCheck(GetUserKUIDBase() == first);

    const KUID second = GenerateUserKUID(daemon.Callables());
    if (first.content == INT32_MAX)
        FuzzCheck(second.IsNull());
    else
        FuzzCheck(second == KUID(first.user, first.content + 1, first.version));
    return 0;
}
