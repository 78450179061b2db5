#include <algorithm>
#include <string>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/InheritedDefinitions.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/data/AssetBuild.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/MessageText.h"

namespace TETLib {

namespace {

// Entries without an obsolete version are obsolete from build 2.6.
constexpr float kDefaultObsoleteVersion = 2.6f;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The name a numbered tag is tested against: its last two digits (or its
// last one) replaced by "0"; empty when the name is not numbered.
Nyx::PString SequenceBase(std::string_view name)
{
    const size_t size = name.size();
    if (size > 3 && IsDigit(name[size - 1]) && IsDigit(name[size - 2]))
        return Nyx::PString(std::string(name.substr(0, size - 2)) + "0");
    if (size > 2 && IsDigit(name[size - 1]))
        return Nyx::PString(std::string(name.substr(0, size - 1)) + "0");
    return Nyx::PString();
}

// The parameters a smoke container need not have when it names a file.
bool IsSmokeParameter(std::string_view name)
{
    return name == "lifetime" || name == "maxsize" || name == "minsize" || name == "rate" || name == "velocity";
}

void Trace(std::string_view what, const Nyx::PString& subject, const Container& owner)
{
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler && handler->TakesTraces())
        handler->CanReport(Nyx::PString(std::string(what) + subject.Str()), static_cast<uint64_t>(owner.Serial()));
}

bool Contains(const std::vector<Nyx::PString>& names, const Nyx::PString& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

ChunkRef Container::CollectObsoleteTags(const ChunkRef& definition)
{
    const DefinitionKeys& keys = Keys();
    const int32_t build = BuildNumber(DataManager::Instance().assetBuild);
    const ChunkRef obsolete = TDBContainerTag::GetChildContainer(definition, keys.obsoleteTag);
    const ChunkRef subpossibilities = TDBContainerTag::GetChildContainer(definition, keys.subpossibilities);
    // The definitions are every job's: entries this asset may still use go
    // into copies that live as long as the walk.
    ChunkRef accepted;
    const uint32_t count = obsolete.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef entry;
        if (!obsolete->GetChildAt(i, name, entry))
            continue;
        const int32_t version =
            BuildNumber(TDBContainerTag::GetFloat(entry, keys.obsoleteVersion, kDefaultObsoleteVersion));
        if (build >= version) {
            obsoleteNames_.push_back(name);
            continue;
        }
        if (!subpossibilities)
            continue;
        if (!accepted)
            accepted = ShallowCopy(subpossibilities);
        TDBContainerTag::RemoveChild(accepted, name);
        accepted->AddChild(name, entry);
    }
    if (!accepted)
        return definition;
    ChunkRef working = ShallowCopy(definition);
    TDBContainerTag::SetChildContainer(working, keys.subpossibilities, accepted);
    return working;
}

bool Container::WalkTags(const ChunkRef& config, const ChunkRef& definition, Container& owner)
{
    const DefinitionKeys& keys = Keys();
    std::vector<ChunkRef> inherited;
    const ChunkRef inherit = TDBContainerTag::GetChildContainer(definition, keys.inherit);
    const uint32_t inheritCount = inherit.ChildCount();
    for (uint32_t i = 0; i < inheritCount; ++i)
        inherited.push_back(GetDefinition(TDBContainerTag::GetChildName(inherit, i)));

    // The last inherited definition's names come first, the definition's
    // own last.
    std::vector<Nyx::PString> required = GetCompulsoryElementNames(definition);
    for (const ChunkRef& ancestor : inherited) {
        const std::vector<Nyx::PString> names = GetCompulsoryElementNames(ancestor);
        required.insert(required.begin(), names.begin(), names.end());
    }

    const ChunkRef walked = CollectObsoleteTags(definition);
    for (ChunkRef& ancestor : inherited)
        ancestor = CollectObsoleteTags(ancestor);

    int32_t counter = 0;
    const uint32_t count = config ? config.ChildCount() : 0;
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!config->GetChildAt(i, name, child))
            continue;
        Trace("we're now doing the tag: ", name, owner);
        if (child->GetType() == ACS_TYPE_CONTAINER) {
            if (!WalkSubContainer(name, child, config, walked, inherited, owner, counter))
                return false;
        } else {
            WalkDataTag(name, config, walked, inherited, owner, required);
        }
    }

    AddMissingTags(required, config, walked, inherited, owner);
    MoveIdentityTagsFirst(owner);
    return true;
}

