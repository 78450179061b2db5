#include "support/GSProgramBuilder.h"

#include <stdexcept>

GSProgram::GSProgram(std::string libraryName, uint32_t low, uint32_t high, const GSProgram* system)
    : b(std::move(libraryName), low, high), system_(system)
{
    if (system)
        systemDependency_ = b.AddDependency(system->b.idLow, system->b.idHigh);
}

GSProgram::Class& GSProgram::AddClass(const std::string& name, const std::vector<std::string>& bases)
{
    Class& c = classes_.emplace_back();
    c.name = name;
    c.bases = bases;
    for (const std::string& baseName : bases) {
        const Class& base = Find(baseName);
        c.baseList.push_back({baseName, c.fieldOffset, c.functionOffset, true});
        for (const BaseEntry& e : base.baseList)
            c.baseList.push_back({e.cls, c.fieldOffset + e.fieldOffset, c.functionOffset + e.functionOffset, false});
        c.fieldOffset += base.fieldOffset + base.fields;
        c.functionOffset += base.functionOffset + uint32_t(base.methods.size());
    }
    Ref(name);
    return c;
}

GSProgram::Method& GSProgram::AddMethod(Class& c, const std::string& name, const std::string& returns,
                                        const std::vector<std::string>& params, const GSAsm& code)
{
    Method& m = c.methods.emplace_back();
    m.name = name;
    m.returns = returns;
    m.params = params;
    m.code = code.Bytes();
    m.lines = code.Lines().empty() ? std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}} : code.Lines();
    return m;
}

GSProgram::Method& GSProgram::AddNative(Class& c, const std::string& name, const std::string& returns,
                                        const std::vector<std::string>& params)
{
    Method& m = c.methods.emplace_back();
    m.name = name;
    m.returns = returns;
    m.params = params;
    m.flags = 3;
    m.maxStack = 0;
    return m;
}

uint32_t GSProgram::Ref(const std::string& cls)
{
    for (size_t i = 0; i < b.classRefs.size(); ++i) {
        if (b.strings[b.classRefs[i].name] == cls)
            return uint32_t(i);
    }
    return b.AddClassRef(Own(cls) ? 0 : systemDependency_, cls);
}

uint32_t GSProgram::Slot(const std::string& cls, const std::string& method) const
{
    const std::vector<TableSlot> table = Table(Find(cls));
    for (size_t i = table.size(); i-- > 0;) {
        const std::string& sig = table[i].signature;
        if (sig.find("::" + method + "(") != std::string::npos)
            return uint32_t(i);
    }
    throw std::runtime_error("no method " + method);
}

uint32_t GSProgram::PartOffset(const std::string& cls, const std::string& base) const
{
    for (const BaseEntry& e : Find(cls).baseList) {
        if (e.cls == base)
            return e.fieldOffset;
    }
    return 0;
}

std::string GSProgram::Signature(const Class& c, const Method& m)
{
    std::string sig = "$" + m.returns + "@" + c.name + "::" + m.name + "(";
    for (size_t i = 0; i < m.params.size(); ++i)
        sig += (i ? "," : "") + m.params[i];
    return sig + ")";
}

std::vector<uint8_t> GSProgram::Build()
{
    b.classes.clear();
    b.functionRefs.clear();
    for (Class& c : classes_)
        b.classes.push_back(Record(c));
    return b.Build();
}

bool GSProgram::Own(const std::string& cls) const
{
    for (const Class& c : classes_) {
        if (c.name == cls)
            return true;
    }
    return false;
}

const GSProgram::Class& GSProgram::Find(const std::string& cls) const
{
    for (const Class& c : classes_) {
        if (c.name == cls)
            return c;
    }
    if (system_)
        return system_->Find(cls);
    throw std::runtime_error("no class " + cls);
}

std::vector<GSProgram::TableSlot> GSProgram::Table(const Class& c) const
{
    std::vector<TableSlot> table(c.functionOffset);
    for (const BaseEntry& e : c.baseList) {
        if (!e.direct)
            continue;
        const std::vector<TableSlot> inherited = Table(Find(e.cls));
        for (size_t k = 0; k < inherited.size(); ++k)
            table[e.functionOffset + k] = {inherited[k].declaring, inherited[k].signature,
                                           e.fieldOffset + inherited[k].partOffset};
    }
    for (const Method& m : c.methods) {
        const std::string sig = Signature(c, m);
        const std::string tail = sig.substr(sig.find("::"));
        const std::string ret = sig.substr(0, sig.find('@'));
        for (TableSlot& slot : table) {
            if (slot.signature.substr(slot.signature.find("::")) == tail &&
                slot.signature.substr(0, slot.signature.find('@')) == ret)
                slot = {c.name, sig, 0};
        }
        table.push_back({c.name, sig, 0});
    }
    return table;
}

