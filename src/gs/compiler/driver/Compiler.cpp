#include "gs/compiler/driver/Compiler.h"

#include <string>

#include "gs/compiler/check/Checker.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/scan/ReadAndParseSource.h"
#include "gs/support/PathBuffer.h"

namespace GSCompiler {

namespace {

constexpr const char* kNotAvailable = "Code generation is not available in this build.";

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string BareName(std::string_view path)
{
    PathBuffer name(path);
    name.StripDirectory();
    return name.Str();
}

std::string FolderOf(std::string_view path)
{
    size_t cut = path.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1));
}

// Generates the program's code; false when that failed.
bool GenerateProgram(CompilerState&, CompileSession* sink)
{
    if (sink)
        sink->AddMessage(kNotAvailable);
    return false;
}

}  // namespace

void CompilerState::Reset()
{
    symbols_.Clear();
    top_ = std::make_unique<SourceContext>();
    dependencies_ = 0;
}

int32_t CompileScriptFile(std::string_view sourcePath, const char* outputFolder, const IncludePathList& includes,
                          CompileSession* sink)
{
    IncludePathList& list = IncludePathList::Global();
    list.Clear();
    list.Append(Nyx::File::Path(FolderOf(sourcePath)));
    for (const IncludePath& entry : includes.Items())
        list.Append(entry.folder, entry.container);

    CompilerState state;
    int32_t errors = CompileProgram(BareName(sourcePath), state, sink);
    // The library is written by the code generator's issue: "<folder>/<base>.gsl", where the
    // folder is outputFolder or the source's own.
    (void)outputFolder;
    return errors;
}

int32_t CompileToLibraryFile(CompileSession* sink, const char* sourceName, const char* outputPath)
{
    if (!sourceName)
        return 0;
    CompilerState state;
    int32_t errors = CompileProgram(sourceName, state, sink);
    (void)outputPath;
    return errors;
}

int32_t CompileProgram(std::string_view name, CompilerState& state, CompileSession* sink)
{
    std::string source(name);
    if (source.size() >= 4 && source.compare(source.size() - 4, 4, ".gse") == 0)
        source.pop_back();
    state.Reset();
    SourceContext& top = state.TopContext();
    top.Init(&state.Symbols(), sink);
    int32_t errors = CompileSourceFile(state, source, top, true);
    if (errors == 0 && !GenerateProgram(state, sink))
        errors += 1;
    return errors;
}

int32_t CompileSourceFile(CompilerState& state, std::string_view name, SourceContext& context, bool isTopLevel)
{
    const std::string lowered = Lower(name);
    if (ReadAndParseSource(lowered, context) != 0)
        return context.ErrorCount();

    GSSymbolTable& symbols = state.Symbols();
    const std::string bare = BareName(lowered);
    GSDependentSymbol* file = symbols.CreateDependentSymbol(bare);
    if (file) {
        file->index = state.NextDependencyIndex();
        file->sourceCrc = context.SourceCrc();
        file->fileNameCrc = context.FileNameCrc();
    }
    if (!file || !symbols.Enter(*file)) {
        if (CompileSession* sink = context.Sink())
            sink->AddMessage("Internal Compiler Error.");
        return 1;
    }

    int32_t includeErrors = 0;
    for (SyntaxNode* d = context.Declarations(); d; d = d->next) {
        if (d->category != kDeclaration || d->kind != kInclude || !d->child[0])
            continue;
        const char* included = d->child[0]->value.text;
        if (symbols.FindDependency(BareName(included)))
            continue;
        SourceContext fresh;
        fresh.Init(&symbols, context.Sink());
        includeErrors += CompileSourceFile(state, included, fresh, false);
    }

    symbols.ResetReferences();
    if (includeErrors != 0)
        return includeErrors;

    GSDependentSymbol* self = symbols.FindDependency(bare);
    if (!self)
        return 1;
    symbols.SetCurrentFile(self);
    if (!context.Declarations())
        return 1;
    context.ResetErrorCount();
    symbols.SetCurrentContext(&context);
    return CheckFile(context, symbols, !isTopLevel);
}

}  // namespace GSCompiler
