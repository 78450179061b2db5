// One container of an asset's config under check, against its definition
// in the data manager's definitions tree. Containers form a tree that
// mirrors the config: the check makes the top container's set-up from the
// config's kind, and the tag walk makes a child container for every
// sub-container the definition allows. Every tag the walk accepts becomes a
// value tag the container owns; whatever is wrong goes to the error
// handler.
//
// The definitions tree is shared by every job of the process and is only
// read: what a check needs to change (inherited entries, entries accepted
// for an old build, inherited rules) it changes in working copies of its
// own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"
#include "tetlib/container/NamedPlaces.h"
#include "tetlib/errors/ObjectSerial.h"
#include "tetlib/tag/Tag.h"

namespace TETLib {

class Container;
class MeshData;

// A named check of a whole container; the argument is the rule's own entry
// under "validation" (null when that is no container). True: it passes.
using ContainerRuleFunction = bool (*)(Container& container, const ChunkRef* argument);

struct ContainerRule {
    Nyx::PString name;
    ContainerRuleFunction function;
};

class Container {
public:
    using TagList = std::vector<std::unique_ptr<Tag>>;
    using ContainerList = std::vector<std::unique_ptr<Container>>;

    Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;
    // Drops the container's messages and registrations, its tags and its
    // sub-containers, and takes it out of its parent's list when it stands
    // there.
    virtual ~Container();

    // ---- the check (Container.cpp, ContainerCheck.cpp) ----

    // Checks a whole config as the top container; keeps a reference on the
    // root. False when the kind is missing or has no definition, or when
    // the walk failed.
    virtual bool Check(const ChunkRef& config);
    // The child of the definitions tree of that name; null when absent.
    virtual ChunkRef GetDefinition(const Nyx::PString& name) const;
    // A new container for a config sub-container made from the definition
    // of that name; reports "$tet_container_nocontainerdefinition" against
    // the parent and gives null when there is none. The caller adds it to
    // the parent.
    virtual std::unique_ptr<Container> CreateSubContainer(const Nyx::PString& name, Container& parent,
                                                          const Nyx::PString& definitionName, int32_t index,
                                                          const ChunkRef& config);
    // True when any ";"-separated token of the value equals an entry of the
    // possibility list the template entry's "source" names, ignoring case.
    virtual bool IsListboxPossibility(const Nyx::PString& value, const ChunkRef& spec) const;

    // ---- the template (ContainerTemplate.cpp) ----

    // Gathers the definition's entries (inherited ones first), makes the
    // value tags of its entries (the compulsory ones only without the skip
    // flag) and registers its element types.
    virtual void LoadDefinition(const ChunkRef& definition, bool skipCompulsory);
    // "kuid" and "username" (any case) go to the identity tags, others to
    // the tag list.
    virtual void AddTag(std::unique_ptr<Tag> tag);
    virtual ChunkRef FindSubpossibility(const ChunkRef& spec, const Nyx::PString& name) const;
    virtual ChunkRef FindSubContainerSpec(const ChunkRef& spec, const Nyx::PString& name, Container& owner);
    virtual Nyx::PString MatchContainerType(const ChunkRef& spec, const Nyx::PString& name) const;
    virtual std::vector<Nyx::PString> GetCompulsoryElementNames(const ChunkRef& spec) const;
    virtual void SetExtensionsCopy(const ChunkRef& config);
    // The template entry of a data tag: the entry's own child of that name,
    // else the further entries' children and tag arrays in order, else the
    // entry's tag array.
    ChunkRef FindTagSpec(const Nyx::PString& name, const ChunkRef& spec, const std::vector<ChunkRef>& further) const;
    static void AddSubContainer(Container& parent, std::unique_ptr<Container> child);
    // Inserts the identity tags at the front of the tag list, in order.
    static void MoveIdentityTagsFirst(Container& container);
    void AddContainerRule(ContainerRuleFunction function, const ChunkRef& argument);
    // An empty element name is always appended; a given one only when it
    // is not there yet.
    static void AddElementType(const Nyx::PString& elementName, Container& container,
                               const Nyx::PString& definitionName);
    static void AddCompulsoryElement(Container& container, const Nyx::PString& definitionName);

    // ---- the walk (ContainerWalk.cpp) ----

    // Walks the children of a config container against its definition,
    // called on the owner with itself. False when a sub-container could not
    // be made or its walk failed; findings do not make it fail.
    virtual bool WalkTags(const ChunkRef& config, const ChunkRef& definition, Container& owner);
    // Notes the definition's obsolete entries that the asset's build has
    // reached in the obsolete names. Gives the definition the walk is to
    // use: a working copy whose "subpossibilities" also hold the obsolete
    // entries the asset is older than, when there are any and it has
    // subpossibilities; the definition itself otherwise.
    virtual ChunkRef CollectObsoleteTags(const ChunkRef& definition);

