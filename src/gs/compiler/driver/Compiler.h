// The compile pipeline: the top-level file and, depth first, each file it
// includes (once each) are read, parsed and entered as dependencies; then
// the program is checked and its code generated. Every operation returns
// the number of errors it counted: 0 is success.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "gs/compiler/codegen/GSCFunction.h"
#include "gs/compiler/codegen/StringTable.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/symbols/GSSymbolTable.h"

namespace GSCompiler {

class CompileSession;

// The state of one compile; Reset makes it ready for the next.
class CompilerState {
public:
    CompilerState() = default;
    CompilerState(const CompilerState&) = delete;
    CompilerState& operator=(const CompilerState&) = delete;

    void Reset();

    GSSymbolTable& Symbols() noexcept { return symbols_; }
    SourceContext& TopContext() noexcept { return *top_; }
    // Numbers the compile's source files from 0, in the order first read.
    int32_t NextDependencyIndex() noexcept { return dependencies_++; }
    int32_t DependencyCount() const noexcept { return dependencies_; }
    // The library's texts, and the classes the code generator compiled, in
    // the order it compiled them.
    StringTable& Strings() noexcept { return strings_; }
    std::vector<std::unique_ptr<GSCClass>>& Classes() noexcept { return classes_; }

private:
    GSSymbolTable symbols_;
    StringTable strings_;
    std::vector<std::unique_ptr<GSCClass>> classes_;
    std::unique_ptr<SourceContext> top_ = std::make_unique<SourceContext>();
    int32_t dependencies_ = 0;
};

// What becomes of a compile's memory once its library is written: freed,
// or left for the program's exit to give back at once (a program that
// ends after one compile need not take apart its hundreds of thousands of
// symbols, nodes and buffers one by one).
enum class CompileMemory { kFreed, kLeftToExit };

// Compiles the file named on a command line: its own folder is searched
// first, then the given folders in order. The library is named after the
// source, in outputFolder (null: the source's folder).
int32_t CompileScriptFile(std::string_view sourcePath, const char* outputFolder, const IncludePathList& includes,
                          CompileSession* sink, CompileMemory memory = CompileMemory::kFreed);

// Compiles a named source with the include-path list as the caller left it;
// null name: 0 at once. A null outputPath only checks the source.
int32_t CompileToLibraryFile(CompileSession* sink, const char* sourceName, const char* outputPath);

int32_t CompileProgram(std::string_view name, CompilerState& state, CompileSession* sink);

int32_t CompileSourceFile(CompilerState& state, std::string_view name, SourceContext& context, bool isTopLevel);

}  // namespace GSCompiler
