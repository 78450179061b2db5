#include "tetlib/rules/ContainerRules.h"

#include <memory>
#include <string>
#include <vector>

#include "core/containers/FlatHashMap.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/rules/AssetLocation.h"

namespace TETLib {

namespace {

const Nyx::PString& NameOf(const Container& container) { return container.GetName(); }
const Nyx::PString& NameOf(const Tag& tag) { return tag.name; }

// Calls `found` with item j for every pair i < j of items of one name, in
// the order of i and then of j: a list without repeats costs one pass.
template <class Item, class Found>
void ForEachLaterNamesake(const std::vector<std::unique_ptr<Item>>& items, Found&& found)
{
    constexpr size_t kNone = ~size_t(0);
    // For each item, the next one of the same name. Names are compared by
    // their interned nodes, which the items keep alive.
    std::vector<size_t> next(items.size(), kNone);
    FlatHashMap<const void*, size_t> nearest;
    nearest.Reserve(items.size());
    for (size_t i = items.size(); i-- > 0;) {
        auto [later, added] = nearest.Insert(NameOf(*items[i]).Identity());
        if (!added)
            next[i] = *later;
        *later = i;
    }
    for (size_t i = 0; i < items.size(); ++i)
        for (size_t j = next[i]; j != kNone; j = next[j])
            found(*items[j]);
}

// The top container's mesh table; null for any other container and for a
// top container without one.
const Container* TopMeshTable(const Container& container)
{
    static const Nyx::PString kMeshTable("mesh-table");
    return container.IsTopLevel() ? container.FindSubContainer(kMeshTable) : nullptr;
}

}  // namespace

bool RuleUniqueNames(Container& container, const ChunkRef*)
{
    bool ok = true;
    ForEachLaterNamesake(container.GetSubContainers(), [&](const Container& later) {
        ReportErrorAgainst(later, MessageText(Nyx::PString("$tet_val_duplicatecontainername"),
                                              {later.GetName(), container.GetName()}));
        ok = false;
    });
    ForEachLaterNamesake(container.GetTags(), [&](const Tag& later) {
        ReportErrorAgainst(later, MessageText(Nyx::PString("$tet_val_duplicatetagname"),
                                              {later.name, container.GetName()}));
        ok = false;
    });
    return ok;
}

bool RuleHasValidTextureFile(Container& container, const ChunkRef*)
{
    if (DataFolderIsArchive())
        return true;
    const Tag* named = nullptr;
    for (const auto& tag : container.GetTags())
        if (tag->name.View() == "texture" || tag->name.View() == "asset-filename") {
            named = tag.get();
            break;
        }
    if (!named) {
        ReportPlainError(MessageText(Nyx::PString("$tet_val_texturefilenotspecified")));
        return false;
    }
    // The value's body as a compiled texture, then as its description.
    Nyx::File::Path path = CurrentAssetFolderPath();
    path.AddPath(Nyx::File::Path::Normalise(named->value.View()));
    std::string body = path.Str();
    const size_t dot = body.rfind('.');
    const size_t slash = body.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        body.resize(dot);
    for (const char* extension : {".texture", ".texture.txt"})
        if (Nyx::File::Exists(Nyx::File::Path(body + extension)) == 0)
            return true;
    ReportErrorAgainst(*named, MessageText(Nyx::PString("$tet_val_texturefiledne"), {named->value}));
    return false;
}

bool RuleMeshTableHasShadow(Container& container, const ChunkRef*)
{
    static const Nyx::PString kShadow("shadow");
    const Container* table = TopMeshTable(container);
    if (!table || table->FindSubContainer(kShadow))
        return true;
    ReportWarningAgainst(container, MessageText(Nyx::PString("$tet_val_shadow_missing")));
    return false;
}

bool RuleMeshTableHasVisibleMesh(Container& container, const ChunkRef*)
{
    static const Nyx::PString kAutoCreate("auto-create");
    static const Nyx::PString kZero("0");
    const Container* table = TopMeshTable(container);
    if (!table)
        return true;
    for (const auto& entry : table->GetSubContainers())
        for (const auto& tag : entry->GetTags())
            if (tag->name == kAutoCreate && tag->value != kZero)
                return true;
    ReportWarningAgainst(container, MessageText(Nyx::PString("$tet_val_no_visible_mesh")));
    return false;
}

}  // namespace TETLib
