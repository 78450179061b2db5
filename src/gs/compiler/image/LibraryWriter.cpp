#include "gs/compiler/image/LibraryWriter.h"

#include <vector>

#include "gs/compiler/codegen/GSCFunction.h"
#include "gs/compiler/codegen/StringTable.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/image/FunctionRecord.h"
#include "gs/compiler/image/ImageBlocks.h"
#include "gs/compiler/image/MethodTable.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/support/ByteBuffer.h"

namespace GSCompiler {

namespace {

constexpr uint32_t kTagDependencies = 2;
constexpr uint32_t kTagStrings = 3;
constexpr uint32_t kTagClassReferences = 4;
constexpr uint32_t kTagFunctionReferences = 5;
constexpr uint32_t kTagClasses = 6;
constexpr uint32_t kTagClass = 7;
constexpr uint32_t kTagFunctions = 8;
constexpr uint32_t kTagFields = 10;
constexpr uint32_t kTagMethods = 11;
constexpr uint32_t kTagLayout = 12;
constexpr uint32_t kSectionGrowth = 512;
// Room for what a record holds beside its code, line table and reference
// slots, and for what a class holds beside its records.
constexpr uint64_t kFunctionRecordWords = 24;
constexpr uint64_t kClassRecordWords = 64;
// The specifiers a class record keeps: static, final, game, secured.
constexpr uint32_t kClassFlags = 0x14C;

void WriteS32(Utils::ByteBuffer& out, int32_t value) { out.WriteU32(static_cast<uint32_t>(value)); }

class ImageWriter {
public:
    ImageWriter(CompilerState& state, CompileSession* sink)
        : state_(state), symbols_(state.Symbols()), strings_(state.Strings()), sink_(sink)
    {
    }

    bool Write(Utils::ByteBuffer& output, std::string_view libraryName);

private:
    bool Prepare();
    bool WriteClassReferences(Utils::ByteBuffer& out);
    bool WriteFunctionReferences(Utils::ByteBuffer& out);
    bool WriteClass(Utils::ByteBuffer& out, const GSCClass& cls, const std::vector<MethodEntry>& methods);
    void WriteFields(Utils::ByteBuffer& out, const GSClassSymbol& cls);
    void WriteLayout(Utils::ByteBuffer& out, const GSCClass& cls);
    void WriteHeader(Utils::ByteBuffer& out, std::string_view libraryName);
    void WriteDependencies(Utils::ByteBuffer& out);
    void WriteStrings(Utils::ByteBuffer& out);
    int32_t ClassIndex(const char* name);
    uint64_t SectionBytes() const;

