// The Library object and its plug-ins in-process: plug-in files in a data
// root of the test's own, names that would leave the plug-in folder, the
// files closed again when a plug-in cannot serve, the saved form, the type
// code and the icon calls that reach the context.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/kuid/KUID.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "gs/runtime/interp/GSThread.h"
#include "nyx/base/DynamicBuffer.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/library/GSOLibrary.h"
#include "scriptapi/library/GSOLibrarySpec.h"
#include "scriptapi/library/NativeInterface.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

fs::path BuiltPlugins() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "plugins"; }

// Remembers the icon calls a host would show.
class IconContext : public KestroScriptContext {
public:
    struct Call {
        KUID icon;
        std::string text;
        std::string tooltip;
    };
    void SetSystemMenuIcon(GSOLibrary*, const KUID& icon, const Nyx::PString& text,
                           const Nyx::PString& tooltip) override
    {
        calls.push_back({icon, std::string(text.View()), std::string(tooltip.View())});
    }
    std::vector<Call> calls;
};

class LibraryPluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousRoot_ = GetContentRootPath();
        fs::create_directories(fs::path(root_.Path()) / "bin/plugins");
        for (const char* name : {"kni-echo.so", "kni-noentry.so", "kni-zero.so"})
            fs::copy_file(BuiltPlugins() / name, fs::path(root_.Path()) / "bin/plugins" / name);
        // Beside the plug-in folder, where only a name with ".." reaches.
        fs::copy_file(BuiltPlugins() / "kni-echo.so", fs::path(root_.Path()) / "bin/outside.so");
        SetContentRootPath(Nyx::File::Path(root_.Path()));
    }
    void TearDown() override { SetContentRootPath(previousRoot_); }

    std::string PluginFile(const std::string& name) const { return root_.Path() + "/bin/plugins/" + name + ".so"; }

    // Whether the process still has the file loaded.
    static bool Loaded(const std::string& path)
    {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle)
            ::dlclose(handle);
        return handle != nullptr;
    }

    TempFolder root_;
    Nyx::File::Path previousRoot_;
};

TEST_F(LibraryPluginTest, EchoAnswersItsStringsAndTheFileStaysOpenWhileTheHandleLives)
{
    KestroScriptContext context;
    KNIObject* plugin = KestroScriptContext::LoadNativePlugin(&context, Nyx::PString("kni-echo"));
    ASSERT_NE(nullptr, plugin);
    EXPECT_TRUE(Loaded(PluginFile("kni-echo")));
    EXPECT_EQ(KNI_CLASS_LIBRARY, KNIGetObjectClass(plugin));

    KNIObject* name = KNIAllocString("Echo");
    KNIObject* arguments = KNIAllocArray(3);
    KNIObject* a = KNIAllocString("a");
    KNIObject* c = KNIAllocString("c");
    EXPECT_EQ(1, KNISetArrayElement(arguments, 0, a));
    EXPECT_EQ(1, KNISetArrayElement(arguments, 2, c));
    EXPECT_EQ(0, KNISetArrayElement(arguments, 3, a));
    KNIRelease(a);
    KNIRelease(c);
    KNIObject* answer = KNICallLibraryFunction(plugin, name, arguments);
    ASSERT_EQ(KNI_CLASS_STRING, KNIGetObjectClass(answer));
    EXPECT_STREQ("a,,c", KNIGetStringText(answer));
    KNIRelease(answer);
    KNIRelease(arguments);
    KNIRelease(name);

    KNIRelease(plugin);
    EXPECT_FALSE(Loaded(PluginFile("kni-echo")));
}

TEST_F(LibraryPluginTest, APluginThatCannotServeIsClosedAgain)
{
    KestroScriptContext context;
    // The null KUID is answered before any lookup.
    EXPECT_EQ(nullptr, context.GetScriptLibrary(KUID::Null));
    for (const char* name : {"kni-noentry", "kni-zero", "kni-missing"}) {
        EXPECT_EQ(nullptr, KestroScriptContext::LoadNativePlugin(&context, Nyx::PString(name))) << name;
        EXPECT_FALSE(Loaded(PluginFile(name))) << name;
    }
}

TEST_F(LibraryPluginTest, NamesThatCouldLeaveThePluginFolderAreRefused)
{
    struct Case {
        const char* name;
        bool allowed;
    };
    const Case cases[] = {
        {"kni-echo", true},    {"a.b", true},          {"", false},          {"../outside", false},
        {"..", false},         {"sub/kni-echo", false}, {"sub\\x", false},    {"/tmp/x", false},
        {"x..y", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.allowed, KestroScriptContext::PluginNameAllowed(c.name)) << c.name;

    // The file is there: only the name keeps it from loading.
    KestroScriptContext context;
    EXPECT_EQ(nullptr, KestroScriptContext::LoadNativePlugin(&context, Nyx::PString("../outside")));
    EXPECT_FALSE(Loaded(root_.Path() + "/bin/outside.so"));
}

TEST_F(LibraryPluginTest, SavedFormTypeCodeAndIconCalls)
{
    const int32_t objects = KNILiveObjects();
    {
        IconContext context;
        ChunkRef config(new TDBContainerTag);
        TDBContainerTag::SetString(config, Nyx::PString("native-plugin"), Nyx::PString("kni-echo"));
        GSOLibrarySpec spec(KUID(600001, 9, 0), Nyx::PString(), Nyx::String(), Nyx::String(), config);
        EXPECT_EQ("kni-echo", std::string(spec.PluginName().View()));
        EXPECT_EQ(0, spec.ParentLookup());
        {
            GSOLibrary library(&context, &spec);
            EXPECT_EQ(1, spec.ReferenceCount());
            EXPECT_NE(nullptr, library.Plugin());
            EXPECT_EQ(0x67736C62u, library.GetTypeCode());
            EXPECT_EQ(KUID(600001, 9, 0), library.GetKUID());

            // Without a script there are no properties: a u32 0 and an
            // empty binary config, which loads back past the word.
            TBuffer saved;
            library.Save(saved);
            const Nyx::DynamicBuffer* bytes = saved.GetBuffer();
            ASSERT_GE(bytes->DataLength(), 8u);
            EXPECT_EQ(0, std::memcmp(bytes->Data(), "\0\0\0\0ACS$", 8));
            saved.SeekRaw(0, SEEK_SET);
            library.Load(saved);
            EXPECT_FALSE(library.PropertiesPending());
            EXPECT_EQ(saved.Tell(), bytes->DataLength());

            GSRuntime::GSThread thread(nullptr, 0);
            library.NativeRemoveSystemMenuIcon(thread);
        }
        EXPECT_EQ(0, spec.ReferenceCount());
        ASSERT_EQ(2u, context.calls.size());
        for (const IconContext::Call& call : context.calls) {
            EXPECT_EQ(KUID(-1, -1, 127), call.icon);
            EXPECT_EQ("", call.text);
            EXPECT_EQ("", call.tooltip);
        }
    }
    EXPECT_EQ(objects, KNILiveObjects());
}

}  // namespace
