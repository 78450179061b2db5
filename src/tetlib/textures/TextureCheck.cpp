#include "tetlib/textures/TextureCheck.h"

#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "nyx/gfx/bitmap/Bitmap.h"
#include "platform/FileConfinement.h"
#include "platform/VisitedFolders.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/data/AssetBuild.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/rules/AssetLocation.h"
#include "tetlib/writers/FileExtensions.h"

namespace TETLib {

namespace {

// Compiled textures without a description are warnings before this build
// (2.9), errors from it on.
constexpr int32_t kFirstCurrentBuild = 290;
// Description lines are read up to this many characters.
constexpr uint32_t kLineCapacity = 512 + 1;

// The sides of an image that loaded.
struct ImageSize {
    uint32_t width = 0;
    uint32_t height = 0;
    bool operator==(const ImageSize&) const = default;
};

class TextureWalk {
public:
    TextureWalk(const Nyx::File::Path& base, const Nyx::File::Path& root)
        : base_(base), root_(LexicallyNormal(root)), given_(root)
    {
        root_.EnsureTrailingSeparator();
    }

    bool Folder(const Nyx::File::Path& folder);

private:
    // `onDisk` names the folder as it lies: as it was named below the
    // walk's root with no link on the way, or by its real path inside the
    // rule once a link led to it.
    void Walk(const Nyx::File::Path& folder, const std::string& onDisk, int depth);
    // One entry of a walked folder.
    void Entry(const Nyx::File::Path& folder, const std::string& onDisk, const std::string& name, int depth);
    // An entry of a walked folder as it lies on disk, with what it is in
    // `st`; empty when it lies outside the rule or is gone.
    std::string EntryOnDisk(const Nyx::File::Path& path, const std::string& folderOnDisk, std::string_view name,
                            struct stat& st) const;
    std::string Shown(const Nyx::File::Path& path) const { return WithoutPrefix(path.View(), base_.View()); }
    void Error(const char* key, std::initializer_list<MessageArg> args)
    {
        ReportPlainError(MessageText(Nyx::PString(key), args));
        ok_ = false;
    }
    void CompiledTexture(const Nyx::File::Path& path);
    void Description(const Nyx::File::Path& folder, const Nyx::File::Path& path);
    // Checks one image of a description; true when it loaded, with its size.
    bool Image(const Nyx::File::Path& folder, const std::string& name, const Nyx::File::Path& description,
               const char* missingKey, ImageSize& size);
    bool Inside(const Nyx::File::Path& path) const
    {
        Nyx::File::Path relative;
        return MakeRelativeTo(root_, path, relative);
    }

