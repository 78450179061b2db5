// Native bindings: the three kinds and the lookup by interned name and
// signature, newest first.
#include <gtest/gtest.h>

#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"

using namespace GSRuntime;

namespace {

class TestContext : public GSContext {
public:
    int calls = 0;
    void Count(GSThread&) { ++calls; }
};

class TestObject : public GSObject {
public:
    explicit TestObject(GSContext* context = nullptr) { context_ = context; }
    int calls = 0;
    void Count(GSThread&) { ++calls; }
};

class OtherObject : public GSObject {
public:
    void Count(GSThread&) {}
};

GSContext* g_seenContext = nullptr;
void SeeContext(GSContext* context, GSThread&) { g_seenContext = context; }

// The bindings only pass the thread on; none of these handlers reads it.
GSThread& AnyThread()
{
    alignas(16) static unsigned char storage[64];
    return *reinterpret_cast<GSThread*>(storage);
}

}  // namespace

TEST(NativeBindingTest, ThePlainKindNeedsATarget)
{
    GSCNativeFunction native("GSObject", "$string@GSObject::GetGSClassName()", &SeeContext);
    EXPECT_FALSE(native.Call(nullptr, AnyThread()));
    TestContext context;
    TestObject target(&context);
    EXPECT_TRUE(native.Call(&target, AnyThread()));
    EXPECT_EQ(g_seenContext, &context);
}

TEST(NativeBindingTest, TheMemberKindChecksTheTargetsClass)
{
    GSCPPNativeFunction<TestObject> native("T", "$void@T::Count()", &TestObject::Count);
    TestObject target;
    OtherObject other;
    EXPECT_TRUE(native.Call(&target, AnyThread()));
    EXPECT_EQ(target.calls, 1);
    EXPECT_FALSE(native.Call(&other, AnyThread()));
    EXPECT_FALSE(native.Call(nullptr, AnyThread()));
}

TEST(NativeBindingTest, TheContextKindNeedsTheTargetsContext)
{
    GSCPPContextNativeFunction<TestContext> native("Router", "$void@Router::Info()", &TestContext::Count);
    TestContext context;
    TestObject withContext(&context), without;
    EXPECT_TRUE(native.Call(&withContext, AnyThread()));
    EXPECT_EQ(context.calls, 1);
    EXPECT_FALSE(native.Call(&without, AnyThread()));
    EXPECT_FALSE(native.Call(nullptr, AnyThread()));
}

TEST(NativeBindingTest, FindNativeTakesTheNewestOfTheExactPair)
{
    GSMachine machine;
    machine.RegisterBuiltinNatives();
    auto first = std::make_unique<GSCNativeFunction>("Str", "$int@Str::Len(string)", &SeeContext);
    auto second = std::make_unique<GSCNativeFunction>("Str", "$int@Str::Len(string)", &SeeContext);
    GSNativeFunction* firstPtr = first.get();
    GSNativeFunction* secondPtr = second.get();
    const uint32_t builtins = machine.Natives().Count();
    machine.AddNative(std::move(first));
    EXPECT_EQ(machine.FindNative("Str", "$int@Str::Len(string)"), firstPtr);
    machine.AddNative(std::move(second));
    EXPECT_EQ(machine.Natives().Count(), builtins + 2u);
    EXPECT_EQ(machine.FindNative("Str", "$int@Str::Len(string)"), secondPtr);
    const struct {
        const char* cls;
        const char* signature;
    } misses[] = {
        {"Str", "$int@Str::len(string)"},
        {"Str", "$int@Str::Len( string)"},
        {"str", "$int@Str::Len(string)"},
        {"Math", "$int@Str::Len(string)"},
    };
    for (const auto& m : misses)
        EXPECT_EQ(machine.FindNative(m.cls, m.signature), nullptr) << m.cls << " " << m.signature;
}
