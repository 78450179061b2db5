// Finding and reading sources through the include-path list, and the
// compile of a file with its includes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/compress/Crc32.h"
#include "gs/compiler/CompilerTestSupport.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/scan/ReadAndParseSource.h"
#include "gs/support/store/LibraryNameCrc.h"
#include "gs/support/store/ScriptFileStore.h"
#include "support/TempFolder.h"

using namespace GSCompiler;

namespace {

// The process-wide search list, emptied again when the test ends.
class SearchList {
public:
    explicit SearchList(const std::vector<std::string>& folders, const char* container = nullptr)
    {
        IncludePathList::Global().Clear();
        for (const std::string& folder : folders)
            IncludePathList::Global().Append(Nyx::File::Path(folder), Nyx::PString(container));
    }
    ~SearchList() { IncludePathList::Global().Clear(); }
};

struct Read {
    int result = -1;
    int errors = 0;
    std::vector<std::string> messages;
    std::string tree;
    uint32_t sourceCrc = 0;
    uint32_t nameCrc = 0;
};

Read ReadSource(const std::string& name)
{
    CompileSession sink;
    SourceContext context;
    context.Init(nullptr, &sink);
    Read r;
    r.result = ReadAndParseSource(name, context);
    r.errors = context.ErrorCount();
    r.messages = gstest::TakeLines(sink);
    r.tree = gstest::Tree(context.Declarations());
    r.sourceCrc = context.SourceCrc();
    r.nameCrc = context.FileNameCrc();
    EXPECT_EQ(SourceContext::Current(), nullptr);
    EXPECT_EQ(Scanner::Current(), nullptr);
    return r;
}

void WriteScrambled(const TempFolder& dir, const std::string& name, const std::string& text)
{
    dir.Write("plain-for-scrambling.gs", text);
    std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
    ScriptFileStore store;
    ASSERT_TRUE(store.Open(Nyx::PString(), Nyx::File::Path(dir / "plain-for-scrambling.gs")));
    ASSERT_TRUE(store.Save(Nyx::PString(), Nyx::File::Path(dir / name)));
    std::filesystem::remove(dir / "plain-for-scrambling.gs");
}

uint32_t TextCrc(const std::string& text) { return Crc32(text.data(), static_cast<uint32_t>(text.size())); }

}  // namespace

TEST(SourceReadingTest, TheFirstFolderHoldingTheFileWins)
{
    TempFolder dir;
    dir.Write("one/a.gs", "class One {};");
    dir.Write("two/a.gs", "class Two {};");
    dir.Write("two/b.gs", "class B {};");
    SearchList list({dir / "none", dir / "one", dir / "two"});
    Read a = ReadSource("a.gs");
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.tree, "Class(Name:One)");
    EXPECT_EQ(a.sourceCrc, TextCrc("class One {};"));
    EXPECT_EQ(a.nameCrc, Crc32LowerCase("a.gs"));
    EXPECT_EQ(ReadSource("b.gs").tree, "Class(Name:B)");

    // A folder pushed in front is searched before all others.
    dir.Write("front/a.gs", "class Front {};");
    IncludePathList::Global().PushFront(Nyx::File::Path(dir / "front"));
    EXPECT_EQ(ReadSource("a.gs").tree, "Class(Name:Front)");
}

TEST(SourceReadingTest, AScrambledFormStandsInForAMissingPlainOne)
{
    TempFolder dir;
    WriteScrambled(dir, "two/a.gse", "class Scrambled {};");
    dir.Write("three/a.gs", "class Plain {};");
    SearchList list({dir / "one", dir / "two", dir / "three"});
    Read a = ReadSource("a.gs");
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.tree, "Class(Name:Scrambled)");
    EXPECT_EQ(a.sourceCrc, TextCrc("class Scrambled {};"));
    EXPECT_EQ(a.nameCrc, LibraryNameCrc("a.gse"));
    EXPECT_EQ(a.nameCrc, Crc32LowerCase("a.gs"));
}

