// The labels of one function body and the jumps waiting for them. Every
// jump is emitted with a placeholder operand and noted as a fix-up; at the
// end of the body each fix-up gets its label's code offset, and one whose
// label was never placed is reported with the fix-up's text and line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace GSBytecode {
class CodeBuffer;
}

namespace GSCompiler {

class SourceContext;

class LabelTable {
public:
    struct Fixup {
        uint32_t offset;  // of the 32-bit operand to patch
        int32_t label;
        const char* text;  // a literal: "Break", "Continue", ...
        int32_t line;
    };

    // The next label number, undefined.
    int32_t CreateLabel();
    // The label bound to the name, made on first use.
    int32_t FindOrCreateLabel(std::string_view name);
    // Places a label at a code offset; false for a label that is unknown or
    // placed already (it keeps its first offset).
    bool DefineLabel(int32_t label, uint32_t offset);
    // The offset of a placed label.
    bool Offset(int32_t label, uint32_t& offset) const noexcept;
    void AddFixup(uint32_t offset, int32_t label, const char* text, int32_t line);

    // Patches every fix-up whose label is placed; reports "%s, line %d" for
    // each other one (a counted error, when a context is given). Returns the
    // number of fix-ups left unresolved.
    int32_t ResolveFixups(GSBytecode::CodeBuffer& code, SourceContext* context) const;
    // Forgets every label, name and fix-up; numbers start from 0 again.
    void Release();

    uint32_t FixupCount() const noexcept { return uint32_t(fixups_.size()); }

private:
    struct Label {
        bool defined;
        uint32_t offset;
    };

    Label* Find(int32_t label) noexcept;
    const Label* Find(int32_t label) const noexcept;

    // By number: labels are numbered from 0 in the order they are made.
    std::vector<Label> labels_;
    std::unordered_map<std::string, int32_t> names_;
    std::vector<Fixup> fixups_;
};

}  // namespace GSCompiler