    Nyx::File::Path base_;
    Nyx::File::Path root_;
    // Only what lies in the asset's folder is read, each real folder once.
    // The rule is made when first needed: a walk that meets no link and no
    // description never asks where the folder lies.
    const Platform::FileConfinement& Rule() const
    {
        if (!rule_)
            rule_.emplace(given_.View());
        return *rule_;
    }
    Nyx::File::Path given_;
    mutable std::optional<Platform::FileConfinement> rule_;
    Platform::VisitedFolders visited_;
    bool ok_ = true;
};

Nyx::File::Path Joined(const Nyx::File::Path& folder, std::string_view name)
{
    Nyx::File::Path path = folder;
    path.AddPath(name);
    return path;
}

// Without its closing "/", as folder paths are compared.
std::string_view Unslashed(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

bool LineStartsWith(const char* line, const char* prefix) { return std::strncmp(line, prefix, std::strlen(prefix)) == 0; }

// The text after the prefix, up to the first carriage return or line feed.
std::string NameAfter(const std::string& line, size_t prefix)
{
    const std::string rest = line.substr(prefix);
    return rest.substr(0, rest.find_first_of("\r\n"));
}

}  // namespace

bool TextureWalk::Folder(const Nyx::File::Path& folder)
{
    // The folder is the rule's one root. Named as it lies (no ".." that
    // could end the lookup elsewhere), it is walked where it is named: each
    // entry below it is looked at as it lies, so that only links need the
    // rule.
    bool dots = false;
    for (std::string_view rest = folder.View(); !rest.empty() && !dots;) {
        const size_t slash = rest.find_first_of("/\\");
        dots = rest.substr(0, slash) == "..";
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    std::string named(folder.View());
    while (named.size() > 1 && named.back() == '/')
        named.pop_back();
    if (!dots && !named.empty() && visited_.Enter(named)) {
        Walk(folder, named, 0);
        return ok_;
    }
    const std::string real = Rule().Resolve(folder.View());
    if (visited_.Enter(real))
        Walk(folder, real, 0);
    return ok_;
}

std::string TextureWalk::EntryOnDisk(const Nyx::File::Path& path, const std::string& folderOnDisk,
                                     std::string_view name, struct stat& st) const
{
    // A name that is no link lies where its folder does; one that is gone
    // since the folder was read is passed over.
    std::string real = folderOnDisk == "/" ? "/" : folderOnDisk + "/";
    real.append(name);
    if (::lstat(real.c_str(), &st) != 0)
        return std::string();
    if (!S_ISLNK(st.st_mode))
        return real;
    // A link lies where its target does, which must be inside too.
    real = Rule().Resolve(path.View());
    if (real.empty() || ::stat(real.c_str(), &st) != 0)
        return std::string();
    return real;
}

void TextureWalk::Walk(const Nyx::File::Path& folder, const std::string& onDisk, int depth)
{
    // The asset's own folder was read already, to choose its config.
    const DataManager* manager = DataManager::Existing();
    if (depth == 0 && manager && !manager->listedFolder.empty() && manager->listedFolder == Unslashed(folder.View())) {
        const std::vector<std::string> names = manager->listedNames;
        for (const std::string& name : names)
            Entry(folder, onDisk, name, depth);
        return;
    }
    Nyx::File::Find find(Joined(folder, "*"));
    if (!find.Valid())
        return;
    while (find.Next())
        Entry(folder, onDisk, find.Name(), depth);
}

void TextureWalk::Entry(const Nyx::File::Path& folder, const std::string& onDisk, const std::string& name, int depth)
{
    const Nyx::File::Path path = Joined(folder, name);
    // Links out of the folder, FIFOs, sockets and devices are none of the
    // asset's files.
    struct stat st;
    const std::string entry = EntryOnDisk(path, onDisk, name, st);
    if (entry.empty() || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
        return;
    if (S_ISDIR(st.st_mode) && depth < Platform::kMaxAssetFolderDepth && visited_.Enter(st))
        Walk(path, entry, depth + 1);
    if (HasExtension(name, "texture"))
        CompiledTexture(path);
    else if (HasExtension(name, "txt"))
        Description(folder, path);
}

void TextureWalk::CompiledTexture(const Nyx::File::Path& path)
{
    const DataManager* manager = DataManager::Existing();
    if (manager && manager->skipOldAssets)
        return;
    if (Nyx::File::Exists(Nyx::File::Path(path.Str() + ".txt")) == 0)
        return;
    const Nyx::PString text = MessageText(Nyx::PString("$tet_duplicatetexture"), {Shown(path)});
    if (manager && BuildNumber(manager->assetBuild) < kFirstCurrentBuild)
        ReportPlainWarning(text);
    else
        ReportPlainError(text);
    ok_ = false;
}

void TextureWalk::Description(const Nyx::File::Path& folder, const Nyx::File::Path& path)
{
    const std::string compiled = WithoutTextExtension(path.View());
    if (HasExtension(compiled, "convert-tex")) {
        Error("$tet_texture_failedload", {Shown(path)});
        return;
    }
    if (!HasExtension(compiled, "texture") || Nyx::File::Exists(path) != 0)
        return;

    std::string primaryLine;
    std::string alphaLine;
    bool nonAnsi = false;
    Nyx::File file;
    if (file.Open(Rule(), path, Nyx::File::kModeRead)) {
        char line[kLineCapacity];
        while (file.ReadLine(line, kLineCapacity)) {
            if (LineStartsWith(line, "Primary="))
                primaryLine = line;
            else if (LineStartsWith(line, "Alpha="))
                alphaLine = line;
            // Only the lines before the first image line are scanned.
            if (primaryLine.empty() && alphaLine.empty())
                for (const char* c = line; !nonAnsi && *c; ++c)
                    nonAnsi = (static_cast<unsigned char>(*c) & 0x80u) != 0;
        }
    }
    if (nonAnsi)
        Error("$tet_non_ansi_texture", {Shown(path)});

    const std::string primaryName = primaryLine.empty() ? std::string() : NameAfter(primaryLine, 8);
    const std::string alphaName = alphaLine.empty() ? std::string() : NameAfter(alphaLine, 6);
    ImageSize primary;
    ImageSize alpha;
    const bool primaryLoaded =
        !primaryName.empty() && Image(folder, primaryName, path, "$tet_texture_missing_primary", primary);
    const bool alphaLoaded =
        !alphaName.empty() && Image(folder, alphaName, path, "$tet_texture_missing_alpha", alpha);
    if (primaryLoaded && alphaLoaded && primary != alpha)
        Error("$tet_primaryalpha_notsamesize", {Shown(path)});

    const DataManager* manager = DataManager::Existing();
    if (manager && manager->outsideEditing && Nyx::File::Exists(Nyx::File::Path(compiled)) != 0)
        Error("$tet_binary_texture_conversion_failed", {Shown(path)});
}

bool TextureWalk::Image(const Nyx::File::Path& folder, const std::string& name,
                        const Nyx::File::Path& description, const char* missingKey, ImageSize& size)
{
    const Nyx::File::Path path = Joined(folder, name);
    const Nyx::File::Path normal = LexicallyNormal(path);
    if (Nyx::File::Path(name).IsAbsolute() || !Inside(normal) || Rule().Resolve(normal.View()).empty()) {
        Error(missingKey, {Shown(path), Shown(description)});
        return false;
    }
    // Loaded as the texture compression loads it, so that what one takes
    // the other takes too.
    Nyx::Bitmap bitmap;
    if (!bitmap.Load(Rule(), normal)) {
        Error("$tet_texture_failedload", {Shown(path)});
        return false;
    }
    size = {bitmap.GetWidth(), bitmap.GetHeight()};
    if (!IsPowerOfTwo(size.width) || !IsPowerOfTwo(size.height))
        Error("$tet_texture_notpower2", {Shown(path)});
    return true;
}

bool IsPowerOfTwo(uint32_t side) { return side != 0 && (side & (side - 1)) == 0; }

bool CheckTextures(const Nyx::File::Path& base, const Nyx::File::Path& folder)
{
    TextureWalk walk(base, folder);
    return walk.Folder(folder);
}

}  // namespace TETLib
