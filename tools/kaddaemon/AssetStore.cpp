#include "kaddaemon/AssetStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <unordered_set>

#include "config/tree/ACSConvert.h"
#include "config/formats/ConfigFile.h"
#include "config/formats/ConfigText.h"
#include "kad/requests/CategoryExpression.h"
#include "kaddaemon/KindCategory.h"

namespace fs = std::filesystem;

namespace kaddaemon {
namespace {

constexpr const char* kConfigNames[] = {"config.txt", "config.chump"};

// A folder holding both forms is one whose config an install rewrote in
// the binary form after its creation left the text form: the one written
// last is the asset's config (the text form when they tie).
std::string ConfigFileIn(const std::string& folder)
{
    std::string found;
    struct timespec foundTime {};
    for (const char* name : kConfigNames) {
        struct stat st;
        if (::stat((folder + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        bool newer = st.st_mtim.tv_sec > foundTime.tv_sec ||
                     (st.st_mtim.tv_sec == foundTime.tv_sec && st.st_mtim.tv_nsec > foundTime.tv_nsec);
        if (found.empty() || newer) {
            found = name;
            foundTime = st.st_mtim;
        }
    }
    return found;
}

uint64_t FileTime(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return uint64_t(st.st_mtime);
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The text of a value of any type; empty for a container or no value.
std::string ChunkText(const ChunkRef& child)
{
    if (!child || child->GetType() == ACS_TYPE_NONE || child->GetType() == ACS_TYPE_CONTAINER)
        return std::string();
    ACSRawData text = ACSConvert(child->GetType(), ACSRawData::FromChunk(child), ACS_TYPE_STRING);
    return std::string(RawDataText(text));
}

// A KUID value, or a value whose text is a KUID; null otherwise.
KUID ChunkKUID(const ChunkRef& child)
{
    if (!child)
        return KUID::Null;
    if (child->GetType() == ACS_TYPE_KUID)
        return child->GetDataSize() >= KUID::kPackedSize ? KUID::FromChunk(child->GetData()) : KUID::Null;
    return KUID::Parse(ChunkText(child).c_str(), false);
}

// The distinct KUIDs the table's children name, in order. A table may name
// tens of thousands: each child is read where it stands, and a name met
// again stands for its first child (as a lookup by name reads it), whose
// KUID is already listed.
void CollectKUIDs(const ChunkRef& config, const char* tag, std::vector<KUID>& out)
{
    ChunkRef table = config->FindChildConst(Nyx::PString(tag));
    const uint32_t count = table ? table->GetChildCount() : 0;
    std::unordered_set<Nyx::PString> names;
    std::set<KUID, KADFilterElementAssetID::Order> listed(out.begin(), out.end());
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef entry;
        table->GetChildAt(i, name, entry);
        if (!names.insert(name).second)
            continue;
        KUID kuid = ChunkKUID(entry);
        if (!kuid.IsNull() && listed.insert(kuid).second)
            out.push_back(kuid);
    }
}

bool SameAsset(const KUID& a, const KUID& b)
{
    return a.user == b.user && a.content == b.content;
}

std::string FolderName(const std::string& name, const KUID& kuid)
{
    std::string out;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        out += std::isalnum(u) || c == '-' || c == '_' ? char(std::tolower(u)) : '-';
    }
    if (out.empty() || out[0] == '.' || out[0] == '-')
        out = "asset-" + std::to_string(kuid.user) + "-" + std::to_string(kuid.content);
    return out.substr(0, 64);
}

template <class T>
bool InRange(T value, T lower, T upper, bool lowerInclusive, bool upperInclusive)
{
    bool aboveLower = lowerInclusive ? value >= lower : value > lower;
    bool belowUpper = upperInclusive ? value <= upper : value < upper;
    return aboveLower && belowUpper;
}

// The folders directly under `parent` (links followed), in name order.
std::vector<std::string> SubFolders(const std::string& parent)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(parent, ec))
        if (entry.is_directory(ec))
            out.push_back(entry.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

bool HasPrefix(const std::string& folder, const char* prefix)
{
    return fs::path(folder).filename().string().rfind(prefix, 0) == 0;
}

// The name a working copy is given in the trash: its own, without the mark
// of a new asset's, and marked as a working copy.
std::string WorkingCopyTrashName(const std::string& folder)
{
    std::string name = fs::path(folder).filename().string();
    if (HasPrefix(folder, AssetStore::kCreatedPrefix))
        name.erase(0, std::string_view(AssetStore::kCreatedPrefix).size());
    return name + "-working-copy";
}

// A path below the root as the user sees it in a message: from the root on.
std::string RootRelative(const std::string& root, const std::string& path)
{
    if (path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/')
        return path.substr(root.size() + 1);
    return path;
}

}  // namespace

std::string TagText(const ChunkRef& container, const char* tag)
{
    return container ? ChunkText(container->FindChildConst(Nyx::PString(tag))) : std::string();
}

KUID TagKUID(const ChunkRef& container, const char* tag)
{
    return container ? ChunkKUID(container->FindChildConst(Nyx::PString(tag))) : KUID::Null;
}

AssetStore::AssetStore(std::string root) : root_(std::move(root)) {}

AssetStore::~AssetStore() { ReleaseRoot(); }

bool AssetStore::Open(int rootWaitMs, const std::function<bool()>& giveUp)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (const char* sub : {"local", "editing", "trash"}) {
        std::error_code ec;
        fs::create_directories(root_ + "/" + sub, ec);
        if (!fs::is_directory(root_ + "/" + sub, ec)) {
            openError_ = "cannot make the asset folders under " + root_;
            return false;
        }
    }
    // Whatever the root holds may be the work under way of the daemon that
    // holds the lock: without the lock, nothing of it is read or served.
    if (!rootLock_.Held() && !rootLock_.Take(root_, rootWaitMs, giveUp)) {
        openError_ = "the data root " + root_ + " is held by " + RootLock::DescribeHolder(root_) +
                     ", which serves it; this daemon does not";
        return false;
    }
    if (!state_.Load(root_, openError_))
        return false;
    // Saves of this root are this process's alone from here on: what a
    // killed one left half-written goes.
    for (const char* file : {DaemonState::kFileName, ChangeRecord::kFileName}) {
        const std::string path = root_ + "/" + file;
        RemoveLeftSaves(path);
        // A save lands where a link points, and its temporary with it.
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            if (path != real)
                RemoveLeftSaves(real);
            std::free(real);
        }
    }
    const RecordedChange::Result resolved = changes_.Resolve();
    if (!resolved.ok) {
        openError_ = resolved.error;
        return false;
    }
    RemoveUnfinishedCopies(true);
    Scan();
    return true;
}

void AssetStore::ReleaseRoot()
{
    std::lock_guard<std::mutex> hold(lock_);
    rootLock_.Release();
}

bool AssetStore::MayChangeLocked(Outcome& refusal)
{
    if (!rootLock_.Held()) {
        refusal = {false, "The daemon no longer holds its data root."};
        return false;
    }
    if (!changes_.Pending())
        return true;
    const RecordedChange::Result resolved = changes_.Resolve();
    if (!resolved.ok) {
        refusal = {false, "An earlier change of the data root could not be finished: " + resolved.error};
        return false;
    }
    Scan();
    return true;
}

std::string AssetStore::Below(const std::string& path) const
{
    return path.compare(0, root_.size() + 1, root_ + "/") == 0 ? path.substr(root_.size() + 1) : path;
}

bool AssetStore::HoldForReading(const KUID& kuid, ChunkRef& config, std::string& folder, ReadHold& hold)
{
    hold.Release();
    {
        std::lock_guard<std::mutex> guard(lock_);
        const Asset* asset = FindLocked(kuid);
        if (!asset)
            return false;
        folder = asset->editingFolder.empty() ? asset->localFolder : asset->editingFolder;
        const std::string file = ConfigFileIn(folder);
        if (file.empty() || !LoadConfigFile(config, folder.c_str(), file.c_str()) || !config)
            return false;
        ++readers_[kuid];
    }
    hold = ReadHold(this, kuid);
    return true;
}

void AssetStore::ReadHold::Read(const std::string& file) const
{
    if (store_)
        store_->FileRead(file);
}

void AssetStore::FileRead(const std::string& file)
{
    CopyObserver observer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        observer = readObserver_;
    }
    if (observer)
        observer(file);
}

AssetStore::ReadHold& AssetStore::ReadHold::operator=(ReadHold&& other) noexcept
{
    if (this != &other) {
        Release();
        store_ = other.store_;
        kuid_ = other.kuid_;
        other.store_ = nullptr;
    }
    return *this;
}

void AssetStore::ReadHold::Release() noexcept
{
    if (store_)
        store_->EndRead(kuid_);
    store_ = nullptr;
}

void AssetStore::EndRead(const KUID& kuid)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = readers_.find(kuid);
    if (it != readers_.end() && --it->second == 0) {
        readers_.erase(it);
        readersGone_.notify_all();
    }
}

