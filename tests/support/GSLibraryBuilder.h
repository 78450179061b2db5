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

    GSLibraryBuilder(std::string libraryName, uint32_t low, uint32_t high)
        : name(std::move(libraryName)), idLow(low), idHigh(high)
    {
        dependencies.push_back({low, high});
    }

    uint32_t Str(const std::string& text)
    {
        for (size_t i = 0; i < strings.size(); ++i) {
            if (strings[i] == text)
                return uint32_t(i);
        }
        strings.push_back(text);
        return uint32_t(strings.size() - 1);
    }
    uint32_t AddDependency(uint32_t low, uint32_t high)
    {
        dependencies.push_back({low, high});
        return uint32_t(dependencies.size() - 1);
    }
    uint32_t AddClassRef(uint32_t dependency, const std::string& className)
    {
        classRefs.push_back({dependency, Str(className)});
        return uint32_t(classRefs.size() - 1);
    }
    uint32_t AddFunctionRef(uint32_t classRef, const std::string& signature, int32_t slot)
    {
        functionRefs.push_back({classRef, Str(signature), slot});
        return uint32_t(functionRefs.size() - 1);
    }
    // The type code a record gives a type named in a signature.
    static uint32_t TypeCode(std::string type)
    {
        static const char* const kNames[] = {"void", "bool", "int", "float", "string", "object"};
        uint32_t add = 0;
        if (type.size() > 2 && type.compare(type.size() - 2, 2, "[]") == 0) {
            type.resize(type.size() - 2);
            add = 6;
        }
        for (uint32_t code = 0; code < 6; ++code) {
            if (type == kNames[code])
                return code + add;
        }
        return 5 + add;
    }
    static bool IsReference(uint32_t code) { return code == 4 || code == 5 || (code >= 7 && code <= 11); }
    // A function record that says what its signature says: its return type,
    // its parameters with "me", and which of them hold references.
    static Function FunctionOf(const std::string& signature)
    {
        Function f;
        f.signature = signature;
        const size_t at = signature.find('@');
        if (signature.rfind("$", 0) == 0 && at != std::string::npos)
            f.returnType = TypeCode(signature.substr(1, at - 1));
        const size_t open = signature.find('('), close = signature.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close <= open + 1)
            return f;
        std::string list = signature.substr(open + 1, close - open - 1) + ",";
        for (size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1) {
            if (IsReference(TypeCode(list.substr(start, comma - start))))
                f.objectLocals.push_back(f.parameters);
            ++f.parameters;
        }
        return f;
    }

    // A class of this library with the given methods (each returning at
    // once) and its initialiser, its method table and its own class
    // reference; returns its index in `classes`.
    size_t AddClass(const std::string& className, const std::vector<std::string>& methods = {})
    {
        Class c;
        c.name = className;
        uint32_t self = AddClassRef(0, className);
        for (size_t i = 0; i < methods.size(); ++i) {
            Function f = FunctionOf(methods[i]);
            f.methodSlot = int32_t(i);
            c.functions.push_back(f);
            c.methods.push_back({AddFunctionRef(self, methods[i], int32_t(i)), 0});
        }
        Function init;
        init.signature = "::" + className + "()";
        init.flags = 0x20;
        c.functions.push_back(init);
        classes.push_back(c);
        return classes.size() - 1;
    }

    std::vector<uint8_t> Build()
    {
        out_.clear();
        marks.clear();
        for (const Class& c : classes)
            Str(c.name);
        for (const Class& c : classes) {
            for (const Function& f : c.functions)
                Str(f.signature);
        }
        U32(0);
        U32(0xF762575D);
        U32(0x3F828F5C);
        U32(idLow);
        U32(idHigh);
        Mark("header.nameLength");
        U32(uint32_t(name.size() + 1));
        out_.insert(out_.end(), name.begin(), name.end());
        out_.push_back(0);
        for (uint32_t tag : sectionOrder) {
            switch (tag) {
            case 2: WriteDependencies(); break;
            case 3: WriteStrings(); break;
            case 4: WriteClassRefs(); break;
            case 5: WriteFunctionRefs(); break;
            case 6: WriteClasses(); break;
            }
        }
        Patch(0, uint32_t(out_.size()));
        return out_;
    }

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
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out_.push_back(uint8_t(v >> (8 * i)));
    }
    void Mark(const std::string& what) { marks[what] = out_.size(); }
    void Patch(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out_[at + i] = uint8_t(v >> (8 * i));
    }
    size_t Begin(const std::string& what, uint32_t tag)
    {
        Mark(what + ".length");
        size_t start = out_.size();
        U32(0);
        Mark(what + ".tag");
        U32(tag);
        return start;
    }
    void End(size_t start) { Patch(start, uint32_t(out_.size() - start)); }
    void PadTo4(uint8_t fill)
    {
        while (out_.size() % 4)
            out_.push_back(fill);
    }

    void WriteDependencies()
    {
        size_t s = Begin("deps", 2);
        Mark("deps.count");
        U32(uint32_t(dependencies.size()));
        for (auto [low, high] : dependencies) {
            U32(low);
            U32(high);
        }
        End(s);
    }
    void WriteStrings()
    {
        size_t s = Begin("strings", 3);
        Mark("strings.count");
        U32(uint32_t(strings.size()));
        uint32_t offset = 0;
        for (size_t i = 0; i < strings.size(); ++i) {
            Mark("strings.offset" + std::to_string(i));
            U32(offset);
            offset += uint32_t(strings[i].size() + 1);
        }
        for (const std::string& text : strings) {
            out_.insert(out_.end(), text.begin(), text.end());
            out_.push_back(0);
        }
        if (!strings.empty())
            PadTo4(0);
        End(s);
    }
    void WriteClassRefs()
    {
        size_t s = Begin("classrefs", 4);
        Mark("classrefs.count");
        U32(uint32_t(classRefs.size()));
        for (size_t i = 0; i < classRefs.size(); ++i) {
            Mark("classref" + std::to_string(i) + ".dependency");
            U32(classRefs[i].dependency);
            Mark("classref" + std::to_string(i) + ".name");
            U32(classRefs[i].name);
        }
        End(s);
    }
    void WriteFunctionRefs()
    {
        size_t s = Begin("funcrefs", 5);
        Mark("funcrefs.count");
        U32(uint32_t(functionRefs.size()));
        for (size_t i = 0; i < functionRefs.size(); ++i) {
            Mark("funcref" + std::to_string(i) + ".classRef");
            U32(functionRefs[i].classRef);
            Mark("funcref" + std::to_string(i) + ".name");
            U32(functionRefs[i].name);
            U32(uint32_t(functionRefs[i].slot));
        }
        End(s);
    }
    void WriteClasses()
    {
        size_t s = Begin("classes", 6);
        Mark("classes.count");
        U32(uint32_t(classes.size()));
        for (size_t i = 0; i < classes.size(); ++i)
            WriteClass(classes[i], "class" + std::to_string(i));
        End(s);
    }
    void WriteClass(const Class& c, const std::string& p)
    {
        size_t s = Begin(p, 7);
        Mark(p + ".name");
        U32(Str(c.name));
        U32(c.flags);
        Mark(p + ".baseCount");
        U32(uint32_t(c.bases.size()));
        for (size_t b = 0; b < c.bases.size(); ++b) {
            Mark(p + ".base" + std::to_string(b) + ".classRef");
            U32(c.bases[b].classRef);
            Mark(p + ".base" + std::to_string(b) + ".offset");
            U32(c.bases[b].offset);
            U32(c.bases[b].direct);
        }
        size_t fb = Begin(p + ".functions", 8);
        Mark(p + ".functions.count");
        U32(uint32_t(c.functions.size()));
        for (size_t f = 0; f < c.functions.size(); ++f)
            WriteFunction(c.functions[f], p + ".fn" + std::to_string(f));
        End(fb);
        size_t mb = Begin(p + ".members", 10);
        Mark(p + ".members.count");
        U32(c.members);
        for (uint32_t m = 0; m < c.members * 5; ++m)
            U32(m % 5 == 2 ? 0xFFFFFFFF : 0);
        End(mb);
        size_t tb = Begin(p + ".methods", 11);
        Mark(p + ".methods.count");
        U32(uint32_t(c.methods.size()));
        for (size_t m = 0; m < c.methods.size(); ++m) {
            Mark(p + ".method" + std::to_string(m) + ".ref");
            U32(c.methods[m].first);
            Mark(p + ".method" + std::to_string(m) + ".offset");
            U32(c.methods[m].second);
        }
        End(tb);
        size_t lb = Begin(p + ".layout", 12);
        Mark(p + ".fieldCount");
        U32(c.fieldCount);
        Mark(p + ".inits.count");
        U32(uint32_t(c.initialisers.size()));
        for (size_t n = 0; n < c.initialisers.size(); ++n) {
            U32(c.initialisers[n].kind);
            Mark(p + ".init" + std::to_string(n) + ".field");
            U32(c.initialisers[n].field);
            Mark(p + ".init" + std::to_string(n) + ".value");
            U32(c.initialisers[n].value);
        }
        Mark(p + ".objectFields.count");
        U32(uint32_t(c.objectFields.size()));
        for (size_t n = 0; n < c.objectFields.size(); ++n) {
            Mark(p + ".objectField" + std::to_string(n));
            U32(c.objectFields[n]);
        }
        End(lb);
        End(s);
    }
    void WriteFunction(const Function& f, const std::string& p)
    {
        size_t s = Begin(p, 9);
        Mark(p + ".name");
        U32(Str(f.signature));
        Mark(p + ".returnType");
        U32(f.returnType);
        Mark(p + ".returnClassRef");
        U32(uint32_t(f.returnClassRef));
        Mark(p + ".flags");
        U32(f.flags);
        Mark(p + ".methodSlot");
        U32(uint32_t(f.methodSlot));
        const int32_t words[4] = {int32_t(f.locals + 4), 1 - int32_t(f.parameters), int32_t(f.locals + 1),
                                  int32_t(f.maxStack + f.locals + 4)};
        for (int w = 0; w < 4; ++w) {
            Mark(p + ".frame" + std::to_string(w));
            U32(uint32_t(f.frame[w].value_or(words[w])));
        }
        Mark(p + ".parameters");
        U32(f.parameters);
        U32(f.locals);
        U32(0);
        Mark(p + ".objectLocals.count");
        U32(uint32_t(f.objectLocals.size()));
        for (size_t i = 0; i < f.objectLocals.size(); ++i) {
            Mark(p + ".objectLocal" + std::to_string(i));
            U32(f.objectLocals[i]);
        }
        Mark(p + ".codeSize");
        U32(uint32_t(f.code.size()));
        Mark(p + ".code");
        out_.insert(out_.end(), f.code.begin(), f.code.end());
        PadTo4(0xFF);
        if (f.lineBlock) {
            U32(0x6462676C);
            Mark(p + ".lines.count");
            U32(uint32_t(f.lines.size()));
            for (auto [offset, line] : f.lines) {
                U32(offset);
                U32(line);
            }
        }
        PadTo4(0);
        End(s);
    }

    std::vector<uint8_t> out_;
};
