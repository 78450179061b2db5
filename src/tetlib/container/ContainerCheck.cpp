#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/container/KindDefinition.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/upgrade/LegacyConfigUpgrade.h"
#include "tetlib/errors/MessageText.h"

namespace TETLib {

namespace {

// An asset without a build is as old as they come.
constexpr float kDefaultBuild = 1.3f;
// Added to the stored build, so that a build written as 2.9 is not read as
// a hair below it.
constexpr float kBuildMargin = 0.001f;

}  // namespace

bool Container::Check(const ChunkRef& config)
{
    DataManager& manager = DataManager::Instance();
    const DefinitionKeys& keys = Keys();
    manager.assetBuild = TDBContainerTag::GetFloat(config, keys.build, kDefaultBuild) + kBuildMargin;
    // The upgrade edits the tree the reference shares.
    ChunkRef tree = config;
    UpgradeConfigIfLegacy(tree);

    const Nyx::PString kind = TDBContainerTag::GetString(config, keys.kind);
    if (kind.Empty()) {
        ReportPlainError(MessageText(Nyx::PString("$tet_container_nokindtag")));
        return false;
    }
    const Nyx::PString definitionName = KindDefinitionName(config, kind, manager.assetBuild);
    const ChunkRef definition = FindKindDefinition(definitionName);
    if (!definition) {
        ReportPlainError(MessageText(Nyx::PString("$tet_container_nokindspecification")));
        return false;
    }

    config_ = config;
    definitionsRoot_ = manager.GetDefinitions();
    parent_ = nullptr;
    index_ = 0;
    name_ = definitionName;
    typeName_ = definitionName;
    LoadDefinition(definition, true);
    BindContainerRules(definition, *this);

    if (TDBContainerTag::HasChild(config, keys.alias)) {
        manager.alias = true;
        ReportPlainWarning(MessageText(Nyx::PString("$tet_container_alias")));
    }
    return WalkTags(config, definition, *this);
}

}  // namespace TETLib
