#include "kad/packages/CDP.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TagTreeOps.h"
#include "platform/PathLookup.h"

namespace {

struct Names {
    Nyx::PString kind{"kind"};
    Nyx::PString archive{"archive"};
    Nyx::PString packageVersion{"package-version"};
    Nyx::PString assets{"assets"};
    Nyx::PString contentsTable{"contents-table"};
    Nyx::PString kuidTable{"kuid-table"};
    Nyx::PString obsoleteTable{"obsolete-table"};
    Nyx::PString obsoletesKuid{"obsoletes-kuid"};
    Nyx::PString files{"files"};
    Nyx::PString compression{"compression"};
    Nyx::PString lzss{"LZSS"};
    Nyx::PString dsid{"dsid"};
    Nyx::PString folderIcon{"folder-icon"};
    Nyx::PString dotCache{".cache"};
    Nyx::PString kuid{"kuid"};
    Nyx::PString engine{"engine"};
    Nyx::PString interior{"interior"};
    Nyx::PString traincar{"traincar"};
    // The asset tags whose KUIDs an entry depends on, in the order they are
    // added.
    Nyx::PString dependencyTags[11] = {"alias",    "bridgetrack", "bogey",    "preview-mesh-kuid",
                                       "map-kuid", "product-category", "bogey-1", "bogey-1-r",
                                       "interior", "enginespec",  "enginesound"};
};

// Never destroyed: packages may be handled from static clean-up.
const Names& N()
{
    static const Names* names = new Names;
    return *names;
}

// An engine traincar without an interior of its own gets this one.
constexpr KUID kDefaultInterior{-10, 172, 127};

const char kNotAPackage[] = "Content could not be read, as the file is not a valid CDP";
const char kDamaged[] = "Content could not be read, as the CDP file is damaged";
const char kNewerVersion[] = "This content requires a newer Kestro version";
const char kWriteFailed[] = "Unable to write archive file. Needs to be .cdp file extension";
const char* const kNoKUID = CDP::kNoKUIDText;
const char kAlreadyPresent[] = "Unable to add content as an item with KUID %s is already present";

struct KUIDOrder {
    bool operator()(const KUID& a, const KUID& b) const noexcept
    {
        return std::tie(a.user, a.content, a.version) < std::tie(b.user, b.content, b.version);
    }
};

// An ordered list without duplicates; a package may name many KUIDs, so
// membership is not a walk over the list.
class KUIDList {
public:
    explicit KUIDList(const KUIDRing* initial = nullptr)
    {
        if (initial)
            for (const KUID& kuid : *initial)
                Add(kuid);
    }
    void Add(const KUID& kuid)
    {
        if (!kuid.IsNull() && seen_.insert(kuid).second)
            order_.push_back(kuid);
    }
    bool Holds(const KUID& kuid) const { return seen_.count(kuid) != 0; }
    const std::vector<KUID>& Order() const { return order_; }

private:
    std::vector<KUID> order_;
    std::set<KUID, KUIDOrder> seen_;
};

uint32_t ChildCountOf(const ChunkRef& container, const Nyx::PString& name)
{
    ChunkRef child = TDBContainerTag::GetChildContainer(container, name);
    return child ? child->GetChildCount() : 0;
}

// The KUIDs the direct children of the named container read as.
void TableKUIDs(const ChunkRef& entry, const Nyx::PString& name, KUIDRing& out)
{
    CollectChildKUIDs(TDBContainerTag::GetChildContainer(entry, name), out);
}

bool EqualsNoCaseText(const Nyx::PString& a, const Nyx::PString& b) { return EqualsNoCase(a.View(), b.View()); }

// The dependencies of one entry before the caller's list is consulted.
KUIDList DependenciesOf(const ChunkRef& entry, const KUID& own)
{
    const Names& n = N();
    KUIDList found;
    KUIDRing referenced;
    CollectReferencedKUIDs(entry, referenced);
    TableKUIDs(entry, n.kuidTable, referenced);
    for (const KUID& kuid : referenced)
        found.Add(kuid);
    for (const Nyx::PString& tag : n.dependencyTags)
        found.Add(TDBContainerTag::GetKUID(entry, tag, KUID::Null));
    if (EqualsNoCaseText(TDBContainerTag::GetString(entry, n.kind), n.traincar) &&
        TDBContainerTag::GetInt(entry, n.engine, -1) == 1 &&
        TDBContainerTag::GetKUID(entry, n.interior, KUID::Null).IsNull())
        found.Add(kDefaultInterior);

    KUIDList dropped;
    KUIDRing obsolete;
    TableKUIDs(entry, n.obsoleteTable, obsolete);
    for (const KUID& kuid : obsolete)
        dropped.Add(kuid);
    dropped.Add(own);
    KUIDList kept;
    for (const KUID& kuid : found.Order())
        if (!dropped.Holds(kuid))
            kept.Add(kuid);
    return kept;
}

void AppendNew(const KUIDList& from, KUIDRing& out)
{
    KUIDList held(&out);
    for (const KUID& kuid : from.Order()) {
        if (!held.Holds(kuid)) {
            held.Add(kuid);
            out.Append(kuid);
        }
    }
}

// The container without any child of the names, in one pass over its
// children (a package's entry may repeat a name any number of times): the
// same container when it holds none of them, else a new one holding the
// other children in order.
ChunkRef WithoutChildrenNamed(const ChunkRef& container, std::initializer_list<const Nyx::PString*> names)
{
    auto named = [&](const Nyx::PString& name) {
        return std::any_of(names.begin(), names.end(), [&](const Nyx::PString* n) { return *n == name; });
    };
    const uint32_t count = container->GetChildCount();
    ChunkRef kept;
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!container->GetChildAt(i, name, child))
            continue;
        if (!kept) {
            if (!named(name))
                continue;
            // The first child to drop: the ones before it are kept.
            kept = ChunkRef(new TDBContainerTag);
            for (uint32_t k = 0; k < i; ++k) {
                Nyx::PString before;
                ChunkRef earlier;
                if (container->GetChildAt(k, before, earlier))
                    kept->AddChild(before, std::move(earlier));
            }
            continue;
        }
        if (!named(name))
            kept->AddChild(name, std::move(child));
    }
    return kept ? kept : container;
}

