#include "tetlib/upgrade/LegacyConfigUpgrade.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "config/kuid/KUID.h"
#include "config/tree/FloatArray.h"
#include "config/tree/TDBContainerTag.h"
#include "core/kinds/LegacyTypeCategoryTable.h"
#include "tetlib/data/AssetBuild.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/upgrade/LegacyMeshTables.h"

namespace TETLib {

namespace {

using Tags = TDBContainerTag;

constexpr int32_t kFirstCurrentBuild = 290;
constexpr float kUpgradedBuild = 2.9f;
constexpr int32_t kThumbnailSize = 64;

// Tags of old tools and translations that no template knows.
constexpr const char* kLegacyWords[] = {
    "licence", "disclaimer:", "licence:", "licence:-", "name-ru", "name-es", "name-fr", "name-pl", "name-de",
    "name-it", "name-cz", "name-cn", "name-nl", "name-hu", "origin", "objremarks", "origregion", "orgname",
    "origname", "marvu", "company", "kestro", "kestro_build", "train-build", "version", "obsolete"};
// Single words of running text that the old parser took for tags.
constexpr const char* kStrayWords[] = {"by", "you", "this", "the", "these", "-", "all", "copyright",
                                       "use", "have", "check", "only", "keep", "for", "in", "alternate",
                                       "feel", "no", "contact", "created", "//", ";", "*"};
// Region values that stand for no region in particular.
constexpr const char* kAnyRegion[] = {"EU", "any region in the world", "World Trees", "ALL"};

struct RenamedTag {
    const char* from;
    const char* to;
    bool always;  // copied over the new tag even when it exists
};
constexpr RenamedTag kRenamedTags[] = {
    {"auteur", "author", true},
    {"organization", "organisation", false},
    {"user-name", "username", false},
    {"name", "username", false},
    {"description:", "description", false},
};

Nyx::PString Name(std::string_view text) { return Nyx::PString(text); }

Nyx::PString Get(const ChunkRef& tree, std::string_view name) { return Tags::GetString(tree, Name(name)); }
bool Has(const ChunkRef& tree, std::string_view name) { return Tags::HasChild(tree, Name(name)); }
void Remove(const ChunkRef& tree, std::string_view name) { Tags::RemoveChild(tree, Name(name)); }
void Set(ChunkRef& tree, std::string_view name, const Nyx::PString& value) { Tags::SetString(tree, Name(name), value); }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Numbered(const char* format, int32_t index)
{
    char name[64];
    std::snprintf(name, sizeof name, format, index);
    return name;
}

// The numbered tags "<prefix>0", "<prefix>1", ... joined by ";" into one
// value; an empty first one does not end the walk, an empty later one does.
// False when none had a value.
template <class Transform>
bool CollectNumbered(ChunkRef& config, const char* format, Transform transform, std::string& joined)
{
    bool found = false;
    for (int32_t i = 0;; ++i) {
        const std::string name = Numbered(format, i);
        const Nyx::PString value = Get(config, name);
        if (value.Empty()) {
            if (i == 0)
                continue;
            break;
        }
        if (found)
            joined += ';';
        joined += transform(std::string(value.View()));
        Remove(config, name);
        found = true;
    }
    return found;
}

// Fewer than three comma-separated fields.
bool ShortOfThreeFields(std::string_view text)
{
    for (int field = 0; field < 2; ++field) {
        const size_t comma = text.find(',');
        if (comma == std::string_view::npos)
            return true;
        text.remove_prefix(comma + 1);
    }
    return text.empty();
}

void ApplyThumbnailRule(ChunkRef& config)
{
    if (!Has(config, "icon-texture") || Has(config, "thumbnails"))
        return;
    ChunkRef entry;
    Set(entry, "image", Get(config, "icon-texture"));
    Tags::SetInt(entry, Name("width"), kThumbnailSize);
    Tags::SetInt(entry, Name("height"), kThumbnailSize);
    ChunkRef thumbnails;
    Tags::SetChildContainer(thumbnails, Name("0"), entry);
    Tags::SetChildContainer(config, Name("thumbnails"), thumbnails);
    Remove(config, "icon-texture");
}

void ApplyCameraRule(ChunkRef& config)
{
    if (Has(config, "camera")) {
        ChunkRef cameras = Tags::GetChildContainer(config, Name("cameralist"));
        if (!cameras) {
            ChunkRef empty;
            Tags::SetChildContainer(config, Name("cameralist"), empty);
            cameras = empty;
        }
        const int32_t index = static_cast<int32_t>(cameras.ChildCount());
        FloatArray values;
        Tags::GetFloatArray(config, Name("camera"), values);
        values.Append(0.0f);
        values.Append(0.0f);
        Tags::SetNumberList(cameras, Name(Numbered("camera%d", index)), values);
        Remove(config, "camera");
    }
    if (!Has(config, "cameradefault"))
        Tags::SetInt(config, Name("cameradefault"), 0);
}

void ApplyKindRules(ChunkRef& config, const Nyx::PString& assetFilename)
{
    const std::string_view kind = Get(config, "kind").View();
    const bool named = !assetFilename.Empty();
    const bool needsMeshTable = named && !Has(config, "mesh-table");
    if (EqualNoCase(kind, "bogey")) {
        if (needsMeshTable)
            ConvertBogeyMeshTable(config, assetFilename);
        Remove(config, "light");
    }
    if (EqualNoCase(kind, "behavior"))
        ApplyThumbnailRule(config);
    if (EqualNoCase(kind, "groundtexture") || EqualNoCase(kind, "texture")) {
        Remove(config, "rgb");
        if (named && !Has(config, "texture"))
            Set(config, "texture", Nyx::PString(assetFilename.Str() + ".texture"));
        Remove(config, "light");
    }
    if (EqualNoCase(kind, "mesh"))
        Remove(config, "light");
    if (EqualNoCase(kind, "mojunction") && needsMeshTable)
        ConvertJunctionMeshTable(config);
    if (EqualNoCase(kind, "mocrossing")) {
        if (needsMeshTable)
            ConvertCrossingMeshTable(config);
        Remove(config, "track");
        Remove(config, "road");
    }
    if (EqualNoCase(kind, "turntable") && needsMeshTable)
        ConvertTurntableMeshTable(config);
    if (EqualNoCase(kind, "traincar")) {
        if (needsMeshTable)
            ConvertTraincarMeshTable(config, assetFilename);
        if (!Has(config, "bogeys"))
            ConvertTraincarBogeys(config);
        if (Tags::GetChildContainer(config, Name("running-numbers")))
            Remove(config, "running-numbers");
    }
    if (EqualNoCase(kind, "track") && named)
        Remove(config, "height");
    if ((EqualNoCase(kind, "track") || EqualNoCase(kind, "bridge")) && named)
        Remove(config, "mini");
    if (EqualNoCase(kind, "scenery")) {
        if (needsMeshTable)
            ConvertSceneryMeshTable(config, assetFilename);
        Remove(config, "bendy");
    }
    if (EqualNoCase(kind, "buildable") && needsMeshTable)
        ConvertSceneryMeshTable(config, assetFilename);
    if (EqualNoCase(kind, "interior")) {
        if (needsMeshTable)
            ConvertInteriorMeshTable(config);
        ApplyCameraRule(config);
    }
}

void NameEffects(const ChunkRef& config)
{
    const ChunkRef table = Tags::GetChildContainer(config, Name("mesh-table"));
    const uint32_t entries = table.ChildCount();
    for (uint32_t i = 0; i < entries; ++i) {
        const ChunkRef effects = Tags::GetChildContainer(Tags::GetChildContainerAt(table, i), Name("effects"));
        const uint32_t count = effects.ChildCount();
        for (uint32_t e = 0; e < count; ++e) {
            Nyx::PString name;
            ChunkRef effect = Tags::GetChildContainerAt(effects, e, name);
            if (effect && Get(effect, "kind") == Name("name") && Get(effect, "name").Empty())
                Set(effect, "name", name);
        }
    }
}

void RebuildSoundLists(const ChunkRef& config)
{
    const ChunkRef scripts = Tags::GetChildContainer(config, Name("soundscript"));
    const uint32_t count = scripts.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        ChunkRef script = Tags::GetChildContainerAt(scripts, i);
        const ChunkRef sound = Tags::GetChildContainer(script, Name("sound"));
        if (!sound)
            continue;
        ChunkRef rebuilt(new TDBContainerTag);
        const uint32_t sounds = sound.ChildCount();
        for (uint32_t s = 0; s < sounds; ++s) {
            Nyx::PString name;
            ChunkRef child;
            if (!sound->GetChildAt(s, name, child))
                continue;
            if (Tags::GetString(sound, name).Empty())
                Set(rebuilt, Numbered("%d", static_cast<int32_t>(s)), name);
            else
                rebuilt->AddChild(name, child);
        }
        Tags::SetChildContainer(script, Name("sound"), rebuilt);
    }
}

void SetCategoryDefaults(ChunkRef& config)
{
    if (Get(config, "category-era").Empty())
        Set(config, "category-era", Name("1800s"));
    if (FindKindName(Get(config, "kind").View(), Get(config, "category-class").View()).Empty())
        Set(config, "category-class", Name("ZX"));
    const std::string_view region = Get(config, "category-region").View();
    bool anyRegion = region.empty();
    for (const char* word : kAnyRegion)
        anyRegion = anyRegion || EqualNoCase(region, word);
    if (anyRegion)
        Set(config, "category-region", Name("00"));
}

void RenameOldTags(ChunkRef& config)
{
    for (const RenamedTag& tag : kRenamedTags) {
        if (!Has(config, tag.from))
            continue;
        if (tag.always || !Has(config, tag.to))
            Set(config, tag.to, Get(config, tag.from));
        Remove(config, tag.from);
    }
}

// A name no template can mean: quotes or braces from broken text, nothing,
// underscores alone or digits alone.
bool IsJunkName(std::string_view name)
{
    if (name.empty())
        return true;
    if (name.find_first_of("\"'{}") != std::string_view::npos)
        return true;
    if (name.find_first_not_of('_') == std::string_view::npos)
        return true;
    return name.find_first_not_of("0123456789") == std::string_view::npos;
}

// Walks from the last child to the first, removing those the test picks.
template <class Test>
void RemoveChildrenBackwards(ChunkRef& config, Test test)
{
    for (uint32_t i = config.ChildCount(); i-- > 0;) {
        Nyx::PString name;
        ChunkRef child;
        if (config->GetChildAt(i, name, child) && test(name))
            config->RemoveChild(child);
    }
}

}  // namespace

