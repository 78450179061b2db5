#include "gs/compiler/codegen/GSCFunction.h"

#include "gs/compiler/symbols/GSClassSymbol.h"
#include "gs/compiler/symbols/GSSymbol.h"

namespace GSCompiler {

GSCFunction::GSCFunction(GSFunctionSymbol& function) : symbol(function)
{
    code.Init(kCodeGrowth);
    lines_.Init(kLineEntries * 8);
}

void GSCFunction::AddLine(uint32_t offset, int32_t line)
{
    if (lineCount_ > 0 && lastLine_ == line)
        return;
    lines_.WriteU32(offset);
    lines_.WriteU32(static_cast<uint32_t>(line));
    lastLine_ = line;
    ++lineCount_;
}

bool GSCFunction::Whole() const noexcept { return code.Whole() && referenceSlots.Whole() && lines_.Flags() == 0; }

GSCClass::GSCClass(GSClassSymbol& cls) : symbol(cls) { init.Init(kInitGrowth); }

bool GSCClass::Whole() const noexcept
{
    if (!init.Whole() || !referenceFields.Whole())
        return false;
    for (const auto& function : functions) {
        if (!function->Whole())
            return false;
    }
    return true;
}

}  // namespace GSCompiler
