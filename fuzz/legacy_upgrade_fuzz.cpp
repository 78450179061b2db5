// Fuzzer bytes as an old config's text: the tree is upgraded as a config
// of build 2.5 would be, then checked against a fixed data folder (whose
// definitions hold the kinds the upgrade converts) with a mesh of the
// asset folder on disk. Whatever the bytes: no crash, an upgraded tree
// stamped with build 2.9, and nothing left behind: no container alive, no
// mesh kept.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "config/formats/ConfigText.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "core/streams/TStream.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/upgrade/LegacyConfigUpgrade.h"

namespace {

constexpr const char* kKinds =
    "scenery\n{\n  top-level 1\n  subpossibilities\n  {\n    kind\n    {\n      kind \"value\"\n"
    "      type \"string\"\n    }\n    trackside\n    {\n      kind \"value\"\n      type \"float\"\n    }\n"
    "    mesh-table\n    {\n      kind \"element\"\n      element-type \"mesh-table\"\n    }\n  }\n}\n"
    "traincar\n{\n  top-level 1\n  subpossibilities\n  {\n    kind\n    {\n      kind \"value\"\n"
    "      type \"string\"\n    }\n  }\n}\n";
constexpr const char* kContainers =
    "mesh-table\n{\n  array-element\n  {\n    container-type0 \"mesh-table-entry\"\n  }\n}\n"
    "mesh-table-entry\n{\n  subpossibilities\n  {\n    mesh\n    {\n      kind \"value\"\n      type \"filepath\"\n"
    "      datatype \"meshes\"\n    }\n    anim\n    {\n      kind \"value\"\n      type \"filepath\"\n"
    "      datatype \"animation\"\n    }\n  }\n}\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("legacy_upgrade_fuzz");
    SetMainThreadId();
    folder.Clear();
    folder.Write("TETData/kind.txt", kKinds);
    folder.Write("TETData/container.txt", kContainers);
    folder.Write("TETData/inheritance.txt", "");
    folder.Write("local/asset/anim.kin", "");
    SetContentRootPath(Nyx::File::Path(folder.Path()));
    TETLib::ErrorHandler::Create();
    TETLib::DataManager::Create(folder / "TETData/");
    TETLib::DataManager& manager = TETLib::DataManager::Instance();
    manager.LoadDefinitions();
    manager.SetCurrentAssetFolder(Nyx::File::Path("local/asset"), nullptr);

    ChunkRef config;
    {
        TBuffer in;
        in.GetBuffer()->Write(data, static_cast<uint32_t>(size), 1);
        in.GetBuffer()->Seek(0);
        ReadConfigText(config, in, false);
    }
    config.EnsureContainer();
    manager.assetBuild = 2.5f;
    TETLib::UpgradeConfigIfLegacy(config);
    FuzzCheck(TDBContainerTag::GetFloat(config, Nyx::PString("kestro-build"), 0.0f) == 2.9f);
    {
        TETLib::Container container;
        container.Check(config);
    }
    manager.CollectGarbage();
    FuzzCheck(TETLib::Container::LiveCount() == 0);
    FuzzCheck(manager.GetLoadedObjectCount() == 0);

    TETLib::DataManager::Destroy();
    TETLib::ErrorHandler::Destroy();
    SetContentRootPath(Nyx::File::Path());
    return 0;
}
