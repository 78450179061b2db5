#include <algorithm>

#include "config/kuid/KUID.h"
#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/data/AssetBuild.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/MessageText.h"

namespace TETLib {

namespace {

// Comment tags pass unremarked in assets before this build (2.5).
constexpr float kLastCommentBuild = 2.5f;
// Obsolete tags of assets before build 2.9 are warnings, errors after.
constexpr int32_t kFirstCurrentBuild = 290;

struct TypeWord {
    const char* word;
    ValueType type;
};

// The words of a template entry's "type" with their codes.
constexpr TypeWord kTypeWords[] = {
    {"float", kTypeFloat},
    {"string", kTypeString},
    {"int", kTypeInt},
    {"bool", kTypeBool},
    {"vector2", kTypeVector2},
    {"vector3", kTypeVector3},
    {"rgb", kTypeVector3},
    {"vector4", kTypeVector4},
    {"vector5", kTypeVector5},
    {"floatlist", kTypeFloatList},
    {"combobox", kTypeCombobox},
    {"intcombobox", kTypeIntCombobox},
    {"listbox", kTypeListbox},
    {"doublestring", kTypeDoubleString},
    {"kuid", kTypeKUID},
    {"filepath", kTypeFilePath},
    {"filepathedit", kTypeFilePathEdit},
    {"stringkuid", kTypeStringKUID},
    {"kuidbrowser", kTypeKUIDBrowser},
    {"stringkuidbrowser", kTypeStringKUIDBrowser},
};

ValueType TypeOf(const Nyx::PString& word)
{
    for (const TypeWord& entry : kTypeWords)
        if (word.View() == entry.word)
            return entry.type;
    return kTypeUndefined;
}

// The personal detail that replaces the value of a string tag made from
// the template alone; null for other names.
const Nyx::PString* PersonalDetail(const Nyx::PString& name, const PersonalDetails& details)
{
    const std::string_view n = name.View();
    if (n == "license")
        return &details.license;
    if (n == "author")
        return &details.author;
    if (n == "contact-email")
        return &details.email;
    if (n == "contact-website" || n == "website")
        return &details.website;
    if (n == "organisation")
        return &details.organisation;
    return nullptr;
}

bool IsPossibility(const Nyx::PString& value, const ChunkRef& spec)
{
    const DataManager* manager = DataManager::Existing();
    const std::vector<Nyx::PString>* list =
        manager ? manager->FindPossibilityList(TDBContainerTag::GetString(spec, Keys().source)) : nullptr;
    if (!list)
        return false;
    for (const Nyx::PString& entry : *list)
        if (EqualsIgnoringCase(value.View(), entry.View()))
            return true;
    return false;
}

}  // namespace

void Container::RemoveOptionalTag(const Nyx::PString& name)
{
    auto it = std::find_if(optionalTags_.begin(), optionalTags_.end(),
                           [&](const std::unique_ptr<Tag>& tag) { return tag->name == name; });
    if (it != optionalTags_.end())
        optionalTags_.erase(it);
}

bool Container::IsComboboxPossibility(const Nyx::PString& value, const ChunkRef& spec) const
{
    return IsPossibility(value, spec);
}

bool Container::IsIntComboboxPossibility(const Nyx::PString& value, const ChunkRef& spec) const
{
    return IsPossibility(value, spec);
}

std::unique_ptr<Tag> Container::NewTag(int32_t index, Container& owner, const Nyx::PString& name)
{
    auto tag = std::make_unique<Tag>();
    tag->index = index;
    tag->owner = &owner;
    tag->name = name;
    return tag;
}

std::unique_ptr<Tag> Container::CreateValueTag(Container& owner, const Nyx::PString& name, const ChunkRef& spec,
                                               const ChunkRef& config)
{
    const DefinitionKeys& keys = Keys();
    if (owner.FindTag(name))
        return nullptr;
    std::unique_ptr<Tag> tag = NewTag(static_cast<int32_t>(owner.tags_.size()), owner, name);
    if (!tag)
        return nullptr;

    Nyx::PString value;
    if (config)
        value = TDBContainerTag::GetString(config, name);
    if (value.Empty() && TDBContainerTag::HasChild(spec, keys.defaultValue)) {
        value = TDBContainerTag::GetString(spec, keys.defaultValue);
        if (value == keys.parent)
            value = owner.name_;
    }
    tag->value = value;

    if (TDBContainerTag::GetInt(spec, keys.compulsory, 0) == 0 && config)
        owner.RemoveOptionalTag(name);
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler && handler->TakesTraces())
        handler->CanReportType(MessageText(Nyx::PString("$tet_container_typespecification"),
                                           {name, TDBContainerTag::GetString(spec, keys.type)}),
                               static_cast<uint64_t>(tag->Serial()));
    SetupValueTag(*tag, spec, config, owner);
    return tag;
}

