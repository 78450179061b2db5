// The validation data folder with one file of arbitrary bytes, which also
// stands as the user's "personalDetails.txt": created, loaded through the
// first Instance and destroyed (which writes the details back). Whatever the
// bytes, the lines kept are the file's own lines split at their first blank,
// the choice list of the file is the keys of its non-empty lines, and the
// details written at shut-down read back the same at the next start (but
// for the double quotes config text cannot hold).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "tetlib/data/DataFolderScan.h"
#include "tetlib/data/DataManager.h"

namespace {

// A text as config text can hold it: a double quote is written as a
// single one.
std::string Writable(const Nyx::PString& text)
{
    std::string out = text.Str();
    for (char& c : out)
        if (c == '"')
            c = '\'';
    return out;
}

std::string Summary(const TETLib::PersonalDetails& d)
{
    return Writable(d.author) + "|" + Writable(d.license) + "|" + Writable(d.organisation) + "|" + Writable(d.email) +
           "|" + Writable(d.website) + "|" + (d.isinputboxon ? "1" : "0");
}

// Loads the data folder once, as a start-up does; the details read.
std::string StartAndStop(const std::string& folder, std::string_view bytes, bool checkLines)
{
    TETLib::DataManager::Create(folder);
    TETLib::DataManager& manager = TETLib::DataManager::Instance();
    FuzzCheck(manager.IsLoaded());
    if (checkLines) {
        auto it = manager.GetFolderFiles().find(Nyx::PString("fuzz.txt"));
        FuzzCheck(it != manager.GetFolderFiles().end());
        const TETLib::DataLines expected = TETLib::SplitDataLines(bytes);
        FuzzCheck(it->second.size() == expected.size());
        std::vector<Nyx::PString> keys;
        for (size_t i = 0; i < expected.size(); ++i) {
            FuzzCheck(it->second[i].key == expected[i].key && it->second[i].text == expected[i].text);
            if (!expected[i].key.Empty())
                keys.push_back(expected[i].key);
        }
        const std::vector<Nyx::PString>* list = manager.FindPossibilityList(Nyx::PString("FUZZ"));
        FuzzCheck(list && *list == keys);
        FuzzCheck(!manager.GetNewFormTemplate().empty() && manager.GetNewFormTemplate().back() == Nyx::PString("imagelist"));
    }
    manager.LoadDefinitions();
    const std::string details = Summary(manager.GetPersonalDetails());
    TETLib::DataManager::Destroy();
    FuzzCheck(TETLib::DataManager::Existing() == nullptr);
    return details;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("tetdata_scan_fuzz");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    folder.Clear();
    folder.Write("TETData/fuzz.txt", bytes);
    folder.Write("TETData/personalDetails.txt", bytes);
    const std::string dataFolder = folder / "TETData/";

    const std::string first = StartAndStop(dataFolder, bytes, true);
    const std::string second = StartAndStop(dataFolder, bytes, true);
    FuzzCheck(second == first);
    return 0;
}
