// The help text: 42 lines, each ended by a line break.
#pragma once

#include <string_view>

std::string_view HelpText();
// The help text and one more line end, on standard output.
void PrintHelpText();
