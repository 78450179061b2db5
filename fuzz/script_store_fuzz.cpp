// The script-file store over ".gse" files made of arbitrary bytes: opening
// and unpacking never reads outside the file, and a text that unpacks packs
// and saves again, and reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzTempFolder.h"
#include "gs/support/store/ScriptFileStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("script_store_fuzz");
    folder.Clear();
    folder.Write("in.gse", std::string_view(reinterpret_cast<const char*>(data), size));
    ScriptFileStore store;
    if (!store.Open(Nyx::PString(folder.Path()), Nyx::File::Path("in.gse")))
        return 0;
    const char* text = store.GetText();
    if (!text)
        return 0;
    const std::string plain(text, store.GetLength());
    FuzzCheck(store.Save(Nyx::PString(folder.Path()), Nyx::File::Path("out.gse")));
    ScriptFileStore back;
    FuzzCheck(back.Open(Nyx::PString(folder.Path()), Nyx::File::Path("out.gse")));
    const char* again = back.GetText();
    FuzzCheck(again && std::string(again, back.GetLength()) == plain);
    return 0;
}
