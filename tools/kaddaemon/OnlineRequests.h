// The online-access requests as the stand-in daemon answers them: the
// user's online profile (240), the login ticket (242) and its forgetting
// (241), and the login URL fetch (230 start, 232 poll, 231 end).
#pragma once

#include <string>

namespace kaddaemon {

class RequestTable;

// Registers requests 230-232 and 240-242. The state file under the data
// root is read at every request: "online-profile" is the profile name,
// "online-ticket" the ticket. A fetch reports itself done at its
// "online-fetch-polls"-th poll (1 when not given) with the result
// "online-fetch-result" (0 when not given); a fetch that ends with 0 makes
// "online-fetch-ticket" the ticket. Forgetting and fetched tickets are kept
// in memory over the file's ticket until the daemon ends.
void RegisterOnlineRequests(RequestTable& table, const std::string& root);

}  // namespace kaddaemon
