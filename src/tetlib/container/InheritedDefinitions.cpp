#include "tetlib/container/InheritedDefinitions.h"

#include <algorithm>
#include <set>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "core/process/Log.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/data/DataManager.h"

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

namespace {

// Ancestors nested deeper than this are taken for a loop.
constexpr size_t kMaxInheritDepth = 256;

// Walks the ancestors of a definition, each at most once: for every name
// under "inherit", in order, `named` gets the name, then (when the name has
// a definition) its own ancestors are walked and `merge` gets it.
template <class Named, class Merge>
void WalkAncestors(const Container& container, const ChunkRef& definition, std::vector<const ACSChunk*>& path,
                   std::set<const ACSChunk*>& visited, Named&& named, Merge&& merge)
{
    path.push_back(definition.Get());
    const ChunkRef inherit = TDBContainerTag::GetChildContainer(definition, Keys().inherit);
    const uint32_t count = inherit.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString name = TDBContainerTag::GetChildName(inherit, i);
        const ChunkRef ancestor = container.GetDefinition(name);
        if (ancestor && (std::find(path.begin(), path.end(), ancestor.Get()) != path.end()
                         || path.size() >= kMaxInheritDepth)) {
            DataManager* manager = DataManager::Existing();
            if (!manager || manager->NoteInheritLoop(name))
                LogMessage("Container::MergeInheritedDefinitions> the definition '%s' inherits itself", name.c_str());
            continue;
        }
        if (ancestor && !visited.insert(ancestor.Get()).second)
            continue;
        named(name);
        if (!ancestor)
            continue;
        WalkAncestors(container, ancestor, path, visited, named, merge);
        merge(ancestor);
    }
    path.pop_back();
}

}  // namespace

void Container::MergeInheritedDefinitions(ChunkRef& subpossibilities, ChunkRef& tagArray, ChunkRef& arrayElements,
                                          const ChunkRef& definition)
{
    const DefinitionKeys& keys = Keys();
    std::vector<const ACSChunk*> path;
    std::set<const ACSChunk*> visited;
    WalkAncestors(
        *this, definition, path, visited, [&](const Nyx::PString& name) { inheritedNames_.push_back(name); },
        [&](const ChunkRef& ancestor) {
            GatherEntries(subpossibilities, TDBContainerTag::GetChildContainer(ancestor, keys.subpossibilities));
            GatherEntries(tagArray, TDBContainerTag::GetChildContainer(ancestor, keys.tagArray));
            GatherStrings(arrayElements, TDBContainerTag::GetChildContainer(ancestor, keys.arrayElement));
        });
}

void Container::MergeInheritedValidation(ChunkRef& target, const ChunkRef& definition)
{
    std::vector<const ACSChunk*> path;
    std::set<const ACSChunk*> visited;
    WalkAncestors(
        *this, definition, path, visited, [](const Nyx::PString&) {},
        [&](const ChunkRef& ancestor) {
            GatherEntries(target, TDBContainerTag::GetChildContainer(ancestor, Keys().validation), true);
        });
}

}  // namespace TETLib
