// What the code generator produces for one function and one class: the
// code, the frame slots and fields that hold references, and the line
// table, kept until the library writer stores them.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "gs/support/ByteBuffer.h"
#include "gs/support/bytecode/CodeBuffer.h"

namespace GSCompiler {

class GSClassSymbol;
class GSFunctionSymbol;

// A list of 32-bit words in a growable buffer.
class WordList {
public:
    explicit WordList(uint32_t initialWords) { words_.Init(initialWords * 4); }
    void Add(uint32_t word)
    {
        words_.WriteU32(word);
        ++count_;
    }
    uint32_t Count() const noexcept { return count_; }
    const uint8_t* Data() const noexcept { return words_.Data(); }
    bool Whole() const noexcept { return words_.Flags() == 0; }

private:
    Utils::ByteBuffer words_;
    uint32_t count_ = 0;
};

// Every function and class of a compile keeps its buffers until the
// library is written, so they start at what a short function needs and
// double as they fill.
class GSCFunction {
public:
    static constexpr uint32_t kCodeGrowth = 256;
    static constexpr uint32_t kReferenceSlotWords = 8;
    static constexpr uint32_t kLineEntries = 16;

    explicit GSCFunction(GSFunctionSymbol& function);
    GSCFunction(const GSCFunction&) = delete;
    GSCFunction& operator=(const GSCFunction&) = delete;

    // A line entry at the code offset, unless the last entry has the line.
    void AddLine(uint32_t offset, int32_t line)
    {
        if (lineCount_ > 0 && lastLine_ == line)
            return;
        lines_.WriteU32(offset);
        lines_.WriteU32(static_cast<uint32_t>(line));
        lastLine_ = line;
        ++lineCount_;
    }
    uint32_t LineCount() const noexcept { return lineCount_; }
    // {code offset, line} pairs, little-endian.
    const uint8_t* Lines() const noexcept { return lines_.Data(); }
    // False when any of its buffers failed to grow.
    bool Whole() const noexcept;

    GSFunctionSymbol& symbol;
    GSBytecode::CodeBuffer code;
    // Frame slots of parameters and locals that hold references.
    WordList referenceSlots{kReferenceSlotWords};

private:
    Utils::ByteBuffer lines_;
    uint32_t lineCount_ = 0;
    int32_t lastLine_ = 0;
};

class GSCClass {
public:
    static constexpr uint32_t kInitGrowth = 64;
    static constexpr uint32_t kReferenceFieldWords = 8;

    explicit GSCClass(GSClassSymbol& cls);
    GSCClass(const GSCClass&) = delete;
    GSCClass& operator=(const GSCClass&) = delete;

    bool Whole() const noexcept;

    GSClassSymbol& symbol;
    // The field initialisers, ending in RET when there are any.
    GSBytecode::CodeBuffer init;
    // The temporary slots the initialiser code uses: highest index + 1.
    int32_t initTemporaries = 0;
    // Field slots of the class's own fields that hold references.
    WordList referenceFields{kReferenceFieldWords};
    // In the order their definitions (or native prototypes) stand.
    std::vector<std::unique_ptr<GSCFunction>> functions;
    // The functions that have a record among them.
    std::unordered_set<const GSFunctionSymbol*> compiled;
};

}  // namespace GSCompiler
