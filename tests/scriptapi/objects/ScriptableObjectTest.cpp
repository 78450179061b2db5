// Scriptable objects on the shared script machine: the generated source,
// the source text rules, compiling the object's own source under the data
// root's cache, and the three phases with Init and SetProperties called by
// their signatures.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/router/GSRouter.h"
#include "kad/ScriptedDaemon.h"
#include "nyx/files/File.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/objects/ScriptableObject.h"
#include "scriptapi/support/ScriptApiMachine.h"
#include "scriptapi/support/ScriptAssetFiles.h"
#include "support/TempFolder.h"

using namespace GSRuntime;
using scriptapitest::ScriptApiMachine;

namespace {

namespace fs = std::filesystem;

const KUID kAsset(400001, 88, 0);

using scriptapitest::BuiltScripts;
using scriptapitest::ConfigBytes;

class TestObject : public ScriptableObject {
public:
    TestObject(KestroScriptContext* context, GlimmerkitSpec* spec) : ScriptableObject(context), spec_(spec) {}
    GlimmerkitSpec* GetSpec() override
    {
        if (spec_)
            spec_->AddReference();
        return spec_;
    }
    void OnInitStart() override { hooks.push_back("start"); }
    void OnInitReady() override { hooks.push_back("ready"); }
    void OnInitDone() override { hooks.push_back("done"); }

    // An int the script answers through "$int@CustomObject::<name>()";
    // nullopt when the call fails.
    std::optional<int32_t> Ask(const char* signature)
    {
        GSScriptInstance* instance = Instance();
        intptr_t result = 0;
        if (!instance || !ScriptContext()->Machine().CallFunction(ScriptContext(), instance->cls, GetInstance(),
                                                                  signature, &result, {}))
            return std::nullopt;
        return static_cast<int32_t>(result);
    }

    std::vector<std::string> hooks;

private:
    GlimmerkitSpec* spec_;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every test's source differs from the others' by its first line: the
// machine keeps a library by the id its text gives for the process.
std::string CustomSource(const std::string& body, const char* base = "PropertyObject")
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("// ") + test->name() + "\ninclude \"Kestro.gs\"\nclass CustomObject isclass " + base +
           "\n{\n  int inits = 0;\n  int property = -1;\n  int asset = 0;\n" + body + "\n};\n";
}

const char* kCountingBody =
    "  public void Init(Asset self) { inherited(self); inits = inits + 1; if (self) asset = 1; }\n"
    "  public int HasAsset(void) { return asset; }\n"
    "  public void SetProperties(Soup soup) { property = soup.GetNamedTagAsInt(\"n\"); }\n"
    "  public int Inits(void) { return inits; }\n"
    "  public int Property(void) { return property; }\n";

class ScriptableObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shared_.ready);
        SetContentRootPath(Nyx::File::Path(root_.Path()));
        fs::create_directories(root_.Path() + "/asset");
        Nyx::File::Subst::Add(Nyx::PString("scripts"), Nyx::File::Path(BuiltScripts().string() + "/"));
        context_.SetRouter(std::make_unique<GSRouter>(&context_));
        config_ = ChunkRef();
        TDBContainerTag::SetString(config_, Nyx::PString("kind"), Nyx::PString("library"));
        TDBContainerTag::SetString(config_, Nyx::PString("script"), Nyx::PString("s"));
        TDBContainerTag::SetString(config_, Nyx::PString("class"), Nyx::PString("C"));
        spec_ = std::make_unique<KestroBaseSpec>(kAsset, Nyx::PString(), Nyx::String(root_.Path()),
                                                 Nyx::String("asset"), config_);
        daemon_ = std::make_unique<ScriptedDaemon>(Daemon());
    }
    void TearDown() override
    {
        daemon_.reset();
        Nyx::File::Subst::Remove(Nyx::PString("scripts"));
        SetContentRootPath(Nyx::File::Path());
    }
    ScriptedDaemon::Script Daemon()
    {
        const std::string config = ConfigBytes(config_);
        return [config](uint32_t number, const std::string&) -> std::optional<std::string> {
            if (number == 20)
                return config;
            return std::nullopt;
        };
    }
    bool CacheIsEmpty() const { return fs::is_empty(root_.Path() + "/cache"); }

    ScriptApiMachine& shared_ = ScriptApiMachine::Get();
    TempFolder root_;
    KestroScriptContext context_{&ScriptApiMachine::Get().machine};
    ChunkRef config_;
    std::unique_ptr<KestroBaseSpec> spec_;
    std::unique_ptr<ScriptedDaemon> daemon_;
};

TEST_F(ScriptableObjectTest, TheGeneratedSourceNamesTheSpecsScriptAndClass)
{
    TestObject object(nullptr, spec_.get());
    EXPECT_EQ((std::vector<std::string>{"include \"Kestro.gs\"", "", "include \"s.gs\"", "",
                                        "class CustomObject isclass C", "{", "  public void Init(Asset self)", "  {",
                                        "    inherited(self);", "    //...", "  }", "};", ""}),
              Lines(object.GetSourceText().Str()));
    EXPECT_EQ("\n\n", object.GetSourceText().Str().substr(object.GetSourceText().Length() - 2));

    TestObject bare(nullptr, nullptr);
    const std::vector<std::string> lines = Lines(bare.GetSourceText().Str());
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ("include \"gs.gs\"", lines[2]);
    EXPECT_EQ("class CustomObject isclass GameObject", lines[4]);
}

