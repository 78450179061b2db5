// Fuzzer bytes as an asset's texture description and as the image its
// "Primary=" and "Alpha=" lines name: the first byte picks the image's
// extension (BMP, TGA or another), the rest is split in two, the first half
// following the two lines in "a.texture.txt" (where it may name other
// files), the second half being the image. The texture check then runs over
// the folder (the image decoder alone has a target of its own). Whatever
// the bytes: no crash, no read past the bytes, and a check that answers
// true only when it reported nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "core/files/ContentRoot.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/textures/TextureCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("texture_check_fuzz");
    if (size == 0)
        return 0;
    static const char* const kExtensions[] = {"bmp", "tga", "png"};
    const std::string image = std::string("img.") + kExtensions[data[0] % 3];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view description = rest.substr(0, rest.size() / 2);
    const std::string_view imageBytes = rest.substr(rest.size() / 2);

    folder.Clear();
    folder.Write("asset/a.texture.txt",
                 "Primary=" + image + "\nAlpha=" + image + "\n" + std::string(description));
    folder.Write("asset/" + image, imageBytes);
    folder.Write("asset/sub/b.texture", "");
    SetContentRootPath(Nyx::File::Path(folder.Path()));
    TETLib::ErrorHandler::Create();
    TETLib::DataManager::Create(folder / "TETData/");
    TETLib::DataManager& manager = *TETLib::DataManager::Existing();
    manager.outsideEditing = (data[0] & 4) != 0;

    const std::string asset = folder / "asset/";
    const bool clean = TETLib::CheckTextures(Nyx::File::Path(asset), Nyx::File::Path(asset));
    // The compiled texture without a description is always found.
    FuzzCheck(!clean);
    FuzzCheck(!TETLib::ErrorHandler::Instance()->GetMessages().empty());

    TETLib::DataManager::Destroy();
    TETLib::ErrorHandler::Destroy();
    SetContentRootPath(Nyx::File::Path());
    return 0;
}
