#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/process/Log.h"
#include "core/process/LogSink.h"
#include "nyx/base/Log.h"
#include "support/TempFolder.h"

namespace {

// Sends standard output (the descriptor) to a file for a while.
class StdoutCapture {
public:
    explicit StdoutCapture(const TempFolder& folder) : path_(folder / "stdout.txt")
    {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~StdoutCapture() { Restore(); }
    std::string Take()
    {
        Restore();
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    void Restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int saved_ = -1;
};

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

// Everything the reader end holds right now.
std::string Drain(int fd)
{
    std::string out;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

}  // namespace

TEST(TextConversionTest, NarrowToWideGivesTheWindows1252CodePoint)
{
    struct Case {
        unsigned byte;
        char16_t wide;
    } cases[] = {
        {0x00, 0x0000}, {0x41, 0x0041}, {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081},
        {0x85, 0x2026}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D},
        {0x96, 0x2013}, {0x9D, 0x009D}, {0xAB, 0x00AB}, {0xB0, 0x00B0}, {0xBB, 0x00BB},
        {0xE9, 0x00E9}, {0xFF, 0x00FF},
    };
    for (const Case& c : cases) {
        std::string narrow(1, static_cast<char>(c.byte));
        EXPECT_EQ(NarrowToWide(narrow), std::u16string(1, c.wide)) << std::hex << c.byte;
    }
    EXPECT_EQ(NarrowToWide("a\x93" "b"), u"a\u201Cb");
}

TEST(TextConversionTest, WideToNarrowKeepsOnlyItsOwnSet)
{
    struct Case {
        char16_t wide;
        char narrow;
    } cases[] = {
        {0x0020, ' '},    {0x0041, 'A'},    {0x007F, '\x7F'}, {0x0009, '\t'},   {0x000A, '\n'},
        {0x000D, '\r'},   {0x00AB, '\xAB'}, {0x00B0, '\xB0'}, {0x00BB, '\xBB'}, {0x2013, '\x96'},
        {0x2018, '\x91'}, {0x2019, '\x92'}, {0x201C, '\x93'}, {0x201D, '\x94'}, {0x2026, '\x85'},
        {0x00E9, '?'},    {0x0001, '?'},    {0x001F, '?'},    {0x0080, '?'},    {0x20AC, '?'},
        {0xD800, '?'},    {0xFFFF, '?'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WideToNarrow(std::u16string(1, c.wide)), std::string(1, c.narrow)) << std::hex << int(c.wide);

    // One byte per character; a NUL inside is a control character like any other.
    EXPECT_EQ(WideToNarrow(std::u16string_view(u"a\0b", 3)), "a?b");
    EXPECT_EQ(WideToNarrow(static_cast<const char16_t*>(nullptr)), "");
    EXPECT_EQ(WideToNarrow(u"x\u2026"), "x\x85");
}

class ConsolePipeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("TMPDIR");
        hadTmp_ = old != nullptr;
        savedTmp_ = old ? old : "";
        ::setenv("TMPDIR", folder_.Path().c_str(), 1);
        name_ = LogSink::ConsolePipeName(::getpid());
        // Process 4321 would listen on ".../4321cout".
        ASSERT_EQ(name_, folder_ / (std::to_string(::getpid()) + "cout"));
    }
    void TearDown() override
    {
        LogSink::CloseConsolePipe();
        if (reader_ >= 0)
            ::close(reader_);
        if (hadTmp_)
            ::setenv("TMPDIR", savedTmp_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    void MakeFifoAndReader()
    {
        ASSERT_EQ(::mkfifo(name_.c_str(), 0600), 0);
        reader_ = ::open(name_.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader_, 0);
        ASSERT_TRUE(LogSink::OpenConsolePipe());
        ASSERT_TRUE(LogSink::PipeConnected());
    }

    TempFolder folder_;
    std::string name_;
    int reader_ = -1;
    bool hadTmp_ = false;
    std::string savedTmp_;
};

TEST_F(ConsolePipeTest, LinesArriveAsUtf16LittleEndian)
{
    MakeFifoAndReader();
    struct Case {
        const char* line;
        std::string bytes;
    } cases[] = {
        {"ab", Bytes({0x61, 0, 0x62, 0, 0x0A, 0})},
        {"", Bytes({0x0A, 0})},
        {"\x93x\xE9\x80", Bytes({0x1C, 0x20, 0x78, 0, 0xE9, 0, 0xAC, 0x20, 0x0A, 0})},
    };
    for (const Case& c : cases) {
        LogSink::Write(c.line);
        EXPECT_EQ(Drain(reader_), c.bytes) << c.line;
    }
}

// Nothing waits for a reader, and a file that bears the name (or another
// user's FIFO) is neither written over nor told the lines.
TEST_F(ConsolePipeTest, WithoutAListeningFifoLinesGoToStandardOutput)
{
    enum class Setup { kNothing, kFifoWithoutReader, kRegularFile };
    for (Setup setup : {Setup::kNothing, Setup::kFifoWithoutReader, Setup::kRegularFile}) {
        ::unlink(name_.c_str());
        if (setup == Setup::kFifoWithoutReader) {
            ASSERT_EQ(::mkfifo(name_.c_str(), 0600), 0);
        }
        if (setup == Setup::kRegularFile)
            folder_.Write(std::to_string(::getpid()) + "cout", "keep");
        EXPECT_FALSE(LogSink::OpenConsolePipe());
        EXPECT_FALSE(LogSink::PipeConnected());

        StdoutCapture capture(folder_);
        LogSink::Write("ab");
        EXPECT_EQ(capture.Take(), "ab\n");
        if (setup == Setup::kRegularFile) {
            EXPECT_EQ(folder_.ReadAll(std::to_string(::getpid()) + "cout"), "keep");
        }
    }
}

TEST_F(ConsolePipeTest, AReaderThatLeftDoesNotEndTheProcess)
{
    MakeFifoAndReader();
    ::close(reader_);
    reader_ = -1;
    LogSink::Write("nobody reads this");  // would die of SIGPIPE

    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    EXPECT_TRUE(LogSink::PipeConnected());
}

TEST_F(ConsolePipeTest, LinesFromManyThreadsArriveWhole)
{
    MakeFifoAndReader();
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    const char* line = "a line of some length \x93quoted\x94";
    std::atomic<int> writersLeft{kThreads};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < kLines; ++i)
                LogSink::Printf("%s", line);
            --writersLeft;
        });
    }
    // Read while they write: more than a pipe's buffer goes through.
    std::string bytes;
    for (bool done = false; !done;) {
        done = writersLeft.load() == 0;
        bytes += Drain(reader_);
    }
    for (auto& w : writers)
        w.join();

    std::u16string wide = NarrowToWide(std::string(line) + "\n");
    std::string one(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);  // little-endian host
    std::string expected;
    for (int i = 0; i < kThreads * kLines; ++i)
        expected += one;
    EXPECT_TRUE(bytes == expected) << "got " << bytes.size() << " bytes, expected " << expected.size();
}