uint32_t GSProgram::FunctionRef(const TableSlot& slot)
{
    for (size_t i = 0; i < b.functionRefs.size(); ++i) {
        if (b.strings[b.functionRefs[i].name] == slot.signature &&
            b.functionRefs[i].classRef == Ref(slot.declaring))
            return uint32_t(i);
    }
    const Class& declaring = Find(slot.declaring);
    int32_t own = -1;
    for (size_t i = 0; i < declaring.methods.size(); ++i) {
        if (Signature(declaring, declaring.methods[i]) == slot.signature)
            own = int32_t(declaring.functionOffset + i);
    }
    return b.AddFunctionRef(Ref(slot.declaring), slot.signature, own);
}

GSLibraryBuilder::Class GSProgram::Record(const Class& c)
{
    GSLibraryBuilder::Class r;
    r.name = c.name;
    r.flags = c.flags;
    for (const BaseEntry& e : c.baseList)
        r.bases.push_back({Ref(e.cls), e.fieldOffset, e.direct ? 1u : 0u});
    for (size_t i = 0; i < c.methods.size(); ++i) {
        const Method& m = c.methods[i];
        GSLibraryBuilder::Function f;
        f.signature = Signature(c, m);
        f.returnType = TypeCode(m.returns);
        if (TypeCode(m.returns) % 6 == 5 && m.returns.rfind("object", 0) != 0)
            f.returnClassRef = int32_t(Ref(m.returns.substr(0, m.returns.find('['))));
        f.flags = m.flags;
        f.methodSlot = int32_t(c.functionOffset + i);
        f.parameters = uint32_t(m.params.size()) + 1;
        f.locals = m.locals;
        f.maxStack = m.maxStack;
        f.objectLocals = m.objectLocals;
        for (size_t p = 0; p < m.params.size(); ++p) {
            if (GSLibraryBuilder::IsReference(TypeCode(m.params[p])))
                f.objectLocals.push_back(uint32_t(p) + 1);
        }
        f.code = m.code;
        f.lines = m.code.empty() ? std::vector<std::pair<uint32_t, uint32_t>>{} : m.lines;
        r.functions.push_back(f);
    }
    GSLibraryBuilder::Function init;
    init.signature = "::" + c.name + "()";
    init.flags = 0x20;
    init.maxStack = c.initMaxStack;
    init.code = c.init;
    init.lines = c.init.empty() ? std::vector<std::pair<uint32_t, uint32_t>>{} : c.initLines;
    if (init.lines.empty() && !c.init.empty())
        init.lines = {{0, 1}};
    r.functions.push_back(init);
    r.members = c.fields;
    for (const TableSlot& slot : Table(c))
        r.methods.push_back({FunctionRef(slot), slot.partOffset});
    r.fieldCount = c.fieldOffset + c.fields + 3;
    r.initialisers.clear();
    for (const BaseEntry& e : c.baseList) {
        r.initialisers.push_back({0, e.fieldOffset, uint32_t(-int32_t(e.fieldOffset))});
        r.initialisers.push_back({1, e.fieldOffset + 1, e.functionOffset});
    }
    r.initialisers.push_back({1, 1, 0});
    for (uint32_t f : c.referenceFields)
        r.objectFields.push_back(c.fieldOffset + f);
    return r;
}

const GSProgram& SystemProgram()
{
    static const GSProgram* program = [] {
        auto* p = new GSProgram("gs.gs", kSystemLibraryLow, kSystemLibraryHigh);
        GSProgram::Class& object = p->AddClass("GSObject");
        p->AddNative(object, "GetGSClassName", "string", {});
        GSProgram::Class& game = p->AddClass("GameObject", {"GSObject"});
        p->AddNative(game, "SendMessage", "void", {"GameObject", "string", "string"});
        p->AddNative(game, "PostMessage", "void", {"GameObject", "string", "string", "float"});
        p->AddNative(game, "ClearMessages", "void", {"string", "string"});
        p->AddNative(game, "AddHandler", "void", {"GameObject", "string", "string", "string"});
        p->AddNative(game, "Sniff", "void", {"GameObject", "string", "string", "bool"});
        p->AddNative(game, "Sleep", "void", {"float"});
        p->AddNative(game, "GetId", "int", {});
        p->AddNative(game, "GetName", "string", {});
        p->AddNative(game, "Exception", "void", {"string"});
        GSProgram::Class& router = p->AddClass("Router");
        router.flags = 4;
        p->AddNative(router, "GetGameObject", "GameObject", {"int"});
        p->AddNative(router, "GetForeignGameObject", "GameObject", {"int"});
        p->AddNative(router, "GetGameObject", "GameObject", {"string"});
        p->AddNative(router, "Info", "void", {});
        p->AddNative(router, "PostMessage", "void", {"int", "int", "string", "string", "float"});
        GSProgram::Class& message = p->AddClass("Message");
        message.fields = 4;
        message.referenceFields = {0, 1, 2, 3};
        return p;
    }();
    return *program;
}

std::vector<uint8_t> SystemLibraryImage()
{
    GSProgram copy = SystemProgram();
    return copy.Build();
}
