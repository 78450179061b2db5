// Arrays, strings and the tracked-object table: element operations, the
// blocks of slots, the sweep that frees cycles, and long chains freed
// without deep recursion.
#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"

using namespace GSRuntime;

namespace {

// An array of n fresh strings in the context; their views.
std::vector<GSSlot*> FillWithStrings(GSArray& array, GSContext& context, int n)
{
    std::vector<GSSlot*> views;
    for (int i = 0; i < n; ++i) {
        auto* s = new GSString(&context, std::to_string(i));
        views.push_back(s->GetInstance());
        EXPECT_TRUE(array.SetObjectAt(i, s->Reference(), false));
    }
    return views;
}

std::vector<GSSlot> Elements(const GSArray& a) { return {a.Elements(), a.Elements() + a.Count()}; }

}  // namespace

TEST(ArrayTest, SetSizeBelowOneReleasesEachElementOnce)
{
    for (int32_t size : {0, -5}) {
        GSContext context;
        auto* array = new GSArray(&context, GSArray::kReferenceElements);
        std::vector<GSSlot*> views = FillWithStrings(*array, context, 3);
        AddPartReference(views[1]);  // one string is held elsewhere too
        EXPECT_EQ(context.Tracked().Count(), 4u);
        EXPECT_TRUE(array->SetSize(size));
        EXPECT_EQ(array->Count(), 0);
        EXPECT_EQ(context.Tracked().Count(), 2u);
        EXPECT_EQ(GSScriptInstance::OfPart(views[1])->refCount, 1u);
        ReleasePart(views[1]);
        ReleasePart(array->GetInstance());
        EXPECT_EQ(context.Tracked().Count(), 0u);
    }
}

TEST(ArrayTest, ElementEdges)
{
    GSContext context;
    GSArray a(&context, GSArray::kPlainElements), refs(&context, GSArray::kReferenceElements);
    EXPECT_TRUE(a.Set(7, 3));
    EXPECT_EQ(Elements(a), (std::vector<GSSlot>{0, 0, 0, 0, 0, 0, 0, 3}));
    GSSlot v = -1;
    EXPECT_FALSE(a.Get(8, v));
    EXPECT_FALSE(a.Get(-1, v));
    EXPECT_FALSE(a.Set(-1, 0));
    EXPECT_TRUE(a.SetSize(3));
    EXPECT_EQ(Elements(a), (std::vector<GSSlot>{0, 0, 0}));
    EXPECT_FALSE(a.CopyRange(refs, 0, -1)) << "another element kind";
    EXPECT_FALSE(a.ReplaceRange(0, 0, &refs));

    const struct {
        int32_t start, end;
        bool ok;
        std::vector<GSSlot> result;
    } replaces[] = {
        {10, 10, true, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 8, 9}},
        {10, -1, false, {}},
        {-4, 1, true, {8, 9, 2, 3}},
        {1, 99, true, {1, 8, 9}},
        {3, 3, true, {1, 2, 3, 8, 9}},
    };
    for (const auto& r : replaces) {
        GSArray target(&context, GSArray::kPlainElements), source(&context, GSArray::kPlainElements);
        for (GSSlot x : {1, 2, 3})
            target.Set(target.Count(), x);
        for (GSSlot x : {8, 9})
            source.Set(source.Count(), x);
        EXPECT_EQ(target.ReplaceRange(r.start, r.end, &source), r.ok) << r.start << " " << r.end;
        if (r.ok) {
            EXPECT_EQ(Elements(target), r.result) << r.start << " " << r.end;
        }
    }
    // An array replaced by itself.
    GSArray self(&context, GSArray::kPlainElements);
    for (GSSlot x : {1, 2})
        self.Set(self.Count(), x);
    EXPECT_TRUE(self.ReplaceRange(1, 1, &self));
    EXPECT_EQ(Elements(self), (std::vector<GSSlot>{1, 1, 2, 2}));
}

TEST(ArrayTest, ReferenceRangesCountTheirElements)
{
    GSContext context;
    auto* source = new GSArray(&context, GSArray::kReferenceElements);
    std::vector<GSSlot*> views = FillWithStrings(*source, context, 3);
    auto* copy = new GSArray(&context, GSArray::kReferenceElements);
    EXPECT_TRUE(copy->CopyRange(*source, 1, -1));
    EXPECT_EQ(GSScriptInstance::OfPart(views[0])->refCount, 1u);
    EXPECT_EQ(GSScriptInstance::OfPart(views[2])->refCount, 2u);
    EXPECT_TRUE(source->ReplaceRange(0, 2, copy));
    EXPECT_EQ(GSScriptInstance::OfPart(views[2])->refCount, 3u);
    EXPECT_EQ(context.Tracked().Count(), 4u) << "the first string went with its element";
    ReleasePart(source->GetInstance());
    ReleasePart(copy->GetInstance());
    EXPECT_EQ(context.Tracked().Count(), 0u);
}

