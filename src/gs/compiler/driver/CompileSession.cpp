#include "gs/compiler/driver/CompileSession.h"

namespace GSCompiler {

bool CompileSession::AddMessage(std::string_view text)
{
    char* copy = texts_.CopyText(text);
    return copy && lines_.Push(copy);
}

const char* CompileSession::TakeLine()
{
    char* line = nullptr;
    return lines_.Pop(line) ? line : nullptr;
}

}  // namespace GSCompiler
