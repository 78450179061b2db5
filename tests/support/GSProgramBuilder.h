// Script libraries for the runtime's tests, laid out as the compiler lays
// out a compiled program: class parts and their offsets, method tables with
// overriding, function and class references, initialisers and reference
// fields. Code is hand-assembled (GSAsm). A program may use the classes of
// the system library (SystemProgram), which it then depends on.
#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/GSAssembler.h"
#include "support/GSLibraryBuilder.h"

class GSProgram {
public:
    struct Method {
        std::string name;
        std::string returns = "void";
        std::vector<std::string> params;
        uint32_t flags = 1;  // public; 2 native, 16 thread
        std::vector<uint8_t> code;
        std::vector<std::pair<uint32_t, uint32_t>> lines;
        uint32_t locals = 0;  // frame slots after the parameters
        uint32_t maxStack = 16;
        std::vector<uint32_t> objectLocals;
    };
    struct BaseEntry {
        std::string cls;
        uint32_t fieldOffset;
        uint32_t functionOffset;
        bool direct;
    };
    struct TableSlot {
        std::string declaring;
        std::string signature;
        uint32_t partOffset;
    };
    struct Class {
        std::string name;
        uint32_t flags = 0;
        std::vector<std::string> bases;
        uint32_t fields = 0;                     // own fields
        std::vector<uint32_t> referenceFields;  // own field numbers (from 0) holding references
        std::vector<Method> methods;
        std::vector<uint8_t> init;  // the class initialiser's code; empty for none
        std::vector<std::pair<uint32_t, uint32_t>> initLines;
        uint32_t initMaxStack = 8;
        // Laid out when the class is added.
        uint32_t fieldOffset = 2;
        uint32_t functionOffset = 0;
        std::vector<BaseEntry> baseList;
    };

    GSProgram(std::string libraryName, uint32_t low, uint32_t high, const GSProgram* system = nullptr);

    // Bases must be complete (fields and methods added) before a class
    // derives from them.
    Class& AddClass(const std::string& name, const std::vector<std::string>& bases = {});
    Method& AddMethod(Class& c, const std::string& name, const std::string& returns,
                      const std::vector<std::string>& params, const GSAsm& code);
    Method& AddNative(Class& c, const std::string& name, const std::string& returns,
                      const std::vector<std::string>& params);

    // The class reference of a class of this program or of the system
    // library, made on first use.
    uint32_t Ref(const std::string& cls);
    uint32_t Str(const std::string& text) { return b.Str(text); }
    // The method-table slot of a method, by name, as seen from a class.
    uint32_t Slot(const std::string& cls, const std::string& method) const;
    // The field word of own field i of a class.
    uint32_t Field(const std::string& cls, uint32_t i) const { return Find(cls).fieldOffset + i; }
    // The word offset of a base's part.
    uint32_t PartOffset(const std::string& cls, const std::string& base) const;
    static std::string Signature(const Class& c, const Method& m);

    std::vector<uint8_t> Build();

    GSLibraryBuilder b;

private:
    bool Own(const std::string& cls) const;
    const Class& Find(const std::string& cls) const;
    static uint32_t TypeCode(const std::string& type) { return GSLibraryBuilder::TypeCode(type); }
    // The method table: the direct bases' tables at their function offsets,
    // then the class's own functions, each replacing the entries of the
    // same name and arguments.
    std::vector<TableSlot> Table(const Class& c) const;
    uint32_t FunctionRef(const TableSlot& slot);
    GSLibraryBuilder::Class Record(const Class& c);

    std::deque<Class> classes_;
    const GSProgram* system_;
    uint32_t systemDependency_ = 0;
};

// The system library, as the build compiles data/scripts/gs.gs.
constexpr uint32_t kSystemLibraryLow = 0x9A3F17C5;
constexpr uint32_t kSystemLibraryHigh = 0x5E22A1B4;

const GSProgram& SystemProgram();
// A fresh image of the system library.
std::vector<uint8_t> SystemLibraryImage();
