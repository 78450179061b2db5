// Fuzzer bytes in two halves: the first as the validation data's
// "container.txt", the second as the config of an asset under the content
// root, which the validate job then checks. Whatever the bytes: no crash,
// no recursion without end (the config's nesting is bounded by the config
// reader, inheritance by the merge), every container and tag gone once the
// job is done, and the definitions as they were read.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "nyx/base/DynamicBuffer.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/steps/ValidateAssetJob.h"
#include "tetlib/tag/Tag.h"

namespace {

std::string DefinitionsText()
{
    TETLib::DataManager& manager = TETLib::DataManager::Instance();
    manager.LoadDefinitions();
    std::unique_ptr<TBuffer> text = ConfigToTextBuffer(manager.GetDefinitions());
    return std::string(reinterpret_cast<const char*>(text->GetBuffer()->Data()), text->GetBuffer()->DataLength());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("tetdata_definitions_fuzz");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    folder.Clear();
    folder.Write("TETData/container.txt", bytes.substr(0, size / 2));
    folder.Write("local/asset/config.txt", bytes.substr(size / 2));
    SetContentRootPath(Nyx::File::Path(folder.Path()));
    TETLib::ErrorHandler::Create();
    TETLib::DataManager::Create(folder / "TETData/");

    const std::string before = DefinitionsText();
    for (int run = 0; run < 2; ++run) {
        ResultsLog log;
        TETLib::RunValidateAssetJob(Nyx::PString(), Nyx::File::Path(folder / "local/asset"), log);
        FuzzCheck(TETLib::Container::LiveCount() == 0);
        FuzzCheck(TETLib::Tag::LiveCount() == 0);
        FuzzCheck(DefinitionsText() == before);
    }

    TETLib::DataManager::Destroy();
    TETLib::ErrorHandler::Destroy();
    SetContentRootPath(Nyx::File::Path());
    return 0;
}
