// The interpreter's object instructions (87-93, 97-108) on hand-assembled
// snippets in a program of several classes: A; B isclass A; C; a static S;
// Bad, whose initialiser divides by zero; G isclass GameObject; and T,
// whose method Run is the snippet.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"

using namespace GSRuntime;
using namespace gsop;

#define C(body) [](GSProgram & p) { (void)p; return GSAsm() body; }

namespace {

GSProgram Classes(const CodeMaker& code, const std::string& returns)
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& a = p.AddClass("A");
    a.fields = 3;
    a.referenceFields = {2};
    GSProgram::Class& b = p.AddClass("B", {"A"});
    b.fields = 2;
    p.AddClass("C").fields = 1;
    GSProgram::Class& s = p.AddClass("S");
    s.flags = 4;
    s.fields = 1;
    s.init = GSAsm().Int(7).Op(POPM, uint16_t(p.Field("S", 0))).Op(RET).Bytes();
    GSProgram::Class& bad = p.AddClass("Bad");
    bad.init = GSAsm().Op(PUSH1).Op(PUSH0).Op(DIV).Op(POP).Op(RET).Bytes();
    p.AddClass("G", {"GameObject"});
    GSProgram::Class& t = p.AddClass("T", {"A"});
    t.fields = 2;
    t.referenceFields = {1};
    GSProgram::Method& m = p.AddMethod(t, "Run", returns, {}, code(p));
    m.locals = 4;
    m.objectLocals = {3, 4};
    return p;
}

void RunObjectSnippets(const std::vector<SnippetCase>& cases) { RunSnippets(cases, Classes); }

// Field words of the classes above, as the layout gives them.
constexpr uint16_t kAField0 = 2;   // A's own fields: 2, 3, 4 (4 a reference)
constexpr uint16_t kBField0 = 7;   // B: its part 0-1, A's part at 2 (words 2-6), own 7-8
constexpr uint16_t kTField0 = 7;   // T: the same shape as B; own 7 plain, 8 a reference
constexpr uint16_t kTRefField = 8;
constexpr uint16_t kAPartInB = 2;  // A's part in B and in T

}  // namespace

TEST(ObjectOpsTest, ClassTestsAndCasts)
{
    RunObjectSnippets({
        IntCase("isclass of the class itself", C(.Op(NEWOBJ, p.Ref("B")).Op(ISCLASS, p.Ref("B")).Op(RETV)), 1),
        IntCase("isclass of a base", C(.Op(NEWOBJ, p.Ref("B")).Op(ISCLASS, p.Ref("A")).Op(RETV)), 1),
        IntCase("isclass of another class", C(.Op(NEWOBJ, p.Ref("B")).Op(ISCLASS, p.Ref("C")).Op(RETV)), 0),
        IntCase("isclass of a derived class", C(.Op(NEWOBJ, p.Ref("A")).Op(ISCLASS, p.Ref("B")).Op(RETV)), 0),
        IntCase("isclass of a string", C(.Op(NEWSTR).Op(ISCLASS, p.Ref("A")).Op(RETV)), 0),
        ExitCase("isclass of null", C(.Op(PUSH0).Op(ISCLASS, p.Ref("A")).Op(RETV)), ER_NullReference),
        IntCase("cast to a base is a view of the same object",
                C(.Op(NEWOBJ, p.Ref("B")).Op(POPLO, 3).Op(LOADO, 3).Op(CAST, p.Ref("A")).Op(LOADO, 3).Op(OCMP)
                      .Op(RETV)),
                0),
        IntCase("cast back to the class", C(.Op(NEWOBJ, p.Ref("B")).Op(CAST, p.Ref("A")).Op(CAST, p.Ref("B"))
                                                .Op(ISCLASS, p.Ref("B")).Op(RETV)),
                1),
        // A failed cast gives null and releases the object it was given.
        IntCase("a failed cast", C(.Op(NEWOBJ, p.Ref("B")).Op(CAST, p.Ref("C")).Op(ISNULL).Op(RETV)), 1),
        IntCase("a cast of null", C(.Op(PUSH0).Op(CAST, p.Ref("A")).Op(ISNULL).Op(RETV)), 1),
        IntCase("a cast of a string", C(.Op(NEWSTR).Op(CAST, p.Ref("A")).Op(ISNULL).Op(RETV)), 1),
        IntCase("ocmp of two objects", C(.Op(NEWOBJ, p.Ref("A")).Op(NEWOBJ, p.Ref("A")).Op(OCMP).Op(RETV)), 1),
        IntCase("ocmp of two nulls", C(.Op(PUSH0).Op(PUSH0).Op(OCMP).Op(RETV)), 0),
        IntCase("ocmp of null and an object", C(.Op(PUSH0).Op(NEWOBJ, p.Ref("A")).Op(OCMP).Op(RETV)), 1),
        IntCase("isnull of an object", C(.Op(NEWOBJ, p.Ref("A")).Op(ISNULL).Op(RETV)), 0),
        IntCase("notnull of an object", C(.Op(NEWOBJ, p.Ref("A")).Op(NOTNULL).Op(RETV)), 1),
        IntCase("notnull of null", C(.Op(PUSH0).Op(NOTNULL).Op(RETV)), 0),
    });
}