TEST(SourceReadingTest, UnreadableSources)
{
    TempFolder dir;
    dir.Write("mark.gs", "\xEF\xBB\xBF");
    dir.Write("marked.gs", "\xEF\xBB\xBF" "class A {};");
    dir.Write("twobytes.gs", "\xEF\xBB");
    // A scrambled file whose packed form does not unpack.
    dir.Write("broken.gse", std::string("\1\0\0\0\0\0\0\0\x08\0\0\0\0\0\0\0", 16) + "garbage!");
    dir.Write("notes.txt", "class A {};");
    SearchList list({dir.Path()});
    struct Case {
        const char* name;
        int errors;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"missing.gs", 1, {"Could not read file  missing.gs."}},
        {"mark.gs", 1, {"'mark.gs' appears to be UTF-8 encoded, please resave as ANSI."}},
        {"marked.gs", 1, {"'marked.gs' appears to be UTF-8 encoded, please resave as ANSI."}},
        {"twobytes.gs", 2, {"twobytes.gs(1) : parse error, line 1"}},
        {"broken.gs", 1, {}},
        {"notes.txt", 1, {"Could not read file  notes.txt."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Read r = ReadSource(c.name);
        EXPECT_EQ(r.result, 1);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_EQ(r.messages, c.messages);
    }
}

TEST(SourceReadingTest, TheMessageNamesTheLastContainerTried)
{
    TempFolder dir;
    dir.Write("mounted/a.gs", "class InMount {};");
    Nyx::File::Subst::Add(Nyx::PString("scriptmount"), Nyx::File::Path(dir / "mounted"));
    {
        SearchList list({""}, "scriptmount");
        EXPECT_EQ(ReadSource("a.gs").tree, "Class(Name:InMount)");
        EXPECT_EQ(ReadSource("b.gs").messages, std::vector<std::string>{"Could not read file scriptmount b.gs."});
    }
    Nyx::File::Subst::Remove(Nyx::PString("scriptmount"));
    SearchList none({});
    EXPECT_EQ(ReadSource("a.gs").messages, std::vector<std::string>{"Could not read file  a.gs."});
}

TEST(SourceReadingTest, AFileIsFoundWhateverTheCaseOfItsNameOnDisk)
{
    TempFolder dir;
    dir.Write("Sub/Mixed.GS", "class Mixed {};");
    SearchList list({dir.Path()});
    Read r = ReadSource("sub/mixed.gs");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.tree, "Class(Name:Mixed)");
    EXPECT_EQ(r.nameCrc, Crc32LowerCase("mixed.gs"));
}

TEST(SourceReadingTest, APrefixIsScannedButLeftOutOfTheChecksum)
{
    TempFolder dir;
    dir.Write("a.gs", "class A { int f() { x = ; } };");
    dir.Write("b.gs", "class B {};");
    WriteScrambled(dir, "c.gse", "class C {};");
    SearchList list({dir.Path()});
    ScriptFileStore::SetPendingPrefix("class P {};\n\n");
    Read b = ReadSource("b.gs");
    EXPECT_EQ(b.tree, "Class(Name:P); Class(Name:B)");
    EXPECT_EQ(b.sourceCrc, TextCrc("class B {};"));
    EXPECT_TRUE(ScriptFileStore::PendingPrefix().empty());

    ScriptFileStore::SetPendingPrefix("class P {};\n\n");
    Read c = ReadSource("c.gs");
    EXPECT_EQ(c.tree, "Class(Name:P); Class(Name:C)");
    EXPECT_EQ(c.sourceCrc, TextCrc("class C {};"));

    // The prefix's lines count.
    ScriptFileStore::SetPendingPrefix("class P {};\n\n");
    EXPECT_EQ(ReadSource("a.gs").messages, std::vector<std::string>{"a.gs(3) : parse error, line 3"});
    ScriptFileStore::SetPendingPrefix("");
}

namespace {

struct Compiled {
    int errors = 0;
    std::vector<std::string> messages;
    std::vector<std::string> dependencies;  // "name index" in index order
};

Compiled Compile(const std::string& folder, const std::string& name, bool withSink = true)
{
    SearchList list({folder});
    CompileSession sink;
    CompilerState state;
    Compiled c;
    c.errors = CompileProgram(name, state, withSink ? &sink : nullptr);
    c.messages = gstest::TakeLines(sink);
    for (const char* file : {"top.gs", "a.gs", "b.gs", "c.gs", "x.gs", "missing.gs"}) {
        if (GSDependentSymbol* d = state.Symbols().FindDependency(file)) {
            if (c.dependencies.size() <= size_t(d->index))
                c.dependencies.resize(d->index + 1);
            c.dependencies[d->index] = file;
        }
    }
    return c;
}

}  // namespace