void UpgradeConfigIfLegacy(ChunkRef& config)
{
    if (BuildHundredths(DataManager::Instance().assetBuild) >= kFirstCurrentBuild)
        return;
    UpgradeLegacyConfig(config);
    Tags::SetFloat(config, Name("kestro-build"), kUpgradedBuild);
}

void UpgradeLegacyConfig(ChunkRef& config)
{
    config.EnsureContainer();
    // 1: the user name.
    if (Get(config, "username").Empty()) {
        const Nyx::PString name = Get(config, "name");
        const Nyx::PString filename = Get(config, "asset-filename");
        if (!name.Empty()) {
            Set(config, "username", name);
            Remove(config, "name");
        } else if (!filename.Empty()) {
            Set(config, "username", filename);
        }
    }
    // 2: a map's null region.
    if (Get(config, "kind") == Name("map") && Tags::GetKUID(config, Name("region"), KUID::Null).IsNull())
        Remove(config, "region");
    // 3
    for (const char* name : {"thumbnail", ".cache", "__filename", "__dir"})
        Remove(config, name);
    // 4, 5: numbered regions and eras.
    std::string joined;
    if (CollectNumbered(config, "category-region-%d",
                        [](std::string value) {
                            for (char& c : value)
                                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                            return value;
                        },
                        joined))
        Set(config, "category-region", Nyx::PString(joined));
    joined.clear();
    if (CollectNumbered(config, "category-era-%d",
                        [](std::string value) { return value.back() == 's' ? value : value + 's'; }, joined))
        Set(config, "category-era", Nyx::PString(joined));
    // 6
    if (Get(config, "license").Empty())
        Remove(config, "license");
    // 7
    if (Has(config, "rgb") && ShortOfThreeFields(Get(config, "rgb").View()))
        Remove(config, "rgb");
    // 8, 9
    if (Has(config, "scriptlibrary")) {
        Set(config, "script", Get(config, "scriptlibrary"));
        Remove(config, "scriptlibrary");
    }
    if (Has(config, "classlibrary")) {
        Set(config, "class", Get(config, "classlibrary"));
        Remove(config, "classlibrary");
    }
    // 10
    const Nyx::PString assetFilename = Get(config, "asset-filename");
    Remove(config, "asset-filename");
    // 11
    ApplyKindRules(config, assetFilename);
    // 12
    Remove(config, "fontsize");
    Remove(config, "fontcolor");
    // 13
    if (Has(config, "mesh-table")) {
        Remove(config, "night");
        NameEffects(config);
    }
    // 14
    Remove(config, "type");
    if (!EqualNoCase(Get(config, "kind").View(), "map"))
        Remove(config, "region");
    // 15
    if (Has(config, "soundscript"))
        RebuildSoundLists(config);
    // 16
    const std::string_view kind = Get(config, "kind").View();
    if (EqualNoCase(kind, "mospeedboard"))
        Remove(config, "function");
    else if (Has(config, "trackside") && !EqualNoCase(kind, "mosignal"))
        Remove(config, "function");
    // 17, 18
    SetCategoryDefaults(config);
    ApplyThumbnailRule(config);
    // 19, 20
    for (const char* name : {";", "\"", "rem"})
        Remove(config, name);
    for (const char* name : kLegacyWords)
        Remove(config, name);
    // 21-24
    RenameOldTags(config);
    RemoveStrayDescriptionTags(config);
    RemoveStrayAssetTags(config);
    for (const char* name : kStrayWords)
        Remove(config, name);
    // 25
    RemoveChildrenBackwards(config, [](const Nyx::PString& name) { return IsJunkName(name.View()); });
}