void AssetStore::WaitForReadersLocked(std::unique_lock<std::mutex>& hold, const KUID& kuid)
{
    readersGone_.wait(hold, [&]() { return readers_.find(kuid) == readers_.end(); });
}

void AssetStore::SetCopyObserver(CopyObserver observer)
{
    std::lock_guard<std::mutex> hold(lock_);
    copyObserver_ = std::move(observer);
}

void AssetStore::SetStepObserver(StepObserver observer)
{
    std::lock_guard<std::mutex> hold(lock_);
    changes_.SetObserver(std::move(observer));
}

void AssetStore::SetReadObserver(CopyObserver observer)
{
    std::lock_guard<std::mutex> hold(lock_);
    readObserver_ = std::move(observer);
}

void AssetStore::RemoveUnfinishedCopies(bool startUp)
{
    const std::string editing = root_ + "/editing";
    std::vector<fs::path> unfinished;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(editing, ec)) {
        const std::string folder = entry.path().string();
        // No client of an earlier run is left to commit what it created.
        if (HasPrefix(folder, kUnfinishedPrefix) ||
            (startUp && (HasPrefix(folder, kCreatedPrefix) || HasPrefix(folder, kInstallingPrefix))))
            unfinished.push_back(entry.path());
    }
    for (const fs::path& path : unfinished)
        fs::remove_all(path, ec);
    if (!unfinished.empty())
        SyncFolder(editing);
}

