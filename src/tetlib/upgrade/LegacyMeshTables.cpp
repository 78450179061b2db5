#include "tetlib/upgrade/LegacyMeshTables.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "config/kuid/KUID.h"
#include "config/tree/TDBContainerTag.h"
#include "nyx/files/File.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/mesh/MeshData.h"

namespace TETLib {

namespace {

using Tags = TDBContainerTag;

Nyx::PString Name(std::string_view text) { return Nyx::PString(text); }
Nyx::PString Get(const ChunkRef& tree, std::string_view name) { return Tags::GetString(tree, Name(name)); }
void Set(ChunkRef& tree, std::string_view name, std::string_view value)
{
    Tags::SetString(tree, Name(name), Name(value));
}
void Remove(const ChunkRef& tree, std::string_view name) { Tags::RemoveChild(tree, Name(name)); }
void Attach(ChunkRef& parent, std::string_view name, ChunkRef& child) { Tags::SetChildContainer(parent, Name(name), child); }

template <class... Args>
std::string Format(const char* format, Args... args)
{
    char text[1024];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// The file below the asset folder, as the inspection loads it.
Nyx::PString InAssetFolder(std::string_view file)
{
    const DataManager* manager = DataManager::Existing();
    Nyx::File::Path path(manager ? manager->GetAssetFolder() : Nyx::PString());
    path.AddPath(file);
    return Nyx::PString(path.View());
}

// A mesh loaded only to be asked for its points; nothing is kept of it.
class InspectedMesh {
public:
    explicit InspectedMesh(const Nyx::PString& path) : mesh_(path, ContainerSerial::kNone)
    {
        loaded_ = mesh_.Load(path, ContainerSerial::kNone);
    }

    bool Loaded() const noexcept { return loaded_; }
    bool Holds(const std::string& point) const { return loaded_ && mesh_.HoldsPoint(Name(point)); }
    bool HoldsPair(const std::string& a, const std::string& b) const { return Holds(a) && Holds(b); }
    void RequestAnimation(std::string_view file) { mesh_.LoadAnimation(InAssetFolder(file)); }

private:
    MeshData mesh_;
    bool loaded_ = false;
};

// An "attached-track" entry between the two points.
void AddTrackPiece(ChunkRef& tracks, const std::string& name, const std::string& a, const std::string& b,
                   const KUID& track, int32_t adjoining)
{
    ChunkRef vertices;
    Set(vertices, "0", a);
    Set(vertices, "1", b);
    ChunkRef entry;
    Attach(entry, "vertices", vertices);
    Tags::SetKUID(entry, Name("track"), track);
    Tags::SetInt(entry, Name("useadjoiningtracktype"), adjoining);
    Attach(tracks, name, entry);
}

ChunkRef MeshEntry(std::string_view mesh, int32_t autoCreate)
{
    ChunkRef entry;
    Set(entry, "mesh", mesh);
    Tags::SetInt(entry, Name("auto-create"), autoCreate);
    return entry;
}

std::string Joined(const std::string& folder, const std::string& file)
{
    Nyx::File::Path path(folder);
    path.AddPath(file);
    return path.Str();
}

}  // namespace

void ConvertBogeyMeshTable(ChunkRef& config, const Nyx::PString& assetFilename)
{
    const std::string af(assetFilename.View());
    ChunkRef table;
    ChunkRef main = MeshEntry(af + ".pm", 1);
    Attach(table, "default", main);
    ChunkRef shadow = MeshEntry(Format("%s_shadow/%s_shadow.pm", af.c_str(), af.c_str()), 0);
    Attach(table, "shadow", shadow);
    Attach(config, "mesh-table", table);
}

void ConvertTraincarMeshTable(ChunkRef& config, const Nyx::PString& assetFilename)
{
    const std::string af(assetFilename.View());
    ChunkRef table;
    ChunkRef body = MeshEntry(Joined(af + "_body", af + "_body.pm"), 1);
    Attach(table, "default", body);
    ChunkRef shadow = MeshEntry(Joined(af + "_shadow", af + "_shadow.pm"), 0);
    Attach(table, "shadow", shadow);
    Attach(config, "mesh-table", table);
}

void ConvertTraincarBogeys(ChunkRef& config)
{
    ChunkRef bogeys(new TDBContainerTag);
    int32_t added = 0;
    // True when the tag held a bogey, which then moves into the list.
    auto take = [&](const std::string& tag, int32_t reversed) {
        const KUID bogey = Tags::GetKUID(config, Name(tag), KUID::Null);
        if (bogey.IsNull())
            return false;
        ChunkRef entry;
        Tags::SetKUID(entry, Name("bogey"), bogey);
        Tags::SetInt(entry, Name("reversed"), reversed);
        Attach(bogeys, Format("%d", added++), entry);
        Remove(config, tag);
        return true;
    };
    take("bogey", 0);
    take("bogey-r", 1);
    for (int32_t i = 0;; ++i) {
        const bool ahead = take(Format("bogey-%d", i), 0);
        const bool reversed = take(Format("bogey-%d-r", i), 1);
        if (!ahead && !reversed)
            break;
    }
    Attach(config, "bogeys", bogeys);
}

void ConvertJunctionMeshTable(ChunkRef& config)
{
    const Nyx::PString modes[2] = {Get(config, "mode0"), Get(config, "mode1")};
    ChunkRef table(new TDBContainerTag);
    Attach(config, "mesh-table", table);
    for (int32_t i = 0; i < 2; ++i) {
        if (modes[i].Empty())
            continue;
        const std::string mode(modes[i].View());
        ChunkRef entry;
        Set(entry, "mesh", Format("%s/%s.im", mode.c_str(), mode.c_str()));
        // Strings, not integers: the old junctions were written so.
        Set(entry, "auto-create", i == 0 ? "1" : "0");
        Attach(table, Nyx::PStringCache::ToLower(modes[i]).View(), entry);
        Remove(config, Format("mode%d", i));
    }
}

void ConvertSceneryMeshTable(ChunkRef& config, const Nyx::PString& assetFilename)
{
    const std::string af(assetFilename.View());
    ChunkRef table;
    ChunkRef main;
    Tags::SetInt(main, Name("auto-create"), 1);
    Set(main, "mesh", af + ".im");
    if (Tags::GetInt(config, Name("auto-animation"), 0) != 0) {
        Set(main, "anim", "anim.kin");
        Tags::SetFloat(main, Name("animation-loop-speed"), 1.0f);
    }
    Remove(config, "auto-animation");

    const int32_t names = CountNameAttachments(InAssetFolder(af + ".im"));
    const Nyx::PString colour = Get(config, "fontcolor");
    const Nyx::PString size = Get(config, "fontsize");
    ChunkRef effects(new TDBContainerTag);
    for (int32_t i = 0; i < names; ++i) {
        ChunkRef effect;
        Set(effect, "kind", "name");
        Set(effect, "att", Format("a.name%d", i));
        if (!colour.Empty())
            Tags::SetString(effect, Name("fontcolor"), colour);
        if (!size.Empty())
            Tags::SetString(effect, Name("fontsize"), size);
        Set(effect, "name", "name");
        Attach(effects, Format("%d", i), effect);
    }
    Attach(main, "effects", effects);
    Attach(table, "default", main);

    if (Tags::HasChild(config, Name("night"))) {
        const std::string night(Get(config, "night").View());
        Remove(config, "night");
        ChunkRef entry;
        Set(entry, "mesh", night + "/" + night + ".im");
        Set(entry, "night-mesh-base", "default");
        Attach(table, "night", entry);
    }
    Attach(config, "mesh-table", table);
}

void ConvertInteriorMeshTable(ChunkRef& config)
{
    ChunkRef table(new TDBContainerTag);
    if (Tags::HasChild(config, Name("attachment"))) {
        const ChunkRef attachments = Tags::GetChildContainer(config, Name("attachment"));
        const uint32_t count = attachments.ChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            Nyx::PString name;
            ChunkRef entry = Tags::GetChildContainerAt(attachments, i, name);
            if (!entry)
                continue;
            if (Tags::HasChild(entry, Name("att")) && !Tags::HasChild(entry, Name("att-parent")))
                Set(entry, "att-parent", "default");
            Tags::SetChildContainer(table, name, entry);
        }
        Remove(config, "attachment");
    }
    if (Tags::HasChild(config, Name("mesh"))) {
        ChunkRef main = MeshEntry(Get(config, "mesh").View(), 1);
        Attach(table, "default", main);
        Remove(config, "mesh");
    }
    Attach(config, "mesh-table", table);
}

void ConvertTurntableMeshTable(ChunkRef& config)
{
    if (Tags::HasChild(config, Name("mesh-table")))
        return;
    const std::string modes[2] = {std::string(Get(config, "mode0").View()), std::string(Get(config, "mode1").View())};
    const std::string meshes[2] = {Format("%s.im", modes[0].c_str()), Format("%s.im", modes[1].c_str())};
    ChunkRef table;
    ChunkRef main = MeshEntry(meshes[0], 1);
    Attach(table, "default", main);
    ChunkRef turntable;
    Set(turntable, "mesh", meshes[1]);
    Attach(table, "turntable", turntable);
    Attach(config, "mesh-table", table);

    const InspectedMesh inspected[2] = {InspectedMesh(InAssetFolder(meshes[0])),
                                        InspectedMesh(InAssetFolder(meshes[1]))};
    Remove(config, "mode0");
    Remove(config, "mode1");
    if (Tags::HasChild(config, Name("attached-track")) || !inspected[0].Loaded() || !inspected[1].Loaded())
        return;
    const KUID track = Tags::GetKUID(config, Name("track"), KUID::Null);
    ChunkRef tracks(new TDBContainerTag);
    const char letters[2] = {'o', 'i'};
    for (int32_t m = 0; m < 2; ++m) {
        for (int32_t k = 0;; ++k) {
            const std::string a = Format("a.%ctrack%da", letters[m], k);
            const std::string b = Format("a.%ctrack%db", letters[m], k);
            if (!inspected[m].HoldsPair(a, b))
                break;
            AddTrackPiece(tracks, Format("track%c%d", letters[m], k), a, b, track, 0);
        }
    }
    Attach(config, "attached-track", tracks);
    Remove(config, "track");
}

void ConvertCrossingMeshTable(ChunkRef& config)
{
    if (Tags::HasChild(config, Name("mesh-table")))
        return;
    std::string mode(Get(config, "mode0").View());
    if (mode.empty())
        mode = "mode0";
    const std::string mesh = Format("%s.im", mode.c_str());
    ChunkRef table;
    ChunkRef main;
    Set(main, "mesh", mesh);
    Set(main, "anim", "anim.kin");
    Tags::SetInt(main, Name("auto-create"), 1);
    Attach(table, "default", main);
    Attach(config, "mesh-table", table);

    InspectedMesh inspected(InAssetFolder(mesh));
    if (inspected.Loaded())
        inspected.RequestAnimation("anim.kin");
    Remove(config, "mode0");
    Remove(config, "mode1");
    if (Tags::HasChild(config, Name("attached-track")) || !inspected.Loaded())
        return;
    const KUID kuids[2] = {Tags::GetKUID(config, Name("road"), KUID::Null),
                           Tags::GetKUID(config, Name("track"), KUID::Null)};
    const char* const words[2] = {"road", "track"};
    ChunkRef tracks(new TDBContainerTag);
    for (int32_t w = 0; w < 2; ++w) {
        for (int32_t k = 0;; ++k) {
            const std::string a = Format("a.%s%da", words[w], k);
            const std::string b = Format("a.%s%db", words[w], k);
            if (!inspected.HoldsPair(a, b))
                break;
            AddTrackPiece(tracks, Format("%s%d", words[w], k), a, b, kuids[w], 1);
        }
    }
    Attach(config, "attached-track", tracks);
}

int32_t CountNameAttachments(const Nyx::PString& meshPath)
{
    const InspectedMesh mesh(meshPath);
    int32_t count = 0;
    while (mesh.Holds(Format("a.name%d", count)))
        ++count;
    return count;
}

}  // namespace TETLib