bool Container::WalkSubContainer(const Nyx::PString& name, const ChunkRef& subConfig, const ChunkRef& config,
                                 const ChunkRef& definition, const std::vector<ChunkRef>& inherited,
                                 Container& owner, int32_t& counter)
{
    const DefinitionKeys& keys = Keys();
    ChunkRef spec = FindSubContainerSpec(definition, name, owner);
    for (size_t i = 0; !spec && i < inherited.size(); ++i)
        if (inherited[i])
            spec = FindSubContainerSpec(inherited[i], name, owner);

    if (!spec) {
        if (!inherited.empty() && Contains(obsoleteNames_, name))
            ReportPlainWarning(MessageText(Nyx::PString("$tet_container_obsoletetag"), {name, owner.name_}));
        else
            ReportErrorAgainst(owner, MessageText(Nyx::PString("$tet_container_nodefinition"), {name, owner.name_}));
        if (name == keys.cache)
            ReportPlainError(MessageText(Nyx::PString("$tet_container_oldcontainer")));
        return true;
    }

    const Nyx::PString kind = TDBContainerTag::GetString(spec, keys.kind);
    Nyx::PString typeName;
    ChunkRef walkedDefinition;
    bool loadDefinition = true;
    if (TDBContainerTag::HasChild(spec, keys.containerType0)) {
        typeName = MatchContainerType(spec, TDBContainerTag::GetString(subConfig, keys.kind));
        Trace("we're now up to ", typeName, owner);
    } else if (kind == keys.element) {
        typeName = TDBContainerTag::GetString(spec, keys.elementType);
    } else if (TDBContainerTag::GetString(spec, keys.icon) == keys.smoke) {
        typeName = keys.smoke;
        walkedDefinition = spec;
    } else {
        ReportErrorAgainst(owner, MessageText(Nyx::PString("$tet_container_errorintemplate"), {kind}));
        return true;
    }

    std::unique_ptr<Container> made = CreateSubContainer(name, owner, typeName, counter++, config);
    if (!made)
        return false;
    Container& child = *made;
    if (!walkedDefinition)
        walkedDefinition = GetDefinition(typeName);

    if (TDBContainerTag::HasChild(spec, keys.containerType0)) {
        DataManager::Instance().AddToList4(owner.name_, &child);
    } else if (kind == keys.element) {
        const ChunkRef arrayElement = TDBContainerTag::GetChildContainer(walkedDefinition, keys.arrayElement);
        const uint32_t elements = arrayElement.ChildCount();
        for (uint32_t i = 0; i < elements; ++i) {
            const Nyx::PString elementType =
                TDBContainerTag::GetString(arrayElement, Nyx::PString("container-type" + std::to_string(i)));
            if (!elementType.Empty())
                AddElementType(Nyx::PString(), child, elementType);
        }
        if (ChunkRef tagArray = TDBContainerTag::GetChildContainer(walkedDefinition, keys.tagArray))
            child.tagArrayDefinition_ = tagArray;
        loadDefinition = TDBContainerTag::HasChild(walkedDefinition, keys.subpossibilities);
    }
    if (loadDefinition)
        child.LoadDefinition(walkedDefinition, true);
    BindContainerRules(walkedDefinition, child);
    AddSubContainer(owner, std::move(made));
    return child.WalkTags(subConfig, walkedDefinition, child);
}

void Container::WalkDataTag(const Nyx::PString& name, const ChunkRef& config, const ChunkRef& definition,
                            const std::vector<ChunkRef>& inherited, Container& owner,
                            std::vector<Nyx::PString>& required)
{
    const DefinitionKeys& keys = Keys();
    if (auto it = std::find(required.begin(), required.end(), name); it != required.end())
        required.erase(it);

    Nyx::PString definitionName = name;
    if (StartsWith(name.View(), "description-"))
        definitionName = Nyx::PString("description");
    else if (StartsWith(name.View(), "username-"))
        definitionName = Nyx::PString("username");

    ChunkRef spec = FindTagSpec(definitionName, definition, inherited);
    if (!spec && !definitionName.Empty()) {
        const Nyx::PString base = SequenceBase(definitionName.View());
        if (!base.Empty()) {
            ChunkRef numbered = FindTagSpec(base, definition, inherited);
            if (TDBContainerTag::GetInt(numbered, keys.sequence, 0) != 0)
                spec = numbered;
        }
    }

    if (std::unique_ptr<Tag> tag = CreateValueTag(owner, name, spec, config)) {
        tag->BindRules(spec);
        owner.AddTag(std::move(tag));
    }
}

void Container::AddMissingTags(const std::vector<Nyx::PString>& required, const ChunkRef& config,
                               const ChunkRef& definition, const std::vector<ChunkRef>& inherited, Container& owner)
{
    const DefinitionKeys& keys = Keys();
    const auto entryOf = [&](const ChunkRef& from, const Nyx::PString& group, const Nyx::PString& name) {
        return TDBContainerTag::GetChildContainer(TDBContainerTag::GetChildContainer(from, group), name);
    };
    for (const Nyx::PString& name : required) {
        ChunkRef spec = entryOf(definition, keys.subpossibilities, name);
        for (size_t i = 0; !spec && i < inherited.size(); ++i) {
            spec = entryOf(inherited[i], keys.subpossibilities, name);
            if (!spec)
                spec = entryOf(inherited[i], keys.tagArray, name);
        }
        if (!spec)
            spec = entryOf(definition, keys.tagArray, name);

        if (IsSmokeParameter(name.View()) && owner.FindTag(keys.file))
            continue;
        std::unique_ptr<Tag> tag = CreateValueTag(owner, name, spec, config);
        if (!tag)
            continue;
        tag->BindRules(spec);
        ReportWarningAgainst(*tag, MessageText(Nyx::PString("$tet_container_missingtag"), {tag->name}));
        owner.AddTag(std::move(tag));
    }
}

}  // namespace TETLib
