// Everything that belongs to one source file of a compile: its syntax tree
// (nodes in a pool of their own, names and literals in page memory), its
// name for messages, its two checksums and its error and warning counts.
// Messages go to the compile's sink, when it has one.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <new>
#include <string_view>

#include "gs/compiler/parse/NodePool.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/support/FrameMemory.h"

namespace GSCompiler {

class CompileSession;
class GSSymbolTable;

class SourceContext {
public:
    // The longest formatted message text; longer texts are cut.
    static constexpr int kMessageLimit = 255;

    SourceContext();
    SourceContext(const SourceContext&) = delete;
    SourceContext& operator=(const SourceContext&) = delete;
    ~SourceContext();

    // Prepares the context for one file of a compile.
    void Init(GSSymbolTable* symbols, CompileSession* sink);

    // A node with the given words and all others zero (type: none yet);
    // null when the pool cannot grow. Inline: the parser makes one for
    // nearly every token.
    SyntaxNode* NewNode(int32_t category, int32_t kind, int32_t line, int32_t detail)
    {
        void* block = nodes_.Alloc();
        if (!block)
            return nullptr;
        auto* node = new (block) SyntaxNode{};
        node->category = static_cast<int8_t>(category);
        node->kind = static_cast<int8_t>(kind);
        node->line = line;
        node->detail = static_cast<int8_t>(detail);
        node->type = kTypeNone;
        return node;
    }
    // A copy of the text in the file's page memory, of any length; null
    // when memory runs out.
    const char* CopyText(std::string_view text) { return texts_.CopyText(text); }

    // Formats a text and hands it to the sink as it stands.
    void Message(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Counts an error and/or a warning, then sends "file(line) : text".
    void Report(bool isError, bool isWarning, int32_t line, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    void ReportInFile(const char* fileName, bool isError, bool isWarning, int32_t line, const char* format, ...)
        __attribute__((format(printf, 6, 7)));

    // The name used in messages (copied).
    bool SetFileName(std::string_view name);
    const char* FileName() const noexcept { return fileName_ ? fileName_ : ""; }

    uint32_t SourceCrc() const noexcept { return sourceCrc_; }
    uint32_t FileNameCrc() const noexcept { return fileNameCrc_; }
    void SetCrcs(uint32_t source, uint32_t fileName) noexcept
    {
        sourceCrc_ = source;
        fileNameCrc_ = fileName;
    }

    GSSymbolTable* Symbols() const noexcept { return symbols_; }
    CompileSession* Sink() const noexcept { return sink_; }
    SyntaxNode* Declarations() const noexcept { return declarations_; }
    void SetDeclarations(SyntaxNode* root) noexcept { declarations_ = root; }

    int32_t ErrorCount() const noexcept { return errors_; }
    int32_t WarningCount() const noexcept { return warnings_; }
    void AddErrors(int32_t count) noexcept { errors_ += count; }
    void ResetErrorCount() noexcept { errors_ = 0; }

    // The page memory of names and literals (tests exhaust it).
    Utils::FrameMemory& Texts() noexcept { return texts_; }

    // The context of the file being scanned and parsed; null between files.
    static SourceContext* Current() noexcept;
    static void SetCurrent(SourceContext* context) noexcept;

private:
    void Send(const char* fileName, bool withPrefix, int32_t line, const char* format, va_list args);

    NodePool nodes_;
    Utils::FrameMemory texts_;
    const char* fileName_ = nullptr;
    uint32_t sourceCrc_ = 0;
    uint32_t fileNameCrc_ = 0;
    GSSymbolTable* symbols_ = nullptr;
    SyntaxNode* declarations_ = nullptr;
    int32_t errors_ = 0;
    int32_t warnings_ = 0;
    CompileSession* sink_ = nullptr;
};

}  // namespace GSCompiler
