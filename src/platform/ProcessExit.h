// Ending the process at once, the way the tool leaves after a command.
#pragma once

namespace Platform {

// Flushes the C standard output and error streams, then ends the process
// with `code` without running at-exit functions or static destructors. The
// parent sees the code's low 8 bits (-1 arrives as 255, -100 as 156).
[[noreturn]] void TerminateProcess(int code) noexcept;

}  // namespace Platform
