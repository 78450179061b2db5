#include "tetlib/container/InheritedDefinitions.h"

#include "config/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"

namespace TETLib {

void GatherEntries(ChunkRef& target, const ChunkRef& source, bool all)
{
    if (!source)
        return;
    target.EnsureContainer();
    const uint32_t count = source.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef entry;
        if (!source->GetChildAt(i, name, entry) || (!all && entry->GetType() != ACS_TYPE_CONTAINER))
            continue;
        TDBContainerTag::RemoveChild(target, name);
        target->AddChild(name, entry);
    }
}

ChunkRef ShallowCopy(const ChunkRef& source)
{
    ChunkRef copy;
    copy.EnsureContainer();
    const uint32_t count = source.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (source->GetChildAt(i, name, child))
            copy->AddChild(name, child);
    }
    return copy;
}

void GatherStrings(ChunkRef& target, const ChunkRef& source)
{
    if (!source)
        return;
    target.EnsureContainer();
    const uint32_t count = source.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString name = TDBContainerTag::GetChildName(source, i);
        TDBContainerTag::SetString(target, name, TDBContainerTag::GetString(source, name));
    }
}

void Container::MergeInheritedDefinitions(ChunkRef& subpossibilities, ChunkRef& tagArray, ChunkRef& arrayElements,
                                          const ChunkRef& inherit)
{
    const DefinitionKeys& keys = Keys();
    const uint32_t count = inherit.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString name = TDBContainerTag::GetChildName(inherit, i);
        inheritedNames_.push_back(name);
        const ChunkRef definition = GetDefinition(name);
        if (!definition)
            continue;
        if (const ChunkRef ancestors = TDBContainerTag::GetChildContainer(definition, keys.inherit))
            MergeInheritedDefinitions(subpossibilities, tagArray, arrayElements, ancestors);
        GatherEntries(subpossibilities, TDBContainerTag::GetChildContainer(definition, keys.subpossibilities));
        GatherEntries(tagArray, TDBContainerTag::GetChildContainer(definition, keys.tagArray));
        GatherStrings(arrayElements, TDBContainerTag::GetChildContainer(definition, keys.arrayElement));
    }
}

void Container::MergeInheritedValidation(ChunkRef& target, const ChunkRef& definition)
{
    const DefinitionKeys& keys = Keys();
    const ChunkRef inherit = TDBContainerTag::GetChildContainer(definition, keys.inherit);
    const uint32_t count = inherit.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const ChunkRef inherited = GetDefinition(TDBContainerTag::GetChildName(inherit, i));
        if (!inherited)
            continue;
        MergeInheritedValidation(target, inherited);
        GatherEntries(target, TDBContainerTag::GetChildContainer(inherited, keys.validation), true);
    }
}

}  // namespace TETLib
