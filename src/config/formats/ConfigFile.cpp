#include "config/formats/ConfigFile.h"

#include <cstring>
#include <string>
#include <utility>

#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigText.h"
#include "core/files/AssetFolderFiles.h"
#include "core/streams/TStream.h"
#include "nyx/files/File.h"
#include "platform/FileSave.h"

namespace {

enum class ConfigForm { Unknown, Text, Binary };

ConfigForm FormOf(std::string_view extension)
{
    if (EqualsNoCase(extension, "txt"))
        return ConfigForm::Text;
    if (EqualsNoCase(extension, "chump") || EqualsNoCase(extension, "cdp") || EqualsNoCase(extension, "cdp2"))
        return ConfigForm::Binary;
    return ConfigForm::Unknown;
}

Nyx::PString FolderBase(const char* folder) { return Nyx::PString(folder ? folder : ""); }

// The name with the extension of its last component replaced by "tmp" (or
// ".tmp" added when it has none).
std::string RecoveryName(std::string_view name)
{
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string(name) + ".tmp";
    return std::string(name.substr(0, dot)) + ".tmp";
}

bool WriteForm(TStream& stream, ConfigForm form, const ChunkRef& root)
{
    return form == ConfigForm::Text ? WriteConfigText(stream, root) : WriteBinaryConfig(stream, root);
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    auto fold = [](char c) {
        auto u = static_cast<uint8_t>(c);
        if (u < 0x20)
            return uint8_t(0);
        return u >= 'A' && u <= 'Z' ? static_cast<uint8_t>(u + ('a' - 'A')) : u;
    };
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

std::string_view ExtensionOf(const char* extension, const char* fileName)
{
    if (extension && *extension)
        return extension[0] == '.' ? extension + 1 : extension;
    if (!fileName)
        return {};
    const char* dot = std::strrchr(fileName, '.');
    return dot ? std::string_view(dot + 1) : std::string_view();
}

bool LoadConfigFile(ChunkRef& out, const char* folder, const char* fileName, const char* extension)
{
    if (!fileName || !*fileName)
        return false;
    TFile file;
    if (folder && *folder)
        file.OpenIn(Nyx::PString(folder), Nyx::File::Path(fileName), Nyx::File::kModeRead);
    else
        file.Open(Nyx::File::Path(fileName), Nyx::File::kModeRead);
    if (!file.IsOpen())
        return false;

    switch (FormOf(ExtensionOf(extension, fileName))) {
    case ConfigForm::Text: {
        ChunkRef tree;
        if (!ReadConfigText(tree, file, false))
            return false;
        out = std::move(tree);
        return true;
    }
    case ConfigForm::Binary:
        ReadBinaryConfig(file, out);
        return true;
    case ConfigForm::Unknown:
        break;
    }
    return false;
}

bool SaveConfigFile(const ChunkRef& root, const char* folder, const char* fileName, const char* extension,
                    ConfigSync sync)
{
    ConfigForm form = FormOf(ExtensionOf(extension, fileName));
    if (form == ConfigForm::Unknown || !fileName || !*fileName)
        return false;

    std::string real = Nyx::File::Resolve(FolderBase(folder), Nyx::File::Path(fileName));
    if (real.empty())
        return false;
    Platform::FileSaveOptions options;
    options.syncBeforeReplace = sync != ConfigSync::kByCaller;
    options.keepPermissions = true;
    Platform::FileSave save(real, std::move(options));
    if (!save.IsOpen())
        return false;
    bool ok = false;
    {
        TFile file;
        file.EnsureFile();
        if (!file.GetFile()->OpenDuplicate(save.Descriptor(), Nyx::File::Path(real), Nyx::File::kModeWrite))
            return false;
        ok = WriteForm(file, form, root);
        ok = file.Flush() && ok;
        ok = ok && file.GetError() == TStream::kErrNone;
    }
    return ok && save.Commit();
}

bool LoadConfigFileWithRecovery(ChunkRef& out, const char* folder, const char* fileName)
{
    if (!fileName || !*fileName)
        return false;
    Nyx::PString base = FolderBase(folder);
    std::string recovery = RecoveryName(fileName);

    bool mainStays = false;
    if (FileExistsIn(base, Nyx::File::Path(fileName))) {
        if (LoadConfigFile(out, folder, fileName, "txt")) {
            DeleteContentPath(base, Nyx::File::Path(recovery));
            return true;
        }
        // Not deleted: a file that does not open now may be locked or lack
        // a permission for the moment, and hold the only good copy.
        mainStays = true;
    }
    if (!FileExistsIn(base, Nyx::File::Path(recovery)))
        return false;
    if (!LoadConfigFile(out, folder, recovery.c_str(), "txt"))
        return false;
    if (!mainStays)
        RenameContentFile(base, Nyx::File::Path(recovery), Nyx::File::Path(fileName));
    return true;
}

std::unique_ptr<TBuffer> ConfigToTextBuffer(const ChunkRef& container)
{
    auto buffer = std::make_unique<TBuffer>();
    WriteConfigText(*buffer, container);
    return buffer;
}

void PrintConfigTo(std::FILE* out, const ChunkRef& root)
{
    TBuffer buffer;
    WriteConfigText(buffer, root);
    const Nyx::DynamicBuffer* bytes = buffer.GetBuffer();
    if (bytes->DataLength())
        std::fwrite(bytes->Data(), 1, bytes->DataLength(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

void PrintConfig(const ChunkRef& root) { PrintConfigTo(stdout, root); }
