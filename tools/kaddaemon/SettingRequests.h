// The user's settings as the stand-in daemon answers them (request 102):
// a section and a key in, the setting's text out.
#pragma once

#include <string>

namespace kaddaemon {

class RequestTable;

// Registers request 102. The one setting the stand-in keeps is the
// language ("internet", "language"), read from the "language" entry of the
// state file under the data root at every request; every other setting,
// and a language the file does not give, is answered with an empty text.
void RegisterSettingRequests(RequestTable& table, const std::string& root);

}  // namespace kaddaemon