TEST_F(ScriptableObjectTest, BlankTextClearsTheSourceAndTheGeneratedTextChangesNothing)
{
    TestObject object(nullptr, spec_.get());
    object.SetSourceText(object.GetSourceText());
    EXPECT_TRUE(object.StoredSourceText().Empty());
    object.SetSourceText(Nyx::String("class X {};"));
    EXPECT_EQ("class X {};", object.StoredSourceText().Str());
    object.SetSourceText(object.GetSourceText().Str() == "class X {};" ? Nyx::String(" \t\r\n ") : Nyx::String());
    EXPECT_TRUE(object.StoredSourceText().Empty());

    // The stored text travels as a string record.
    object.SetSourceText(Nyx::String("class Y {};"));
    TBuffer stream;
    object.SaveSourceText(stream);
    stream.Rewind();
    TestObject other(nullptr, nullptr);
    other.LoadSourceText(stream);
    EXPECT_EQ("class Y {};", other.StoredSourceText().Str());
}

TEST_F(ScriptableObjectTest, WithoutSourceOrSpecTheObjectStaysFailed)
{
    TestObject object(&context_, nullptr);
    EXPECT_EQ(1u, context_.WaitingClients().Count());
    context_.RunPending();
    EXPECT_EQ(0u, context_.WaitingClients().Count());
    EXPECT_TRUE(object.Failed());
    EXPECT_EQ(nullptr, object.Instance());
    EXPECT_TRUE(object.hooks.empty());
    EXPECT_EQ(DelayedInitClient::kPhase1Done | DelayedInitClient::kPhase2Done | DelayedInitClient::kPhase3Done,
              object.InitState());
}

TEST_F(ScriptableObjectTest, OwnSourceCompilesAndEachPhaseRunsOnceWithInitAndSetProperties)
{
    TestObject object(&context_, spec_.get());
    object.SetSourceText(Nyx::String(CustomSource(kCountingBody)));
    ChunkRef soup;
    TDBContainerTag::SetInt(soup, Nyx::PString("n"), 42);
    object.SetPendingProperties(soup);

    context_.RunPending();
    ASSERT_FALSE(object.Failed());
    ASSERT_NE(nullptr, object.Instance());
    EXPECT_TRUE(object.Attached()) << "in the context's router";
    EXPECT_EQ((std::vector<std::string>{"start", "ready", "done"}), object.hooks);
    EXPECT_EQ(std::optional<int32_t>(1), object.Ask("$int@CustomObject::HasAsset()")) << "Init got its Asset";
    EXPECT_EQ(std::optional<int32_t>(1), object.Ask("$int@CustomObject::Inits()"));
    EXPECT_EQ(std::optional<int32_t>(42), object.Ask("$int@CustomObject::Property()"));
    EXPECT_FALSE(object.PropertiesPending());
    EXPECT_TRUE(CacheIsEmpty()) << "no temporary file outlives the compile";

    context_.RunPending();
    object.RunPendingPhases(&context_);
    EXPECT_EQ(std::optional<int32_t>(1), object.Ask("$int@CustomObject::Inits()"));
}

TEST_F(ScriptableObjectTest, ACompileFailureLeavesTheObjectFailedAndNoTemporaryFile)
{
    TestObject object(&context_, spec_.get());
    object.SetSourceText(Nyx::String(CustomSource("  public void Init(Asset self) { this is not GS; }")));
    context_.RunPending();
    EXPECT_TRUE(object.Failed());
    EXPECT_EQ(nullptr, object.Instance());
    EXPECT_TRUE(object.hooks.empty());
    EXPECT_TRUE(CacheIsEmpty());
}

TEST_F(ScriptableObjectTest, AFailingInitMarksTheObjectFailedAndSkipsTheProperties)
{
    TestObject object(&context_, spec_.get());
    object.SetSourceText(Nyx::String(CustomSource(
        "  public void Init(Asset self) { Soup none; property = none.GetNamedTagAsInt(\"x\"); }\n"
        "  public void SetProperties(Soup soup) { property = 1; }\n"
        "  public int Property(void) { return property; }\n")));
    object.SetPendingProperties(ChunkRef());
    context_.RunPending();
    EXPECT_TRUE(object.Failed());
    EXPECT_EQ((std::vector<std::string>{"start", "ready"}), object.hooks);
    EXPECT_TRUE(object.PropertiesPending());
}

TEST_F(ScriptableObjectTest, ANewSourceAfterPhaseThreeRebuildsTheObject)
{
    TestObject object(&context_, spec_.get());
    object.SetSourceText(Nyx::String(CustomSource(kCountingBody)));
    context_.RunPending();
    ASSERT_EQ(std::optional<int32_t>(1), object.Ask("$int@CustomObject::Inits()"));
    GSClass* before = object.Instance()->cls;

    object.SetSourceText(Nyx::String(CustomSource(std::string(kCountingBody) +
                                                  "  public int Second(void) { return 2; }\n")));
    ASSERT_FALSE(object.Failed());
    ASSERT_NE(nullptr, object.Instance());
    EXPECT_NE(before, object.Instance()->cls);
    EXPECT_EQ(std::optional<int32_t>(2), object.Ask("$int@CustomObject::Second()"));
    EXPECT_EQ(std::optional<int32_t>(1), object.Ask("$int@CustomObject::Inits()")) << "a new instance, Init once";
    EXPECT_TRUE(object.Attached());
    EXPECT_EQ((std::vector<std::string>{"start", "ready", "done", "start", "ready", "done"}), object.hooks);
}

TEST_F(ScriptableObjectTest, AContextThatGoesFirstLetsItsWaitingObjectsGo)
{
    auto context = std::make_unique<KestroScriptContext>(&shared_.machine);
    TestObject object(context.get(), nullptr);
    EXPECT_TRUE(object.InitState() & DelayedInitClient::kWaiting);
    context.reset();
    EXPECT_FALSE(object.InitState() & DelayedInitClient::kWaiting);
}

}  // namespace
