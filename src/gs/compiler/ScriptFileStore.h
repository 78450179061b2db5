// The store lives with the support code the compiler and the runtime share.
#pragma once

#include "gs/support/store/ScriptFileStore.h"
