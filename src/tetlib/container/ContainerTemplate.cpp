#include <cstdlib>
#include <iterator>
#include <string>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/InheritedDefinitions.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/errors/MessageText.h"

namespace TETLib {

namespace {

bool IsIdentityName(const Nyx::PString& name)
{
    return EqualsIgnoringCase(name.View(), "kuid") || EqualsIgnoringCase(name.View(), "username");
}

}  // namespace

void Container::LoadDefinition(const ChunkRef& definition, bool skipCompulsory)
{
    const DefinitionKeys& keys = Keys();
    ChunkRef subpossibilities;
    ChunkRef tagArray;
    ChunkRef arrayElements;
    if (TDBContainerTag::GetChildContainer(definition, keys.inherit))
        MergeInheritedDefinitions(subpossibilities, tagArray, arrayElements, definition);
    GatherEntries(subpossibilities, TDBContainerTag::GetChildContainer(definition, keys.subpossibilities));
    GatherEntries(tagArray, TDBContainerTag::GetChildContainer(definition, keys.tagArray));
    GatherStrings(arrayElements, TDBContainerTag::GetChildContainer(definition, keys.arrayElement));

    const uint32_t count = subpossibilities.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        const ChunkRef entry = TDBContainerTag::GetChildContainerAt(subpossibilities, i, name);
        if (!entry || name.Empty())
            continue;
        const Nyx::PString kind = TDBContainerTag::GetString(entry, keys.kind);
        const bool compulsory = TDBContainerTag::GetInt(entry, keys.compulsory, 0) != 0;
        if (kind == keys.element) {
            const Nyx::PString elementType = TDBContainerTag::GetString(entry, keys.elementType);
            if (compulsory)
                AddCompulsoryElement(*this, elementType);
            AddElementType(elementType, *this, elementType);
        } else if (kind == keys.value) {
            if (compulsory && skipCompulsory)
                continue;
            std::unique_ptr<Tag> tag = CreateValueTag(*this, name, entry, ChunkRef());
            if (!tag)
                continue;
            tag->BindRules(entry);
            if (compulsory)
                AddTag(std::move(tag));
            else
                optionalTags_.push_back(std::move(tag));
        }
    }
    if (tagArray)
        tagArrayDefinition_ = tagArray;
    const uint32_t elements = arrayElements.ChildCount();
    for (uint32_t i = 0; i < elements; ++i) {
        const Nyx::PString elementType =
            TDBContainerTag::GetString(arrayElements, TDBContainerTag::GetChildName(arrayElements, i));
        AddElementType(elementType, *this, elementType);
    }
}

void Container::AddTag(std::unique_ptr<Tag> tag)
{
    if (!tag)
        return;
    if (IsIdentityName(tag->name)) {
        identityTags_.push_back(std::move(tag));
        return;
    }
    if (tagPlaces_.Kept())
        tagPlaces_.Link(tag->name, uint32_t(tags_.size()));
    tags_.push_back(std::move(tag));
}

const NamedPlaces& Container::TagPlaces() const
{
    if (!tagPlaces_.Kept())
        tagPlaces_.Build(tags_, [](const std::unique_ptr<Tag>& tag) -> const Nyx::PString& { return tag->name; });
    return tagPlaces_;
}

const NamedPlaces& Container::SubContainerPlaces() const
{
    if (!subContainerPlaces_.Kept())
        subContainerPlaces_.Build(subContainers_, [](const std::unique_ptr<Container>& child) -> const Nyx::PString& {
            return child->name_;
        });
    return subContainerPlaces_;
}

const Tag* Container::FindTag(const Nyx::PString& name) const
{
    const uint32_t place = TagPlaces().First(name);
    return place == NamedPlaces::kNone ? nullptr : tags_[place].get();
}

const Container* Container::FindSubContainer(const Nyx::PString& name) const
{
    const uint32_t place = SubContainerPlaces().First(name);
    return place == NamedPlaces::kNone ? nullptr : subContainers_[place].get();
}

void Container::LowerTagName(Tag& tag)
{
    tag.name.MakeLower();
    if (tag.owner)
        tag.owner->tagPlaces_.Forget();
}

