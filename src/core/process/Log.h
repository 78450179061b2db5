// Diagnostic lines of the tool: the engine log channel "Kestro".
#pragma once

// Writes one printf-style line to the channel.
void LogMessage(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The orderly stop for states the tool cannot recover from: logs the line,
// shows it on standard error under the heading "Error", and ends the process
// at once with exit code 1 (no destructors, no at-exit functions).
[[noreturn]] void FatalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
