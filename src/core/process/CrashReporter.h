// Crash reports and console events for the long-lived command host.
//
// Once installed, the first fatal signal of the process (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGABRT) leaves a text report in the working folder:
// "Kestro-41615.dmp", or the first free "Kestro-41615_<n>.dmp" when that
// name is taken. The report holds the signal, the fault address, the
// registers, the loaded mappings and the stack frames. The signal then goes
// on to the handling it had before Install: the handler in place then, or
// the default action.
//
// SIGINT, SIGQUIT, SIGHUP and SIGTERM are the console events: while exit is
// not allowed they become a quit request instead of ending the process, and a
// hang-up or terminate waits for AllowExit before the process ends: it then
// has a few seconds to end by itself, with its own exit code, before the
// signal ends it.
//
// Nothing is active before Install; it is meant for the command host only.
#pragma once

class CrashReporter {
public:
    static constexpr int kBuildNumber = 41615;

    // Arms the reporter and installs the handlers on first use; the signal
    // alternate stack is set up for the calling thread, so a stack overflow
    // there can still be reported. Signals ignored at the time (as under
    // nohup) stay ignored.
    static void Install(bool exitAllowed);
    // A terminal has no close button to take away: a closed terminal arrives
    // as SIGHUP, which Install already holds back until AllowExit.
    static void DisableConsoleClose();
    static bool QuitRequested();
    // Announces the orderly end: console events end the process again, and
    // leaving the process writes no report.
    static void AllowExit();
    // Writes the report of the calling thread now, unless the process has
    // already attempted one, and returns.
    static void DumpNow();
    // Ends the process at once with `exitCode` after a crash that raised no
    // fatal signal (an exception an exception guard caught): once installed,
    // the reporter writes its report first, as it does for a signal. Nothing
    // is shut down; standard output and error are flushed.
    [[noreturn]] static void ReportAndEnd(int exitCode) noexcept;
};
