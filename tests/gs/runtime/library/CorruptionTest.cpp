// Library images broken one field at a time: each index and offset one past
// its range, each count huge. None may load, and none may read or write
// outside the image (the sanitizers watch).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/streams/LittleEndian.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/RuntimeTestSupport.h"
#include "gs/runtime/ScriptWorld.h"

namespace {

const LibraryId kId{0xC0, 0xC1};

// One of every record kind: two classes, a base, object locals, a line
// table, members, initialisers of both kinds, object fields.
GSLibraryBuilder Rich()
{
    GSLibraryBuilder b("rich.gs", kId.low, kId.high);
    b.AddClass("Base", {"$void@Base::Go()"});
    size_t x = b.AddClass("X", {"$int@X::Count(int,string)"});
    GSLibraryBuilder::Class& c = b.classes[x];
    c.bases.push_back({0, 4});
    c.fieldCount = 9;
    c.members = 2;
    c.initialisers = {{0, 4, uint32_t(-4)}, {1, 5, 1}, {1, 1, 0}};
    c.objectFields = {2, 3};
    c.methods.push_back({0, 4});
    GSLibraryBuilder::Function& f = c.functions[0];
    f.parameters = 3;
    f.locals = 2;
    f.returnType = 2;
    f.objectLocals = {2, 4};
    f.code = CodeBytes().Op(31).U16(1).Op(73).U16(0).Op(38).Op(110);
    f.lines = {{0, 3}, {3, 4}};
    return b;
}

constexpr int kNotAdded = 99;

// 0 when the image loads (and then `use` gets the library), else the link
// result, or kNotAdded when the machine would not even register it.
int LoadResult(const std::vector<uint8_t>& image,
               const std::function<void(GSMachine&, GSRuntime::GSLibrary&)>& use = {})
{
    TestMachine t;
    TempFolder dir;
    LogCapture quiet;
    dir.Write("rich.gsl", Bytes(image));
    LibraryId id;
    if (!t.machine.AddLibrary(Nyx::PString(dir.Path()), "", "rich.gsl", &id))
        return kNotAdded;
    int result = 1;
    GSRuntime::GSLibrary* lib = t.machine.LoadLibrary(id, &result);
    if (lib && use)
        use(t.machine, *lib);
    return lib ? 0 : result;
}

struct CountRun {
    bool ran = false;  // the class and its function were there to run
    GSRuntime::GSExitCode code = GSRuntime::ER_Done;
    GSRuntime::GSSlot value = 0;
};

// X::Count(7, null) on an object of X, to its end; it gives back its first
// parameter.
CountRun RunCount(GSMachine& machine, GSRuntime::GSLibrary& library)
{
    using namespace GSRuntime;
    CountRun run;
    GSClass* x = library.FindClass("X");
    GSFunction* f = x ? x->OwnFunction("$int@X::Count(int,string)") : nullptr;
    if (!f)
        return run;
    GSContext context(&machine);
    GSObject object;
    if (!object.AttachClass(x, &context))
        return run;
    GSThread thread(nullptr, GSThread::kStaticThread);
    thread.stack.PushInstance(object.GetInstance(), true);
    thread.stack.PushInt(7);
    thread.stack.Push(0);
    if (!thread.stack.Call(*f, 0))
        return run;
    run.ran = true;
    run.code = thread.Execute(0.0f);
    if (run.code == ER_Done)
        run.value = *thread.stack.top;
    return run;
}

}  // namespace

TEST(CorruptionTest, TheRichImageLoads)
{
    GSLibraryBuilder b = Rich();
    CountRun run;
    EXPECT_EQ(LoadResult(b.Build(), [&](GSMachine& m, GSRuntime::GSLibrary& lib) { run = RunCount(m, lib); }), 0);
    EXPECT_TRUE(run.ran);
    EXPECT_EQ(run.code, GSRuntime::ER_Done);
    EXPECT_EQ(run.value, 7);
}