bool IsTopLevelTagName(const Nyx::PString& name)
{
    const DataManager* manager = DataManager::Existing();
    const ChunkRef definitions = manager ? manager->GetDefinitions() : ChunkRef();
    const uint32_t count = definitions.ChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        const ChunkRef definition = Tags::GetChildContainerAt(definitions, i);
        if (!definition || Tags::GetInt(definition, Name("top-level"), 0) == 0)
            continue;
        const ChunkRef possibilities = Tags::GetChildContainer(definition, Name("subpossibilities"));
        if (possibilities && possibilities->FindChildConst(name).IsReal())
            return true;
    }
    return false;
}

void RemoveStrayDescriptionTags(ChunkRef& config)
{
    const Nyx::PString description = Name("description");
    const uint32_t count = config.ChildCount();
    uint32_t at = 0;
    while (at < count && Tags::GetChildName(config, at) != description)
        ++at;
    std::vector<ChunkRef> stray;
    for (uint32_t i = at + 1; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!config->GetChildAt(i, name, child) || IsTopLevelTagName(name) ||
            child->GetType() == ACS_TYPE_CONTAINER)
            break;
        stray.push_back(child);
    }
    for (const ChunkRef& child : stray)
        config->RemoveChild(child);
}

void RemoveStrayAssetTags(ChunkRef& config)
{
    Remove(config, "asset");
    RemoveChildrenBackwards(config, [](const Nyx::PString& name) {
        return name.View().substr(0, 6) == "asset-" && !IsTopLevelTagName(name);
    });
}

}  // namespace TETLib
