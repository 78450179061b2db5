#include "tetlib/rules/TagRules.h"

#include <cstdlib>
#include <limits>
#include <string>

#include "config/tree/TDBContainerTag.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/mesh/MeshData.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/rules/AssetLocation.h"
#include "tetlib/tag/Tag.h"

namespace TETLib {

namespace {

// Arrays of assets before this build are not counted.
constexpr float kFirstCountedArrayBuild = 2.89f;

Nyx::PString Key(const char* key) { return Nyx::PString(key); }

ChunkRef Params(const ChunkRef* argument) { return argument ? *argument : ChunkRef(); }

double ParamNumber(const ChunkRef* argument, const char* name)
{
    return std::atof(TDBContainerTag::GetString(Params(argument), Nyx::PString(name)).c_str());
}

// A bound as a value is held, a float: past the float range it is infinite.
float AsHeld(double bound)
{
    if (bound > std::numeric_limits<float>::max())
        return std::numeric_limits<float>::infinity();
    if (bound < -std::numeric_limits<float>::max())
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(bound);
}

// The mesh-table entry that holds the tag's effect container.
const Container* Grandparent(const Tag& tag)
{
    const Container* parent = tag.owner ? tag.owner->GetParent() : nullptr;
    return parent ? parent->GetParent() : nullptr;
}

template <class Fails>
bool EveryNumberPasses(const Tag& tag, Fails fails)
{
    for (const float number : ParseNumberList(tag.value.View()))
        if (fails(number))
            return false;
    return true;
}

// The path with its extension (after the last "." of the last component)
// replaced, or the extension added when it has none.
Nyx::File::Path WithExtension(const Nyx::File::Path& path, std::string_view extension)
{
    std::string text = path.Str();
    const size_t dot = text.rfind('.');
    const size_t slash = text.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        text.resize(dot);
    text += '.';
    text.append(extension);
    return Nyx::File::Path(text);
}

}  // namespace

bool Tag::CheckArraySize(Tag& tag, int32_t expected)
{
    if (tag.value.Empty())
        return false;
    const DataManager* manager = DataManager::Existing();
    if (manager && manager->assetBuild < kFirstCountedArrayBuild)
        return true;
    const size_t count = ParseNumberList(tag.value.View()).size();
    if (expected >= 0 && count == static_cast<size_t>(expected))
        return true;
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_arraywrongsize"),
                                        {tag.name, expected, static_cast<int64_t>(count)}));
    return false;
}

bool RuleIsPositive(Tag& tag, const ChunkRef*)
{
    if (tag.value.Empty())
        return false;
    if (EveryNumberPasses(tag, [](float n) { return n < 0.0f; }))
        return true;
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_notpositive"), {tag.name}));
    return false;
}

bool RuleIsNotZero(Tag& tag, const ChunkRef*)
{
    if (tag.value.Empty())
        return false;
    if (EveryNumberPasses(tag, [](float n) { return n == 0.0f; }))
        return true;
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_notzero"), {tag.name}));
    return false;
}

bool RuleRange(Tag& tag, const ChunkRef* argument)
{
    if (tag.value.Empty())
        return false;
    const double min = ParamNumber(argument, "min");
    const double max = ParamNumber(argument, "max");
    // Compared as the values are held, so that a value written as the bound
    // itself (1.3, say) is within it.
    const float low = AsHeld(min);
    const float high = AsHeld(max);
    bool ok = true;
    for (const float number : ParseNumberList(tag.value.View()))
        if (!(low <= number && number <= high))
            ok = false;
    if (!ok)
        ReportErrorAgainst(tag, MessageText(Key("$tet_val_notwithinrange"), {tag.name, min, max}));
    return ok;
}

bool RuleArraySize(Tag& tag, const ChunkRef* argument)
{
    static const Nyx::PString kSize("size");
    const ChunkRef params = Params(argument);
    if (!TDBContainerTag::HasChild(params, kSize))
        return false;
    const long size = std::strtol(TDBContainerTag::GetString(params, kSize).c_str(), nullptr, 10);
    const int32_t expected = size > INT32_MAX ? INT32_MAX : size < INT32_MIN ? INT32_MIN : static_cast<int32_t>(size);
    return Tag::CheckArraySize(tag, expected);
}