TEST(CorruptionTest, EachFieldPastItsRange)
{
    GSLibraryBuilder b = Rich();
    const std::vector<uint8_t> image = b.Build();
    const uint32_t strings = uint32_t(b.strings.size());
    const uint32_t huge = 0x40000000, all = 0xFFFFFFFF;
    struct Case {
        const char* field;
        uint32_t value;
    };
    const Case cases[] = {
        {"header.nameLength", huge},
        {"header.nameLength", all},
        {"header.nameLength", uint32_t(image.size())},
        {"deps.length", 4},
        {"deps.length", huge},
        {"deps.tag", 3},
        {"deps.count", huge},
        {"deps.count", all},
        {"strings.length", huge},
        {"strings.count", huge},
        {"strings.count", all},
        {"strings.offset0", 10000},
        {"strings.offset1", all},
        {"classrefs.count", huge},
        {"classref0.dependency", 1},
        {"classref0.name", strings},
        {"funcrefs.count", huge},
        {"funcref0.classRef", 3},
        {"funcref0.name", strings},
        {"classes.count", huge},
        {"classes.count", all},
        {"class1.length", huge},
        {"class1.tag", 8},
        {"class1.name", strings},
        {"class1.baseCount", huge},
        {"class1.base0.classRef", 3},
        {"class1.base0.offset", 8},
        {"class1.functions.length", 8},
        {"class1.functions.count", huge},
        {"class1.fn0.length", huge},
        {"class1.fn0.name", strings},
        {"class1.fn0.returnClassRef", 3},
        {"class1.fn0.returnClassRef", uint32_t(-2)},
        {"class1.fn0.methodSlot", 2},
        {"class1.fn0.frame0", 7},
        {"class1.fn0.frame1", 0},
        {"class1.fn0.frame2", 0},
        {"class1.fn0.frame3", 1025},
        {"class1.fn0.frame3", 5},
        {"class1.fn0.parameters", 0},
        {"class1.fn0.parameters", huge},
        {"class1.fn0.objectLocals.count", huge},
        {"class1.fn0.objectLocal0", 0},
        {"class1.fn0.objectLocal0", 5},
        {"class1.fn0.objectLocal1", 2},
        {"class1.fn0.codeSize", huge},
        {"class1.fn0.codeSize", 100},
        {"class1.fn0.lines.count", huge},
        {"class1.members.count", huge},
        {"class1.methods.count", huge},
        {"class1.method0.ref", 2},
        {"class1.method0.offset", 8},
        {"class1.fieldCount", 1},
        {"class1.inits.count", huge},
        {"class1.init0.field", 9},
        {"class1.init1.value", 3},
        {"class1.objectFields.count", huge},
        {"class1.objectField0", 9},
        {"class1.objectField0", 1},
        {"class1.layout.length", huge},
        {"class1.layout.tag", 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.field << " = " << c.value);
        auto at = b.marks.find(c.field);
        ASSERT_NE(at, b.marks.end());
        std::vector<uint8_t> broken = image;
        StoreLE32(broken.data() + at->second, c.value);
        EXPECT_EQ(LoadResult(broken), GSMachine::kMalformed);
    }
}

namespace {

// Gives function `fn` of class `cls` another signature, and the function
// references that named it the new one too.
void Resign(GSLibraryBuilder& b, size_t cls, size_t fn, const std::string& signature)
{
    GSLibraryBuilder::Function& f = b.classes[cls].functions[fn];
    const uint32_t old = b.Str(f.signature);
    f.signature = signature;
    for (GSLibraryBuilder::FunctionRef& ref : b.functionRefs) {
        if (ref.name == old)
            ref.name = b.Str(signature);
    }
}

}  // namespace

