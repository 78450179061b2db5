// The hook lives with the support code the compiler and the runtime share.
#pragma once

#include "gs/support/ScriptLogHook.h"
