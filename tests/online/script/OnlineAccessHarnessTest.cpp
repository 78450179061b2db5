// A library's OnlineAccess and OnlineGroup through the harness's run mode,
// against the stand-in daemon (profile, ticket, local data) and the Python
// stand-in of the service: stored messages handed over at Connect, the
// post-load limit, collecting, local data, the offline inbox and a group.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/ToolProcess.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "nyx/base/DynamicBuffer.h"
#include "online/MessageStore.h"
#include "online/OnlineStandInServer.h"

namespace {

namespace fs = std::filesystem;

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

constexpr const char* kLibraryScript = R"(include "Library.gs"

class MainLib isclass Library {
};
)";

constexpr const char* kTestScript = R"(include "Kestro.gs"
include "Library.gs"

class Test isclass KestroScriptBase {
  KUID K(string text) {
    Soup s = Constructors.NewSoup();
    s.SetNamedTag("k", text);
    return s.GetNamedTagAsKUID("k");
  }

  // Soups the binary form cannot carry whole: one nested a level deeper
  // than the limit, one with a tag name of 255 bytes (beside a tag "v").
  Soup Deep(void) {
    Soup top = Constructors.NewSoup();
    Soup at = top;
    int i;
    for (i = 0; i <= 1000; i++) {
      Soup next = Constructors.NewSoup();
      at.SetNamedSoup("c", next);
      at = next;
    }
    return top;
  }

  Soup LongNamed(void) {
    string name = "";
    int i;
    for (i = 0; i < 255; i++)
      name = name + "n";
    Soup s = Constructors.NewSoup();
    s.SetNamedTag(name, 1);
    s.SetNamedTag("v", 8);
    return s;
  }

  thread void Refuse(OnlineAccess oa, int which) {
    if (which == 1) oa.SetLocalData("Key", LongNamed());
    if (which == 2) oa.PostOfflineMessage(Deep());
    Log("refusal " + which + " went on");
  }

  thread void Run(void) {
    Library lib = GetLibrary(K("<kuid:600001:1>"));
    string[] words = new string[2];
    words[0] = "hello";
    words[1] = "world";
    Log("echo " + lib.LibraryCallNative("Echo", words, new GSObject[0]));
    SecurityToken token = lib.IssueSecurityToken(K("<kuid:600001:1>"), words);
    Log("token " + lib.Validate(token, lib, "world") + " " + lib.Validate(token, K("<kuid:600001:1>"), "hello"));
    OnlineAccess oa = lib.GetOnlineAccess();
    Log("one object " + (oa == lib.GetOnlineAccess()));
    Soup s = Constructors.NewSoup();
    string name = "x";
    Log("before " + oa.CollectMessage(name, s) + " [" + name + "] " + oa.GetStatus());

    // Asked for before there is a link: the request cannot go out.
    OnlineGroup early = oa.CreateGroup();
    Log("early " + early.GetStatus());
    oa.Connect();
    Log("status at once " + oa.GetStatus());
    int i = 0;
    while (oa.GetStatus() != 7 and i < 1000) {
      Sleep(0.02);
      i++;
    }
    Log("online " + oa.GetStatus() + " " + oa.GetUsername());

    int r = oa.CollectMessage(name, s);
    Log("stored " + r + " [" + name + "] " + s.GetNamedTagAsInt("n"));
    r = oa.CollectMessage(name, s);
    Log("second " + r + " [" + name + "] " + s.GetNamedTagAsInt("n"));
    Log("none " + oa.CollectMessage(name, s) + " [" + name + "]");

    Soup data = Constructors.NewSoup();
    data.SetNamedTag("v", 7);
    oa.SetLocalData("Key", data);
    Soup back = Constructors.NewSoup();
    oa.GetLocalData("KEY", back);
    Log("local " + back.GetNamedTagAsInt("v"));
    Refuse(oa, 1);
    Refuse(oa, 2);

    Soup box = Constructors.NewSoup();
    Log("inbox " + oa.CollectOfflineMessage(box) + " " + box.GetNamedTagAsInt("m"));
    Log("inbox empty " + oa.CollectOfflineMessage(box) + " " + box.CountTags());
    Log("outbox " + oa.PostOfflineMessage(box));

    OnlineGroup g = oa.CreateGroup();
    Log("creating " + g.GetStatus() + " [" + g.GetOnlineGroupCookie() + "]");
    i = 0;
    while (g.GetStatus() != 2 and i < 1000) {
      Sleep(0.02);
      i++;
    }
    Log("group " + g.GetStatus() + " [" + g.GetOnlineGroupCookie() + "]");
    Log("early after " + early.GetStatus());
    g.AddUser("Ann");
    g.AddUser("Ann");
    g.AddUser("ann");
    Log("added " + g.CountUsers() + " " + g.FindUser("ann") + " " + g.FindUser("ANN"));
    i = 0;
    while (g.GetUserStatus(0) != 1 and i < 1000) {
      Sleep(0.02);
      i++;
    }
    Log("users " + g.CountUsers() + " " + g.GetIndexedUser(0) + " " + g.GetUserStatus(0) + " ["
        + g.GetIndexedUser(5) + "] " + g.GetUserStatus(5));
    g.RemoveUser("nobody");
    Soup gm = Constructors.NewSoup();
    gm.SetNamedTag("g", 3);
    Log("group post " + g.PostMessage(gm));
    r = 6;
    i = 0;
    Soup got = Constructors.NewSoup();
    while (r != 0 and i < 1000) {
      Sleep(0.02);
      r = g.CollectMessage(name, got);
      i++;
    }
    Log("group collected " + r + " " + got.GetNamedTagAsInt("g"));
    Log("uncarried posts " + oa.PostMessage("bob", Deep()) + " " + g.PostMessage(LongNamed()));
    oa.GetLocalData("KEY", back);
    Log("local after " + back.GetNamedTagAsInt("v"));
    // The three posts have drained away by now.
    Sleep(3.5);
    int tried = 0;
    int refused = 0;
    i = 0;
    while (i < 62) {
      if (oa.PostMessage("bob", s) == 4)
        refused++;
      else
        tried++;
      i++;
    }
    Log("posts " + tried + " " + refused);
    Sleep(1.2);
    Log("after a second " + oa.PostMessage("bob", s));
    oa.Disconnect();
    Log("after disconnect " + g.GetStatus() + " " + g.PostMessage(gm));
    Soup locked = KestroSystemCall("none", Constructors.NewSoup());
    oa.GetLocalData("key", locked);
    Log("not reached");
  }

