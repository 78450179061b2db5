#include <gtest/gtest.h>

#include "gs/runtime/ScriptWorld.h"

using namespace GSRuntime;

TEST(SmokeTest, AddsTwoNumbers)
{
    ScriptWorld w;
    GSProgram p = OneMethod(GSAsm().Int(2).Int(3).Op(0).Op(110));
    GSLibrary* lib = w.Load(p);
    ASSERT_NE(lib, nullptr) << ::testing::PrintToString(w.log.Take());
    GSObject* o = w.Make(w.Class(lib, "T"));
    ASSERT_NE(o, nullptr);
    ScriptRun r = w.Run(o, "$int@T::Run()");
    EXPECT_EQ(r.code, ER_Done);
    EXPECT_EQ(r.value, 5);
}