ACSRawData StringValue(const Nyx::PString& text)
{
    return ACSRawData::Copy(text.c_str(), text.Empty() ? 0 : text.Length() + 1);
}

// The table's largest child name read as a decimal number; names that do
// not read as one count as -1.
int64_t LargestNumberedName(const ChunkRef& table)
{
    int64_t largest = -1;
    const uint32_t count = table->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name = TDBContainerTag::GetChildName(table, i);
        std::string_view text = name.View();
        int64_t value = text.empty() ? -1 : 0;
        for (char c : text) {
            if (c < '0' || c > '9') {
                value = -1;
                break;
            }
            // Capped: a name of many digits stays a large number.
            value = std::min<int64_t>(value * 10 + (c - '0'), int64_t(1) << 40);
        }
        largest = std::max(largest, value);
    }
    return largest;
}

// Brings the config's "kuid-table" up to date with the dependencies: a
// missing or empty table becomes the list; an existing one keeps its
// children and gains the missing ones under the next free numbers.
void UpdateKUIDTable(ChunkRef& config, const KUIDList& dependencies)
{
    const Names& n = N();
    if (dependencies.Order().empty())
        return;
    ChunkRef table = TDBContainerTag::GetChildContainer(config, n.kuidTable);
    if (!table || table->GetChildCount() == 0) {
        KUIDRing ring;
        for (const KUID& kuid : dependencies.Order())
            ring.Append(kuid);
        ChunkRef fresh = KUIDListToContainer(ring);
        TDBContainerTag::SetChildContainer(config, n.kuidTable, fresh);
        return;
    }
    KUIDRing heldRing;
    CollectChildKUIDs(table, heldRing);
    KUIDList held(&heldRing);
    std::unordered_set<Nyx::PString> names;
    const uint32_t count = table->GetChildCount();
    for (uint32_t i = 0; i < count; ++i)
        names.insert(TDBContainerTag::GetChildName(table, i));
    int64_t next = LargestNumberedName(table) + 1;
    for (const KUID& kuid : dependencies.Order()) {
        if (held.Holds(kuid))
            continue;
        const Nyx::PString name(std::to_string(next++));
        if (!names.insert(name).second) {
            // Taken only by a name too long to read as its number (the
            // reading is capped): its child is replaced, as a setter does.
            TDBContainerTag::SetKUID(table, name, kuid);
            continue;
        }
        uint8_t bytes[KUID::kPackedSize];
        kuid.ToChunk(bytes);
        table->AddChild(name, table->CreateChunk(ACS_TYPE_KUID, ACSRawData::Copy(bytes, sizeof bytes)));
    }
}

}  // namespace

