#include <cstdlib>
#include <string>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/mesh/MeshData.h"
#include "tetlib/errors/MessageText.h"

namespace TETLib {

namespace {

enum class ChoiceKind { kCombobox, kListbox };

// A mesh's path as the choice reports show it: without its first two
// components.
std::string ShownMeshPath(const MeshData& mesh)
{
    std::string_view path = mesh.GetMeshPath().View();
    for (int i = 0; i < 2; ++i) {
        const size_t slash = path.find('/');
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return std::string(path);
}

const MeshData* MeshOf(const DataManager& manager, const Container* container)
{
    return container ? manager.FindContainerMesh(container->Serial()) : nullptr;
}

void ReportNotOffered(Tag& tag, const Container& owner, const MeshData& mesh)
{
    ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_notavalidpossibility"),
                                        {tag.value, owner.GetName(), ShownMeshPath(mesh)}));
}

// A choice that comes from the asset itself, tested against what the data
// manager collected; false (after its reports) when nothing offers it.
bool SourcedChoiceOffered(Tag& tag, Container& owner, ChoiceKind kind)
{
    static const Nyx::PString kAttachment("attachment");
    static const Nyx::PString kAttParent("att-parent");
    DataManager& manager = DataManager::Instance();
    if (manager.FindByFile(tag.value, tag.source))
        return true;
    const std::string_view type = owner.GetTypeName().View();
    if (tag.source == kAttachment && type == "mesh-element") {
        bool ok = true;
        bool hasParentTag = false;
        const Container* parent = owner.GetParent();
        owner.ForEachTagNamed(kAttParent, [&](const Tag& other) {
            hasParentTag = true;
            if (!parent)
                return;
            parent->ForEachSubContainerNamed(other.value, [&](const Container& sibling) {
                if (const MeshData* mesh = MeshOf(manager, &sibling)) {
                    ReportNotOffered(tag, owner, *mesh);
                    ok = false;
                }
            });
        });
        if (!hasParentTag) {
            ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_noattparent"), {owner.GetName()}));
            ok = false;
        }
        return ok;
    }
    if (tag.source == kAttachment && kind == ChoiceKind::kCombobox
        && (type == "effect-corona" || type == "effect-attachment")) {
        const Container* parent = owner.GetParent();
        if (const MeshData* mesh = MeshOf(manager, parent ? parent->GetParent() : nullptr)) {
            ReportNotOffered(tag, owner, *mesh);
            return false;
        }
        return true;
    }
    if (manager.skipSourcedChoices || manager.meshAsset)
        return true;
    ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_notavalidpossibility2"),
                                        {tag.name, tag.value, owner.GetContainerPath()}));
    return false;
}

bool ExportChoice(Tag& tag, Container& owner, ChunkRef& target, ChoiceKind kind)
{
    bool ok = true;
    if (tag.value.Empty())
        ReportErrorAgainst(tag, MessageText(Nyx::PString(kind == ChoiceKind::kCombobox
                                                             ? "$tet_container_emptycombobox"
                                                             : "$tet_container_emptylistbox"),
                                            {tag.name, owner.GetName()}));
    if (tag.hasSource && !SourcedChoiceOffered(tag, owner, kind))
        ok = false;
    if (!tag.RunRules())
        ok = false;
    TDBContainerTag::SetString(target, tag.name, tag.value);
    return ok;
}

}  // namespace

bool Container::ExportCombobox(Tag& tag, ChunkRef& target)
{
    return ExportChoice(tag, *this, target, ChoiceKind::kCombobox);
}

bool Container::ExportListbox(Tag& tag, ChunkRef& target)
{
    return ExportChoice(tag, *this, target, ChoiceKind::kListbox);
}

bool Container::ExportIntCombobox(Tag& tag, ChunkRef& target)
{
    if (tag.value.Empty())
        ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_emptycombobox"), {tag.name, name_}));
    const bool ok = tag.RunRules();
    const long value = std::strtol(tag.value.c_str(), nullptr, 10);
    TDBContainerTag::SetInt(target, tag.name,
                            value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value));
    return ok;
}

}  // namespace TETLib
