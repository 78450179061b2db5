// Script objects: attaching classes, constructors and their order,
// rollback, casts and class queries, static objects, Message objects.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"

using namespace GSRuntime;
using namespace gsop;

namespace {

// Seq is a static class whose field n counts constructor runs; each of A,
// B and D records the count it saw in its own field. D's base list is
// (B, A). Fail's own constructor divides by zero after its bases ran; Keep
// hands itself to Seq before it fails; Plain has no constructor.
struct Classes {
    ScriptWorld w;
    GSProgram p{"t.gs", 0x7E57, 0x1, &SystemProgram()};
    GSLibrary* lib = nullptr;

    Classes()
    {
        GSProgram::Class& seq = p.AddClass("Seq");
        seq.flags = 4;
        seq.fields = 2;
        seq.referenceFields = {1};
        for (const char* name : {"A", "B"})
            Counted(p.AddClass(name));
        Counted(p.AddClass("D", {"B", "A"}));
        GSProgram::Class& fail = p.AddClass("Fail", {"B", "A"});
        fail.init = GSAsm().Op(PUSH1).Op(PUSH0).Op(DIV).Op(POP).Op(RET).Bytes();
        GSProgram::Class& keep = p.AddClass("Keep");
        keep.init = GSAsm()
                        .Op(STATIC, uint16_t(p.Ref("Seq"))).Op(LOADO, 0).Op(POPFO, uint16_t(p.Field("Seq", 1)))
                        .Op(PUSH1).Op(PUSH0).Op(DIV).Op(POP).Op(RET).Bytes();
        p.AddClass("Plain").fields = 1;
        p.AddClass("G", {"GameObject"});
        lib = w.Load(p);
    }
    void Counted(GSProgram::Class& c)
    {
        c.fields = 1;
        const uint16_t n = uint16_t(p.Field("Seq", 0));
        c.init = GSAsm()
                     .Op(STATIC, uint16_t(p.Ref("Seq"))).Op(DUPO).Op(GETF, n).Op(INC).Op(SETF, n)
                     .Op(POPM, uint16_t(p.Field(c.name, 0))).Op(RET).Bytes();
    }
    GSClass* Class(const char* name) { return w.Class(lib, name); }
    // Own field i of the part of `cls` in the object.
    GSSlot Field(GSObject& object, const char* cls, uint32_t i)
    {
        return GSObject::CastToClass(object.GetInstance(), Class(cls))[p.Field(cls, i)];
    }
};

}  // namespace

TEST(ObjectModelTest, BaseConstructorsRunFromTheLastBaseToTheFirst)
{
    Classes c;
    ASSERT_NE(c.lib, nullptr);
    GSObject d;
    ASSERT_TRUE(d.AttachClass(c.Class("D"), &c.w.Context()));
    EXPECT_EQ(c.Field(d, "A", 0), 1);
    EXPECT_EQ(c.Field(d, "B", 0), 2);
    EXPECT_EQ(c.Field(d, "D", 0), 3);
    // Each part's first word leads back to the block.
    GSSlot* block = d.GetInstance();
    for (const char* base : {"A", "B"}) {
        GSSlot* part = GSObject::CastToClass(block, c.Class(base));
        EXPECT_EQ(part + part[0], block) << base;
    }
}

TEST(ObjectModelTest, AttachingTwiceKeepsTheFirstInstance)
{
    Classes c;
    GSObject o;
    ASSERT_TRUE(o.AttachClass(c.Class("Plain"), &c.w.Context()));
    GSSlot* first = o.GetInstance();
    EXPECT_FALSE(o.AttachClass(c.Class("A"), &c.w.Context()));
    EXPECT_EQ(o.GetInstance(), first);
    EXPECT_STREQ(o.Instance()->cls->name, "Plain");
    // A class without constructor code runs nothing: no static Seq is made.
    EXPECT_EQ(c.w.Context().Tracked().Count(), 1u);
    // A null class lets the instance go.
    EXPECT_FALSE(o.AttachClass(nullptr, nullptr));
    EXPECT_EQ(o.GetInstance(), nullptr);
    EXPECT_EQ(c.w.Context().Tracked().Count(), 0u);
}