TEST(ObjectOpsTest, NewAndStaticObjects)
{
    RunObjectSnippets({
        IntCase("newobj starts with zeroed fields", C(.Op(NEWOBJ, p.Ref("A")).Op(GETF, kAField0).Op(RETV)), 0),
        ExitCase("a constructor that fails", C(.Op(NEWOBJ, p.Ref("Bad")).Op(POPO).Op(PUSH0).Op(RETV)),
                 ER_ClassCreateError),
        // The static object stays with the context.
        LeavesBehind(IntCase("the static object's constructor ran",
                             C(.Op(STATIC, p.Ref("S")).Op(GETF, uint16_t(p.Field("S", 0))).Op(RETV)), 7),
                     1),
        LeavesBehind(IntCase("one static object a context",
                             C(.Op(STATIC, p.Ref("S")).Op(STATIC, p.Ref("S")).Op(OCMP).Op(RETV)), 0),
                     1),
        IntCase("no static object of a class that is not static",
                C(.Op(STATIC, p.Ref("A")).Op(ISNULL).Op(RETV)), 1),
        TextCase("a game class makes a game object", C(.Op(NEWOBJ, p.Ref("G")).Call(CALLN, 0, 0).Op(RETO)), "G"),
    });
}

TEST(ObjectOpsTest, FieldsOfObjects)
{
    RunObjectSnippets({
        IntCase("popf then getf", C(.Op(NEWOBJ, p.Ref("B")).Op(POPLO, 3).Op(LOADO, 3).Int(5).Op(POPF, kBField0)
                                        .Op(LOADO, 3).Op(GETF, kBField0).Op(RETV)),
                5),
        IntCase("setf leaves the value", C(.Op(NEWOBJ, p.Ref("B")).Int(6).Op(SETF, kBField0).Op(RETV)), 6),
        IntCase("a base's field through its view",
                C(.Op(NEWOBJ, p.Ref("B")).Op(POPLO, 3).Op(LOADO, 3).Int(9).Op(POPF, kAPartInB + kAField0)
                      .Op(LOADO, 3).Op(CAST, p.Ref("A")).Op(GETF, kAField0).Op(RETV)),
                9),
        TextCase("popfo then getfo",
                 C(.Op(NEWOBJ, p.Ref("A")).Op(POPLO, 3).Op(LOADO, 3).Op(PUSHS, p.Str("s")).Op(POPFO, 4)
                       .Op(LOADO, 3).Op(GETFO, 4).Op(RETO)),
                 "s"),
        TextCase("setfo keeps a count of its own",
                 C(.Op(NEWOBJ, p.Ref("A")).Op(POPLO, 3).Op(LOADO, 3).Op(PUSHS, p.Str("s")).Op(SETFO, 4).Op(POPO)
                       .Op(LOADO, 3).Op(GETFO, 4).Op(RETO)),
                 "s"),
        ExitCase("getf of null", C(.Op(PUSH0).Op(GETF, 2).Op(RETV)), ER_NullReference),
        ExitCase("getfo of null", C(.Op(PUSH0).Op(GETFO, 2).Op(RETO)), ER_NullReference),
        ExitCase("popf into null", C(.Op(PUSH0).Op(PUSH1).Op(POPF, 2).Op(PUSH0).Op(RETV)), ER_NullReference),
        ExitCase("a field past the block", C(.Op(NEWOBJ, p.Ref("C")).Op(GETF, 6).Op(RETV)), ER_IllegalInstruction),
        ExitCase("a part's method-table word", C(.Op(NEWOBJ, p.Ref("C")).Op(GETF, 1).Op(RETV)),
                 ER_IllegalInstruction),
        ExitCase("a base part's back offset",
                 C(.Op(NEWOBJ, p.Ref("B")).Op(PUSH0).Op(POPF, kAPartInB).Op(PUSH0).Op(RETV)), ER_IllegalInstruction),
        ExitCase("a string has no fields", C(.Op(NEWSTR).Op(GETF, 2).Op(RETV)), ER_IllegalInstruction),
    });
}

