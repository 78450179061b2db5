// Process-wide start and stop of networking: the socket layer, the TLS
// library with its lock table and context, and the host resolver's use.
// Start-up and shut-down call these once each.
#pragma once

#include <cstdint>

struct ssl_ctx_st;

// Only the first call in a process does anything. Also makes writes to a
// closed connection report an error instead of ending the process (SIGPIPE
// is ignored from here on).
void NetStartup();
// Undoes NetStartup. NetStartup does not run again afterwards, so resolution
// and TLS stay unavailable for the rest of the process.
void NetShutdown();

// The TLS context TLS transports are made from; null outside
// NetStartup/NetShutdown or when the library refused to make one.
ssl_ctx_st* NetSSLContext();

// The TLS library's locking hook over the lock table: mode bit 1 locks lock
// number `n` (and marks it held), otherwise bit 2 unlocks it when it is
// marked held. Numbers outside the table are ignored.
void NetLockingCallback(int mode, int n, const char* file, int line);
// Size of the lock table (0 outside NetStartup/NetShutdown).
int NetLockCount();
