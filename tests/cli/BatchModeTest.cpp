#include "cli/BatchMode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace {

using Args = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string line;
    Args arguments;
    bool skip;
    bool unterminated;
};

TEST(BatchLineSplitTest, FollowsTheSplittingRules)
{
    const SplitCase cases[] = {
        {"plain words", "status <kuid:12:34>\n", {"status", "<kuid:12:34>"}, false, false},
        {"quoted words", "\"status\" \"<kuid:12:34>\"\n", {"status", "<kuid:12:34>"}, false, false},
        {"two blanks give an empty argument", "status  <kuid:12:34>\n", {"status", "", "<kuid:12:34>"}, false, false},
        {"quotes keep blanks", "installfrompath \"My Assets/a  b\"\n", {"installfrompath", "My Assets/a  b"}, false, false},
        {"leading blank is not doubled", " echo x\n", {"echo", "x"}, false, false},
        {"CR LF ends the line", "echo x\r\n", {"echo", "x"}, false, false},
        {"line without line break", "echo x", {"echo", "x"}, false, false},
        {"CR inside cuts the line", "echo a\rb c\n", {"echo", "a"}, false, false},
        {"text before an opening quote is dropped", "ab\"cd\"ef\n", {"cd"}, false, false},
        {"trailing blank adds an empty argument", "echo a \n", {"echo", "a", ""}, false, false},
        {"empty quotes", "\"\"\n", {""}, false, false},
        {"empty line is skipped", "\n", {"\n"}, true, false},
        {"CR LF line is skipped", "\r\n", {"\r"}, true, false},
        {"last argument beginning with a blank is skipped", "echo \" lead\"\n", {"echo", " lead"}, true, false},
        {"unterminated quote", "echo \"open\n", {"echo"}, false, true},
        {"quote opened after a quoted word", "\"echo\" \"a\" \"b\n", {"echo", "a"}, false, true},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        BatchLineArguments split = SplitBatchLine(c.line.c_str());
        EXPECT_EQ(split.arguments, c.arguments);
        EXPECT_EQ(split.skip, c.skip);
        EXPECT_EQ(split.unterminatedQuote, c.unterminated);
    }
}

TEST(BatchLineSplitTest, NeverMakesMoreArgumentsThanTheArrayHolds)
{
    std::string blanks(kMaxBatchLineLength, ' ');
    BatchLineArguments split = SplitBatchLine(blanks.c_str());
    EXPECT_LE(split.arguments.size() + 1, kMaxBatchArguments);
    EXPECT_FALSE(split.unterminatedQuote);
}

struct ReadStep {
    BatchLineReader::Status status;
    std::string line;
};

std::vector<ReadStep> ReadAll(const std::string& content)
{
    TempFolder dir;
    dir.Write("batch.txt", content);
    Nyx::File file;
    EXPECT_TRUE(file.Open(Nyx::File::Path(dir / "batch.txt"), Nyx::File::kModeRead));
    BatchLineReader reader(file);
    std::vector<ReadStep> steps;
    char line[kBatchLineCapacity];
    for (int guard = 0; guard < 100; ++guard) {
        BatchLineReader::Status status = reader.Next(line);
        steps.push_back({status, line});
        if (status == BatchLineReader::Status::kEnd)
            break;
    }
    return steps;
}

