// "createcdp", "installcdp", "installfrompath" and "vrqparse".
#include "cli/PackageCommands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "cli/AssetCommands.h"
#include "cli/CommandHandlers.h"
#include "cli/Environment.h"
#include "config/formats/ConfigFile.h"
#include "config/results/InterfaceTextDB.h"
#include "config/results/KestroProperty.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/AssetFolderFiles.h"
#include "kad/client/KADClient.h"
#include "kad/packages/CDP.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"

namespace {

// createcdp asks for the files LZSS-compressed.
constexpr uint32_t kExportFlags = 3;
constexpr uint32_t kThumbnailSize = 240;
// The longest part a config's path adds to its folder's.
constexpr size_t kLongestConfigPart = sizeof("/config.chump") - 1;

void AddError(ResultsLog& log, const Nyx::String& text) { ResultsLog::AddResult(log, ResultsLog::kError, text); }

void AddLine(ResultsLog& log, const Nyx::String& text) { ResultsLog::AddResult(log, ResultsLog::kInformation, text); }

bool IsLocal(const KUID& kuid)
{
    AssetRecord record;
    KADRequests::GetAssetInfo(kuid, record, AssetRecord::kMaskAll);
    return record.known && record.GetFlag(AssetRecord::kFlagInstalled);
}

bool HasExtension(const Nyx::File::Path& path, const char* extension)
{
    return EqualsNoCase(path.Extension(), extension);
}

// The file beside the package: its folder, the KUID's plain text and the
// extension.
Nyx::File::Path Beside(const Nyx::File::Path& package, const KUID& kuid, const char* extension)
{
    std::string name = std::string(package.Folder()) + kuid.ToPlainString().c_str() + extension;
    return Nyx::File::Path(name);
}

// Paths the daemon gets must not depend on its working folder; a relative
// one is taken from this process's (the program folder).
Nyx::File::Path Absolute(const char* text)
{
    Nyx::File::Path path(text);
    if (path.Empty() || path.IsAbsolute())
        return path;
    Nyx::File::Path joined(CurrentWorkingFolder());
    joined.AddPath(path.View());
    return joined;
}

// The subfolders of a listed folder, links to folders left out (one could
// lead back above itself). Looked at from the folder as found on disk, so
// that one whose whole path is too long for the system is still seen.
bool ListSubfolders(const Nyx::File::Find& find, std::vector<std::string>& names)
{
    const std::string& onDisk = find.FolderOnDisk();
    const int folder = ::open(onDisk.empty() ? "." : onDisk.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    for (const std::string& name : find.Names()) {
        struct stat st;
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            names.push_back(name);
    }
    ::close(folder);
    return true;
}

bool InstallFromPathAt(const Nyx::File::Path& folder, ResultsLog& log, const std::atomic<bool>* cancel, int depth)
{
    if (folder.Empty())
        return true;
    for (const char* config : {"config.txt", "config.chump"}) {
        Nyx::File::Path file(folder);
        file.AddPath(config);
        if (Nyx::File::Exists(file) == 0) {
            KUID kuid;
            return KADRequests::InstallFromFolder(folder, 0, kuid, nullptr, &log);
        }
    }
    Nyx::File::Path pattern(folder);
    pattern.AddPath("*");
    Nyx::File::Find find(pattern);
    std::vector<std::string> subfolders;
    if (!find.Valid() || !ListSubfolders(find, subfolders)) {
        // Assets it may hold would be passed over without a word.
        if (depth == 0)
            AddError(log, Nyx::String("Invalid input path."));
        else
            AddError(log, Nyx::String::Printf("Unable to list the folder '%s'.", folder.c_str()));
        return false;
    }
    bool ok = true;
    for (const std::string& name : subfolders) {
        Nyx::File::Path entry(folder);
        entry.AddPath(name);
        // Deeper than any asset tree goes, the search is taken for a loop;
        // a folder whose config's path the system cannot take is no place
        // to look for one. Either may hold assets, so either is named.
        if (depth + 1 > kMaxInstallDepth) {
            AddError(log, Nyx::String::Printf("The folder '%s' was not searched: it lies too deep.", entry.c_str()));
            ok = false;
        } else if (entry.Length() + kLongestConfigPart >= PATH_MAX) {
            AddError(log,
                     Nyx::String::Printf("The folder '%s' was not searched: its path is too long.", entry.c_str()));
            ok = false;
        } else {
            ok = InstallFromPathAt(entry, log, cancel, depth + 1) && ok;
        }
        if (cancel && cancel->load())
            break;
    }
    return ok;
}

}  // namespace

bool InstallFromPath(const Nyx::File::Path& folder, ResultsLog& log, const std::atomic<bool>* cancel)
{
    return InstallFromPathAt(folder, log, cancel, 0);
}

Nyx::String EscapeLineBreaks(const char* text)
{
    std::string out;
    for (const char* p = text; p && *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            out += "\\n";
            if ((p[1] == '\r' || p[1] == '\n') && p[1] != *p)
                ++p;
        } else if (*p == '\\') {
            out += "\\\\";
        } else {
            out += *p;
        }
    }
    return Nyx::String(out);
}

