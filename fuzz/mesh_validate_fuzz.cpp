// The mesh checks of "validate" over a mesh file of arbitrary bytes in an
// asset folder: the asset's archive finds it, the tool's resource types
// load it, and the checks look at its materials, its textures' descriptions
// beside it, its LOD levels and an animation. The first byte picks the
// mesh's form (0 ".im", 1 ".lm", 2 ".lm.txt" beside two sound indexed
// meshes, 3 ".pm") and bit 2 whether the asset's kind is exempt from the
// LOD rules. Then a u16 length and a texture description's text: the
// whole of "input.texture.txt", and what follows the "Primary=" line
// (which names "paint.tga") of "paint.texture.txt" and
// "mglass.texture.txt"; the rest is the mesh file. An animation is loaded onto a mesh that loads.
//
// Whatever the bytes: a mesh that fails to load is reported and leaves
// nothing loaded; one that loads has an instance whose every level can be
// selected; a texture record says its image was found only when the image
// lies in the asset folder, and a description whose image is missing is
// reported; and once the checks end nothing stays loaded.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/resource/ResourceDatabase.h"
#include "platform/PathLookup.h"
#include "resources/archive/ArchiveCache.h"
#include "resources/mesh/MeshFileWriter.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/mesh/MeshData.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolder = "local/asset";

std::string_view AsText(const std::vector<uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A strip of squares whose material names the texture, with one
// attachment point.
TestMesh Strip(uint32_t quads)
{
    TestMesh mesh;
    mesh.chunks.push_back(QuadStripChunk(quads, "body.m.onetex"));
    TestAttachments attachments;
    attachments.points.push_back({"a.light"});
    mesh.attachments = attachments;
    return mesh;
}

// Takes a u16 length and that many bytes (fewer when the input ends).
std::string_view TakePart(std::string_view& rest)
{
    if (rest.size() < 2) {
        rest = {};
        return {};
    }
    const size_t length = std::min<size_t>(uint8_t(rest[0]) | size_t(uint8_t(rest[1])) << 8, rest.size() - 2);
    const std::string_view part = rest.substr(2, length);
    rest.remove_prefix(2 + length);
    return part;
}

// A regular file by that name (matched as the tool matches names) whose
// path lies in the folder.
bool Inside(const std::string& folder, const std::string& path)
{
    const std::string normal = fs::path(path).lexically_normal().string();
    if (normal.compare(0, folder.size() + 1, folder + "/") != 0)
        return false;
    const std::string found = Platform::FindExisting(normal);
    struct stat st;
    return !found.empty() && ::lstat(found.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Engine {
    Nyx::RenderKernel kernel{nullptr, 1.0f};
    Nyx::Display display;

    Engine()
    {
        kernel.GetMaterialManager().SetRenderContext(&display);
        Nyx::ResourceDatabase::SetMaterialManager(&kernel.GetMaterialManager());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 20))
        return 0;
    static FuzzTempFolder folder("mesh_validate_fuzz");
    static Engine* engine = new Engine;
    (void)engine;
    SetMainThreadId();
    folder.Clear();

    static const char* const kNames[] = {"body.im", "body.lm", "body.lm.txt", "body.pm"};
    const std::string mesh = kNames[data[0] & 3];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view description = TakePart(rest);
    const std::string asset = std::string(kFolder) + "/";
    folder.Write(asset + mesh, rest);
    folder.Write(asset + "anim.kin", "any bytes");
    for (const char* texture : {"paint.texture.txt", "mglass.texture.txt"})
        folder.Write(asset + texture, "Primary=paint.tga\n" + std::string(description));
    folder.Write(asset + "input.texture.txt", description);
    folder.Write(asset + "paint.tga", "not read");
    if (mesh == "body.lm.txt") {
        folder.Write(asset + "near.im", AsText(WriteMeshFile(Strip(200))));
        folder.Write(asset + "far.im", AsText(WriteMeshFile(Strip(20))));
    }

    SetContentRootPath(Nyx::File::Path(folder.Path()));
    TETLib::ErrorHandler::Create();
    TETLib::DataManager::Create(folder / "TETData/");
    TETLib::DataManager& manager = TETLib::DataManager::Instance();
    manager.SetCurrentAssetFolder(Nyx::File::Path(kFolder), nullptr);
    manager.assetBuild = 3.0f;
    {
        TETLib::Container root;
        root.SetName(Nyx::PString("asset"));
        ChunkRef config;
        TDBContainerTag::SetString(config, Nyx::PString("kind"),
                                   Nyx::PString((data[0] & 4) ? "interior" : "scenery"));
        root.SetConfig(config);

        TETLib::MeshData* loaded = manager.LoadMeshFile(Nyx::PString(asset + mesh), &root);
        if (!loaded) {
            FuzzCheck(manager.meshProblemReported);
            FuzzCheck(!TETLib::ErrorHandler::Instance()->GetMessages().empty());
        } else {
            FuzzCheck(loaded->IsLoaded());
            TETLib::MeshInstanceView* instance = loaded->GetInstance();
            FuzzCheck(instance != nullptr);
            const uint32_t levels = instance->GetLODLevelCount();
            for (uint32_t level = 0; level < levels && level < 64; ++level) {
                instance->SelectLODLevel(level);
                (void)instance->GetPolygonCount();
            }
            std::array<float, 6> bounds{};
            (void)loaded->GetBounds(bounds);
            bool missingReported = false;
            for (const auto& message : TETLib::ErrorHandler::Instance()->GetMessages())
                missingReported = missingReported || message->key.View() == "$tet_mesh_load_texture";
            for (const TETLib::MeshData::TextureRecord& record : loaded->GetTextureRecords()) {
                const std::string description = folder / std::string(record.texture.View());
                const std::string image = fs::path(description).parent_path().string() + "/" +
                                          std::string(record.image.View());
                if (record.imageFound)
                    FuzzCheck(Inside(folder / kFolder, image));
                else if (Inside(folder / kFolder, description))
                    FuzzCheck(missingReported);
            }
            (void)manager.LoadMeshFile(Nyx::PString(asset + "anim.kin"), &root);
        }

    }
    manager.CollectGarbage();
    FuzzCheck(TETLib::Container::LiveCount() == 0);
    FuzzCheck(manager.GetLoadedObjectCount() == 0);

    TETLib::DataManager::Destroy();
    TETLib::ErrorHandler::Destroy();
    ArchiveCache::PurgeUnused();
    SetContentRootPath(Nyx::File::Path());
    return 0;
}