namespace {

// Where a package file that a user named lies: its real folder (links
// followed, names matched without regard to case when the exact one is
// missing) and its name there; false when there is no such file. Opened with
// that folder as its base, the file opens only when it is a regular file,
// and without waiting: a FIFO or a device named as a package never holds
// the open or the reads.
bool LocatePackageFile(const Nyx::File::Path& path, Nyx::PString& folder, Nyx::File::Path& name)
{
    const std::string found = Platform::FindExisting(path.View());
    char* resolved = found.empty() ? nullptr : ::realpath(found.c_str(), nullptr);
    if (!resolved)
        return false;
    const Nyx::File::Path real(resolved);
    std::free(resolved);
    if (!real.IsAbsolute() || real.FileName().empty())
        return false;
    folder = Nyx::PString(real.Folder());
    name = Nyx::File::Path(real.FileName());
    return true;
}

}  // namespace

Nyx::String CDP::CheckHeader(ChunkRef& package, const Nyx::File::Path& path)
{
    const Names& n = N();
    const char* failure = nullptr;
    package.Release();
    // The form goes by the name the package was given, which a link may
    // not share.
    const std::string extension(ExtensionOf(nullptr, path.c_str()));
    Nyx::PString folder;
    Nyx::File::Path name;
    if (!LocatePackageFile(path, folder, name) ||
        !LoadConfigFile(package, folder.c_str(), name.c_str(), extension.c_str()) || !package ||
        !EqualsNoCaseText(TDBContainerTag::GetString(package, n.kind), n.archive))
        failure = kNotAPackage;
    else if (ChildCountOf(package, n.contentsTable) != ChildCountOf(package, n.assets))
        failure = kDamaged;
    else if (TDBContainerTag::GetInt(package, n.packageVersion, 0) != 1)
        failure = kNewerVersion;
    if (!failure)
        return {};
    package = ChunkRef(new TDBContainerTag);
    return Nyx::String(failure);
}

Nyx::String CDP::Write(const ChunkRef& package, const Nyx::File::Path& path)
{
    if (!SaveConfigFile(package, nullptr, path.c_str()))
        return Nyx::String(kWriteFailed);
    return {};
}

Nyx::String CDP::AddAsset(ChunkRef& package, ChunkRef entry)
{
    const Names& n = N();
    const KUID kuid = GetEntryKUID(entry);
    if (kuid.IsNull())
        return Nyx::String(kNoKUID);
    if (HasAsset(package, kuid))
        return Nyx::String::Printf(kAlreadyPresent, kuid.ToString().c_str());
    package.EnsureContainer();
    ChunkRef assets = TDBContainerTag::GetChildContainer(package, n.assets);
    assets.EnsureContainer();
    assets->AddChild(kuid.ToString(), entry);
    TDBContainerTag::SetChildContainer(package, n.assets, assets);
    RebuildTables(package);
    return {};
}

bool CDP::HasAsset(const ChunkRef& package, const KUID& kuid)
{
    const uint32_t count = GetAssetCount(package);
    for (uint32_t i = 0; i < count; ++i) {
        if (GetEntryKUID(GetAssetAt(package, i)) == kuid)
            return true;
    }
    return false;
}

uint32_t CDP::GetAssetCount(const ChunkRef& package) { return ChildCountOf(package, N().assets); }

ChunkRef CDP::GetAssetAt(const ChunkRef& package, uint32_t index)
{
    return TDBContainerTag::GetChildContainerAt(TDBContainerTag::GetChildContainer(package, N().assets), index);
}

