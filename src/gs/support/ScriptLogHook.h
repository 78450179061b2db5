// Where the script runtime sends its problems (link and load failures,
// script exceptions): a printf-style function, null until start-up sets it.
// While it is null the messages are dropped.
#pragma once

using ScriptLogFunction = void (*)(const char* fmt, ...);

extern ScriptLogFunction ScriptLogHook;

// Formats one message and hands it to the hook, when there is one.
void ScriptLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