bool AssetStore::ReadAsset(const std::string& folder, Asset& out, std::string* fault) const
{
    auto fail = [&](const char* before, const char* after) {
        if (fault)
            *fault = before + RootRelative(root_, folder) + after;
        return false;
    };
    std::string file = ConfigFileIn(folder);
    if (file.empty())
        return fail("The asset folder ", " has no config.");
    ChunkRef config;
    if (!LoadConfigFile(config, folder.c_str(), file.c_str()) || !config)
        return fail("The config of ", " does not load.");
    out.kuid = TagKUID(config, "kuid");
    if (out.kuid.IsNull())
        return fail("The config of ", " names no KUID.");
    out.displayName = TagText(config, "username");
    out.kind = TagText(config, "kind");
    out.categoryClass = TagText(config, "category-class");
    if (out.categoryClass.empty())
        out.categoryClass = KindCategory(out.kind);
    out.categoryRegion = TagText(config, "category-region");
    out.categoryEra = TagText(config, "category-era");
    out.description = TagText(config, "description");
    out.build = std::strtof(TagText(config, "kestro-build").c_str(), nullptr);
    out.hasBuild = !TagText(config, "kestro-build").empty();
    out.parent = TagKUID(config, "parent");
    out.dependencies.clear();
    out.obsoletes.clear();
    CollectKUIDs(config, "kuid-table", out.dependencies);
    CollectKUIDs(config, "obsolete-table", out.obsoletes);
    out.modifiedTime = FileTime(folder + "/" + file);
    out.faulty = out.kind.empty();
    std::string script = TagText(config, "script");
    if (script.empty())
        script = TagText(config, "scriptlibrary");
    std::error_code ec;
    out.scriptSource =
        !script.empty() && fs::is_regular_file(fs::path(folder) / fs::path(script).replace_extension(".gs"), ec);
    return true;
}

bool AssetStore::Repair(const RepairVisitor& visit)
{
    std::lock_guard<std::mutex> hold(lock_);
    Outcome refusal;
    if (!MayChangeLocked(refusal))
        return false;
    RemoveUnfinishedCopies(false);
    return Scan(visit);
}

bool AssetStore::Scan(const RepairVisitor& visit)
{
    // Only the folders directly under "local" are assets: an asset's own
    // subfolders are its files, whatever they hold.
    const std::vector<std::string> local = SubFolders(root_ + "/local");
    std::vector<std::string> editing = SubFolders(root_ + "/editing");
    // A folder an install is still filling holds no asset yet.
    std::erase_if(editing, [](const std::string& folder) { return HasPrefix(folder, kInstallingPrefix); });
    const uint32_t count = static_cast<uint32_t>(local.size() + editing.size());
    uint32_t index = 0;
    auto visited = [&](const std::string& folder, const std::string& fault) {
        return !visit || visit(index++, count, folder, fault);
    };
    std::map<KUID, Asset, KADFilterElementAssetID::Order> found;
    for (const std::string& folder : local) {
        Asset asset;
        std::string fault;
        bool read = ReadAsset(folder, asset, &fault);
        if (!visited(folder, fault))
            return false;
        if (!read || found.count(asset.kuid))
            continue;
        asset.localFolder = folder;
        asset.installTime = FileTime(folder);
        found[asset.kuid] = std::move(asset);
    }
    for (const std::string& folder : editing) {
        Asset copy;
        std::string fault;
        bool read = ReadAsset(folder, copy, &fault);
        if (!visited(folder, fault))
            return false;
        if (!read)
            continue;
        auto it = found.find(copy.kuid);
        if (it == found.end()) {
            copy.editingFolder = folder;
            found[copy.kuid] = std::move(copy);
        } else if (it->second.editingFolder.empty()) {
            copy.localFolder = it->second.localFolder;
            copy.installTime = it->second.installTime;
            copy.editingFolder = folder;
            it->second = std::move(copy);
        }
    }
    assets_ = std::move(found);
    return true;
}

AssetStore::Asset* AssetStore::FindLocked(const KUID& kuid)
{
    auto it = assets_.find(kuid);
    return it == assets_.end() ? nullptr : &it->second;
}

bool AssetStore::IsKnown(const KUID& kuid)
{
    std::lock_guard<std::mutex> hold(lock_);
    return FindLocked(kuid) != nullptr;
}

bool AssetStore::IsObsoleteLocked(const Asset& asset) const
{
    for (const auto& [kuid, other] : assets_) {
        if (SameAsset(kuid, asset.kuid) && kuid.version > asset.kuid.version)
            return true;
        if (std::find(other.obsoletes.begin(), other.obsoletes.end(), asset.kuid) != other.obsoletes.end())
            return true;
    }
    return false;
}

const AssetStore::Asset* AssetStore::InstalledForLocked(const KUID& dependency) const
{
    for (auto it = assets_.lower_bound(dependency); it != assets_.end() && SameAsset(it->first, dependency); ++it)
        if (!it->second.localFolder.empty())
            return &it->second;
    return nullptr;
}

bool AssetStore::BoolFieldLocked(uint32_t field, const Asset& asset) const
{
    using B = KADFilterElementBool;
    switch (field) {
    case B::kLocal:
    case B::kLocallyAvailable:
    case B::kLocallyEnabled:
    case B::kListingPrivilege:
        return !asset.localFolder.empty();
    case B::kObsolete:
        return IsObsoleteLocked(asset);
    case B::kUpToDate:
        return !IsObsoleteLocked(asset);
    case B::kOpenForEdit:
        return !asset.editingFolder.empty();
    case B::kLocallyModified: {
        const DaemonState::AssetState* state = state_.Find(asset.kuid);
        return state && state->modified;
    }
    case B::kValidName:
        return !asset.displayName.empty();
    case B::kFaulty:
        return asset.faulty;
    case B::kHasScriptSource:
        return asset.scriptSource;
    case B::kHasMissingDependencies:
        for (const KUID& dep : asset.dependencies)
            if (!InstalledForLocked(dep))
                return true;
        return false;
    case B::kHasFaultyDependencies:
        for (const KUID& dep : asset.dependencies)
            if (const Asset* installed = InstalledForLocked(dep); installed && installed->faulty)
                return true;
        return false;
    default:
        // Every asset the store knows has a folder on this machine; it keeps
        // no archive, no online or built-in assets and no check warnings.
        return false;
    }
}

