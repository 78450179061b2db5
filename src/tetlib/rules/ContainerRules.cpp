#include "tetlib/rules/ContainerRules.h"

#include <string>

#include "tetlib/container/Container.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/rules/AssetLocation.h"

namespace TETLib {

namespace {

const Container* FindSubContainer(const Container& container, const Nyx::PString& name)
{
    for (const auto& child : container.GetSubContainers())
        if (child->GetName() == name)
            return child.get();
    return nullptr;
}

// The top container's mesh table; null for any other container and for a
// top container without one.
const Container* TopMeshTable(const Container& container)
{
    static const Nyx::PString kMeshTable("mesh-table");
    return container.IsTopLevel() ? FindSubContainer(container, kMeshTable) : nullptr;
}

}  // namespace

bool RuleUniqueNames(Container& container, const ChunkRef*)
{
    bool ok = true;
    const Container::ContainerList& children = container.GetSubContainers();
    for (size_t i = 0; i < children.size(); ++i)
        for (size_t j = i + 1; j < children.size(); ++j)
            if (children[i]->GetName() == children[j]->GetName()) {
                ReportErrorAgainst(*children[j], MessageText(Nyx::PString("$tet_val_duplicatecontainername"),
                                                             {children[j]->GetName(), container.GetName()}));
                ok = false;
            }
    const Container::TagList& tags = container.GetTags();
    for (size_t i = 0; i < tags.size(); ++i)
        for (size_t j = i + 1; j < tags.size(); ++j)
            if (tags[i]->name == tags[j]->name) {
                ReportErrorAgainst(*tags[j], MessageText(Nyx::PString("$tet_val_duplicatetagname"),
                                                         {tags[j]->name, container.GetName()}));
                ok = false;
            }
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
    if (!table || FindSubContainer(*table, kShadow))
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
