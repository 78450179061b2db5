#include "kad/client/LinkWatch.h"

#include <string_view>

#include "config/results/ResultsLog.h"
#include "kad/client/KADClient.h"

LinkWatch::LinkWatch() : serial_(KADClient::GetLinkSerial()) {}

bool LinkWatch::Lost() const { return serial_ != 0 && KADClient::GetLinkSerial() != serial_; }

void LinkWatch::ReportLost(ResultsLog& log)
{
    bool said = false;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        said = said || (r->severity == ResultsLog::kError && r->text.View() == std::string_view(kLostText));
    log.Unlock();
    if (!said)
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(kLostText));
}