TEST(BatchLineReaderTest, ReadsLinesWithTheirLineBreaks)
{
    using S = BatchLineReader::Status;
    const std::string x511(511, 'x');
    const std::string x510(510, 'x');
    struct Case {
        const char* name;
        std::string content;
        std::vector<ReadStep> steps;
    };
    const Case cases[] = {
        {"empty file", "", {{S::kEnd, ""}}},
        {"LF lines", "a\nb\n", {{S::kLine, "a\n"}, {S::kLine, "b\n"}, {S::kEnd, ""}}},
        {"CR LF, last line unterminated", "a\r\nb", {{S::kLine, "a\r\n"}, {S::kLine, "b"}, {S::kEnd, ""}}},
        {"empty lines", "\n\n", {{S::kLine, "\n"}, {S::kLine, "\n"}, {S::kEnd, ""}}},
        {"511 characters fit", x511 + "\necho\n", {{S::kLine, x511}, {S::kLine, "echo\n"}, {S::kEnd, ""}}},
        {"511 characters and CR LF", x511 + "\r\nz", {{S::kLine, x511}, {S::kLine, "z"}, {S::kEnd, ""}}},
        {"510 characters and CR LF", x510 + "\r\nz", {{S::kLine, x510 + "\r"}, {S::kLine, "z"}, {S::kEnd, ""}}},
        {"CR alone", "a\rb\r\rc",
         {{S::kLine, "a\r"}, {S::kLine, "b\r"}, {S::kLine, "\r"}, {S::kLine, "c"}, {S::kEnd, ""}}},
        {"LF CR is two line ends", "a\n\rb", {{S::kLine, "a\n"}, {S::kLine, "\r"}, {S::kLine, "b"}, {S::kEnd, ""}}},
        {"511 characters and a CR", x511 + "\rz\r", {{S::kLine, x511}, {S::kLine, "z\r"}, {S::kEnd, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ReadStep> steps = ReadAll(c.content);
        ASSERT_EQ(steps.size(), c.steps.size());
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].status, c.steps[i].status) << "step " << i;
            EXPECT_EQ(steps[i].line, c.steps[i].line) << "step " << i;
        }
    }
}

// The reader takes the file in blocks of 4096 bytes: a CR LF pair whose CR
// ends one block is still one line end, after a short line and a full one.
TEST(BatchLineReaderTest, ACRLFSplitAcrossBlocksIsOneLineEnd)
{
    using S = BatchLineReader::Status;
    for (size_t length : {size_t(100), kMaxBatchLineLength}) {
        SCOPED_TRACE(length);
        std::string content;
        std::vector<ReadStep> expected;
        while (4095 - length - content.size() > 401) {
            content += std::string(400, 'x') + "\n";
            expected.push_back({S::kLine, std::string(400, 'x') + "\n"});
        }
        const std::string filler(4095 - length - content.size() - 1, 'f');
        content += filler + "\n";
        expected.push_back({S::kLine, filler + "\n"});
        ASSERT_EQ(content.size() + length, 4095u);
        const std::string last(length, 'y');
        content += last + "\r\nz";
        expected.push_back({S::kLine, length == kMaxBatchLineLength ? last : last + "\r\n"});
        expected.push_back({S::kLine, "z"});
        expected.push_back({S::kEnd, ""});
        std::vector<ReadStep> steps = ReadAll(content);
        ASSERT_EQ(steps.size(), expected.size());
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].status, expected[i].status) << "step " << i;
            EXPECT_EQ(steps[i].line, expected[i].line) << "step " << i;
        }
    }
}

TEST(BatchLineReaderTest, SkipsALongLineWholeSoItsTailNeverRuns)
{
    using S = BatchLineReader::Status;
    for (const char* end : {"\n", "\r", "\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(end));
        std::vector<ReadStep> steps = ReadAll(std::string(512, 'x') + " echo tail" + end + "version" + end);
        ASSERT_EQ(steps.size(), 3u);
        EXPECT_EQ(steps[0].status, S::kTooLong);
        EXPECT_EQ(steps[0].line, "");
        EXPECT_EQ(steps[1].status, S::kLine);
        EXPECT_EQ(steps[1].line, std::string("version") + end);
        EXPECT_EQ(steps[2].status, S::kEnd);
    }

    std::vector<ReadStep> steps = ReadAll(std::string(5000, 'y'));
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].status, S::kTooLong);
    EXPECT_EQ(steps[1].status, S::kEnd);
}

}  // namespace
