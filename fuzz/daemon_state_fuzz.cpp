// The stand-in's state file of arbitrary bytes: loaded, then changed once
// (which writes the whole state back), loaded from what was written and
// changed again the same way. A file that does not read whole is refused,
// naming the file, and stays as it was. Whatever a file that loads held,
// the state it loads must survive its own writing (but for the double
// quotes config text cannot hold): both writes give the very same bytes,
// and the change and the entries read survive the round.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "kaddaemon/DaemonState.h"

namespace {

const KUID kChanged(999, 999, 0);
const KUID kAsked[] = {KUID(400001, 101, 0), KUID(1, 2, 0), KUID(-2, 1, 127)};
const int32_t kAuthors[] = {0, 1, 2, 400001, -1};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A text as config text can hold it: a double quote is written as a
// single one.
std::string Writable(std::string text)
{
    for (char& c : text)
        if (c == '"')
            c = '\'';
    return text;
}

// What a load gave, for the KUIDs and author ids the target asks about.
std::string Summary(const kaddaemon::DaemonState& state)
{
    std::string out = std::to_string(state.NextContentId()) + "\n";
    for (const KUID& kuid : kAsked) {
        if (const kaddaemon::DaemonState::AssetState* asset = state.Find(kuid))
            out += Writable(asset->keywords) + "|" + char('0' + asset->favourite) + char('0' + asset->modified) + "\n";
        else
            out += "-\n";
    }
    for (int32_t id : kAuthors)
        out += Writable(state.AuthorName(id)) + "\n";
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("daemon_state_fuzz");
    const std::string file = folder / kaddaemon::DaemonState::kFileName;
    folder.Write(kaddaemon::DaemonState::kFileName, std::string_view(reinterpret_cast<const char*>(data), size));

    kaddaemon::DaemonState state;
    std::string error;
    if (!state.Load(folder.Path(), error)) {
        FuzzCheck(error.find(file) != std::string::npos);
        FuzzCheck(ReadFile(file) == std::string_view(reinterpret_cast<const char*>(data), size));
        return 0;
    }
    const std::string loaded = Summary(state);
    FuzzCheck(state.SetKeywords(kChanged, "fuzz keywords"));
    const std::string first = ReadFile(file);

    kaddaemon::DaemonState again;
    FuzzCheck(again.Load(folder.Path(), error));
    FuzzCheck(Summary(again) == loaded);
    const kaddaemon::DaemonState::AssetState* changed = again.Find(kChanged);
    FuzzCheck(changed && changed->keywords == "fuzz keywords");
    FuzzCheck(again.SetKeywords(kChanged, "fuzz keywords"));
    FuzzCheck(ReadFile(file) == first);
    return 0;
}