AssetRecord AssetStore::Record(const KUID& kuid)
{
    std::lock_guard<std::mutex> hold(lock_);
    AssetRecord record;
    record.kuid = kuid;
    const Asset* asset = FindLocked(kuid);
    if (!asset)
        return record;
    record.displayName = Nyx::String(asset->displayName);
    record.regionText = Nyx::String(asset->categoryRegion);
    const DaemonState::AssetState* state = state_.Find(kuid);
    record.keywordText = Nyx::String(state ? state->keywords : std::string());
    using B = KADFilterElementBool;
    record.SetFlag(AssetRecord::kFlagInstalled, BoolFieldLocked(B::kLocal, *asset));
    record.SetFlag(AssetRecord::kFlagOpenForEdit, BoolFieldLocked(B::kOpenForEdit, *asset));
    record.SetFlag(AssetRecord::kFlagLocallyModified, BoolFieldLocked(B::kLocallyModified, *asset));
    record.SetFlag(AssetRecord::kFlagStatusF, BoolFieldLocked(B::kFaulty, *asset));
    record.SetFlag(AssetRecord::kFlagStatusM, BoolFieldLocked(B::kHasMissingDependencies, *asset));
    record.authorId = kuid.user;
    // The creator's name, as request 90 names the author.
    record.firstGroupKey = Nyx::PString(AuthorNameLocked(kuid.user));
    record.eraText = Nyx::String(asset->categoryEra);
    record.categoryText = Nyx::String(asset->categoryClass);
    // The script side reads 4 (and 5) as a favourite.
    record.favouriteState = state && state->favourite ? 4 : 0;
    record.build = asset->build;
    record.SetFlag(AssetRecord::kFlagHasBuild, asset->hasBuild);
    record.installTime = asset->installTime;
    record.modifiedTime = asset->modifiedTime;
    record.parentKUID = asset->parent;
    record.known = true;
    return record;
}

ChunkRef AssetStore::Config(const KUID& kuid)
{
    std::lock_guard<std::mutex> hold(lock_);
    const Asset* asset = FindLocked(kuid);
    if (!asset)
        return nullptr;
    const std::string& folder = asset->editingFolder.empty() ? asset->localFolder : asset->editingFolder;
    std::string file = ConfigFileIn(folder);
    ChunkRef config;
    if (file.empty() || !LoadConfigFile(config, folder.c_str(), file.c_str()))
        return nullptr;
    return config;
}

std::string AssetStore::Description(const KUID& kuid)
{
    std::lock_guard<std::mutex> hold(lock_);
    const Asset* asset = FindLocked(kuid);
    return asset ? asset->description : std::string();
}

bool AssetStore::NameAndPath(const KUID& kuid, bool editing, std::string& name, std::string& path)
{
    std::lock_guard<std::mutex> hold(lock_);
    name.clear();
    path.clear();
    const Asset* asset = FindLocked(kuid);
    if (!asset)
        return false;
    name = asset->displayName;
    bool useCopy = !asset->editingFolder.empty() && (editing || asset->localFolder.empty());
    path = useCopy ? asset->editingFolder : asset->localFolder;
    return true;
}

KUID AssetStore::Latest(const KUID& kuid)
{
    std::lock_guard<std::mutex> hold(lock_);
    KUID best = kuid;
    bool found = false;
    for (const auto& [known, asset] : assets_) {
        if (SameAsset(known, kuid) && (!found || known.version > best.version)) {
            best = known;
            found = true;
        }
    }
    return best;
}

KUID AssetStore::Resolve(const KUID& kuid)
{
    if (IsKnown(kuid))
        return kuid;
    return Latest(kuid);
}

std::vector<KUID> AssetStore::Dependencies(const std::vector<KUID>& kuids)
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<KUID> out;
    std::set<KUID, KADFilterElementAssetID::Order> listed;
    for (const KUID& kuid : kuids) {
        const Asset* asset = FindLocked(kuid);
        if (!asset)
            continue;
        for (const KUID& dep : asset->dependencies)
            if (listed.insert(dep).second)
                out.push_back(dep);
    }
    return out;
}

std::vector<KUID> AssetStore::Obsoletes(const KUID& kuid)
{
    std::lock_guard<std::mutex> hold(lock_);
    const Asset* asset = FindLocked(kuid);
    return asset ? asset->obsoletes : std::vector<KUID>();
}

