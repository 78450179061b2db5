// The bytecode verifier: one bad snippet per rule, and the depth ranges of
// good code.
#include <gtest/gtest.h>

#include "gs/runtime/library/CodeVerifier.h"
#include "support/GSLibraryBuilder.h"

using GSRuntime::CodeLimits;
using GSRuntime::DepthRange;
using GSRuntime::VerifyCode;

namespace {

CodeLimits Limits()
{
    CodeLimits l;
    l.strings = 4;
    l.classRefs = 2;
    l.locals = 3;
    l.meFields = 6;
    return l;
}

bool Verify(const std::vector<uint8_t>& code, std::vector<DepthRange>* ranges = nullptr)
{
    std::vector<DepthRange> out;
    bool ok = VerifyCode(code.data(), uint32_t(code.size()), Limits(), out);
    if (ranges)
        *ranges = out;
    return ok;
}

}  // namespace

TEST(VerifierTest, OneBrokenRuleEach)
{
    struct Case {
        const char* rule;
        std::vector<uint8_t> code;
    };
    const Case cases[] = {
        {"opcode 116", CodeBytes().Op(116)},
        {"opcode 200", CodeBytes().Op(10).Op(200).Op(109)},
        {"opcode 255", CodeBytes().Op(255)},
        {"immediate cut", CodeBytes().Op(30).U16(1).Op(0)},
        {"local cut", CodeBytes().Op(31).Op(0)},
        {"jump cut", CodeBytes().Op(43).U16(0)},
        {"call cut", CodeBytes().Op(10).Op(94).U16(0).Op(0)},
        {"switch table cut", CodeBytes().Op(10).Op(113).U16(1).U32(5).U32(0)},
        {"wait table cut", CodeBytes().Op(112).U16(1).U16(0).U16(0).U16(0)},
        {"string index", CodeBytes().Op(73).U16(4).Op(110)},
        {"wait major string", CodeBytes().Op(112).U16(1).U16(4).U16(0).U32(11).Op(109)},
        {"wait minor string", CodeBytes().Op(112).U16(1).U16(0).U16(4).U32(11).Op(109)},
        {"class reference 87", CodeBytes().Op(10).Op(87).U16(2).Op(110)},
        {"class reference 88", CodeBytes().Op(88).U16(2).Op(110)},
        {"class reference 89", CodeBytes().Op(89).U16(7).Op(110)},
        {"class reference 90", CodeBytes().Op(10).Op(90).U16(2).Op(110)},
        {"local 31", CodeBytes().Op(31).U16(3).Op(110)},
        {"local 33", CodeBytes().Op(10).Op(33).U16(3).Op(109)},
        {"local 36", CodeBytes().Op(10).Op(36).U16(0xFFFF).Op(110)},
        {"me field past the block", CodeBytes().Op(103).U16(6).Op(110)},
        {"me field on the part's method table", CodeBytes().Op(10).Op(105).U16(1).Op(109)},
        {"me field on the part's back offset", CodeBytes().Op(104).U16(0).Op(110)},
        {"jump into an instruction", CodeBytes().Op(43).U32(2).Op(30).U32(0).Op(109)},
        {"jump past the end", CodeBytes().Op(43).U32(6).Op(109)},
        {"branch past the end", CodeBytes().Op(10).Op(44).U32(1000).Op(109)},
        {"switch values descending", CodeBytes().Op(10).Op(113).U16(2).U32(5).U32(4).U32(24).U32(24).U32(24).Op(109)},
        {"switch target inside", CodeBytes().Op(10).Op(113).U16(1).U32(5).U32(2).U32(16).Op(109)},
        {"switch default past", CodeBytes().Op(10).Op(113).U16(1).U32(5).U32(16).U32(17).Op(109)},
        {"wait count negative", CodeBytes().Op(112).U16(0xFFFF).Op(109)},
        {"wait target inside", CodeBytes().Op(112).U16(1).U16(0).U16(0).U32(1).Op(109)},
        {"call depth positive", CodeBytes().Op(10).Op(94).U16(1).U16(0).Op(109)},
        {"inherited depth positive", CodeBytes().Op(114).U16(2).Op(109)},
        {"falls off the end", CodeBytes().Op(10).Op(37)},
        {"branch last", CodeBytes().Op(10).Op(44).U32(0)},
        {"call last", CodeBytes().Op(10).Op(95).U16(0).U16(0)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(Verify(c.code)) << c.rule;
}

TEST(VerifierTest, DepthRangesOfEachEntry)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> code;
        std::vector<DepthRange> ranges;
    };
    const Case cases[] = {
        {"straight", CodeBytes().Op(10).Op(10).Op(0).Op(110), {{0, 0, 2}}},
        {"pops below the entry", CodeBytes().Op(37).Op(109), {{0, -1, 0}}},
        {"swap needs no scratch slot", CodeBytes().Op(10).Op(10).Op(42).Op(37).Op(37).Op(109), {{0, 0, 2}}},
        {"dup2", CodeBytes().Op(10).Op(10).Op(41).Op(37).Op(37).Op(37).Op(37).Op(109), {{0, 0, 4}}},
        {"branch falls into its target", CodeBytes().Op(10).Op(44).U32(7).Op(11).Op(109), {{0, 0, 1}, {7, 0, 0}}},
        {"call returns to an entry",
         CodeBytes().Op(10).Op(10).Op(94).U16(0xFFFF).U16(0).Op(109),
         {{0, 0, 2}, {7, 0, 0}}},
        {"call takes slots from before the entry",
         CodeBytes().Op(10).Op(95).U16(uint16_t(-2)).U16(0).Op(109),
         {{0, -2, 1}, {6, 0, 0}}},
        {"thread start goes on",
         CodeBytes().Op(10).Op(10).Op(96).U16(0xFFFF).U16(0).Op(10).Op(37).Op(109),
         {{0, 0, 2}}},
        {"inherited call",
         CodeBytes().Op(10).Op(114).U16(0).Op(109),
         {{0, 0, 1}, {4, 0, 0}}},
        {"switch", CodeBytes().Op(10).Op(113).U16(2).U32(uint32_t(-1)).U32(5).U32(24).U32(24).U32(25).Op(109).Op(109),
         {{0, 0, 1}, {24, 0, 0}, {25, 0, 0}}},
        {"wait resumes with the message pushed",
         CodeBytes().Op(112).U16(1).U16(0).U16(3).U32(11).Op(38).Op(109),
         {{0, 0, 0}, {11, -1, 0}}},
        {"dead code is checked but not measured", CodeBytes().Op(109).Op(37).Op(37), {{0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<DepthRange> ranges;
        ASSERT_TRUE(Verify(c.code, &ranges));
        ASSERT_EQ(ranges.size(), c.ranges.size());
        for (size_t i = 0; i < ranges.size(); ++i) {
            EXPECT_EQ(ranges[i].offset, c.ranges[i].offset) << i;
            EXPECT_EQ(ranges[i].lowest, c.ranges[i].lowest) << i;
            EXPECT_EQ(ranges[i].highest, c.ranges[i].highest) << i;
        }
    }
}

TEST(VerifierTest, EmptyCodeHasNothingToCheck)
{
    std::vector<DepthRange> ranges = {{1, 1, 1}};
    EXPECT_TRUE(VerifyCode(nullptr, 0, Limits(), ranges));
    EXPECT_TRUE(ranges.empty());
}