TEST(ObjectOpsTest, FieldsOfMe)
{
    RunObjectSnippets({
        IntCase("popm then getm", C(.Int(4).Op(POPM, kTField0).Op(GETM, kTField0).Op(RETV)), 4),
        IntCase("setm leaves the value", C(.Int(4).Op(SETM, kTField0).Op(GETM, kTField0).Op(ADD).Op(RETV)), 8),
        // The string stays in T's field.
        LeavesBehind(TextCase("popmo then getmo",
                              C(.Op(PUSHS, p.Str("m")).Op(POPMO, kTRefField).Op(GETMO, kTRefField).Op(RETO)), "m"),
                     1),
        LeavesBehind(TextCase("setmo keeps a count of its own",
                              C(.Op(PUSHS, p.Str("m")).Op(SETMO, kTRefField).Op(POPO).Op(GETMO, kTRefField).Op(RETO)),
                              "m"),
                     1),
        IntCase("getm of a base's part word reads a number", C(.Op(GETM, kAPartInB).Op(RETV)), -2),
        ExitCase("popm into a base part's method table",
                 C(.Op(PUSH0).Op(POPM, kAPartInB + 1).Op(PUSH0).Op(RETV)), ER_IllegalInstruction),
        ExitCase("popmo into a base part's back offset",
                 C(.Op(PUSH0).Op(POPMO, kAPartInB).Op(PUSH0).Op(RETV)), ER_IllegalInstruction),
    });
}

// An object reference stored into an instance of another context arrives
// as null unless its context shares its objects.
TEST(ObjectOpsTest, ReferencesAcrossContexts)
{
    for (bool shares : {false, true}) {
        SCOPED_TRACE(shares);
        ScriptWorld w;
        GSProgram p = Classes(C(.Op(PUSH0).Op(RETV)), "int");
        GSLibrary* lib = w.Load(p);
        ASSERT_NE(lib, nullptr);
        GSContext other(&w.Machine());
        other.SetSharesObjects(shares);
        GSObject holder, value;
        ASSERT_TRUE(holder.AttachClass(w.Class(lib, "A"), &w.Context()));
        ASSERT_TRUE(value.AttachClass(w.Class(lib, "C"), &other));
        AddPartReference(value.GetInstance());
        StoreReference(holder.GetInstance(), 4, MakeReference(value.GetInstance()), false);
        EXPECT_EQ(holder.GetInstance()[4] != 0, shares);
        EXPECT_EQ(value.Instance()->refCount, shares ? 2u : 1u);
        holder.AttachClass(nullptr, nullptr);
    }
}
