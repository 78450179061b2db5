#include "gs/compiler/codegen/GSCFunction.h"

#include "gs/compiler/symbols/GSClassSymbol.h"
#include "gs/compiler/symbols/GSSymbol.h"

namespace GSCompiler {

GSCFunction::GSCFunction(GSFunctionSymbol& function) : symbol(function)
{
    code.Init(kCodeGrowth);
    lines_.Init(kLineEntries * 8);
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