void Container::MoveIdentityTagsFirst(Container& container)
{
    TagList& tags = container.tags_;
    TagList& identity = container.identityTags_;
    if (identity.empty())
        return;
    // Every tag moves along.
    container.tagPlaces_.Forget();
    tags.insert(tags.begin(), std::make_move_iterator(identity.begin()), std::make_move_iterator(identity.end()));
    identity.clear();
}

void Container::AddContainerRule(ContainerRuleFunction function, const ChunkRef& argument)
{
    ruleFunctions_.push_back(function);
    ruleArguments_.push_back(argument);
}

void Container::SetExtensionsCopy(const ChunkRef& config) { extensions_.CloneContainer(config); }

ChunkRef Container::FindSubpossibility(const ChunkRef& spec, const Nyx::PString& name) const
{
    const DefinitionKeys& keys = Keys();
    const ChunkRef subpossibilities = TDBContainerTag::GetChildContainer(spec, keys.subpossibilities);
    if (ChunkRef entry = TDBContainerTag::GetChildContainer(subpossibilities, name))
        return entry;
    if (ChunkRef arrayElement = TDBContainerTag::GetChildContainer(spec, keys.arrayElement))
        return arrayElement;
    if (name.View() != "0" && std::strtol(name.c_str(), nullptr, 10) == 0)
        return ChunkRef();
    const uint32_t count = subpossibilities.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const ChunkRef entry = TDBContainerTag::GetChildContainerAt(subpossibilities, i);
        if (entry && TDBContainerTag::GetInt(entry, keys.numArray, 0) != 0)
            return entry;
    }
    return ChunkRef();
}

ChunkRef Container::FindTagSpec(const Nyx::PString& name, const ChunkRef& spec,
                                const std::vector<ChunkRef>& further) const
{
    const DefinitionKeys& keys = Keys();
    const ChunkRef subpossibilities = TDBContainerTag::GetChildContainer(spec, keys.subpossibilities);
    if (ChunkRef entry = TDBContainerTag::GetChildContainer(subpossibilities, name))
        return entry;
    for (const ChunkRef& other : further) {
        if (!other)
            continue;
        const ChunkRef otherEntries = TDBContainerTag::GetChildContainer(other, keys.subpossibilities);
        if (ChunkRef entry = TDBContainerTag::GetChildContainer(otherEntries, name))
            return entry;
        if (ChunkRef tagArray = TDBContainerTag::GetChildContainer(other, keys.tagArray))
            return tagArray;
    }
    return TDBContainerTag::GetChildContainer(spec, keys.tagArray);
}

ChunkRef Container::FindSubContainerSpec(const ChunkRef& spec, const Nyx::PString& name, Container& owner)
{
    const DefinitionKeys& keys = Keys();
    if (ChunkRef entry = FindSubpossibility(spec, name))
        return entry;
    if (StartsWith(name.View(), "string-table-"))
        return FindSubpossibility(spec, keys.stringTable);
    if (StartsWith(name.View(), "smoke")) {
        ChunkRef smoke = GetDefinition(keys.smoke);
        if (!smoke)
            ReportErrorAgainst(owner, MessageText(Nyx::PString("$tet_container_nosmoke")));
        return smoke;
    }
    return ChunkRef();
}

Nyx::PString Container::MatchContainerType(const ChunkRef& spec, const Nyx::PString& name) const
{
    const uint32_t count = spec.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString type =
            TDBContainerTag::GetString(spec, Nyx::PString("container-type" + std::to_string(i)));
        if (!type.Empty() && type.View().find(name.View()) != std::string_view::npos)
            return type;
    }
    return TDBContainerTag::GetString(spec, Keys().containerType0);
}

std::vector<Nyx::PString> Container::GetCompulsoryElementNames(const ChunkRef& spec) const
{
    const DefinitionKeys& keys = Keys();
    std::vector<Nyx::PString> names;
    const ChunkRef subpossibilities = TDBContainerTag::GetChildContainer(spec, keys.subpossibilities);
    const uint32_t count = subpossibilities.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        const ChunkRef entry = TDBContainerTag::GetChildContainerAt(subpossibilities, i, name);
        if (entry && TDBContainerTag::GetInt(entry, keys.compulsory, 0) != 0
            && TDBContainerTag::GetString(entry, keys.element).Empty())
            names.push_back(name);
    }
    return names;
}

}  // namespace TETLib
