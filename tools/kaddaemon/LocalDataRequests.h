// The local data of asset scripts as the stand-in daemon keeps it: small
// soups per asset and key, read with request 121 and written with 122.
#pragma once

#include <string>

namespace kaddaemon {

class RequestTable;

// Registers requests 121 and 122. Each soup is a binary config file in
// "localdata" under the data root, named by the asset's user and content
// id and the lower-cased key (hex-encoded, so no key names another file).
// A key never written reads as an empty soup.
void RegisterLocalDataRequests(RequestTable& table, const std::string& root);

}  // namespace kaddaemon