// Records whose words agree with each other but not with the signature
// that native code calls them by, and method tables whose slots give
// another function than the one a part's code was compiled against.
TEST(CorruptionTest, RecordsMustSayWhatTheirSignaturesSay)
{
    struct Case {
        const char* what;
        void (*change)(GSLibraryBuilder&);
        int result;
    };
    // Class 0 is Base with "$void@Base::Go()"; class 1 is X with
    // "$int@X::Count(int,string)", whose own locals 3 and 4 follow.
    const Case cases[] = {
        {"a string where the signature returns int",
         [](GSLibraryBuilder& b) { b.classes[1].functions[0].returnType = 4; }, GSMachine::kMalformed},
        {"a value where the signature returns none",
         [](GSLibraryBuilder& b) { b.classes[0].functions[0].returnType = 2; }, GSMachine::kMalformed},
        {"a parameter more than the signature names",
         [](GSLibraryBuilder& b) { b.classes[1].functions[0].parameters = 4; }, GSMachine::kMalformed},
        {"a parameter fewer", [](GSLibraryBuilder& b) { Resign(b, 1, 0, "$int@X::Count(int,string,int)"); },
         GSMachine::kMalformed},
        {"a string parameter the frame does not release",
         [](GSLibraryBuilder& b) { b.classes[1].functions[0].objectLocals = {4}; }, GSMachine::kMalformed},
        {"an int parameter the frame releases",
         [](GSLibraryBuilder& b) { b.classes[1].functions[0].objectLocals = {1, 2, 4}; }, GSMachine::kMalformed},
        {"a void parameter the frame releases",
         [](GSLibraryBuilder& b) {
             Resign(b, 1, 0, "$int@X::Count(void,string)");
             b.classes[1].functions[0].objectLocals = {1, 2};
         },
         GSMachine::kMalformed},
        {"a return class for an int", [](GSLibraryBuilder& b) { b.classes[1].functions[0].returnClassRef = 0; },
         GSMachine::kMalformed},
        {"a return class other than the signature's",
         [](GSLibraryBuilder& b) {
             Resign(b, 1, 0, "$Base@X::Count(int,string)");
             b.classes[1].functions[0].returnType = 5;
             b.classes[1].functions[0].returnClassRef = 1;
         },
         GSMachine::kMalformed},
        {"the signature's own return class",
         [](GSLibraryBuilder& b) {
             Resign(b, 1, 0, "$Base[]@X::Count(int,string)");
             b.classes[1].functions[0].returnType = 11;
             b.classes[1].functions[0].returnClassRef = 0;
         },
         0},
        {"a signature without its argument list", [](GSLibraryBuilder& b) { Resign(b, 1, 0, "$int@X::Count"); },
         GSMachine::kMalformed},
        {"a signature without its scope", [](GSLibraryBuilder& b) { Resign(b, 1, 0, "$int@Count(int,string)"); },
         GSMachine::kMalformed},
        {"a native with code", [](GSLibraryBuilder& b) { b.classes[1].functions[0].flags = 2; }, GSMachine::kMalformed},
        {"a thread that returns a value", [](GSLibraryBuilder& b) { b.classes[1].functions[0].flags = 16; },
         GSMachine::kMalformed},
        {"a native thread",
         [](GSLibraryBuilder& b) {
             b.classes[0].functions[0].flags = 2 | 16;
             b.classes[0].functions[0].code = {};
         },
         GSMachine::kMalformed},
        {"an own method slot holding the base's function",
         [](GSLibraryBuilder& b) { b.classes[1].functions[0].methodSlot = 1; }, GSMachine::kLinkFailed},
        {"a base part's table starting at the class's own function",
         [](GSLibraryBuilder& b) { b.classes[1].initialisers[1].value = 0; }, GSMachine::kLinkFailed},
        {"a base part's table running past the class's",
         [](GSLibraryBuilder& b) { b.classes[1].initialisers[1].value = 2; }, GSMachine::kLinkFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GSLibraryBuilder b = Rich();
        c.change(b);
        EXPECT_EQ(LoadResult(b.Build()), c.result);
    }
}

TEST(CorruptionTest, StringsAndNamesMustEndInsideTheirRecords)
{
    GSLibraryBuilder b = Rich();
    std::vector<uint8_t> image = b.Build();
    // The header name without its NUL.
    std::vector<uint8_t> name = image;
    name[b.marks["header.nameLength"] + 4 + b.name.size()] = 'x';
    EXPECT_EQ(LoadResult(name), GSMachine::kMalformed);
    // The last string running into the end of its section.
    std::vector<uint8_t> last = image;
    const size_t stringsEnd = b.marks["classrefs.length"];
    for (size_t i = stringsEnd - 4; i < stringsEnd; ++i)
        last[i] = 'z';
    EXPECT_EQ(LoadResult(last), GSMachine::kMalformed);
}

TEST(CorruptionTest, EveryTruncationFails)
{
    GSLibraryBuilder b = Rich();
    const std::vector<uint8_t> image = b.Build();
    for (size_t size = 20; size < image.size(); ++size) {
        std::vector<uint8_t> cut(image.begin(), image.begin() + size);
        ASSERT_EQ(LoadResult(cut), GSMachine::kMalformed) << size;
    }
}

// A flipped byte either gets the image refused, or what loads has passed
// every check and runs: the function ends with one of the machine's exit
// codes, a wild jump or a stack gone wrong included (the sanitizers watch
// the rest).
TEST(CorruptionTest, FlippedBytesNeverCrash)
{
    GSLibraryBuilder b = Rich();
    const std::vector<uint8_t> image = b.Build();
    LimitsGuard limits;
    GSRuntime::RunLimits().jumpBudget = 1000;
    size_t loaded = 0, ran = 0;
    for (size_t at = 20; at < image.size(); ++at) {
        for (uint8_t mask : {0x01, 0x80, 0xFF}) {
            SCOPED_TRACE(::testing::Message() << "byte " << at << " ^ " << int(mask));
            std::vector<uint8_t> flipped = image;
            flipped[at] ^= mask;
            CountRun run;
            const int result = LoadResult(flipped, [&](GSMachine& m, GSRuntime::GSLibrary& lib) {
                run = RunCount(m, lib);
            });
            if (result != 0) {
                EXPECT_TRUE(result == GSMachine::kMalformed || result == GSMachine::kDependencyFailed ||
                            result == GSMachine::kLinkFailed || result == kNotAdded)
                    << result;
                continue;
            }
            ++loaded;
            if (!run.ran)
                continue;
            ++ran;
            EXPECT_GE(int(run.code), int(GSRuntime::ER_Done));
            EXPECT_LE(int(run.code), int(GSRuntime::ER_Timeout));
        }
    }
    // Bytes that change nothing the loader checks (a line number, a
    // string's letter) leave a library that loads and runs.
    EXPECT_GT(loaded, 0u);
    EXPECT_GT(ran, 0u);
}
