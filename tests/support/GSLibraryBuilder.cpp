#include "support/GSLibraryBuilder.h"

GSLibraryBuilder::GSLibraryBuilder(std::string libraryName, uint32_t low, uint32_t high)
    : name(std::move(libraryName)), idLow(low), idHigh(high)
{
    dependencies.push_back({low, high});
}

uint32_t GSLibraryBuilder::Str(const std::string& text)
{
    for (size_t i = 0; i < strings.size(); ++i) {
        if (strings[i] == text)
            return uint32_t(i);
    }
    strings.push_back(text);
    return uint32_t(strings.size() - 1);
}

uint32_t GSLibraryBuilder::AddDependency(uint32_t low, uint32_t high)
{
    dependencies.push_back({low, high});
    return uint32_t(dependencies.size() - 1);
}

uint32_t GSLibraryBuilder::AddClassRef(uint32_t dependency, const std::string& className)
{
    classRefs.push_back({dependency, Str(className)});
    return uint32_t(classRefs.size() - 1);
}

uint32_t GSLibraryBuilder::AddFunctionRef(uint32_t classRef, const std::string& signature, int32_t slot)
{
    functionRefs.push_back({classRef, Str(signature), slot});
    return uint32_t(functionRefs.size() - 1);
}

uint32_t GSLibraryBuilder::TypeCode(std::string type)
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

GSLibraryBuilder::Function GSLibraryBuilder::FunctionOf(const std::string& signature)
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

size_t GSLibraryBuilder::AddClass(const std::string& className, const std::vector<std::string>& methods)
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

std::vector<uint8_t> GSLibraryBuilder::Build()
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

void GSLibraryBuilder::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out_.push_back(uint8_t(v >> (8 * i)));
}

void GSLibraryBuilder::Mark(const std::string& what)
{
    marks[what] = out_.size();
}

void GSLibraryBuilder::Patch(size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out_[at + i] = uint8_t(v >> (8 * i));
}

size_t GSLibraryBuilder::Begin(const std::string& what, uint32_t tag)
{
    Mark(what + ".length");
    size_t start = out_.size();
    U32(0);
    Mark(what + ".tag");
    U32(tag);
    return start;
}

void GSLibraryBuilder::End(size_t start)
{
    Patch(start, uint32_t(out_.size() - start));
}

void GSLibraryBuilder::PadTo4(uint8_t fill)
{
    while (out_.size() % 4)
        out_.push_back(fill);
}

void GSLibraryBuilder::WriteDependencies()
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

void GSLibraryBuilder::WriteStrings()
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

void GSLibraryBuilder::WriteClassRefs()
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

void GSLibraryBuilder::WriteFunctionRefs()
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

void GSLibraryBuilder::WriteClasses()
{
    size_t s = Begin("classes", 6);
    Mark("classes.count");
    U32(uint32_t(classes.size()));
    for (size_t i = 0; i < classes.size(); ++i)
        WriteClass(classes[i], "class" + std::to_string(i));
    End(s);
}

void GSLibraryBuilder::WriteClass(const Class& c, const std::string& p)
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

void GSLibraryBuilder::WriteFunction(const Function& f, const std::string& p)
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
