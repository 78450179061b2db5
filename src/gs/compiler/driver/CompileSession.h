// The message sink of one compile run: every line the compiler reports, in
// the order reported. Its owner reads the lines out after the compile and
// then drops the sink, which frees every text at once.
#pragma once

#include <string_view>

#include "gs/support/FrameMemory.h"
#include "gs/support/Queue.h"

namespace GSCompiler {

class CompileSession {
public:
    static constexpr uint32_t kGrowthStep = 128;

    CompileSession() : lines_(kGrowthStep) {}
    CompileSession(const CompileSession&) = delete;
    CompileSession& operator=(const CompileSession&) = delete;

    // Appends a copy of the text as one line. False when memory ran out and
    // the line was dropped.
    bool AddMessage(std::string_view text);

    // The oldest line not yet taken, or null when none is left.
    const char* TakeLine();
    uint32_t Count() const noexcept { return lines_.Count(); }

private:
    Utils::FrameMemory texts_;
    Utils::Queue<char*> lines_;
};

}  // namespace GSCompiler
