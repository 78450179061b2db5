#include "gs/compiler/symbols/BaseResolver.h"

#include <vector>

#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/symbols/GSSymbolTable.h"

namespace GSCompiler {

void BaseResolver::Report(const GSClassSymbol& cls, int line, const char* format, const char* a, const char* b)
{
    SourceContext* context = symbols_.CurrentContext();
    if (!context)
        return;
    const char* file = cls.declaringFile && cls.declaringFile->name ? cls.declaringFile->name : context->FileName();
    if (b)
        context->ReportInFile(file, true, false, line, format, a, b, line);
    else
        context->ReportInFile(file, true, false, line, format, a, line);
}

void BaseResolver::Fail(GSClassSymbol& cls) noexcept
{
    cls.pending.clear();
    cls.resolving = false;
    cls.resolveFailed = true;
}

bool BaseResolver::Resolve(GSClassSymbol& cls)
{
    if (cls.Resolved())
        return !cls.resolveFailed;

    // Bases are resolved before the classes deriving from them; the chain
    // of classes waiting on a base is kept here rather than on the call
    // stack, so no chain of includes is too long for it.
    struct Frame {
        GSClassSymbol* cls;
        size_t next;
    };
    std::vector<Frame> frames{{&cls, 0}};
    cls.resolving = true;
    while (!frames.empty()) {
        Frame& frame = frames.back();
        GSClassSymbol& current = *frame.cls;
        if (frame.next == current.pending.size()) {
            current.pending.clear();
            current.resolving = false;
            frames.pop_back();
            continue;
        }
        const GSClassSymbol::PendingBase wanted = current.pending[frame.next];
        // The class's own scope, then the global one: a local of the body
        // being checked when an included class is first used is no base.
        GSSymbol* found = current.FindMember(wanted.name);
        if (!found)
            found = symbols_.FindGlobal(wanted.name, 0);
        if (found)
            symbols_.AddReference(*found);
        if (!found || !found->Is(kSymbolClass)) {
            Report(current, wanted.line, "Class %s has not been declared, line %d.", wanted.name);
            Fail(current);
            frames.pop_back();
            continue;
        }
        auto& base = static_cast<GSClassSymbol&>(*found);
        if (base.flags & (kFlagStatic | kFlagFinal)) {
            Report(current, wanted.line,
                   (base.flags & kFlagStatic) ? "Cannot extend static class %s, line %d."
                                              : "Cannot extend final class %s, line %d.",
                   wanted.name);
            Fail(current);
            frames.pop_back();
            continue;
        }
        if (&base == &current || base.resolving) {
            Report(current, wanted.line, "Class %s and %s causes cyclic derivation, line %d.", wanted.name,
                   base.name);
            Fail(current);
            frames.pop_back();
            continue;
        }
        if (!base.Resolved()) {
            base.resolving = true;
            frames.push_back({&base, 0});
            continue;
        }
        if (base.resolveFailed || !AddBase(current, base, wanted.name, wanted.line)) {
            Fail(current);
            frames.pop_back();
            continue;
        }
        ++frame.next;
    }
    return !cls.resolveFailed;
}

bool BaseResolver::AddBase(GSClassSymbol& cls, GSClassSymbol& base, const char* baseName, int line)
{
    // Every class the base list holds gets this walk's mark; a base, or a
    // base of the base, that carries it is there already.
    const uint32_t mark = symbols_.NextVisitMark();
    cls.visitMark = mark;
    for (const GSClassSymbol::Base& held : cls.bases)
        held.symbol->visitMark = mark;
    const char* twice = nullptr;
    if (base.visitMark == mark) {
        twice = base.name;
    } else {
        for (const GSClassSymbol::Base& brought : base.bases) {
            if (brought.symbol->visitMark == mark) {
                twice = brought.symbol->name;
                break;
            }
        }
    }
    if (twice) {
        Report(cls, line, "Class %s and %s causes cyclic derivation, line %d.", baseName, twice);
        return false;
    }
    if (cls.bases.size() + 1 + base.bases.size() > size_t(kMaxBases)) {
        Report(cls, line, "Class %s has too many base classes, line %d.", cls.name);
        return false;
    }

    const GSClassSymbol::Base entry{&base, cls.fieldOffset, cls.functionOffset, true};
    cls.bases.push_back(entry);
    cls.fieldOffset += base.fieldOffset + base.ownFieldCount;
    cls.functionOffset += base.functionOffset + base.ownFunctionCount;
    // The base's list is already depth first (each direct base followed by
    // what it brought in), so copying it in order keeps that order.
    for (const GSClassSymbol::Base& brought : base.bases) {
        cls.bases.push_back({brought.symbol, entry.fieldOffset + brought.fieldOffset,
                             entry.functionOffset + brought.functionOffset, false});
    }
    // Inherited members are listed among the library's references.
    for (GSSymbol* member : base.members) {
        if (member->Is(kSymbolFunction) || member->Is(kSymbolClass))
            symbols_.AddReference(*member);
    }
    return true;
}

}  // namespace GSCompiler