TEST(SourceReadingTest, IncludesAreCompiledDepthFirstAndOnceEach)
{
    TempFolder dir;
    dir.Write("top.gs", "include \"b.gs\" include \"A.GS\" include \"b.gs\"\nclass Top {};");
    dir.Write("a.gs", "include \"c.gs\" include \"top.gs\"\nclass A {};");
    dir.Write("b.gs", "include \"sub/c.gs\"\nclass B {};");
    dir.Write("sub/c.gs", "include \"a.gs\"\nclass C {};");
    dir.Write("c.gs", "class OtherC {};");
    Compiled c = Compile(dir.Path(), "Top.gs");
    EXPECT_EQ(c.errors, 0);
    EXPECT_TRUE(c.messages.empty());
    // top, then b, then sub/c (known as c.gs), then a; a's "c.gs" is known by then.
    EXPECT_EQ(c.dependencies, (std::vector<std::string>{"top.gs", "b.gs", "c.gs", "a.gs"}));
}

TEST(SourceReadingTest, ErrorsInIncludesAreSummedAndStopTheCompile)
{
    TempFolder dir;
    dir.Write("top.gs", "include \"missing.gs\" include \"a.gs\" include \"missing.gs\"\nclass Top {};");
    dir.Write("a.gs", "class A { x };");
    for (bool withSink : {true, false}) {
        SCOPED_TRACE(withSink);
        Compiled c = Compile(dir.Path(), "top.gs", withSink);
        // A missing file is tried again at its second include.
        EXPECT_EQ(c.errors, 4);
        if (withSink)
            EXPECT_EQ(c.messages, (std::vector<std::string>{"Could not read file  missing.gs.",
                                                            "a.gs(1) : parse error, line 1",
                                                            "Could not read file  missing.gs."}));
        else
            EXPECT_TRUE(c.messages.empty());
    }
}

TEST(SourceReadingTest, AScrambledSourceCompilesUnderItsPlainName)
{
    TempFolder dir;
    WriteScrambled(dir, "x.gse", "class X { int f() { } }");
    Compiled c = Compile(dir.Path(), "x.gse");
    EXPECT_EQ(c.errors, 2);
    EXPECT_EQ(c.messages, std::vector<std::string>{"x.gs(1) : parse error, line 1"});
}

TEST(SourceReadingTest, CompileToLibraryFileUsesTheListAsItIs)
{
    TempFolder dir;
    dir.Write("lib/x.gs", "class X {};");
    SearchList list({dir / "lib"});
    CompileSession sink;
    EXPECT_EQ(CompileToLibraryFile(&sink, nullptr, nullptr), 0);
    // Without an output path the image is built and dropped.
    EXPECT_EQ(CompileToLibraryFile(&sink, "x.gs", nullptr), 0);
    EXPECT_EQ(CompileToLibraryFile(nullptr, "x.gs", nullptr), 0);
    EXPECT_TRUE(gstest::TakeLines(sink).empty());
    EXPECT_FALSE(dir.Has("lib/x.gsl"));
    ASSERT_EQ(IncludePathList::Global().Items().size(), 1u);
}

TEST(SourceReadingTest, CompileScriptFileSearchesTheSourceFolderFirst)
{
    TempFolder dir;
    dir.Write("src/top.gs", "include \"a.gs\" include \"b.gs\"\nclass Top {};");
    dir.Write("src/a.gs", "class A {};");
    dir.Write("inc1/a.gs", "class A { broken };");
    dir.Write("inc1/b.gs", "class B {};");
    dir.Write("inc2/b.gs", "class B { broken };");
    IncludePathList includes;
    includes.Append(Nyx::File::Path(dir / "inc1"));
    includes.Append(Nyx::File::Path(dir / "inc2"));
    CompileSession sink;
    EXPECT_EQ(CompileScriptFile(dir / "src/top.gs", nullptr, includes, &sink), 0);
    EXPECT_TRUE(gstest::TakeLines(sink).empty());
    EXPECT_TRUE(dir.Has("src/top.gsl"));
    const auto& items = IncludePathList::Global().Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].folder.Str(), dir / "src/");
    IncludePathList::Global().Clear();
}
