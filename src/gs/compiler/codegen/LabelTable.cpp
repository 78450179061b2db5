#include "gs/compiler/codegen/LabelTable.h"

#include "gs/compiler/parse/SourceContext.h"
#include "gs/support/bytecode/CodeBuffer.h"

namespace GSCompiler {

int32_t LabelTable::CreateLabel()
{
    labels_.push_back(Label{false, 0});
    return int32_t(labels_.size() - 1);
}

int32_t LabelTable::FindOrCreateLabel(std::string_view name)
{
    const std::string key(name);
    auto it = names_.find(key);
    if (it != names_.end())
        return it->second;
    const int32_t label = CreateLabel();
    names_.emplace(key, label);
    return label;
}

LabelTable::Label* LabelTable::Find(int32_t label) noexcept
{
    return const_cast<Label*>(static_cast<const LabelTable*>(this)->Find(label));
}

const LabelTable::Label* LabelTable::Find(int32_t label) const noexcept
{
    return label >= 0 && size_t(label) < labels_.size() ? &labels_[size_t(label)] : nullptr;
}

bool LabelTable::DefineLabel(int32_t label, uint32_t offset)
{
    Label* entry = Find(label);
    if (!entry || entry->defined)
        return false;
    entry->defined = true;
    entry->offset = offset;
    return true;
}

bool LabelTable::Offset(int32_t label, uint32_t& offset) const noexcept
{
    const Label* entry = Find(label);
    if (!entry || !entry->defined)
        return false;
    offset = entry->offset;
    return true;
}

void LabelTable::AddFixup(uint32_t offset, int32_t label, const char* text, int32_t line)
{
    fixups_.push_back(Fixup{offset, label, text, line});
}

int32_t LabelTable::ResolveFixups(GSBytecode::CodeBuffer& code, SourceContext* context) const
{
    int32_t unresolved = 0;
    for (const Fixup& fixup : fixups_) {
        uint32_t target;
        if (Offset(fixup.label, target)) {
            code.PatchU32(fixup.offset, target);
            continue;
        }
        ++unresolved;
        if (context)
            context->Report(true, false, fixup.line, "%s, line %d", fixup.text, fixup.line);
    }
    return unresolved;
}

void LabelTable::Release()
{
    labels_.clear();
    if (!names_.empty())
        names_.clear();
    fixups_.clear();
}

}  // namespace GSCompiler
