#include "tetlib/container/Container.h"

#include <algorithm>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/MessageText.h"

namespace TETLib {

std::atomic<int64_t> Container::live_{0};

Container::Container() : serial_(static_cast<ContainerSerial>(NextObjectSerial()))
{
    live_.fetch_add(1, std::memory_order_relaxed);
}

Container::~Container()
{
    extensions_.Release();
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->RemoveContainerEntry(serial_);
    if (DataManager* manager = DataManager::Existing())
        manager->UnregisterContainer(*this);
    live_.fetch_sub(1, std::memory_order_relaxed);
    tags_.clear();
    identityTags_.clear();
    optionalTags_.clear();
    // Each slot is emptied before its child goes, and the child forgets
    // its parent, so it looks for nothing of itself here to take out.
    for (std::unique_ptr<Container>& slot : subContainers_) {
        Container* child = slot.release();
        child->parent_ = nullptr;
        delete child;
    }
    subContainers_.clear();
    if (parent_) {
        ContainerList& siblings = parent_->subContainers_;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (it->get() == this) {
                // The parent does not delete what is being deleted.
                static_cast<void>(it->release());
                siblings.erase(it);
                parent_->subContainerPlaces_.Forget();
                break;
            }
        }
    }
}

int64_t Container::LiveCount() noexcept { return live_.load(std::memory_order_relaxed); }

ChunkRef Container::GetDefinition(const Nyx::PString& name) const
{
    if (definitionsRoot_)
        return TDBContainerTag::GetChildContainer(definitionsRoot_, name);
    const DataManager* manager = DataManager::Existing();
    return manager ? TDBContainerTag::GetChildContainer(manager->GetDefinitions(), name) : ChunkRef();
}

std::unique_ptr<Container> Container::CreateSubContainer(const Nyx::PString& name, Container& parent,
                                                         const Nyx::PString& definitionName, int32_t index,
                                                         const ChunkRef& config)
{
    const ChunkRef definition = GetDefinition(definitionName);
    if (!definition) {
        ReportErrorAgainst(parent,
                           MessageText(Nyx::PString("$tet_container_nocontainerdefinition"), {definitionName}));
        return nullptr;
    }
    auto child = std::make_unique<Container>();
    child->name_ = name;
    child->typeName_ = definitionName;
    child->parent_ = &parent;
    child->index_ = index;
    child->definitionsRoot_ = definitionsRoot_;
    if (!child->definitionsRoot_)
        if (const DataManager* manager = DataManager::Existing())
            child->definitionsRoot_ = manager->GetDefinitions();
    child->config_ = config;
    child->savingName_ = TDBContainerTag::GetString(definition, Keys().savingName);
    return child;
}

bool Container::IsListboxPossibility(const Nyx::PString& value, const ChunkRef& spec) const
{
    const DataManager* manager = DataManager::Existing();
    const std::vector<Nyx::PString>* list =
        manager ? manager->FindPossibilityList(TDBContainerTag::GetString(spec, Keys().source)) : nullptr;
    if (!list)
        return false;
    std::string_view rest = value.View();
    while (true) {
        const size_t end = rest.find(';');
        const std::string_view token = rest.substr(0, end);
        for (const Nyx::PString& entry : *list)
            if (EqualsIgnoringCase(token, entry.View()))
                return true;
        if (end == std::string_view::npos)
            return false;
        rest.remove_prefix(end + 1);
    }
}

void Container::AddSubContainer(Container& parent, std::unique_ptr<Container> child)
{
    if (!child)
        return;
    if (parent.subContainerPlaces_.Kept())
        parent.subContainerPlaces_.Link(child->name_, uint32_t(parent.subContainers_.size()));
    parent.subContainers_.push_back(std::move(child));
}

void Container::SetName(const Nyx::PString& name)
{
    name_ = name;
    if (parent_)
        parent_->subContainerPlaces_.Forget();
}

void Container::AddElementType(const Nyx::PString& elementName, Container& container,
                               const Nyx::PString& definitionName)
{
    std::vector<Nyx::PString>& names = container.allowedElementTypes_;
    if (!elementName.Empty() && std::find(names.begin(), names.end(), elementName) != names.end())
        return;
    names.push_back(elementName);
    container.allowedElementDefinitions_.push_back(container.GetDefinition(definitionName));
}

void Container::AddCompulsoryElement(Container& container, const Nyx::PString& definitionName)
{
    container.compulsoryElementDefinitions_.push_back(container.GetDefinition(definitionName));
}

}  // namespace TETLib