bool AssetStore::MatchesLocked(const KADFilterElement* element, const Asset& asset, int depth) const
{
    if (!element || depth > kMaxFilterDepth)
        return false;
    switch (element->GetKind()) {
    case KADFilterElementGroup::kKind: {
        // Every child must hold; the negated flag turns the group's answer.
        auto* group = static_cast<const KADFilterElementGroup*>(element);
        bool all = true;
        for (uint32_t i = 0; all && i < group->GetChildCount(); ++i)
            all = MatchesLocked(group->GetChild(i), asset, depth + 1);
        return group->GetNegated() ? !all : all;
    }
    case KADFilterElementString::kKind: {
        auto* leaf = static_cast<const KADFilterElementString*>(element);
        std::string text(leaf->GetText().c_str());
        switch (leaf->GetFieldId()) {
        case KADFilterElementString::kAssetName:
            if (leaf->GetExact())
                return Lower(asset.displayName) == Lower(text);
            return Lower(asset.displayName).find(Lower(text)) != std::string::npos;
        case KADFilterElementString::kCategoryList:
            return CategoryExpression::Matches(text.c_str(), asset.categoryClass.c_str());
        case KADFilterElementString::kEraList:
            return CategoryExpression::Matches(text.c_str(), asset.categoryEra.c_str());
        case KADFilterElementString::kRegionList:
            return CategoryExpression::Matches(text.c_str(), asset.categoryRegion.c_str());
        case KADFilterElementString::kKeywordList: {
            const DaemonState::AssetState* state = state_.Find(asset.kuid);
            return state && Lower(state->keywords).find(Lower(text)) != std::string::npos;
        }
        default:
            return false;
        }
    }
    case KADFilterElementBool::kKind:
        return BoolFieldLocked(static_cast<const KADFilterElementBool*>(element)->GetFieldId(), asset);
    case KADFilterElementInt::kKind: {
        auto* leaf = static_cast<const KADFilterElementInt*>(element);
        int32_t value;
        if (leaf->GetFieldId() == KADFilterElementInt::kAuthor)
            value = asset.kuid.user;
        else if (leaf->GetFieldId() == KADFilterElementInt::kVersion)
            value = asset.kuid.version;
        else
            return false;
        return InRange(value, leaf->GetLower(), leaf->GetUpper(), leaf->GetLowerInclusive() != 0,
                       leaf->GetUpperInclusive() != 0);
    }
    case KADFilterElementTimestamp::kKind: {
        auto* leaf = static_cast<const KADFilterElementTimestamp*>(element);
        uint64_t value = leaf->GetFieldId() == KADFilterElementTimestamp::kInstallationTimestamp
                             ? asset.installTime
                             : asset.modifiedTime;
        return InRange(value, leaf->GetLower(), leaf->GetUpper(), leaf->GetLowerInclusive() != 0,
                       leaf->GetUpperInclusive() != 0);
    }
    case KADFilterElementAssetID::kKind: {
        auto* leaf = static_cast<const KADFilterElementAssetID*>(element);
        return leaf->GetFieldId() == KADFilterElementAssetID::kAssetId && leaf->GetKUIDs().count(asset.kuid) != 0;
    }
    default:
        return false;
    }
}

std::vector<KUID> AssetStore::Search(const KADFilterElement* filter)
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<KUID> out;
    for (const auto& [kuid, asset] : assets_)
        if (!filter || MatchesLocked(filter, asset, 0))
            out.push_back(kuid);
    return out;
}

std::string AssetStore::BuildsText()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::set<float> builds;
    for (const auto& [kuid, asset] : assets_)
        builds.insert(asset.build);
    std::string text;
    for (float build : builds) {
        char number[32];
        std::snprintf(number, sizeof number, "%g", double(build));
        text += number;
        text += "\n";
    }
    return text;
}

std::string AssetStore::AuthorName(int32_t authorId)
{
    std::lock_guard<std::mutex> hold(lock_);
    return AuthorNameLocked(authorId);
}

std::string AssetStore::AuthorNameLocked(int32_t authorId) const
{
    std::string name = state_.AuthorName(authorId);
    return name.empty() ? "author-" + std::to_string(authorId) : name;
}

std::string AssetStore::TrashFolder(const std::string& name, const char* prefix) const
{
    std::string plain = name;
    plain.erase(0, plain.find_first_not_of('.'));
    return UniqueFolder(root_ + "/trash", prefix + (plain.empty() ? std::string("asset") : plain));
}

std::string AssetStore::UniqueFolder(const std::string& parent, const std::string& name) const
{
    // A link counts as taken, whether or not its target exists.
    auto taken = [](const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0;
    };
    std::string path = parent + "/" + name;
    for (uint32_t i = 2; taken(path); ++i)
        path = parent + "/" + name + "-" + std::to_string(i);
    return path;
}