Nyx::String KUIDListText(const KUIDRing& kuids)
{
    std::string out;
    for (const KUID& kuid : kuids) {
        if (!out.empty())
            out += ", ";
        out += kuid.ToString().c_str();
    }
    return Nyx::String(out);
}

bool WriteAssetToCDP(const KUID& kuid, ResultsLog& log, const Nyx::File::Path& outputPath)
{
    const uint32_t errorsBefore = log.GetErrorCount();
    ChunkRef entry = KADRequests::ExportAsset(kuid, kExportFlags, &log);
    // A failed export leaves no entry: a package without it would be a
    // package of nothing, which no install takes. The daemon has said why;
    // what the package would say of a missing entry is not the reason.
    if (!entry && log.GetErrorCount() > errorsBefore)
        return false;
    CDP::StampEntryChecksum(entry);
    ChunkRef package;
    Nyx::String error = CDP::AddAsset(package, entry);
    if (error.Empty())
        error = CDP::Write(package, outputPath);
    if (error.Empty())
        return true;
    AddError(log, Nyx::String::Printf("Unable to write asset to CDP: %s", error.c_str()));
    return false;
}

Nyx::String WriteThumbnailFile(const std::vector<uint8_t>& bytes, const Nyx::File::Path& outputPath)
{
    return CDP::ExtractFile(ACSRawData::Borrow(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr),
                            outputPath, Nyx::PString());
}

bool ParseCdpFile(const Nyx::File::Path& packagePath, ResultsLog& log)
{
    ChunkRef package;
    if (!CDP::CheckHeader(package, packagePath).Empty()) {
        ChunkRef parameters;
        TDBContainerTag::SetString(parameters, Nyx::PString("file_path"), Nyx::PString(packagePath.Str()));
        ResultsLog::AddResult(log, ResultsLog::kError, GetInterfaceText(Nyx::String("$kad_unreadable_cdp")),
                              &parameters);
        return false;
    }

    const uint32_t errorsBefore = log.GetErrorCount();
    KUIDRing installed;
    const uint32_t count = CDP::GetAssetCount(package);
    for (uint32_t i = 0; i < count; ++i) {
        KUID kuid = KADClient::InstallPackageEntry(CDP::GetAssetAt(package, i), log, 0, nullptr);
        bool seen = false;
        for (const KUID& known : installed)
            seen = seen || known == kuid;
        if (!kuid.IsNull() && !seen)
            installed.Append(kuid);
    }
    if (log.GetErrorCount() > errorsBefore) {
        // One asset failed: none of the package stays.
        for (const KUID& kuid : installed) {
            AssetHandleRef handle = KADRequests::OpenAsset(kuid, false, &log);
            KADRequests::RevertAsset(handle, &log);
        }
        AddError(log, Nyx::String("Aborted processing"));
        return false;
    }

    bool allWritten = true;
    for (const KUID& kuid : installed) {
        log.PushCurrentAsset(AssetProperty(kuid));
        {
            AssetHandleRef handle = KADRequests::OpenAsset(kuid, true, &log);
            KADRequests::CommitAsset(handle, 0, &log);
        }
        PrintAssetStatus(kuid, log);
        ValidateAsset(kuid, log);

        AssetRecord record;
        KADRequests::GetAssetInfo(kuid, record, AssetRecord::kMaskAll);
        KUIDRing dependencies;
        KADRequests::GetDependencyList(kuid, dependencies);
        KUIDRing obsoletes;
        KADRequests::GetObsoletes(kuid, obsoletes);
        AddLine(log, Nyx::String::Printf("Name: %s", EscapeLineBreaks(record.NameOrEmpty().c_str()).c_str()));
        AddLine(log, Nyx::String::Printf("Description: %s",
                                         EscapeLineBreaks(KADRequests::GetAssetDescription(kuid).c_str()).c_str()));
        AddLine(log, Nyx::String::Printf("Kestro-build: %.1f", double(record.build)));
        AddLine(log, Nyx::String::Printf("Dependencies: %s", KUIDListText(dependencies).c_str()));
        AddLine(log, Nyx::String::Printf("Obsoletes: %s", KUIDListText(obsoletes).c_str()));

        allWritten = WriteAssetToCDP(kuid, log, Beside(packagePath, kuid, ".cdp")) && allWritten;

        Nyx::PString imageName;
        Nyx::File::Path imagePath;
        std::vector<uint8_t> image;
        KADRequests::GetThumbnail(kuid, kThumbnailSize, imageName, imagePath, &image);
        const Nyx::File::Path thumbnail = Beside(packagePath, kuid, ".jpg");
        if (HasExtension(imagePath, "jpg"))
            CopyFileByStream(Nyx::PString(), imagePath, Nyx::PString(), thumbnail);
        else if (!image.empty())
            WriteThumbnailFile(image, thumbnail);

        ChunkRef config = KADRequests::GetAssetConfig(kuid);
        auto text = [&config](const char* tag) { return TDBContainerTag::GetString(config, Nyx::PString(tag)); };
        AddLine(log, Nyx::String::Printf("kind: %s", text("kind").c_str()));
        AddLine(log, Nyx::String::Printf(
                         "alias-kuid: %s",
                         TDBContainerTag::GetKUID(config, Nyx::PString("alias"), KUID::Null).ToString().c_str()));
        AddLine(log, Nyx::String::Printf("category-region: %s", EscapeLineBreaks(text("category-region").c_str()).c_str()));
        AddLine(log, Nyx::String::Printf("category-era: %s", EscapeLineBreaks(text("category-era").c_str()).c_str()));
        AddLine(log, Nyx::String::Printf("category-class: %s", EscapeLineBreaks(text("category-class").c_str()).c_str()));
        log.PopCurrentAsset();
    }
    return allWritten;
}