TEST(ObjectModelTest, AFailingConstructorRollsTheInstanceBack)
{
    Classes c;
    GSObject seq;  // keeps the count readable after the failure
    ASSERT_TRUE(seq.AttachClass(c.Class("A"), &c.w.Context()));
    const uint32_t before = c.w.Context().Tracked().Count();
    GSObject f;
    c.w.log.Take();
    EXPECT_FALSE(f.AttachClass(c.Class("Fail"), &c.w.Context()));
    EXPECT_EQ(f.GetInstance(), nullptr);
    EXPECT_EQ(f.Context(), nullptr);
    EXPECT_EQ(c.w.Context().Tracked().Count(), before) << "the instance is freed";
    EXPECT_EQ(c.w.log.Take().front(), "Thread Exception: ER_DivideByZero, line 1, file t.gs");
    // Both bases' constructors ran before the failure.
    GSObject* s = c.w.Context().GetStaticObject(*c.Class("Seq"));
    EXPECT_EQ(s->GetInstance()[c.p.Field("Seq", 0)], 3);
}

TEST(ObjectModelTest, AConstructorThatHandsItselfOutLeavesALiveInstance)
{
    Classes c;
    GSObject k;
    EXPECT_FALSE(k.AttachClass(c.Class("Keep"), &c.w.Context()));
    EXPECT_EQ(k.GetInstance(), nullptr);
    GSObject* s = c.w.Context().GetStaticObject(*c.Class("Seq"));
    const GSSlot kept = s->GetInstance()[c.p.Field("Seq", 1)];
    ASSERT_TRUE(IsReference(kept));
    GSScriptInstance* instance = GSScriptInstance::OfPart(ReferencePart(kept));
    EXPECT_EQ(instance->owner, nullptr);
    EXPECT_EQ(instance->refCount, 1u);
    EXPECT_STREQ(instance->cls->name, "Keep");
}

TEST(ObjectModelTest, CastsAndClassQueries)
{
    Classes c;
    GSObject d, plain;
    ASSERT_TRUE(d.AttachClass(c.Class("D"), &c.w.Context()));
    ASSERT_TRUE(plain.AttachClass(c.Class("Plain"), &c.w.Context()));
    GSSlot* block = d.GetInstance();
    const struct {
        const char* cls;
        GSSlot* view;
    } casts[] = {
        {"D", block},
        {"B", block + c.p.PartOffset("D", "B")},
        {"A", block + c.p.PartOffset("D", "A")},
        {"Plain", nullptr},
    };
    for (const auto& cast : casts) {
        EXPECT_EQ(GSObject::CastToClass(block, c.Class(cast.cls)), cast.view) << cast.cls;
        // From any view of the object.
        EXPECT_EQ(GSObject::CastToClass(block + c.p.PartOffset("D", "A"), c.Class(cast.cls)), cast.view) << cast.cls;
    }
    EXPECT_EQ(GSObject::CastToClass(nullptr, c.Class("D")), nullptr);
    EXPECT_EQ(GSObject::CastToClass(block, nullptr), nullptr);

    GSClass* dc = c.Class("D");
    EXPECT_TRUE(dc->IsDerivedFrom("D"));
    EXPECT_TRUE(dc->IsDerivedFrom("A"));
    EXPECT_FALSE(dc->IsDerivedFrom("Plain"));
    EXPECT_FALSE(dc->IsDerivedFrom("d"));
    EXPECT_EQ(dc->FindBaseIndex(c.Class("A")), 1);
    EXPECT_EQ(dc->FindBaseIndex(c.Class("Plain")), -1);
    EXPECT_EQ(dc->FindFunctionIndex("::D()"), 0);
    EXPECT_EQ(dc->FindFunctionIndex("::A()"), -1);
    GSClass* g = c.Class("G");
    GSClass::FunctionHit hit;
    ASSERT_TRUE(g->FindFunction("$int@GameObject::GetId()", hit));
    EXPECT_STREQ(hit.declaring->name, "GameObject");
    EXPECT_EQ(hit.partOffset, uint32_t(c.p.PartOffset("G", "GameObject")));
    EXPECT_EQ(hit.slot, int32_t(c.p.Slot("GameObject", "GetId")));
    ASSERT_TRUE(g->FindFunction("$string@GSObject::GetGSClassName()", hit));
    EXPECT_STREQ(hit.declaring->name, "GSObject");
    EXPECT_FALSE(g->FindFunction("$int@G::GetId()", hit));
    uint32_t offset = 0;
    GSFunction* inherited = g->FindInheritedFunction("$void@G::Sleep(float)", offset);
    ASSERT_NE(inherited, nullptr);
    EXPECT_STREQ(inherited->name, "$void@GameObject::Sleep(float)");
    EXPECT_EQ(offset, uint32_t(c.p.PartOffset("G", "GameObject")));
    EXPECT_TRUE(g->gameObjectClass);
    EXPECT_FALSE(dc->gameObjectClass);
}

