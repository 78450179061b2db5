#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/InheritedDefinitions.h"
#include "tetlib/rules/ContainerRules.h"

namespace TETLib {

const std::vector<ContainerRule>& Container::RuleTable()
{
    // Made on first use; never changed afterwards.
    static const std::vector<ContainerRule> rules = {
        {Nyx::PString("uniquenames"), &RuleUniqueNames},
        {Nyx::PString("hasvalidtexturefile"), &RuleHasValidTextureFile},
        {Nyx::PString("meshtablehasshadow"), &RuleMeshTableHasShadow},
        {Nyx::PString("meshtablehasvisiblemesh"), &RuleMeshTableHasVisibleMesh},
    };
    return rules;
}

bool Container::RunRules()
{
    bool ok = true;
    for (size_t i = 0; i < ruleFunctions_.size(); ++i)
        if (!ruleFunctions_[i](*this, ruleArguments_[i] ? &ruleArguments_[i] : nullptr))
            ok = false;
    return ok;
}

void Container::BindContainerRules(const ChunkRef& definition, Container& container)
{
    // The definition's own rules in a working copy: the ancestors' rules
    // are merged into it, and the definitions tree is every job's.
    ChunkRef validation;
    GatherEntries(validation, TDBContainerTag::GetChildContainer(definition, Keys().validation), true);
    MergeInheritedValidation(validation, definition);
    const std::vector<ContainerRule>& rules = RuleTable();
    if (rules.empty())
        return;
    const uint32_t count = validation.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString name = TDBContainerTag::GetChildName(validation, i);
        for (const ContainerRule& rule : rules)
            if (rule.name == name)
                container.AddContainerRule(rule.function, TDBContainerTag::GetChildContainer(validation, name));
    }
}

}  // namespace TETLib
