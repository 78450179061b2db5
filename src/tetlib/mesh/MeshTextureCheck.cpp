// The material and texture checks of a loaded mesh.
#include <cctype>
#include <cstring>
#include <string>

#include "nyx/files/File.h"
#include "platform/FileConfinement.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/mesh/MeshData.h"
#include "tetlib/rules/AssetLocation.h"

namespace TETLib {

namespace {

// Texture descriptions are read a line at a time through a buffer of this
// size; a longer line is cut.
constexpr uint32_t kDescriptionLine = 512;
constexpr std::string_view kPrimary = "Primary=";

bool EndsWithNoCase(std::string_view text, std::string_view end)
{
    if (text.size() < end.size())
        return false;
    text = text.substr(text.size() - end.size());
    for (size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(end[i])))
            return false;
    return true;
}

// The image the description names on its first "Primary=" line, lower-cased;
// empty when there is none.
std::string ReadPrimaryImage(const Platform::FileConfinement& rule, const Nyx::File::Path& description)
{
    Nyx::File file;
    if (!file.Open(rule, description, Nyx::File::kModeRead))
        return {};
    char line[kDescriptionLine];
    while (file.ReadLine(line, sizeof line)) {
        std::string_view text(line, strnlen(line, sizeof line));
        if (text.substr(0, kPrimary.size()) != kPrimary)
            continue;
        std::string image;
        for (char c : text.substr(kPrimary.size()))
            if (c != '\r' && c != '\n')
                image += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return image;
    }
    return {};
}

}  // namespace

void MeshData::CheckMaterialsAndTextures(const MeshResourceView& resource)
{
    for (const Nyx::PString& material : resource.GetFailedMaterials())
        ReportError("$tet_mesh_failedmaterial", InAssetFolder(material));

    const Nyx::File::Path meshPath(meshPath_);
    const Platform::FileConfinement rule(CurrentAssetFolderPath().View());
    textureRecords_.clear();
    for (const Nyx::PString& name : resource.GetTextureNames()) {
        std::string texture(name.View());
        if (EndsWithNoCase(texture, "texture"))
            texture += ".txt";
        else if (!EndsWithNoCase(texture, "txt"))
            continue;
        Nyx::File::Path relative(meshPath.Folder());
        relative.AddPath(texture);
        relative = LexicallyNormal(relative);
        TextureRecord record{Nyx::PString(relative.View()), Nyx::PString(), false};
        const Nyx::File::Path description = InContentRoot(relative);
        if (!rule.ResolveFile(description.View()).empty()) {
            const std::string image = ReadPrimaryImage(rule, description);
            record.image = Nyx::PString(image);
            Nyx::File::Path imagePath(description.Folder());
            imagePath.AddPath(image);
            // An empty name would find the folder itself.
            record.imageFound = !image.empty() && !rule.ResolveFile(imagePath.View()).empty();
            if (!record.imageFound)
                ReportError("$tet_mesh_load_texture", InAssetFolder(record.texture));
        }
        textureRecords_.push_back(record);
    }
}

}  // namespace TETLib