uint64_t AssetStore::OpenAsset(const KUID& kuid, bool forEdit, std::string& name, std::string& path,
                               std::string& error, uint64_t owner)
{
    std::lock_guard<std::mutex> hold(lock_);
    Asset* asset = FindLocked(kuid);
    if (!asset) {
        error = "Unknown asset " + std::string(kuid.ToString().c_str()) + ".";
        return kNoHandle;
    }
    bool madeCopy = false;
    Outcome refusal;
    if (forEdit && asset->editingFolder.empty() && !MayChangeLocked(refusal)) {
        error = refusal.error;
        return kNoHandle;
    }
    // A change resolved just now may have read the index again.
    asset = FindLocked(kuid);
    if (!asset) {
        error = "Unknown asset " + std::string(kuid.ToString().c_str()) + ".";
        return kNoHandle;
    }
    if (forEdit && asset->editingFolder.empty()) {
        // The working copy is made once; later opens for edit share it. It
        // is made under an unfinished name, which no working copy's own name
        // can begin with, so that a crash part-way leaves nothing Open takes
        // for a working copy.
        const std::string editing = root_ + "/editing";
        std::string name = fs::path(asset->localFolder).filename().string();
        name.erase(0, name.find_first_not_of('.'));
        std::string copy = UniqueFolder(editing, name.empty() ? "asset" : name);
        std::string unfinished = UniqueFolder(editing, kUnfinishedPrefix + fs::path(copy).filename().string());
        std::string why;
        std::error_code ec;
        // A copy whose files went while it was made (something else cleared
        // the folder away part-way) is no copy of the asset.
        uint64_t copied = 0;
        auto counted = [&](const std::string& file) {
            ++copied;
            if (copyObserver_)
                copyObserver_(file);
        };
        bool made = CopyFolderDurably(asset->localFolder, unfinished, why, counted);
        if (made && CountFiles(unfinished) < copied) {
            made = false;
            why = "files of the copy went while it was made";
        }
        if (!made) {
            fs::remove_all(unfinished, ec);
            error = "Cannot copy " + std::string(kuid.ToString().c_str()) + " for editing: " + why + ".";
            return kNoHandle;
        }
        fs::rename(unfinished, copy, ec);
        if (ec || !SyncFolder(editing)) {
            fs::remove_all(ec ? unfinished : copy, ec);
            error = "Cannot put the working copy of " + std::string(kuid.ToString().c_str()) + " in place.";
            return kNoHandle;
        }
        asset->editingFolder = copy;
        madeCopy = true;
    } else if (forEdit) {
        // Whoever made the copy now shares an asset that is open for edit.
        for (auto& [other, open] : handles_)
            if (open.kuid == kuid)
                open.madeCopy = false;
    }
    name = asset->displayName;
    path = asset->editingFolder.empty() ? asset->localFolder : asset->editingFolder;
    uint64_t handle = nextHandle_++;
    handles_[handle] = {kuid, forEdit, madeCopy, owner, {}};
    return handle;
}

void AssetStore::CloseHandle(uint64_t handle)
{
    std::lock_guard<std::mutex> hold(lock_);
    handles_.erase(handle);
}

bool AssetStore::HandleFolder(uint64_t handle, std::string& name, std::string& path)
{
    std::lock_guard<std::mutex> hold(lock_);
    name.clear();
    path.clear();
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return false;
    const Asset* asset = FindLocked(it->second.kuid);
    if (!asset)
        return false;
    name = asset->displayName;
    path = asset->editingFolder.empty() ? asset->localFolder : asset->editingFolder;
    return true;
}

AssetStore::Outcome AssetStore::Revert(uint64_t handle)
{
    std::unique_lock<std::mutex> hold(lock_);
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return {false, "No open asset has this handle."};
    const KUID kuid = it->second.kuid;
    WaitForReadersLocked(hold, kuid);
    Outcome refusal;
    if (!MayChangeLocked(refusal))
        return refusal;
    Asset* asset = FindLocked(kuid);
    if (!asset || asset->editingFolder.empty())
        return {false, "The asset is not open for edit."};
    return DropWorkingCopyLocked(*asset);
}

AssetStore::Outcome AssetStore::DropWorkingCopyLocked(Asset& asset)
{
    // Moved out of "editing" in one step before it is removed: a kill
    // part-way through the removal must not leave half a working copy that
    // the next start takes for the asset open for edit.
    ChangeRecord record;
    record.kind = ChangeRecord::Kind::kRevert;
    record.kuid = asset.kuid;
    const std::string dropped = TrashFolder(fs::path(asset.editingFolder).filename().string(), kRevertedPrefix);
    record.moves.push_back({Below(asset.editingFolder), Below(dropped)});
    record.dropOnCommit.push_back(Below(dropped));
    const RecordedChange::Result result = changes_.Run(record);
    if (!result.committed)
        return {false, "Cannot remove the working copy: " + result.error};
    if (asset.localFolder.empty()) {
        // Created and never committed: nothing of it remains.
        KUID kuid = asset.kuid;
        assets_.erase(kuid);
        state_.Forget(kuid);
    } else if (Asset reread; ReadAsset(asset.localFolder, reread)) {
        reread.localFolder = asset.localFolder;
        reread.installTime = asset.installTime;
        asset = std::move(reread);
    } else {
        asset.editingFolder.clear();
    }
    if (!result.ok)
        return {false, "The working copy is removed, but that may not be on disk yet: " + result.error};
    return {true, {}};
}

AssetStore::Outcome AssetStore::Commit(uint64_t handle)
{
    std::unique_lock<std::mutex> hold(lock_);
    if (auto it = handles_.find(handle); it != handles_.end())
        WaitForReadersLocked(hold, it->second.kuid);
    // The handle may have gone while the readers were waited for.
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return {false, "No open asset has this handle."};
    Outcome refusal;
    if (!MayChangeLocked(refusal))
        return refusal;
    Asset* asset = FindLocked(it->second.kuid);
    if (!asset || asset->editingFolder.empty())
        return {false, "The asset is not open for edit."};
    if (it->second.madeCopy && !asset->localFolder.empty() &&
        SameFolderContents(asset->editingFolder, asset->localFolder)) {
        // The commit's own open made the copy, nobody else opened it for
        // edit and nothing changed it: the asset was never open for edit,
        // and it goes back to how it was.
        DropWorkingCopyLocked(*asset);
        return {false, "The asset is not open for edit."};
    }
    const std::string copy = asset->editingFolder;
    const std::string kuidText = asset->kuid.ToString().c_str();
    if (!asset->stub.empty() && fs::is_regular_file(copy + "/config.chump")) {
        std::ifstream in(copy + "/config.txt", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text == asset->stub)
            ::unlink((copy + "/config.txt").c_str());
    }
    Asset next;
    if (!ReadAsset(copy, next))
        return {false, "The working copy of " + kuidText + " has no config that loads."};
    if (next.kuid != asset->kuid)
        return {false, "The config of the working copy names " + std::string(next.kuid.ToString().c_str()) +
                           ", not " + kuidText + "."};
    // Whatever a client wrote into the working copy is on disk before it
    // becomes the installed folder.
    if (!SyncTree(copy))
        return {false, "The working copy of " + kuidText + " cannot be put on disk."};
    std::string name = fs::path(copy).filename().string();
    if (HasPrefix(copy, kCreatedPrefix))
        name.erase(0, std::string_view(kCreatedPrefix).size());
    return PutInPlaceLocked(asset, copy, std::move(next), name, ChangeRecord::Kind::kCommit);
}