bool RuleNotOwnParent(Tag& tag, const ChunkRef*)
{
    if (!tag.owner || tag.name != tag.owner->GetName())
        return true;
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_notownparent")));
    return false;
}

bool RuleMustBeOwnParent(Tag& tag, const ChunkRef*)
{
    const Container* entry = Grandparent(tag);
    const DataManager* manager = DataManager::Existing();
    const MeshData* mesh = entry && manager ? manager->FindContainerMesh(entry->Serial()) : nullptr;
    if (!mesh)
        return false;
    if (mesh->HasAttachmentPoint(tag.value))
        return true;
    const std::string shown = WithoutPrefix(mesh->GetMeshPath().View(), manager->GetAssetFolder().View());
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_mustbeownparent"), {tag.value, shown}));
    return false;
}

bool RuleMustBeInLightContainer(Tag& tag, const ChunkRef*)
{
    static const Nyx::PString kLights("lights");
    const std::vector<int32_t> lightNumbers = ParseIntegerList(tag.value.View());
    const Container* entry = Grandparent(tag);
    const Container* lights = entry ? entry->FindSubContainer(kLights) : nullptr;
    if (!lights) {
        ReportErrorAgainst(tag, MessageText(Key("$tet_val_musthavealightcontainer")));
        return false;
    }
    bool ok = true;
    for (const int32_t number : lightNumbers) {
        if (lights->FindSubContainer(Nyx::PString(std::to_string(number))))
            continue;
        ReportErrorAgainst(tag, MessageText(Key("$tet_val_mustbeinlightcontainer"), {number}));
        ok = false;
    }
    return ok;
}

bool RuleMustBePaired(Tag& tag, const ChunkRef* argument)
{
    if (tag.name.View() == "initial-count" && tag.value.View() == "0")
        return true;
    const ChunkRef params = Params(argument);
    const Nyx::PString first = TDBContainerTag::GetString(params, Nyx::PString("0"));
    const Nyx::PString second = TDBContainerTag::GetString(params, Nyx::PString("1"));
    // A tag of the first name never counts for the second.
    const bool foundFirst = tag.owner && tag.owner->FindTag(first);
    const bool foundSecond = tag.owner && second != first && tag.owner->FindTag(second);
    if (!foundFirst)
        ReportErrorAgainst(tag, MessageText(Key("$tet_val_mustbepaired"), {second, first}));
    if (!foundSecond)
        ReportErrorAgainst(tag, MessageText(Key("$tet_val_mustbepaired"), {first, second}));
    return foundFirst && foundSecond;
}

bool RuleNeedCollateMeshes(Tag& tag, const ChunkRef*)
{
    static const Nyx::PString kCollate("collate-meshes");
    if (tag.owner && tag.owner->FindTag(kCollate))
        return true;
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_nocollatemeshes"), {tag.name, kCollate}));
    return false;
}

bool RuleIsTracksideType(Tag& tag, const ChunkRef*)
{
    static const Nyx::PString kType("type");
    static const Nyx::PString kTrackside("trackside");
    if (const Tag* type = tag.owner ? tag.owner->FindTag(kType) : nullptr) {
        if (type->value == kTrackside)
            return true;
        ReportErrorAgainst(*type, MessageText(Key("$tet_val_wrongtype"), {kType, kTrackside, tag.name}));
        return false;
    }
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_notype"), {tag.name, kType, kTrackside}));
    return false;
}

bool RuleScriptFileExists(Tag& tag, const ChunkRef*)
{
    if (tag.value.Empty())
        return false;
    if (DataFolderIsArchive())
        return true;
    // A value written from the folder's top ("/script.gs") is looked up
    // below the asset folder too.
    std::string_view name = tag.value.View();
    while (!name.empty() && (name.front() == '/' || name.front() == '\\'))
        name.remove_prefix(1);
    Nyx::File::Path path = CurrentAssetFolderPath();
    path.AddPath(Nyx::File::Path::Normalise(name));
    for (const char* extension : {"gse", "gs"})
        if (Nyx::File::Exists(WithExtension(path, extension)) == 0)
            return true;
    ReportErrorAgainst(tag, MessageText(Key("$tet_val_scriptfiledne"), {tag.value}));
    return false;
}

}  // namespace TETLib
