#include "scriptapi/cache/ScriptCompileState.h"

std::string& ScriptPrologueText()
{
    static std::string text;
    return text;
}
