#include "gs/compiler/scan/ReadAndParseSource.h"

#include <string>

#include "core/compress/Crc32.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/compiler/parse/Parser.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/scan/Scanner.h"
#include "gs/support/PathBuffer.h"
#include "gs/support/store/LibraryNameCrc.h"
#include "gs/support/store/ScriptFileStore.h"

namespace GSCompiler {

namespace {

// Where the file was found: its path and container. Empty path when it is
// in no folder of the list; the container is then the last one tried.
struct Found {
    std::string path;
    Nyx::PString container;
};

Found FindSource(std::string_view name)
{
    Found found;
    for (const IncludePath& entry : IncludePathList::Global().Items()) {
        found.container = entry.container;
        PathBuffer candidate(entry.folder.View());
        candidate.Append(name);
        Nyx::File::Path path(candidate.Str());
        if (Nyx::File::Exists(entry.container, path) == 0) {
            found.path = path.Str();
            return found;
        }
        std::string_view extension = path.Extension();
        if (extension == "gs") {
            std::string scrambled = path.Str() + "e";
            if (Nyx::File::Exists(entry.container, Nyx::File::Path(scrambled)) == 0) {
                found.path = scrambled;
                return found;
            }
        }
    }
    return found;
}

bool HasUtf8Mark(const char* text, uint32_t length)
{
    return length >= 3 && static_cast<uint8_t>(text[0]) == 0xEF && static_cast<uint8_t>(text[1]) == 0xBB &&
           static_cast<uint8_t>(text[2]) == 0xBF;
}

// Makes the context current while the file is read, and not after.
class CurrentContext {
public:
    explicit CurrentContext(SourceContext& context) { SourceContext::SetCurrent(&context); }
    ~CurrentContext() { SourceContext::SetCurrent(nullptr); }
    CurrentContext(const CurrentContext&) = delete;
    CurrentContext& operator=(const CurrentContext&) = delete;
};

}  // namespace

int ReadAndParseSource(std::string_view name, SourceContext& context)
{
    CurrentContext current(context);
    if (!context.SetFileName(name)) {
        context.Message("Internal Compiler Error.");
        context.AddErrors(1);
        return 1;
    }

    Found found = FindSource(name);
    ScriptFileStore store;
    if (found.path.empty() || !store.Open(found.container, Nyx::File::Path(found.path))) {
        const std::string text(name);
        context.Message("Could not read file %s %s.", found.container.c_str(), text.c_str());
        context.AddErrors(1);
        return 1;
    }
    if (store.IsPacked() && !store.Unpack()) {
        context.AddErrors(1);
        return 1;
    }
    const char* text = store.GetText();
    const uint32_t length = store.GetLength();
    if (!text) {
        context.AddErrors(1);
        return 1;
    }
    if (HasUtf8Mark(text, length)) {
        const std::string file(name);
        context.Message("'%s' appears to be UTF-8 encoded, please resave as ANSI.", file.c_str());
        context.AddErrors(1);
        return 1;
    }

    int result;
    {
        Scanner scanner(text, length);
        ParseScope scope(scanner, context);
        result = ParseSource();
    }
    SourceContext::SetCurrent(&context);
    context.AddErrors(result);
    if (result != 0)
        return 1;
    const uint32_t prefix = store.GetPrefixLength() <= length ? store.GetPrefixLength() : length;
    const ScriptSourceCrcs crcs = ScriptLibraryCrcs(text + prefix, length - prefix, name);
    context.SetCrcs(crcs.source, crcs.name);
    return 0;
}

}  // namespace GSCompiler
