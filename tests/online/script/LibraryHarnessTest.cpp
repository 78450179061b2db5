// Library objects and their online access through the harness's run mode,
// as a process in a laid-out data root: library assets with their scripts
// and plug-ins in the stand-in daemon's store, the daemon holding the
// online profile and ticket, and the Python stand-in of the service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/ToolProcess.h"
#include "online/OnlineStandInServer.h"

namespace {

namespace fs = std::filesystem;

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

// Counts Init runs and hands them over as its properties.
constexpr const char* kLibraryScript = R"(include "Kestro.gs"
include "Library.gs"

class MainLib isclass Library {
  int inits = 0;
  public void Init(Asset self) {
    inherited(self);
    inits = inits + 1;
  }
  public Soup GetProperties(void) {
    Soup s = Constructors.NewSoup();
    s.SetNamedTag("inits", inits);
    return s;
  }
};
)";

// Init calls through a null soup.
constexpr const char* kFailingScript = R"(include "Library.gs"

class MainLib isclass Library {
  int property;
  public void Init(Asset self) {
    inherited(self);
    Soup none;
    property = none.GetNamedTagAsInt("x");
  }
};
)";

// Helpers every test script shares: a KUID from its text.
constexpr const char* kScriptHead = R"(include "Kestro.gs"
include "Library.gs"

class Test isclass KestroScriptBase {
  KUID K(string text) {
    Soup s = Constructors.NewSoup();
    s.SetNamedTag("k", text);
    return s.GetNamedTagAsKUID("k");
  }
)";

class LibraryHarnessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        const fs::path root = root_.Path();
        fs::copy_file(BuildFolder() / "bin/scriptapi-harness", root / "bin/scriptapi-harness");
        fs::create_directories(root / "bin/plugins");
        for (const char* name : {"kni-echo.so", "kni-noentry.so", "kni-zero.so"})
            fs::copy_file(BuildFolder() / "plugins" / name, root / "bin/plugins" / name);
        // Where a name with ".." would reach.
        fs::copy_file(BuildFolder() / "plugins/kni-echo.so", root / "bin/outside.so");
        std::ofstream(root / "kaddaemon-state.txt") << "online-profile \"ann\"\r\nonline-ticket \"t-1\"\r\n";

        Library("echo", 1, "kni-echo", kLibraryScript);
        Library("failing", 2, "", kFailingScript);
        Library("plain", 3, "", kLibraryScript);
        Library("refused", 4, "../outside", kLibraryScript);
        Library("noentry", 5, "kni-noentry", kLibraryScript);
        Library("zero", 6, "kni-zero", kLibraryScript);
    }

    void Library(const std::string& folder, int content, const std::string& plugin, const std::string& script)
    {
        const fs::path path = fs::path(root_.Path()) / "local" / folder;
        fs::create_directories(path);
        std::ofstream config(path / "config.txt");
        config << "kuid <kuid:600001:" << content << ">\nusername \"" << folder
               << "\"\nkind \"library\"\nkestro-build 3.5\nscript \"main\"\nclass \"MainLib\"\n";
        if (!plugin.empty())
            config << "native-plugin \"" << plugin << "\"\n";
        std::ofstream(path / "main.gs") << script;
    }

    std::string WriteScript(const std::string& name, const std::string& body)
    {
        const std::string file = root_.Path() + "/" + name;
        std::ofstream(file) << kScriptHead << body << "};\n";
        return file;
    }

    // Runs the script to its end; its output.
    ProcessResult RunScript(const std::string& file)
    {
        const std::string program = root_.Path() + "/bin/scriptapi-harness";
        const std::string out = output_.Path() + "/out";
        childprocess::CommandLine command(program, {"run", file});
        pid_t pid = ::fork();
        if (pid == 0) {
            int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, 1) < 0 || ::dup2(fd, 2) < 0 || ::chdir((root_.Path() + "/elsewhere").c_str()))
                ::_exit(127);
            ::execv(program.c_str(), command.Argv());
            ::_exit(127);
        }
        const int status = childprocess::WaitChild(pid);
        EXPECT_NE(status, -1) << "the harness did not end";
        ProcessResult result;
        if (status != -1 && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = Slurp(out);
        return result;
    }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST_F(LibraryHarnessTest, LibrariesStartOnceCallPluginsAndHandleTokens)
{
    const ProcessResult run = RunScript(WriteScript("libs.gs", R"(
  void Main(void) {
    Library a = GetLibrary(K("<kuid:600001:1>"));
    Library again = GetLibrary(K("<kuid:600001:1>"));
    Log("same " + (a == again) + " inits " + a.GetProperties().GetNamedTagAsInt("inits"));
    Log("failing null " + (GetLibrary(K("<kuid:600001:2>")) == null));
    Log("missing null " + (GetLibrary(K("<kuid:600001:99>")) == null));

    string[] args = new string[3];
    args[0] = "a";
    args[2] = "c";
    GSObject[] objects = new GSObject[0];
    Log("echo [" + a.LibraryCallNative("Echo", args, objects) + "]");
    Log("count [" + a.LibraryCallNative("Count", new string[0], objects) + "]");
    Log("other [" + a.LibraryCallNative("Other", args, objects) + "]");
    Library plain = GetLibrary(K("<kuid:600001:3>"));
    Log("plain [" + plain.LibraryCallNative("Echo", args, objects) + "]");
    Library refused = GetLibrary(K("<kuid:600001:4>"));
    Log("refused [" + refused.LibraryCallNative("Echo", args, objects) + "]");
    Log("noentry [" + GetLibrary(K("<kuid:600001:5>")).LibraryCallNative("Echo", args, objects) + "]");
    Log("zero [" + GetLibrary(K("<kuid:600001:6>")).LibraryCallNative("Echo", args, objects) + "]");

    string[] rights = new string[2];
    rights[0] = "read";
    rights[1] = "duplicate-token";
    SecurityToken t = a.IssueSecurityToken(K("<kuid:600001:3>"), rights);
    Log("by library " + plain.Validate(t, a, "read") + " " + plain.Validate(t, a, "write") + " "
        + refused.Validate(t, a, "read"));
    Log("by kuid " + plain.Validate(t, K("<kuid:600001:1>"), "read") + " "
        + plain.Validate(t, K("<kuid:600001:99>"), "read"));
    string[] read = new string[1];
    read[0] = "read";
    SecurityToken copied = plain.IssueSecurityToken(t, K("<kuid:600001:4>"), read);
    SecurityToken denied = refused.IssueSecurityToken(t, K("<kuid:600001:3>"), read);
    Log("reissue " + (copied != null) + " " + (denied == null));
    SecurityToken narrowed = a.IssueSecurityToken(t, K("<kuid:600001:4>"), read);
    Log("issuer reissue " + plain.Validate(narrowed, a, "duplicate-token"));
    SecurityToken other = plain.IssueSecurityToken(K("<kuid:600001:4>"), read);
    SecurityToken[] both = new SecurityToken[2];
    both[0] = t;
    both[1] = other;
    SecurityToken merged = a.MergeSecurityTokens(both);
    Log("merged " + plain.Validate(merged, a, "read") + " " + refused.Validate(merged, plain, "read") + " "
        + refused.Validate(t, plain, "read"));
    a.RemoveSystemMenuIcon();
  }
)"));
    EXPECT_EQ(0, run.exitCode) << run.out;
    for (const char* line :
         {"ScriptLog> same true inits 1", "ScriptLog> failing null true", "ScriptLog> missing null true",
          "ScriptLog> echo [a,,c]", "ScriptLog> count [0]", "ScriptLog> other []", "ScriptLog> plain []",
          "ScriptLog> refused []", "ScriptLog> noentry []", "ScriptLog> zero []",
          "ScriptLog> by library true false false", "ScriptLog> by kuid true false", "ScriptLog> reissue true true",
          "ScriptLog> issuer reissue true", "ScriptLog> merged true true false",
          "KestroScriptContext::GetScriptLibrary> script failure on Library <kuid:600001:2>",
          "KestroScriptContext::GetScriptLibrary> unable to find Library <kuid:600001:99>",
          "KestroScriptContext::LoadNativePlugin> refused plug-in name '../outside'",
          "GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue security token (<kuid:600001:4>)"})
        EXPECT_TRUE(Has(run.out, line)) << line << "\n" << run.out;
    // Each library without a plug-in reports each call.
    EXPECT_EQ(1u, CountOf(run.out, "Library.LibraryCall> unknown function 'Echo' was called on object '<kuid:600001:3>"))
        << run.out;
    EXPECT_EQ(4u, CountOf(run.out, "Library.LibraryCall> unknown function 'Echo'")) << run.out;
    EXPECT_FALSE(Has(run.out, "Could not resolve native link")) << run.out;
}

}  // namespace
