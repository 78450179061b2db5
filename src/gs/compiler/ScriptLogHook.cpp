#include "gs/compiler/ScriptLogHook.h"

ScriptLogFunction ScriptLogHook = nullptr;
