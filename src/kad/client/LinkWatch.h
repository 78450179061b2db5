// Tells a command that failed because its daemon connection went away from
// one whose request the daemon answered with a failure, and says so in the
// command's results.
#pragma once

#include <cstdint>

class ResultsLog;

class LinkWatch {
public:
    static constexpr const char* kLostText = "The connection to the asset database daemon was lost.";

    // Notes the connection open now.
    LinkWatch();

    // A connection was open when the watch began and it is no longer the
    // one open now: it broke, or was replaced by a new one after it broke.
    bool Lost() const;

    // Adds kLostText to the log as an error, unless the log holds it
    // already (the work may have said so itself).
    static void ReportLost(ResultsLog& log);

private:
    uint64_t serial_;
};
