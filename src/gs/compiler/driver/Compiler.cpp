#include "gs/compiler/driver/Compiler.h"

#include <memory>
#include <string>
#include <utility>

#include "gs/compiler/check/Checker.h"
#include "gs/compiler/codegen/CodeGenerator.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/image/LibraryFile.h"
#include "gs/compiler/image/LibraryWriter.h"
#include "gs/compiler/scan/ReadAndParseSource.h"
#include "gs/support/ByteBuffer.h"
#include "gs/support/PathBuffer.h"

namespace GSCompiler {

namespace {

constexpr uint32_t kImageGrowth = 1024;
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

void AddMessage(CompileSession* sink, const char* text)
{
    if (sink)
        sink->AddMessage(text);
}

// Builds the image of a compile that counted no error and, with a path,
// writes it there; the errors this adds.
int32_t WriteLibrary(CompilerState& state, CompileSession* sink, std::string_view libraryName, const char* path)
{
    Utils::ByteBuffer image;
    image.Init(kImageGrowth);
    if (!WriteLibraryImage(image, state, sink, libraryName)) {
        AddMessage(sink, "Internal Compiler Error.\n");
        return 1;
    }
    if (!path)
        return 0;
    switch (WriteLibraryFile(path, image.Data(), image.Size())) {
    case LibraryFileResult::kWritten:
        return 0;
    case LibraryFileResult::kCannotCreate:
        AddMessage(sink, "Unable to open output file.\n");
        return 1;
    case LibraryFileResult::kCannotWrite:
        AddMessage(sink, "Unable to write output file.\n");
        return 1;
    }
    return 1;
}

// The state of the last compile left to the exit; reachable from here, so
// a leak checker does not count it.
CompilerState* g_leftToExit = nullptr;

}  // namespace

void CompilerState::Reset()
{
    // The compiled classes point at the symbols: they go first.
    classes_.clear();
    strings_.Clear();
    symbols_.Clear();
    top_ = std::make_unique<SourceContext>();
    dependencies_ = 0;
}

int32_t CompileScriptFile(std::string_view sourcePath, const char* outputFolder, const IncludePathList& includes,
                          CompileSession* sink, CompileMemory memory)
{
    IncludePathList& list = IncludePathList::Global();
    list.Clear();
    list.Append(Nyx::File::Path(FolderOf(sourcePath)));
    for (const IncludePath& entry : includes.Items())
        list.Append(entry.folder, entry.container);

    auto owned = std::make_unique<CompilerState>();
    CompilerState& state = *owned;
    if (memory == CompileMemory::kLeftToExit)
        delete std::exchange(g_leftToExit, owned.release());
    int32_t errors = CompileProgram(BareName(sourcePath), state, sink);
    if (errors != 0)
        return errors;
    const std::string folder = outputFolder ? std::string(outputFolder) : FolderOf(sourcePath);
    const std::string path = LibraryPath(folder, BareName(sourcePath));
    return WriteLibrary(state, sink, sourcePath, path.c_str());
}

int32_t CompileToLibraryFile(CompileSession* sink, const char* sourceName, const char* outputPath)
{
    if (!sourceName)
        return 0;
    CompilerState state;
    int32_t errors = CompileProgram(sourceName, state, sink);
    if (errors != 0)
        return errors;
    return WriteLibrary(state, sink, sourceName, outputPath);
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
    if (errors == 0 && !GenerateProgram(state)) {
        errors += 1;
        AddMessage(sink, "\nInternal Code Generation Error...");
    }
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