TEST(ObjectModelTest, AnObjectLetGoOfLivesWhileScriptsHoldIt)
{
    Classes c;
    GSSlot* held;
    {
        auto* g = new GSGameObject;
        ASSERT_TRUE(g->AttachClass(c.Class("G"), &c.w.Context()));
        held = g->GetInstance();
        AddPartReference(held);
        delete g;
    }
    GSScriptInstance* instance = GSScriptInstance::OfPart(held);
    EXPECT_EQ(instance->owner, nullptr);
    EXPECT_EQ(instance->refCount, 1u);
    // A game object's view without its object is not handed out.
    EXPECT_EQ(GSObject::CastToClass(held, c.Class("G")), nullptr);
    const uint32_t before = c.w.Context().Tracked().Count();
    ReleasePart(held);
    EXPECT_EQ(c.w.Context().Tracked().Count(), before - 1);
}

TEST(ObjectModelTest, StaticObjectsPerContext)
{
    Classes c;
    GSClass* seq = c.Class("Seq");
    GSObject* first = c.w.Context().GetStaticObject(*seq);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(c.w.Context().GetStaticObject(*seq), first);
    GSContext other(&c.w.Machine());
    GSObject* second = other.GetStaticObject(*seq);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(c.w.Context().GetStaticObject(*c.Class("Plain")), nullptr) << "not flagged static";
}

TEST(ObjectModelTest, AStaticObjectWhoseConstructorFails)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& s = p.AddClass("S");
    s.flags = 4;
    s.init = GSAsm().Op(PUSH1).Op(PUSH0).Op(MOD).Op(POP).Op(RET).Bytes();
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    w.log.Take();
    EXPECT_EQ(w.Context().GetStaticObject(*w.Class(lib, "S")), nullptr);
    EXPECT_EQ(w.log.Take().back(), "Could not construct static class S for context");
}

namespace {

// A router node that is no script object.
class BareNode : public GSNode {};

}  // namespace

TEST(ObjectModelTest, MessageObjects)
{
    Classes c;
    GSGameObject* g = static_cast<GSGameObject*>(c.w.Make(c.Class("G")));
    BareNode bare;
    c.w.Router().AddNode(bare);
    GSRouter& router = c.w.Router();
    const GSMessage message{router.Intern("Major"), router.Intern(""), g->Id(), bare.Id(), 0};
    GSSlot* m = c.w.Context().CreateMessageObject(message);
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(GSScriptInstance::OfPart(m)->cls->name, "Message");
    EXPECT_EQ(GSString::OfPart(ReferencePart(m[2]))->Str(), "Major");
    EXPECT_EQ(GSString::OfPart(ReferencePart(m[3]))->Str(), "");
    EXPECT_EQ(ReferencePart(m[4]), GSObject::CastToClass(g->GetInstance(), c.w.Machine().GetGameObjectClass()));
    EXPECT_EQ(m[5], 0) << "the destination is no script object";
    EXPECT_EQ(g->Instance()->refCount, 2u);
    ReleasePart(m);
    EXPECT_EQ(g->Instance()->refCount, 1u);
    c.w.Router().RemoveNode(bare);
}

// The Message class must hold its four reference fields where the runtime
// writes them; a system library whose Message does not gives no Message
// objects (they were written past the instance).
TEST(ObjectModelTest, AMessageClassWithoutItsFieldsGivesNoObject)
{
    ScriptWorld w;
    GSProgram odd("gs.gs", kSystemLibraryLow, kSystemLibraryHigh);
    GSProgram::Class& object = odd.AddClass("GSObject");
    odd.AddNative(object, "GetGSClassName", "string", {});
    odd.AddClass("GameObject", {"GSObject"});
    odd.AddClass("Message");  // five words: word 5 lies past it
    w.dir.Write("gs.gsl", Bytes(odd.Build()));
    ASSERT_NE(w.Machine().GetMessageClass(), nullptr);
    EXPECT_EQ(w.Context().CreateMessageObject(GSMessage{100, 1, 0, 0, 0}), nullptr);

    GSProgram plain("gs.gs", kSystemLibraryLow, kSystemLibraryHigh);
    GSProgram::Class& message = plain.AddClass("Message");
    message.fields = 4;  // but not references
    ScriptWorld v;
    v.dir.Write("gs.gsl", Bytes(plain.Build()));
    EXPECT_EQ(v.Context().CreateMessageObject(GSMessage{100, 1, 0, 0, 0}), nullptr);
    EXPECT_EQ(v.Context().Tracked().Count(), 0u);
}