TEST(LogSinkTest, FormattedLinesAreCutAt4095Characters)
{
    TempFolder folder;
    std::string longText(5000, 'x');
    std::wstring longWide(5000, L'y');
    struct Case {
        std::function<void()> write;
        std::string expected;
    } cases[] = {
        {[&] { LogSink::Printf("%s", longText.c_str()); }, std::string(4095, 'x') + "\n"},
        {[&] { LogSink::Printf("%s!", std::string(4094, 'x').c_str()); }, std::string(4094, 'x') + "!\n"},
        {[&] { LogSink::PrintfW(L"%ls", longWide.c_str()); }, std::string(4095, 'y') + "\n"},
        {[&] { LogSink::PrintfW(L"n=%d \u201Cq\u201D caf\u00E9", 5); }, "n=5 \x93q\x94 caf?\n"},
        {[&] { LogSink::Printf("%s=%d", "CtrlType", 2); }, "CtrlType=2\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        StdoutCapture capture(folder);
        cases[i].write();
        EXPECT_EQ(capture.Take(), cases[i].expected) << "case " << i;
    }
}

TEST(LogSinkTest, ListenersSeeEachLineOnceEvenWhenTheyWrite)
{
    struct Recorder : LogSinkListener {
        std::vector<std::u16string> lines;
        bool echo = false;
        void OnLogLine(const std::u16string& line) override
        {
            lines.push_back(line);
            if (echo)
                LogSink::Write("echo");
        }
    } recorder;

    TempFolder folder;
    StdoutCapture capture(folder);
    LogSink::AddListener(&recorder);
    LogSink::AddListener(&recorder);  // once only
    LogSink::Write("a\x85");
    recorder.echo = true;
    LogSink::Write("b");
    LogSink::RemoveListener(&recorder);
    LogSink::Write("c");

    EXPECT_EQ(capture.Take(), "a\x85\nb\necho\nc\n");
    ASSERT_EQ(recorder.lines.size(), 2u);
    EXPECT_EQ(recorder.lines[0], u"a\u2026\n");
    EXPECT_EQ(recorder.lines[1], u"b\n");
}

TEST(LogMessageTest, GoesToTheChannelDestinationChosenAtInit)
{
    TempFolder folder;
    std::string logFile = folder / "engine.log";
    ASSERT_TRUE(Nyx::Log::Init("-NullRender -LogFile=" + logFile + " "));
    LogMessage("InterfaceTextDB> Unable to read interface file '%s'", "x.txt");
    LogMessage("already ends\n");
    EXPECT_EQ(Nyx::Log::GetClient("Kestro")->GetOutputLevel(), 2);
    EXPECT_EQ(folder.ReadAll("engine.log"), "InterfaceTextDB> Unable to read interface file 'x.txt'\nalready ends\n");

    {
        StdoutCapture capture(folder);
        ASSERT_TRUE(Nyx::Log::Init("-render=OpenGL -hidewindow -LogStdOut "));
        LogMessage("to %s", "stdout");
        EXPECT_EQ(capture.Take(), "to stdout\n");
    }

    // An unusable file, or no option at all, sends lines nowhere.
    EXPECT_FALSE(Nyx::Log::Init("-LogFile=" + (folder / "missing/dir/x.log")));
    {
        StdoutCapture capture(folder);
        LogMessage("dropped");
        ASSERT_TRUE(Nyx::Log::Init("-NullRender "));
        LogMessage("dropped too");
        EXPECT_EQ(capture.Take(), "");
    }
    EXPECT_EQ(folder.ReadAll("engine.log"), "InterfaceTextDB> Unable to read interface file 'x.txt'\nalready ends\n");
    // A channel lives as long as the process and is found by its name
    // alone: re-reading the options keeps it, another name is another one.
    Nyx::LogClient* kestro = Nyx::Log::GetClient("Kestro");
    EXPECT_EQ(kestro->GetName(), "Kestro");
    Nyx::LogClient* other = Nyx::Log::GetClient("LogTest other channel");
    EXPECT_NE(other, kestro);
    EXPECT_EQ(other->GetName(), "LogTest other channel");
    other->SetOutputLevel(5);
    EXPECT_EQ(kestro->GetOutputLevel(), 2);
    ASSERT_TRUE(Nyx::Log::Init("-NullRender "));
    EXPECT_EQ(Nyx::Log::GetClient("Kestro"), kestro);
    EXPECT_EQ(Nyx::Log::GetClient("LogTest other channel")->GetOutputLevel(), 5);
}

TEST(FatalErrorDeathTest, LogsShowsTheMessageAndEndsWithOne)
{
    TempFolder folder;
    std::string logFile = folder / "fatal.log";
    std::string outFile = folder / "stdout.txt";
    EXPECT_EXIT(
        {
            Nyx::Log::Init("-LogFile=" + logFile);
            int fd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, STDOUT_FILENO);
            std::printf("results so far");  // still in stdio's buffer
            FatalError("Script machine> corrupt library %d", 7);
        },
        ::testing::ExitedWithCode(1), "Error: Script machine> corrupt library 7");
    EXPECT_EQ(folder.ReadAll("fatal.log"), "Script machine> corrupt library 7\n");
    EXPECT_EQ(folder.ReadAll("stdout.txt"), "results so far");
}