  void Main(void) {
    Run();
  }
};
)";

class OnlineAccessHarnessTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        const fs::path root = root_.Path();
        fs::copy_file(BuildFolder() / "bin/scriptapi-harness", root / "bin/scriptapi-harness");
        const fs::path lib = root / "local/lib";
        fs::create_directories(lib);
        std::ofstream(lib / "config.txt") << "kuid <kuid:600001:1>\nusername \"lib\"\nkind \"library\"\n"
                                             "kestro-build 3.5\nscript \"main\"\nclass \"MainLib\"\n"
                                             "native-plugin \"kni-echo\"\n";
        fs::create_directories(root / "bin/plugins");
        fs::copy_file(BuildFolder() / "plugins/kni-echo.so", root / "bin/plugins/kni-echo.so");
        std::ofstream(lib / "main.gs") << kLibraryScript;
        fs::create_directories(root / "cache");
        std::ofstream(root / "cache/offline-inbox.tbox") << "first\n{\n  m 4\n}\n";
    }

    // Messages for the library that arrived before its object existed: one
    // from a sender that is not locally modified, one from one that is.
    void StoreMessages()
    {
        StoredMessageList list;
        auto plain = std::make_unique<VersionedOnlineMessage>();
        plain->asset = KUID(600001, 1, 0);
        plain->userName = Nyx::String("dave");
        plain->format = 1;
        list.push_back(std::move(plain));
        auto message = std::make_unique<VersionedOnlineMessage>();
        message->asset = KUID(600001, 1, 0);
        message->userName = Nyx::String("carl");
        message->body = ChunkRef(new TDBContainerTag);
        TDBContainerTag::SetInt(message->body, Nyx::PString("n"), 9);
        message->format = 1;
        message->senderModified = true;
        list.push_back(std::move(message));
        TBuffer bytes;
        WriteStoredMessages(bytes, list);
        std::ofstream(fs::path(root_.Path()) / "cache/oa_messages.dat", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.GetBuffer()->Data()), bytes.GetBuffer()->DataLength());
    }

    // The daemon's state: the profile, the ticket and whether the library
    // counts as locally modified.
    void WriteState(bool modified)
    {
        std::ofstream(fs::path(root_.Path()) / "kaddaemon-state.txt")
            << "online-profile \"ann\"\r\nonline-ticket \"t-1\"\r\nassets\r\n{\r\n  0\r\n  {\r\n"
            << "    kuid <kuid:600001:1>\r\n    modified " << (modified ? 1 : 0) << "\r\n  }\r\n}\r\n";
    }

    ProcessResult RunScript()
    {
        const std::string file = root_.Path() + "/online.gs";
        std::ofstream(file) << kTestScript;
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

    onlinetest::ServicePortLock port_;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(OnlineAccessHarnessTest, LogsInPostsCollectsKeepsLocalDataAndOpensAGroup)
{
    onlinetest::OnlineStandInServer online(output_.Path() + "/record.jsonl");
    ASSERT_TRUE(online.Ready());
    WriteState(false);
    StoreMessages();
    const ProcessResult run = RunScript();
    EXPECT_EQ(0, run.exitCode) << run.out;
    for (const char* line : {
             "ScriptLog> echo hello,world",
             "ScriptLog> token true true",
             "ScriptLog> one object true",
             "ScriptLog> before 1 [] 0",
             "ScriptLog> early 0",
             "ScriptLog> status at once 0",
             "ScriptLog> online 7 ann",
             "OnlineAccessClientEndpoint::AddClient> replaying stored message for <kuid:600001:1>",
             // Not locally modified: both senders are heard.
             "ScriptLog> stored 0 [dave] 0",
             "ScriptLog> second 0 [carl] 9",
             "ScriptLog> none 6 []",
             "ScriptLog> local 7",
             "ScriptLog> inbox 0 4",
             "ScriptLog> inbox empty 0 0",
             "ScriptLog> outbox 0",
             "ScriptLog> creating 1 []",
             "ScriptLog> group 2 [group-1]",
             "ScriptLog> early after 0",
             "ScriptLog> added 2 1 -1",
             "ScriptLog> users 2 Ann 1 [] 0",
             "ScriptLog> group post 0",
             "ScriptLog> group collected 0 3",
             // Refused whole rather than sent or kept without what did not fit.
             "ScriptLog> uncarried posts 4 4",
             "ScriptLog> OnlineAccess.SetLocalData> soup has a tag name too long or is nested too deep",
             "ScriptLog> OnlineAccess.PostOfflineMessage> soup is nested too deep",
             "ScriptLog> local after 7",
             "ScriptLog> posts 61 1",
             "ScriptLog> after a second 0",
             "ScriptLog> after disconnect 3 1",
             "ScriptLog> OnlineAccess.GetLocalData> soup is locked",
         })
        EXPECT_TRUE(Has(run.out, line)) << line << "\n" << run.out;
    EXPECT_FALSE(Has(run.out, "Could not resolve native link")) << run.out;
    EXPECT_FALSE(Has(run.out, "went on")) << run.out;

    // AddUser sent "Ann" and "ann" once each; the second "Ann" and the
    // removal of an absent name sent nothing.
    size_t userChanges = 0;
    for (const std::string& d : online.Received())
        userChanges += d.size() > 2 && d[2] == 23;
    EXPECT_EQ(2u, userChanges);
}

TEST_F(OnlineAccessHarnessTest, ALocallyModifiedAssetHearsOnlyModifiedSenders)
{
    onlinetest::OnlineStandInServer online(output_.Path() + "/record.jsonl");
    ASSERT_TRUE(online.Ready());
    WriteState(true);
    StoreMessages();
    // And no inbox file: there is no inbox to collect from.
    fs::remove(fs::path(root_.Path()) / "cache/offline-inbox.tbox");
    const ProcessResult run = RunScript();
    for (const char* line : {"ScriptLog> stored 0 [carl] 9", "ScriptLog> second 6 [] 9", "ScriptLog> none 6 []",
                             "ScriptLog> inbox 6 0", "ScriptLog> inbox empty 6 0"})
        EXPECT_TRUE(Has(run.out, line)) << line << "\n" << run.out;
}

}  // namespace
