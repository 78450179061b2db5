#include "config/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"

namespace TETLib {

const std::vector<ContainerRule>& Container::RuleTable()
{
    static const std::vector<ContainerRule> rules;
    return rules;
}

void Container::BindContainerRules(const ChunkRef& definition, Container& container)
{
    ChunkRef validation = TDBContainerTag::GetChildContainer(definition, Keys().validation);
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
