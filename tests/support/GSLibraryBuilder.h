// Builds ".gsl" library images for the runtime's tests: a header, the five
// sections and class records laid out as the compiler writes them, with
// every field settable, and the byte offset of each field recorded under a
// name ("strings.count", "class0.fn0.codeSize", ...) so a test can corrupt
// exactly one of them.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CodeBytes {
public:
    CodeBytes& Op(uint8_t opcode) { bytes.push_back(opcode); return *this; }
    CodeBytes& U16(uint16_t v) { bytes.push_back(uint8_t(v)); bytes.push_back(uint8_t(v >> 8)); return *this; }
    CodeBytes& U32(uint32_t v) { U16(uint16_t(v)); return U16(uint16_t(v >> 16)); }
    uint32_t Size() const { return uint32_t(bytes.size()); }
    operator std::vector<uint8_t>() const { return bytes; }

    std::vector<uint8_t> bytes;
};

class GSLibraryBuilder {
public:
    struct Function {
        std::string signature;
        uint32_t returnType = 0;
        int32_t returnClassRef = -1;
        uint32_t flags = 0;
        int32_t methodSlot = -1;
        uint32_t parameters = 1;  // "me" included
        uint32_t locals = 0;      // frame slots above the parameters
        uint32_t maxStack = 4;
        std::optional<int32_t> frame[4];  // overrides of the four frame words
        std::vector<uint32_t> objectLocals;
        std::vector<uint8_t> code = {109};  // return
        std::vector<std::pair<uint32_t, uint32_t>> lines = {{0, 1}};
        bool lineBlock = true;
    };
    struct Base {
        uint32_t classRef;
        uint32_t offset;
        uint32_t direct = 1;
    };
    struct Initialiser {
        uint32_t kind, field, value;
    };
    struct Class {
        std::string name;
        uint32_t flags = 0;
        std::vector<Base> bases;
        std::vector<Function> functions;
        uint32_t members = 0;
        std::vector<std::pair<uint32_t, uint32_t>> methods;  // {function reference, part offset}
        uint32_t fieldCount = 3;
        std::vector<Initialiser> initialisers = {{1, 1, 0}};
        std::vector<uint32_t> objectFields;
    };
    struct ClassRef {
        uint32_t dependency, name;
    };
    struct FunctionRef {
        uint32_t classRef, name;
        int32_t slot;
    };

    GSLibraryBuilder(std::string libraryName, uint32_t low, uint32_t high);

    uint32_t Str(const std::string& text);
    uint32_t AddDependency(uint32_t low, uint32_t high);
    uint32_t AddClassRef(uint32_t dependency, const std::string& className);
    uint32_t AddFunctionRef(uint32_t classRef, const std::string& signature, int32_t slot);
    // The type code a record gives a type named in a signature.
    static uint32_t TypeCode(std::string type);
    static bool IsReference(uint32_t code) { return code == 4 || code == 5 || (code >= 7 && code <= 11); }
    // A function record that says what its signature says: its return type,
    // its parameters with "me", and which of them hold references.
    static Function FunctionOf(const std::string& signature);

    // A class of this library with the given methods (each returning at
    // once) and its initialiser, its method table and its own class
    // reference; returns its index in `classes`.
    size_t AddClass(const std::string& className, const std::vector<std::string>& methods = {});

    std::vector<uint8_t> Build();

    std::string name;
    uint32_t idLow, idHigh;
    std::vector<std::pair<uint32_t, uint32_t>> dependencies;
    std::vector<std::string> strings;
    std::vector<ClassRef> classRefs;
    std::vector<FunctionRef> functionRefs;
    std::vector<Class> classes;
    std::vector<uint32_t> sectionOrder = {2, 3, 4, 5, 6};
    // Byte offsets of the fields of the last Build, by name.
    std::map<std::string, size_t> marks;

private:
    void U32(uint32_t v);
    void Mark(const std::string& what);
    void Patch(size_t at, uint32_t v);
    size_t Begin(const std::string& what, uint32_t tag);
    void End(size_t start);
    void PadTo4(uint8_t fill);

    void WriteDependencies();
    void WriteStrings();
    void WriteClassRefs();
    void WriteFunctionRefs();
    void WriteClasses();
    void WriteClass(const Class& c, const std::string& p);
    void WriteFunction(const Function& f, const std::string& p);

    std::vector<uint8_t> out_;
};
