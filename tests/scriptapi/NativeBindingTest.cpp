// The binding of the tool's natives: which targets a binding refuses, and
// what the parameter accessors give and raise, through a probe class
// entered for these tests only.
#include <gtest/gtest.h>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "scriptapi-harness/HarnessRun.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/data/GSOKUIDList.h"
#include "scriptapi/data/GSOSoup.h"
#include "support/ScriptApiMachine.h"
#include "support/ScriptExpectations.h"

using namespace GSRuntime;
using namespace scriptapitest;

namespace {

void ProbeObject(GSContext*, GSThread& thread)
{
    GSOSoup* soup = reinterpret_cast<GSOSoup*>(1);
    const int32_t before = thread.stack.Used();
    if (ParamAccess::GetObjectParam(uint32_t(SlotInt(thread.stack.Local(3))), thread, soup,
                                    SlotInt(thread.stack.Local(4)) != 0)) {
        thread.stack.PushString(soup ? "soup" : "null");
    } else if (thread.stack.Used() == before) {
        ScriptLog("depth kept");
    }
}

void ProbeText(GSContext*, GSThread& thread)
{
    Nyx::PString text("stale");
    if (ParamAccess::GetPStringParam(SlotInt(thread.stack.Local(4)) != 0, text, thread,
                                     uint32_t(SlotInt(thread.stack.Local(3)))))
        thread.stack.PushString("[" + text.Str() + "]");
}

void ProbeText1(GSContext*, GSThread& thread)
{
    Nyx::String text;
    if (ParamAccess::GetStringParam1(text, thread))
        thread.stack.PushString("[" + text.Str() + "]");
}

constexpr PlainNative kProbe[] = {
    {"$string@Probe::Object(GSObject,GSObject,int,bool)", &ProbeObject},
    {"$string@Probe::Text(string,string,int,bool)", &ProbeText},
    {"$string@Probe::Text1(string)", &ProbeText1},
};

TEST(NativeBindingTest, AccessorsGiveAndRaiseTheirTexts)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    static const bool registered = (RegisterPlainNatives(shared.machine, "Probe", kProbe), true);
    ASSERT_TRUE(registered);
    LogCapture log;
    const std::string file = CaseScripts() + "binding_cases.gs";
    const HarnessRun::Outcome outcome =
        HarnessRun::Run(shared.machine, file, ScriptFolders(), shared.folder);
    ASSERT_TRUE(outcome.ok) << outcome.reason;
    const std::vector<std::string> got = NativeLines(log.lines);
    const std::vector<std::string> expected = ExpectedLog(file);
    std::string all;
    for (const std::string& line : got)
        all += line + "\n";
    ASSERT_EQ(expected.size(), got.size()) << all;
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(expected[i], got[i]) << "line " << i;
}

// A binding refuses a target of another class before its handler runs,
// and a plain native refuses a missing target; neither says anything.
TEST(NativeBindingTest, WrongOrMissingTargetIsRefusedSilently)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    LogCapture log;
    KestroScriptContext context(&shared.machine);
    GSOKUIDList list(&context);
    GSOSoup soup(&context);
    GSThread thread(nullptr, GSThread::kStaticThread);
    const int32_t depth = thread.stack.Used();
    const struct {
        const char* cls;
        const char* signature;
        GSObject* target;
        bool called;
    } cases[] = {
        {"Soup", "$int@Soup::CountTags()", &list, false},
        {"KUIDList", "$int@KUIDList::CountKUIDs()", &soup, false},
        {"ConstructorsBase", "$Soup@ConstructorsBase::NewSoup()", nullptr, false},
        {"KestroScriptBase", "$float@KestroScriptBase::GetSeconds()", nullptr, false},
        {"Soup", "$bool@Soup::IsLocked()", &soup, true},
    };
    for (const auto& c : cases) {
        GSNativeFunction* native = shared.machine.FindNative(Nyx::PString(c.cls), Nyx::PString(c.signature));
        ASSERT_NE(nullptr, native) << c.signature;
        EXPECT_EQ(c.called, native->Call(c.target, thread)) << c.signature;
        EXPECT_EQ(depth + (c.called ? 1 : 0), thread.stack.Used()) << c.signature;
        if (c.called)
            thread.stack.top--;
    }
    EXPECT_TRUE(log.lines.empty());
}

}  // namespace