    // ---- value tags (ContainerValueTags.cpp) ----

    virtual void RemoveOptionalTag(const Nyx::PString& name);
    virtual bool IsComboboxPossibility(const Nyx::PString& value, const ChunkRef& spec) const;
    virtual bool IsIntComboboxPossibility(const Nyx::PString& value, const ChunkRef& spec) const;
    virtual void SetupValueTag(Tag& tag, const ChunkRef& spec, const ChunkRef& config, Container& owner);
    virtual std::unique_ptr<Tag> NewTag(int32_t index, Container& owner, const Nyx::PString& name);
    // Null when the owner's tag list already has a tag of that name.
    virtual std::unique_ptr<Tag> CreateValueTag(Container& owner, const Nyx::PString& name, const ChunkRef& spec,
                                                const ChunkRef& config);

    // ---- inheritance and rules (InheritedDefinitions.cpp, ContainerRules.cpp) ----

    virtual void BindContainerRules(const ChunkRef& definition, Container& container);
    // Copies the entries of the definitions named under the definition's
    // "inherit" (their own ancestors first, nearer ones replacing deeper
    // ones) into the three working containers. Each ancestor is merged
    // once; one that leads back to a definition being merged is a loop,
    // logged once and passed over.
    void MergeInheritedDefinitions(ChunkRef& subpossibilities, ChunkRef& tagArray, ChunkRef& arrayElements,
                                   const ChunkRef& definition);
    // Adds the "validation" entries of the definition's ancestors to the
    // target, in the same order and with the same care.
    void MergeInheritedValidation(ChunkRef& target, const ChunkRef& definition);
    // Runs every bound container rule in binding order, also after one has
    // failed; true when none failed.
    bool RunRules();
    // The named container rules, in the order a name is looked up.
    static const std::vector<ContainerRule>& RuleTable();

    // ---- the export (writers/) ----

    // Writes the container back into the target (made when null): its
    // value tags under their names through the writer of their type, then
    // every sub-container under its saving name (else its name), each
    // followed by its container rules. An extensions container writes only
    // its verbatim copy. True when every writer, sub-container and rule
    // passed.
    virtual bool Export(ChunkRef& target);
    // The writers: each checks the tag (its rules and its own tests),
    // stores it in the target in place of a child of the same name and
    // answers whether it passed.
    virtual bool ExportFloat(Tag& tag, ChunkRef& target);
    virtual bool ExportString(Tag& tag, ChunkRef& target);
    virtual bool ExportInt(Tag& tag, ChunkRef& target);
    virtual bool ExportBool(Tag& tag, ChunkRef& target);
    virtual bool ExportVector2(Tag& tag, ChunkRef& target);
    virtual bool ExportVector3(Tag& tag, ChunkRef& target);
    virtual bool ExportVector4(Tag& tag, ChunkRef& target);
    virtual bool ExportVector5(Tag& tag, ChunkRef& target);
    virtual bool ExportFloatList(Tag& tag, ChunkRef& target);
    virtual bool ExportCombobox(Tag& tag, ChunkRef& target);
    virtual bool ExportIntCombobox(Tag& tag, ChunkRef& target);
    virtual bool ExportListbox(Tag& tag, ChunkRef& target);
    virtual bool ExportKUID(Tag& tag, ChunkRef& target);
    virtual bool ExportStringKUID(Tag& tag, ChunkRef& target);
    virtual bool ExportDoubleString(Tag& tag, ChunkRef& target);
    virtual bool ExportFilePath(Tag& tag, ChunkRef& target);
    virtual bool ExportFilePathEdit(Tag& tag, ChunkRef& target);
    virtual bool ExportKUIDBrowser(Tag& tag, ChunkRef& target);
    virtual bool ExportStringKUIDBrowser(Tag& tag, ChunkRef& target);
    virtual bool ExportUndefined(Tag& tag, ChunkRef& target);
    // The names of the container and its ancestors below the top container,
    // outermost first, joined by "\"; empty for the top container.
    std::string GetContainerPath() const;

    // ---- what the container holds ----

    // Containers alive in the process.
    static int64_t LiveCount() noexcept;