TEST(TrackedTableTest, BlocksOf1022Slots)
{
    const struct {
        uint32_t values, blocks;
    } cases[] = {{1, 1}, {1022, 1}, {1023, 2}, {2045, 3}};
    for (const auto& c : cases) {
        GSContext context;
        std::vector<GSString*> strings;
        for (uint32_t i = 0; i < c.values; ++i)
            strings.push_back(new GSString(&context));
        EXPECT_EQ(context.Tracked().Count(), c.values);
        EXPECT_EQ(context.Tracked().BlockCount(), c.blocks) << c.values;
        // Freed slots are taken again before a block is added.
        ReleasePart(strings.front()->GetInstance());
        new GSString(&context);
        EXPECT_EQ(context.Tracked().BlockCount(), c.blocks);
    }
}

TEST(TrackedTableTest, TheContextsEndFreesCyclesAndWhatScriptsStillHold)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& node = p.AddClass("Node");
    node.fields = 2;
    node.referenceFields = {0, 1};
    GSProgram::Class& game = p.AddClass("Game", {"GameObject"});
    game.fields = 1;
    game.referenceFields = {0};
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    const uint32_t next = p.Field("Node", 0), items = p.Field("Node", 1);

    auto* context = new GSContext(&w.Machine());
    context->SetRouter(std::make_unique<GSRouter>(context));
    // Two objects holding each other, one holding an array that holds
    // itself and a string; a script-made game object with a thread whose
    // frame holds one of them; nothing outside holds any of it.
    auto* a = new GSObject;
    auto* b = new GSObject;
    a->GiveToInstance();
    b->GiveToInstance();
    ASSERT_TRUE(a->AttachClass(w.Class(lib, "Node"), context));
    ASSERT_TRUE(b->AttachClass(w.Class(lib, "Node"), context));
    StoreReference(a->GetInstance(), next, MakeReference(b->GetInstance()), false);
    StoreReference(b->GetInstance(), next, MakeReference(a->GetInstance()), false);
    auto* array = new GSArray(context, GSArray::kReferenceElements);
    array->SetObjectAt(0, array->Reference(), true);
    array->SetObjectAt(1, (new GSString(context, "s"))->Reference(), false);
    StoreReference(a->GetInstance(), items, array->Reference(), false);
    auto* g = new GSGameObject;
    g->GiveToInstance();
    ASSERT_TRUE(g->AttachClass(w.Class(lib, "Game"), context));
    context->Router()->AddNode(*g);
    GSThread* thread = g->NewThread();
    thread->stack.PushInstance(a->GetInstance(), true);
    thread->stack.PushInstance(g->GetInstance(), false);
    EXPECT_EQ(context->Tracked().Count(), 5u);
    delete context;  // LeakSanitizer sees whether anything stayed
}

TEST(TrackedTableTest, ALongChainIsFreedWithoutDeepRecursion)
{
    ScriptWorld w;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& node = p.AddClass("Node");
    node.fields = 1;
    node.referenceFields = {0};
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr);
    const uint32_t next = p.Field("Node", 0);
    GSObject head;
    ASSERT_TRUE(head.AttachClass(w.Class(lib, "Node"), &w.Context()));
    GSSlot* tail = head.GetInstance();
    for (int i = 0; i < 200000; ++i) {
        auto* o = new GSObject;
        o->GiveToInstance();
        ASSERT_TRUE(o->AttachClass(w.Class(lib, "Node"), &w.Context()));
        StoreReference(tail, next, MakeReference(o->GetInstance()), false);
        tail = o->GetInstance();
    }
    EXPECT_EQ(w.Context().Tracked().Count(), 200001u);
    head.AttachClass(nullptr, nullptr);
    EXPECT_EQ(w.Context().Tracked().Count(), 0u);
}

TEST(StringTest, Ranges)
{
    GSContext context;
    const struct {
        int32_t start, end;
        bool ok;
        const char* sub;
        const char* replaced;  // by "XY"
    } cases[] = {
        {1, 3, true, "el", "hXYlo"},   {-2, 2, true, "he", "XYllo"},  {3, -1, true, "lo", "helXY"},
        {2, 99, true, "llo", "heXY"},  {4, 2, false, "", ""},         {9, 9, false, "", ""},
        {5, 5, true, "", "helloXY"},
    };
    for (const auto& c : cases) {
        GSString text(&context, "hello"), part(&context), source(&context, "XY");
        EXPECT_EQ(text.Substring(part, c.start, c.end), c.ok) << c.start << " " << c.end;
        EXPECT_EQ(part.Str(), c.sub);
        EXPECT_EQ(text.ReplaceRange(c.start, c.end, &source), c.ok);
        EXPECT_EQ(text.Str(), c.ok ? c.replaced : "hello");
    }
    GSString self(&context, "ab");
    EXPECT_TRUE(self.ReplaceRange(1, 1, &self));
    EXPECT_EQ(self.Str(), "aabb");
}