int CreateCDPCommand(ResultsLog& log, int argc, char** argv)
{
    const Nyx::File::Path output(argc >= 3 && argv[2] ? argv[2] : "");
    if (output.Empty()) {
        AddError(log, Nyx::String("Missing output path parameter."));
        return -1;
    }
    if (!HasExtension(output, "cdp")) {
        AddError(log, Nyx::String("The output filename must have a .cdp extension."));
        return -1;
    }
    // A package of no assets is one that no install takes.
    if (argc < 4) {
        AddError(log, Nyx::String("Missing AssetID parameter."));
        return -1;
    }
    ChunkRef package(new TDBContainerTag);
    for (int i = 3; i < argc; ++i) {
        const KUID kuid = KUID::Parse(argv[i], true);
        if (kuid.IsNull()) {
            AddError(log, Nyx::String("Invalid AssetID."));
            return -1;
        }
        if (!IsLocal(kuid)) {
            AddAssetError(log, kuid, "Asset is not local.");
            return -1;
        }
        ChunkRef entry = KADRequests::ExportAsset(kuid, kExportFlags, &log);
        if (entry)
            CDP::SetCompressionLZSS(entry);
        // An export that failed left no entry to add; a package without it
        // would be no package of what was asked for.
        Nyx::String refused = CDP::AddAsset(package, entry);
        if (!refused.Empty()) {
            ResultsLog::AddResult(log, ResultsLog::kError, AssetProperty(kuid), refused);
            return -1;
        }
    }
    Nyx::String error = CDP::Write(package, output);
    if (!error.Empty()) {
        AddError(log, error);
        return -1;
    }
    return 0;
}

int VrqParseCommand(ResultsLog& log, const char* packagePath)
{
    return ParseCdpFile(Absolute(packagePath), log) ? 0 : -1;
}

int InstallCDPCommand(ResultsLog& log, const char* packagePath)
{
    int32_t value = 0;
    return KADRequests::InstallCDP(Absolute(packagePath), 2, value, nullptr, &log) ? 0 : -1;
}

int InstallFromPathCommand(ResultsLog& log, const char* folder)
{
    return InstallFromPath(Absolute(folder), log) ? 0 : -1;
}