void Container::SetupValueTag(Tag& tag, const ChunkRef& spec, const ChunkRef& config, Container& owner)
{
    const DefinitionKeys& keys = Keys();
    DataManager& manager = DataManager::Instance();
    tag.SetSpec(spec);
    const ValueType type = TypeOf(TDBContainerTag::GetString(spec, keys.type));
    tag.valueType = type;
    const auto readDisabled = [&]() {
        if (TDBContainerTag::GetInt(spec, keys.disabled, 0) != 0)
            tag.disabled = true;
    };

    switch (type) {
    case kTypeString:
        if (!config)
            if (const Nyx::PString* detail = PersonalDetail(tag.name, manager.GetPersonalDetails()))
                tag.value = *detail;
        readDisabled();
        if (TDBContainerTag::HasChild(spec, keys.filter))
            tag.filter = TDBContainerTag::GetString(spec, keys.filter);
        return;
    case kTypeInt:
    case kTypeFloat:
        readDisabled();
        return;
    case kTypeBool:
        if (!tag.value.Empty() && tag.value.View() != "0" && tag.value.View() != "1")
            ReportWarningAgainst(
                tag, MessageText(Nyx::PString("$tet_container_notboolean"), {tag.name, owner.name_}));
        return;
    case kTypeListbox:
        if (!tag.value.Empty() && !owner.IsListboxPossibility(tag.value, spec))
            tag.value = Nyx::PString();
        return;
    case kTypeIntCombobox:
        if (!tag.value.Empty() && !owner.IsIntComboboxPossibility(tag.value, spec))
            tag.value = Nyx::PString();
        return;
    case kTypeCombobox: {
        const Nyx::PString source = TDBContainerTag::GetString(spec, keys.source);
        const std::string_view word = source.View();
        if (word == "attachment") {
            if (TDBContainerTag::GetInt(spec, keys.unique, 0) != 0)
                manager.AddToList9(&tag);
            else
                manager.AddToList8(&tag);
            tag.source = source;
            tag.hasSource = true;
        } else if (word == "mesh-table" || word == "attached-track" || word == "queues") {
            manager.AddToList3(source, &tag);
            tag.source = source;
            tag.hasSource = true;
        } else if (!tag.value.Empty() && !owner.IsComboboxPossibility(tag.value, spec)) {
            tag.value = Nyx::PString();
        }
        return;
    }
    case kTypeKUID:
        if (tag.value.Empty())
            tag.value = KUID::Null.ToString();
        return;
    case kTypeFilePath:
    case kTypeFilePathEdit: {
        tag.dataType = TDBContainerTag::GetString(spec, keys.dataType);
        tag.isFileReference = true;
        if (tag.name == keys.script)
            return;
        if (config && TDBContainerTag::HasChild(config, keys.meshAsset)) {
            manager.meshAsset = true;
            return;
        }
        // A value that points out of the asset's folder names nothing of it.
        if (LeavesFolder(Nyx::File::Path(tag.value)))
            return;
        Nyx::File::Path path(manager.GetAssetFolder());
        path.AddPath(tag.value.View());
        if (MeshData* mesh = manager.LoadMeshData(path, owner))
            owner.meshData_ = mesh;
        return;
    }
    case kTypeKUIDBrowser:
        if (TDBContainerTag::HasChild(spec, keys.category))
            tag.category = TDBContainerTag::GetString(spec, keys.category);
        if (TDBContainerTag::HasChild(spec, keys.filter))
            tag.filter = TDBContainerTag::GetString(spec, keys.filter);
        return;
    case kTypeVector2:
    case kTypeVector3:
    case kTypeVector4:
    case kTypeVector5:
    case kTypeFloatList:
    case kTypeDoubleString:
    case kTypeStringKUID:
    case kTypeStringKUIDBrowser:
        return;
    case kTypeUndefined:
        break;
    }

    const float build = manager.assetBuild;
    const std::string_view name = tag.name.View();
    if ((name == "!" || name == "rem" || name == ";") && build < kLastCommentBuild)
        return;
    const std::vector<Nyx::PString>& obsolete = owner.obsoleteNames_;
    if (std::find(obsolete.begin(), obsolete.end(), tag.name) != obsolete.end()
        || StartsWith(name, "category-region-") || StartsWith(name, "category-era-")) {
        const Nyx::PString text = MessageText(Nyx::PString("$tet_container_obsoletetag"), {tag.name, owner.name_});
        if (BuildHundredths(build) < kFirstCurrentBuild)
            ReportWarningAgainst(tag, text);
        else
            ReportErrorAgainst(tag, text);
        return;
    }
    ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_container_nodefinition"), {tag.name, owner.name_}));
}

}  // namespace TETLib
