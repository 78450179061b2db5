#include "tetlib/container/KindDefinition.h"

#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/DefinitionKeys.h"
#include "tetlib/data/AssetBuild.h"
#include "tetlib/data/DataManager.h"

namespace TETLib {

namespace {

// Assets before this build (2.9) have the old track kinds.
constexpr int32_t kFirstCurrentBuild = 290;
constexpr float kLevelHeight = 0.001f;

ChunkRef TopLevelDefinition(const DataManager& manager, const Nyx::PString& name)
{
    ChunkRef definition = TDBContainerTag::GetChildContainer(manager.GetDefinitions(), name);
    if (TDBContainerTag::GetInt(definition, Keys().topLevel, 0) == 0)
        return ChunkRef();
    return definition;
}

}  // namespace

Nyx::PString KindDefinitionName(const ChunkRef& config, const Nyx::PString& kind, float build)
{
    const DefinitionKeys& keys = Keys();
    if (kind.View() == "bridge") {
        const float height = TDBContainerTag::GetFloat(config, keys.height, 0.0f);
        if (height < -kLevelHeight)
            return Nyx::PString("bridge");
        if (height <= kLevelHeight)
            return Nyx::PString("double-track");
        return Nyx::PString("tunnel");
    }
    if (kind.View() == "track") {
        if (BuildHundredths(build) >= kFirstCurrentBuild)
            return kind;
        if (TDBContainerTag::HasChild(config, keys.chunkyMesh))
            return Nyx::PString("chunky-track");
        if (TDBContainerTag::HasChild(config, keys.unitMesh))
            return Nyx::PString("mesh-reducing-track");
        return Nyx::PString("obsolete-track");
    }
    if (kind.View() == "scenery" && TDBContainerTag::HasChild(config, keys.trackside))
        return Nyx::PString("scenery-trackside");
    return kind;
}

ChunkRef FindKindDefinition(const Nyx::PString& kind)
{
    const Nyx::PString name = Nyx::PStringCache::ToLower(kind);
    DataManager& manager = DataManager::Instance();
    if (ChunkRef definition = TopLevelDefinition(manager, name))
        return definition;
    manager.LoadDefinitions();
    return TopLevelDefinition(manager, name);
}

}  // namespace TETLib