    ContainerSerial Serial() const noexcept { return serial_; }
    const Nyx::PString& GetName() const noexcept { return name_; }
    void SetName(const Nyx::PString& name);
    // The tree the checks of this container read, without checking it.
    void SetConfig(const ChunkRef& config) { config_ = config; }
    const Nyx::PString& GetTypeName() const noexcept { return typeName_; }
    const Nyx::PString& GetSavingName() const noexcept { return savingName_; }
    int32_t GetIndex() const noexcept { return index_; }
    Container* GetParent() const noexcept { return parent_; }
    bool IsTopLevel() const noexcept { return parent_ == nullptr; }
    // The config root for the top container, the config container whose
    // walk made it for a sub-container; null before Check.
    const ChunkRef& GetConfig() const noexcept { return config_; }
    const ContainerList& GetSubContainers() const noexcept { return subContainers_; }
    const TagList& GetTags() const noexcept { return tags_; }
    // The first tag of the tag list (or sub-container) of that name, null
    // when there is none, and every one of them in order; without a walk of
    // the list.
    const Tag* FindTag(const Nyx::PString& name) const;
    const Container* FindSubContainer(const Nyx::PString& name) const;
    template <class Visit>
    void ForEachTagNamed(const Nyx::PString& name, Visit&& visit) const
    {
        const NamedPlaces& places = TagPlaces();
        for (uint32_t place = places.First(name); place != NamedPlaces::kNone; place = places.Next(place))
            visit(*tags_[place]);
    }
    template <class Visit>
    void ForEachSubContainerNamed(const Nyx::PString& name, Visit&& visit) const
    {
        const NamedPlaces& places = SubContainerPlaces();
        for (uint32_t place = places.First(name); place != NamedPlaces::kNone; place = places.Next(place))
            visit(*subContainers_[place]);
    }
    const TagList& GetIdentityTags() const noexcept { return identityTags_; }
    const TagList& GetOptionalTags() const noexcept { return optionalTags_; }
    const std::vector<Nyx::PString>& GetObsoleteNames() const noexcept { return obsoleteNames_; }
    const std::vector<Nyx::PString>& GetAllowedElementTypes() const noexcept { return allowedElementTypes_; }
    const std::vector<ChunkRef>& GetAllowedElementDefinitions() const noexcept { return allowedElementDefinitions_; }
    const std::vector<ChunkRef>& GetCompulsoryElementDefinitions() const noexcept
    {
        return compulsoryElementDefinitions_;
    }
    const ChunkRef& GetTagArrayDefinition() const noexcept { return tagArrayDefinition_; }
    // Every definition the inheritance merge visited, in order.
    const std::vector<Nyx::PString>& GetInheritedNames() const noexcept { return inheritedNames_; }
    size_t GetContainerRuleCount() const noexcept { return ruleFunctions_.size(); }
    // The mesh the container's file reference loaded; null when none.
    MeshData* GetMeshData() const noexcept { return meshData_; }
    const ChunkRef& GetExtensionsCopy() const noexcept { return extensions_; }

private:
    // The walk's handling of a sub-container and of a data tag of the
    // config, and its closing pass over the compulsory tags not seen.
    bool WalkSubContainer(const Nyx::PString& name, const ChunkRef& subConfig, const ChunkRef& config,
                          const ChunkRef& definition, const std::vector<ChunkRef>& inherited, Container& owner,
                          int32_t& counter);
    void WalkDataTag(const Nyx::PString& name, const ChunkRef& config, const ChunkRef& definition,
                     const std::vector<ChunkRef>& inherited, Container& owner, std::vector<Nyx::PString>& required);
    void AddMissingTags(const std::vector<Nyx::PString>& required, const ChunkRef& config, const ChunkRef& definition,
                        const std::vector<ChunkRef>& inherited, Container& owner);
    // Lower-cases the tag's name in place; its owner then no longer knows
    // where its tags of each name stand.
    static void LowerTagName(Tag& tag);
    const NamedPlaces& TagPlaces() const;
    const NamedPlaces& SubContainerPlaces() const;

    static std::atomic<int64_t> live_;

    ContainerSerial serial_;
    // 0 for the top container; the order of making among the sub-containers
    // of one walk otherwise.
    int32_t index_ = -1;
    Nyx::PString name_;
    Nyx::PString typeName_;
    Nyx::PString savingName_;
    std::vector<ChunkRef> allowedElementDefinitions_;  // parallel to allowedElementTypes_
    std::vector<ChunkRef> compulsoryElementDefinitions_;
    ContainerList subContainers_;
    TagList tags_;
    // Where the tags and sub-containers of each name stand, from the first
    // question on.
    mutable NamedPlaces tagPlaces_;
    mutable NamedPlaces subContainerPlaces_;
    TagList identityTags_;
    TagList optionalTags_;
    std::vector<Nyx::PString> obsoleteNames_;
    std::vector<Nyx::PString> allowedElementTypes_;
    ChunkRef tagArrayDefinition_;
    Container* parent_ = nullptr;
    ChunkRef config_;
    ChunkRef definitionsRoot_;
    std::vector<ContainerRuleFunction> ruleFunctions_;
    std::vector<ChunkRef> ruleArguments_;
    std::vector<Nyx::PString> inheritedNames_;
    MeshData* meshData_ = nullptr;
    ChunkRef extensions_;
};

}  // namespace TETLib
