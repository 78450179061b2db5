#include "core/process/Log.h"

#include <cstdarg>
#include <cstdio>

#include "nyx/base/Log.h"
#include "nyx/base/String.h"
#include "platform/ProcessExit.h"

namespace {

// The level the channel's lines are marked with.
constexpr int kOutputLevel = 2;

Nyx::LogClient* KestroLog()
{
    static Nyx::LogClient* const client = Nyx::Log::GetClient("Kestro");
    return client;
}

// Taken before main, so that no thread ever races the first lookup.
[[maybe_unused]] const bool gChannelTaken = (KestroLog(), true);

void Output(const Nyx::String& line)
{
    Nyx::LogClient* client = KestroLog();
    client->SetOutputLevel(kOutputLevel);
    client->OutputString("%s", line.c_str());
}

}  // namespace

void LogMessage(const char* fmt, ...)
{
    Nyx::String line;
    va_list args;
    va_start(args, fmt);
    line.FormatV(fmt, args);
    va_end(args);
    Output(line);
}

void FatalError(const char* fmt, ...)
{
    Nyx::String line;
    va_list args;
    va_start(args, fmt);
    line.FormatV(fmt, args);
    va_end(args);
    Output(line);
    // There is no message box to wait on here: standard error is where the
    // user of a console tool looks.
    std::fprintf(stderr, "Error: %s\n", line.c_str());
    Platform::TerminateProcess(1);
}
