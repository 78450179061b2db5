#include "config/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/InheritedDefinitions.h"

namespace TETLib {

const std::vector<ContainerRule>& Container::RuleTable()
{
    static const std::vector<ContainerRule> rules;
    return rules;
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
