// The process-wide state of the script compile step: the prologue text that
// goes in front of every compiled source (set while an asset's scripts are
// cached, empty otherwise). The include-path list is the compiler's own.
#pragma once

#include <string>

std::string& ScriptPrologueText();