AssetStore::Outcome AssetStore::PutInPlaceLocked(Asset* asset, const std::string& from, Asset next,
                                                 const std::string& name, ChangeRecord::Kind kind)
{
    const std::string kuidText = next.kuid.ToString().c_str();
    const bool installed = asset && !asset->localFolder.empty();
    ChangeRecord record;
    record.kind = kind;
    record.kuid = next.kuid;
    // An installed asset whose folder is replaced is changed since its
    // install; the mark is on disk before the folder is replaced, and an
    // undone change takes it back.
    const DaemonState::AssetState* state = state_.Find(next.kuid);
    record.marked = installed && !(state && state->modified);
    const std::string target = installed ? asset->localFolder : UniqueFolder(root_ + "/local", name);
    // A working copy the new folder does not come from holds edits nobody
    // committed: they go to the trash, and come back if the change is
    // undone.
    const std::string edited = asset && asset->editingFolder != from ? asset->editingFolder : std::string();
    std::string kept;
    if (!edited.empty()) {
        kept = TrashFolder(WorkingCopyTrashName(edited));
        record.moves.push_back({Below(edited), Below(kept)});
    }
    if (installed) {
        const std::string retired = TrashFolder(fs::path(target).filename().string(), kReplacingPrefix);
        record.moves.push_back({Below(target), Below(retired)});
        record.dropOnCommit.push_back(Below(retired));
    }
    record.moves.push_back({Below(from), Below(target)});
    record.commitMove = uint32_t(record.moves.size() - 1);
    if (kind == ChangeRecord::Kind::kInstall)
        record.dropOnUndo.push_back(Below(from));
    const RecordedChange::Result result = changes_.Run(record);
    if (!result.committed)
        return {false, "Cannot put " + kuidText + " in place: " + result.error};
    next.localFolder = target;
    next.installTime = asset && asset->installTime ? asset->installTime : FileTime(target);
    const KUID kuid = next.kuid;
    assets_[kuid] = std::move(next);
    if (!result.ok)
        return {false, "The installed folder of " + kuidText + " is in place but may not be on disk yet: " +
                           result.error};
    if (kept.empty())
        return {true, {}};
    return {true, {},
            "The asset was open for edit: its working copy, with the edits not committed, has been moved to " +
                RootRelative(root_, kept) + "."};
}

uint64_t AssetStore::Create(KUID& kuid, const std::string& name, std::string& folder, std::string& error,
                            uint64_t owner)
{
    std::lock_guard<std::mutex> hold(lock_);
    Outcome refusal;
    if (!MayChangeLocked(refusal)) {
        error = refusal.error;
        return kNoHandle;
    }
    if (kuid.IsNull()) {
        // The daemon knows nothing of the user's own KUID range, so it hands
        // out ids of a range of its own; the counter is on disk before the
        // folder is made, so a crash can skip an id but never reuse one.
        int32_t content = state_.NextContentId();
        auto taken = [this](int32_t c) {
            auto it = assets_.lower_bound(KUID(kOwnUser, c, 0));
            return it != assets_.end() && it->first.user == kOwnUser && it->first.content == c;
        };
        while (content < INT32_MAX && taken(content))
            ++content;
        if (content == INT32_MAX) {
            error = "No KUID is free for a new asset.";
            return kNoHandle;
        }
        if (!state_.SetNextContentId(content + 1)) {
            error = state_.SaveError();
            return kNoHandle;
        }
        kuid = KUID(kOwnUser, content, kOwnVersion);
    }
    if (FindLocked(kuid)) {
        error = "The asset " + std::string(kuid.ToString().c_str()) + " exists already.";
        return kNoHandle;
    }
    // Until its commit the asset exists only for this daemon's run, so
    // nothing of it needs to be on disk yet.
    folder = UniqueFolder(root_ + "/editing", kCreatedPrefix + FolderName(name, kuid));
    std::error_code ec;
    fs::create_directories(folder, ec);
    // The name is held as UTF-8, and the reader takes a file without the
    // byte-order mark for ANSI.
    std::string text = "\xEF\xBB\xBFkuid " + std::string(kuid.ToString().c_str()) + "\r\nusername ";
    ConfigText::WriteQuoted(text, name, true);
    text += "\r\n";
    std::ofstream stub;
    if (!ec)
        stub.open(folder + "/config.txt", std::ios::binary | std::ios::trunc);
    if (ec || !stub.write(text.data(), std::streamsize(text.size())) || (stub.close(), !stub)) {
        fs::remove_all(folder, ec);
        error = "Cannot create the folder of " + std::string(kuid.ToString().c_str()) + ".";
        return kNoHandle;
    }
    Asset asset;
    ReadAsset(folder, asset);
    asset.kuid = kuid;
    asset.displayName = name;
    asset.editingFolder = folder;
    asset.stub = text;
    assets_[kuid] = std::move(asset);
    uint64_t handle = nextHandle_++;
    handles_[handle] = {kuid, true, false, owner, folder};
    return handle;
}

