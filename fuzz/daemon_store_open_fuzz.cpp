// The stand-in's start-up over a data root built from arbitrary bytes: the
// input, cut at each "\n@@\n", gives the state file and the configs of a few
// installed assets and working copies (one of them in the binary form), and
// the asset store opens that root and answers for every asset it found.
// Whatever the configs hold, the scan ends, what it leaves of a copy or an
// install cut short is gone, and each asset found is known, has a record and
// a folder, and is faulty exactly when its config gives no kind; a state
// file that does not read refuses the root and stays as it was.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "kad/requests/AssetRecord.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonState.h"

namespace {

constexpr std::string_view kSeparator = "\n@@\n";

// Where the pieces of an input go, in order; pieces beyond these are unused.
const char* const kSlots[] = {
    kaddaemon::DaemonState::kFileName,
    "local/one/config.txt",
    "local/two/config.chump",
    "local/three/config.txt",
    "editing/one/config.txt",
    "editing/four/config.txt",
};

std::vector<std::string_view> Pieces(std::string_view bytes)
{
    std::vector<std::string_view> pieces;
    while (pieces.size() + 1 < std::size(kSlots)) {
        size_t at = bytes.find(kSeparator);
        if (at == std::string_view::npos)
            break;
        pieces.push_back(bytes.substr(0, at));
        bytes.remove_prefix(at + kSeparator.size());
    }
    pieces.push_back(bytes);
    return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder root("daemon_store_open_fuzz");
    root.Clear();
    const std::vector<std::string_view> pieces = Pieces(std::string_view(reinterpret_cast<const char*>(data), size));
    for (size_t i = 0; i < pieces.size(); ++i)
        root.Write(kSlots[i], pieces[i]);
    // A script source for a config that names one, and a working copy and
    // two installs a crash cut short.
    root.Write("local/one/main.gs", "include \"x.gs\"\n");
    const std::string unfinished[] = {
        std::string("editing/") + kaddaemon::AssetStore::kUnfinishedPrefix + "five",
        std::string("editing/") + kaddaemon::AssetStore::kCreatedPrefix + "six",
        std::string("editing/") + kaddaemon::AssetStore::kInstallingPrefix + "1-seven",
    };
    for (const std::string& folder : unfinished)
        root.Write(folder + "/config.txt", "kuid <kuid:400001:105>\nkind \"track\"\n");

    auto stateText = [&]() {
        std::ifstream in(root / kaddaemon::DaemonState::kFileName, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string stateBefore = stateText();
    kaddaemon::AssetStore store(root.Path());
    if (!store.Open()) {
        // Only a state file that does not read keeps the store from
        // opening, and it stays as it was.
        kaddaemon::DaemonState state;
        std::string error;
        FuzzCheck(!state.Load(root.Path(), error));
        FuzzCheck(stateText() == stateBefore);
        return 0;
    }
    std::error_code ec;
    for (const std::string& folder : unfinished)
        FuzzCheck(!std::filesystem::exists(root / folder, ec));

    const std::vector<KUID> found = store.Search(nullptr);
    for (size_t i = 0; i < found.size(); ++i) {
        const KUID& kuid = found[i];
        FuzzCheck(!kuid.IsNull() && store.IsKnown(kuid) && store.Resolve(kuid) == kuid);
        FuzzCheck(i == 0 || KADFilterElementAssetID::Order()(found[i - 1], kuid));
        const AssetRecord record = store.Record(kuid);
        FuzzCheck(record.known);
        std::string name;
        std::string folder;
        FuzzCheck(store.NameAndPath(kuid, true, name, folder) && !folder.empty());
        FuzzCheck(record.GetFlag(AssetRecord::kFlagStatusF) == kaddaemon::TagText(store.Config(kuid), "kind").empty());
        store.Description(kuid);
        store.Latest(kuid);
        store.Obsoletes(kuid);
        store.AuthorName(kuid.user);
    }
    store.Dependencies(found);
    store.BuildsText();
    return 0;
}