void CDP::RebuildTables(ChunkRef& package)
{
    const Names& n = N();
    KUIDRing contents;
    KUIDRing dependencies;
    KUIDRing obsoletes;
    const uint32_t count = GetAssetCount(package);
    for (uint32_t i = 0; i < count; ++i) {
        ChunkRef entry = GetAssetAt(package, i);
        const KUID own = GetEntryKUID(entry);
        contents.Append(own);
        CollectDependencies(entry, own, dependencies);
        CollectObsoletes(entry, own, obsoletes);
    }
    KUIDList inPackage(&contents);
    KUIDRing outside;
    for (const KUID& kuid : dependencies)
        if (!inPackage.Holds(kuid))
            outside.Append(kuid);

    package.EnsureContainer();
    ChunkRef contentsTable = KUIDListToContainer(contents);
    ChunkRef kuidTable = KUIDListToContainer(outside);
    ChunkRef obsoleteTable = KUIDListToContainer(obsoletes);
    TDBContainerTag::SetChildContainer(package, n.contentsTable, contentsTable);
    TDBContainerTag::SetChildContainer(package, n.kuidTable, kuidTable);
    TDBContainerTag::SetChildContainer(package, n.obsoleteTable, obsoleteTable);
    TDBContainerTag::SetString(package, n.kind, n.archive);
    TDBContainerTag::SetInt(package, n.packageVersion, 1);
}

void CDP::SetCompressionLZSS(ChunkRef& entry) { TDBContainerTag::SetString(entry, N().compression, N().lzss); }

ChunkRef CDP::GetEntryFiles(const ChunkRef& entry) { return TDBContainerTag::GetChildContainer(entry, N().files); }

Nyx::PString CDP::GetEntryCompression(const ChunkRef& entry)
{
    return TDBContainerTag::GetString(entry, N().compression);
}

KUID CDP::GetEntryKUID(const ChunkRef& entry) { return TDBContainerTag::GetKUID(entry, N().kuid, KUID::Null); }

ACSRawData CDP::GetEntryRawData(const ChunkRef& entry, const Nyx::PString& name)
{
    return TDBContainerTag::GetRawData(entry, name);
}

bool CDP::ReadAssetEntry(TStream& stream, ChunkRef& entry) { return ReadBinaryConfig(stream, entry); }

void CDP::CollectDependencies(const ChunkRef& entry, const KUID& own, KUIDRing& out)
{
    AppendNew(DependenciesOf(entry, own), out);
}

void CDP::CollectObsoletes(const ChunkRef& entry, const KUID& own, KUIDRing& out)
{
    const Names& n = N();
    KUIDRing table;
    TableKUIDs(entry, n.obsoleteTable, table);
    KUIDList found(&table);
    found.Add(TDBContainerTag::GetKUID(entry, n.obsoletesKuid, KUID::Null));
    KUIDList kept;
    for (const KUID& kuid : found.Order())
        if (kuid != own)
            kept.Add(kuid);
    AppendNew(kept, out);
}

ContentChecksum CDP::GetContentChecksum(const ChunkRef& entry)
{
    return ContentChecksum::OfContainer(GetEntryFiles(entry));
}

bool CDP::VerifyEntryChecksum(const ChunkRef& entry)
{
    return TDBContainerTag::GetString(entry, N().dsid).View() == GetContentChecksum(entry).Text().View();
}

void CDP::StampEntryChecksum(ChunkRef& entry)
{
    TDBContainerTag::SetString(entry, N().dsid, Nyx::PString(GetContentChecksum(entry).Text().View()));
}

ChunkRef CDP::MakeConfigFromEntry(const ChunkRef& entry)
{
    const Names& n = N();
    if (!entry)
        return {};
    ChunkRef config(new TDBContainerTag);
    if (!CopyChunk(config, entry))
        return {};
    config = WithoutChildrenNamed(config, {&n.files, &n.dsid, &n.compression, &n.folderIcon, &n.dotCache});

    // Lower-cased where it stands, so the tag keeps its place in the file.
    ChunkRef kind = config->FindChildConst(n.kind);
    if (!kind.IsNullOrUntyped() && kind->GetType() != ACS_TYPE_CONTAINER) {
        Nyx::PString text = TDBContainerTag::GetString(config, n.kind);
        kind->SetValue(ACS_TYPE_STRING, StringValue(Nyx::PStringCache::ToLower(text)));
    }

    UpdateKUIDTable(config, DependenciesOf(config, GetEntryKUID(entry)));
    return config;
}