void AssetStore::ReleaseOwner(uint64_t owner)
{
    if (owner == 0)
        return;
    std::lock_guard<std::mutex> hold(lock_);
    Outcome refusal;
    const bool mayChange = MayChangeLocked(refusal);
    for (auto it = handles_.begin(); it != handles_.end();) {
        if (it->second.owner != owner) {
            ++it;
            continue;
        }
        Asset* asset = it->second.created.empty() ? nullptr : FindLocked(it->second.kuid);
        // Only while it is still the very creation: a commit, a delete or
        // another creation of the KUID since leaves it alone.
        if (mayChange && asset && asset->localFolder.empty() && asset->editingFolder == it->second.created)
            DropWorkingCopyLocked(*asset);
        it = handles_.erase(it);
    }
}

std::string AssetStore::InstallingFolder(const std::string& name)
{
    std::lock_guard<std::mutex> hold(lock_);
    // The number keeps installs running at once apart.
    return UniqueFolder(root_ + "/editing",
                        kInstallingPrefix + std::to_string(nextInstall_++) + "-" + FolderName(name, KUID::Null));
}

AssetStore::Outcome AssetStore::InstallFolder(const KUID& kuid, const std::string& name, const std::string& folder,
                                             uint64_t filesWritten)
{
    std::unique_lock<std::mutex> hold(lock_);
    WaitForReadersLocked(hold, kuid);
    std::error_code ec;
    auto fail = [&](std::string why) {
        fs::remove_all(folder, ec);
        return Outcome{false, std::move(why)};
    };
    if (Outcome refusal; !MayChangeLocked(refusal))
        return fail(refusal.error);
    const std::string kuidText = kuid.ToString().c_str();
    // Files that went while it was filled (something else cleared the
    // folder away part-way) would make an asset that lacks them.
    if (CountFiles(folder) < filesWritten)
        return fail("The installed files of " + kuidText + " lost some of their files while they were written.");
    Asset next;
    if (!ReadAsset(folder, next))
        return fail("The installed files of " + kuidText + " hold no config that loads.");
    if (next.kuid != kuid)
        return fail("The config of the installed files names " + std::string(next.kuid.ToString().c_str()) +
                    ", not " + kuidText + ".");
    Asset* asset = FindLocked(kuid);
    if (asset && asset->editingFolder.empty() && !asset->localFolder.empty() &&
        SameFolderContents(folder, asset->localFolder)) {
        // The asset is installed with these very files: nothing changes.
        fs::remove_all(folder, ec);
        return {true, {}};
    }
    Outcome outcome = PutInPlaceLocked(asset, folder, std::move(next), FolderName(name, kuid),
                                       ChangeRecord::Kind::kInstall);
    if (!outcome.ok && fs::exists(folder, ec))
        fs::remove_all(folder, ec);
    return outcome;
}

AssetStore::Outcome AssetStore::Delete(const KUID& kuid)
{
    std::unique_lock<std::mutex> hold(lock_);
    WaitForReadersLocked(hold, kuid);
    if (Outcome refusal; !MayChangeLocked(refusal))
        return refusal;
    Asset* asset = FindLocked(kuid);
    if (!asset)
        return {false, "Unknown asset " + std::string(kuid.ToString().c_str()) + "."};
    const std::string kuidText = kuid.ToString().c_str();
    ChangeRecord record;
    record.kind = ChangeRecord::Kind::kDelete;
    record.kuid = kuid;
    record.forget = true;
    // The working copy holds edits nobody committed: it goes to the trash
    // with the installed folder, and the asset is deleted once the last of
    // them has gone.
    if (!asset->editingFolder.empty())
        record.moves.push_back(
            {Below(asset->editingFolder), Below(TrashFolder(WorkingCopyTrashName(asset->editingFolder)))});
    if (!asset->localFolder.empty())
        record.moves.push_back(
            {Below(asset->localFolder), Below(TrashFolder(fs::path(asset->localFolder).filename().string()))});
    if (record.moves.empty())
        return {false, "Unknown asset " + kuidText + "."};
    record.commitMove = uint32_t(record.moves.size() - 1);
    const RecordedChange::Result result = changes_.Run(record);
    if (!result.committed)
        return {false, "Cannot move " + kuidText + " to the trash: " + result.error};
    assets_.erase(kuid);
    if (!result.ok)
        return {false, "The asset " + kuidText + " is in the trash, but that may not be on disk yet: " + result.error};
    return {true, {}};
}

AssetStore::Outcome AssetStore::SetKeywords(const KUID& kuid, const std::string& keywords)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (Outcome refusal; !MayChangeLocked(refusal))
        return refusal;
    if (!FindLocked(kuid))
        return {false, "Unknown asset " + std::string(kuid.ToString().c_str()) + "."};
    if (!state_.SetKeywords(kuid, keywords))
        return {false, state_.SaveError()};
    return {true, {}};
}

AssetStore::Outcome AssetStore::SetFavourite(const KUID& kuid, bool favourite)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (Outcome refusal; !MayChangeLocked(refusal))
        return refusal;
    if (!FindLocked(kuid))
        return {false, "Unknown asset " + std::string(kuid.ToString().c_str()) + "."};
    if (!state_.SetFavourite(kuid, favourite))
        return {false, state_.SaveError()};
    return {true, {}};
}

}  // namespace kaddaemon
