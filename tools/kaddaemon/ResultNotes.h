// The notifications the stand-in's requests send beside their replies: a
// sink for them, and the results notification (kind 3) that carries
// results into the log of the client's transaction.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ResultsLog;

namespace kaddaemon {

class DaemonConnection;

// Sends one notification (kind, payload bytes, length).
using NoteSink = std::function<void(uint32_t kind, const void* payload, uint32_t length)>;

// A sink that sends on the connection; it must outlive the sink.
NoteSink NotesOf(DaemonConnection& connection);

// One results notification for the transaction holding every result of the
// log, even when it has none; nothing without a sink.
void SendResults(const NoteSink& notes, uint32_t transactionId, ResultsLog& log);

// One results notification for the transaction holding the texts as
// errors; nothing when there are none.
void SendErrors(const NoteSink& notes, uint32_t transactionId, const std::vector<std::string>& errors);

}  // namespace kaddaemon
