// Where the script machine sends its link and load failures: a printf-style
// function, null until start-up sets it.
#pragma once

using ScriptLogFunction = void (*)(const char* fmt, ...);

extern ScriptLogFunction ScriptLogHook;