    CompilerState& state_;
    GSSymbolTable& symbols_;
    StringTable& strings_;
    CompileSession* sink_;
    std::vector<std::vector<MethodEntry>> methodTables_;
};

int32_t ImageWriter::ClassIndex(const char* name)
{
    const GSClassSymbol* cls = name ? symbols_.FindClass(name) : nullptr;
    return cls ? cls->referenceIndex : -1;
}

// Numbers everything the records will name before the reference sections
// are written: the functions in the method tables (and their classes),
// the bases, and the classes of fields and return values.
bool ImageWriter::Prepare()
{
    for (const auto& compiled : state_.Classes()) {
        const GSClassSymbol& cls = compiled->symbol;
        methodTables_.emplace_back();
        if (!BuildMethodTable(cls, sink_, methodTables_.back()))
            return false;
        for (const MethodEntry& entry : methodTables_.back())
            symbols_.AddReference(*entry.function);
        for (const GSClassSymbol::Base& base : cls.bases)
            symbols_.AddReference(*base.symbol);
        for (const GSSymbol* member : cls.members) {
            if (member->Is(kSymbolVariable))
                ClassIndex(static_cast<const GSVariableSymbol*>(member)->className);
        }
        for (const auto& function : compiled->functions)
            ClassIndex(function->symbol.returnClass);
    }
    return true;
}

bool ImageWriter::WriteClassReferences(Utils::ByteBuffer& out)
{
    std::vector<const GSClassSymbol*> byIndex(size_t(symbols_.ClassReferenceCount()), nullptr);
    symbols_.ForEachGlobal([&](GSSymbol& symbol) {
        if (symbol.Is(kSymbolClass) && symbol.referenceIndex >= 0 && size_t(symbol.referenceIndex) < byIndex.size())
            byIndex[size_t(symbol.referenceIndex)] = static_cast<const GSClassSymbol*>(&symbol);
    });
    const uint32_t start = BeginBlock(out, kTagClassReferences);
    out.WriteU32(uint32_t(byIndex.size()));
    for (const GSClassSymbol* cls : byIndex) {
        if (!cls || !cls->declaringFile)
            return false;
        out.WriteU32(static_cast<uint32_t>(cls->declaringFile->index));
        out.WriteU32(strings_.Intern(cls->name ? cls->name : ""));
    }
    EndBlock(out, start);
    return true;
}

bool ImageWriter::WriteFunctionReferences(Utils::ByteBuffer& out)
{
    std::vector<const GSFunctionSymbol*> byIndex(size_t(symbols_.FunctionReferenceCount()), nullptr);
    symbols_.ForEachGlobal([&](GSSymbol& symbol) {
        if (!symbol.Is(kSymbolClass) || symbol.referenceIndex < 0)
            return;
        for (GSSymbol* member : static_cast<GSClassSymbol&>(symbol).members) {
            if (member->Is(kSymbolFunction) && member->referenceIndex >= 0 &&
                size_t(member->referenceIndex) < byIndex.size())
                byIndex[size_t(member->referenceIndex)] = static_cast<const GSFunctionSymbol*>(member);
        }
    });
    const uint32_t start = BeginBlock(out, kTagFunctionReferences);
    out.WriteU32(uint32_t(byIndex.size()));
    for (const GSFunctionSymbol* function : byIndex) {
        if (!function)
            return false;
        const auto* owner = static_cast<const GSClassSymbol*>(function->owner);
        out.WriteU32(static_cast<uint32_t>(owner->referenceIndex));
        out.WriteU32(strings_.Intern(function->signature ? function->signature : ""));
        WriteS32(out, owner->functionOffset + function->index);
    }
    EndBlock(out, start);
    return true;
}

void ImageWriter::WriteFields(Utils::ByteBuffer& out, const GSClassSymbol& cls)
{
    const uint32_t start = BeginBlock(out, kTagFields);
    const uint32_t countAt = out.Position();
    out.WriteU32(0);
    uint32_t count = 0;
    for (const GSSymbol* member : cls.members) {
        if (!member->Is(kSymbolVariable) || (member->flags & kFlagDefine))
            continue;
        const auto* field = static_cast<const GSVariableSymbol*>(member);
        out.WriteU32(strings_.Intern(field->name ? field->name : ""));
        out.WriteU32(static_cast<uint32_t>(field->type));
        WriteS32(out, ClassIndex(field->className));
        out.WriteU32((field->flags & kFlagPublic) ? 1 : 0);
        WriteS32(out, cls.fieldOffset + field->index);
        ++count;
    }
    const uint8_t bytes[4] = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
    out.WriteAt(countAt, bytes, sizeof bytes);
    EndBlock(out, start);
}

// The words the loader lays an object's parts out with: per base its back
// offset and its method table, then the class's own, then the fields that
// hold references.
void ImageWriter::WriteLayout(Utils::ByteBuffer& out, const GSCClass& compiled)
{
    const GSClassSymbol& cls = compiled.symbol;
    const uint32_t start = BeginBlock(out, kTagLayout);
    WriteS32(out, cls.fieldOffset + cls.ownFieldCount + 3);
    WriteS32(out, 2 * int32_t(cls.bases.size()) + 1);
    for (const GSClassSymbol::Base& base : cls.bases) {
        const int32_t o = base.fieldOffset;
        const int32_t words[] = {0, o, -o, 1, o + 1, base.functionOffset};
        for (int32_t word : words)
            WriteS32(out, word);
    }
    const int32_t own[] = {1, 1, 0};
    for (int32_t word : own)
        WriteS32(out, word);
    out.WriteU32(compiled.referenceFields.Count());
    out.WriteBytes(compiled.referenceFields.Data(), compiled.referenceFields.Count() * 4);
    EndBlock(out, start);
}

bool ImageWriter::WriteClass(Utils::ByteBuffer& out, const GSCClass& compiled, const std::vector<MethodEntry>& methods)
{
    const GSClassSymbol& cls = compiled.symbol;
    const uint32_t start = BeginBlock(out, kTagClass);
    out.WriteU32(strings_.Intern(cls.name ? cls.name : ""));
    out.WriteU32(cls.flags & kClassFlags);
    out.WriteU32(uint32_t(cls.bases.size()));
    for (const GSClassSymbol::Base& base : cls.bases) {
        WriteS32(out, base.symbol->referenceIndex);
        WriteS32(out, base.fieldOffset);
        out.WriteU32(base.direct ? 1 : 0);
    }

    const uint32_t functions = BeginBlock(out, kTagFunctions);
    out.WriteU32(uint32_t(compiled.functions.size() + 1));
    for (const auto& function : compiled.functions) {
        if (!WriteFunctionRecord(out, *function, compiled, symbols_, strings_))
            return false;
    }
    if (!WriteInitialiserRecord(out, compiled, strings_))
        return false;
    EndBlock(out, functions);

    WriteFields(out, cls);

    const uint32_t table = BeginBlock(out, kTagMethods);
    out.WriteU32(uint32_t(methods.size()));
    for (const MethodEntry& entry : methods) {
        WriteS32(out, entry.function->referenceIndex);
        out.WriteU32(entry.partOffset);
    }
    EndBlock(out, table);

    WriteLayout(out, compiled);
    EndBlock(out, start);
    return true;
}

void ImageWriter::WriteHeader(Utils::ByteBuffer& out, std::string_view libraryName)
{
    const GSDependentSymbol* top = nullptr;
    symbols_.ForEachGlobal([&](GSSymbol& symbol) {
        if (symbol.Is(kSymbolDependency) && symbol.index == 0)
            top = static_cast<const GSDependentSymbol*>(&symbol);
    });
    out.WriteU32(0);
    out.WriteU32(kLibraryMagic);
    out.WriteU32(kLibraryVersionBits);
    out.WriteU32(top ? top->sourceCrc : 0);
    out.WriteU32(top ? top->fileNameCrc : 0);
    out.WriteU32(uint32_t(libraryName.size() + 1));
    out.WriteBytes(libraryName.data(), uint32_t(libraryName.size()));
    out.WriteU8(0);
}

void ImageWriter::WriteDependencies(Utils::ByteBuffer& out)
{
    const uint32_t count = uint32_t(state_.DependencyCount());
    const uint32_t start = BeginBlock(out, kTagDependencies);
    out.WriteU32(count);
    const uint32_t entries = out.Position();
    for (uint32_t i = 0; i < count * 2; ++i)
        out.WriteU32(0);
    symbols_.ForEachGlobal([&](GSSymbol& symbol) {
        if (!symbol.Is(kSymbolDependency) || symbol.index < 0 || uint32_t(symbol.index) >= count)
            return;
        const auto& file = static_cast<const GSDependentSymbol&>(symbol);
        const uint32_t crcs[2] = {file.sourceCrc, file.fileNameCrc};
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = uint8_t(crcs[i / 4] >> (8 * (i % 4)));
        out.WriteAt(entries + 8 * uint32_t(file.index), bytes, sizeof bytes);
    });
    EndBlock(out, start);
}

// The offsets by string index, then the texts in hash order; the offsets
// count from the first byte after the offset array.
void ImageWriter::WriteStrings(Utils::ByteBuffer& out)
{
    const uint32_t count = strings_.Count();
    const uint32_t start = BeginBlock(out, kTagStrings);
    out.WriteU32(count);
    if (count > 0) {
        std::vector<uint32_t> offsets(count);
        uint32_t at = 0;
        strings_.ForEachInHashOrder([&](const std::string& text, uint32_t index) {
            offsets[index] = at;
            at += uint32_t(text.size() + 1);
        });
        for (uint32_t offset : offsets)
            out.WriteU32(offset);
        strings_.ForEachInHashOrder([&](const std::string& text, uint32_t) {
            out.WriteBytes(text.c_str(), uint32_t(text.size() + 1));
        });
        PadTo4(out, 0);
    }
    EndBlock(out, start);
}

// About what the class, reference and function sections take, so that
// they are written into storage taken once: a large program's are
// megabytes, and grown by doubling they were copied and their memory
// touched twice over.
uint64_t ImageWriter::SectionBytes() const
{
    uint64_t bytes = 16 + 12 * uint64_t(symbols_.ClassReferenceCount()) + 12 * uint64_t(symbols_.FunctionReferenceCount());
    for (size_t i = 0; i < state_.Classes().size(); ++i) {
        const GSCClass& cls = *state_.Classes()[i];
        bytes += 4 * (kClassRecordWords + 3 * cls.symbol.bases.size() + 5 * cls.symbol.members.size() +
                      6 * cls.symbol.bases.size() + cls.referenceFields.Count());
        bytes += 8 * uint64_t(methodTables_[i].size()) + cls.init.Size() + 4;
        for (const auto& function : cls.functions) {
            bytes += 4 * (kFunctionRecordWords + function->referenceSlots.Count()) + function->code.Size() + 4 +
                     8 * uint64_t(function->LineCount());
        }
    }
    return bytes;
}

bool ImageWriter::Write(Utils::ByteBuffer& output, std::string_view libraryName)
{
    for (const auto& compiled : state_.Classes()) {
        if (!compiled->Whole())
            return false;
    }
    if (!Prepare())
        return false;

    // The string table is complete only once these are written. They
    // start on a word boundary of the image: the string section before
    // them pads to one (there is always a string: every class has a name).
    Utils::ByteBuffer sections;
    const uint64_t sectionBytes = SectionBytes();
    if (!sections.Init(sectionBytes < UINT32_MAX ? uint32_t(sectionBytes) + 1 : kSectionGrowth))
        return false;
    if (!WriteClassReferences(sections) || !WriteFunctionReferences(sections))
        return false;
    const uint32_t classes = BeginBlock(sections, kTagClasses);
    sections.WriteU32(uint32_t(state_.Classes().size()));
    for (size_t i = 0; i < state_.Classes().size(); ++i) {
        if (!WriteClass(sections, *state_.Classes()[i], methodTables_[i]))
            return false;
    }
    EndBlock(sections, classes);

    // The header, the dependencies and the strings before the sections,
    // to the byte.
    const uint64_t imageBytes = 24 + uint64_t(libraryName.size()) + 1 + 12 + 8 * uint64_t(state_.DependencyCount()) +
                                12 + 4 * uint64_t(strings_.Count()) + strings_.TextBytes() + 3 + sections.Size();
    const bool sized = imageBytes < UINT32_MAX ? output.Init(uint32_t(imageBytes) + 1) : output.Reinit();
    if (!sized)
        return false;
    WriteHeader(output, libraryName);
    WriteDependencies(output);
    WriteStrings(output);
    output.WriteBytes(sections.Data(), sections.Size());
    const uint32_t total = output.Position();
    const uint8_t bytes[4] = {uint8_t(total), uint8_t(total >> 8), uint8_t(total >> 16), uint8_t(total >> 24)};
    output.WriteAt(0, bytes, sizeof bytes);
    return sections.Flags() == 0 && output.Flags() == 0;
}

}  // namespace

bool WriteLibraryImage(Utils::ByteBuffer& output, CompilerState& state, CompileSession* sink,
                       std::string_view libraryName)
{
    return ImageWriter(state, sink).Write(output, libraryName);
}

}  // namespace GSCompiler
