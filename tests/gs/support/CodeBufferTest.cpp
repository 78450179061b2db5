// The buffer bytecode is emitted into: operand bytes, the depth the code
// reaches, the hook before each instruction, patches and failures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gs/support/bytecode/CodeBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

using namespace GSBytecode;

namespace {

std::vector<uint8_t> Bytes(const CodeBuffer& code) { return {code.Data(), code.Data() + code.Size()}; }

}  // namespace

TEST(CodeBufferTest, EmittersWriteTheOpcodeThenItsOperandsLittleEndian)
{
    CodeBuffer code;
    ASSERT_TRUE(code.Init(4));
    code.EmitOp(kPUSH1);
    code.EmitOpU16(kLOAD, 0x0201);
    code.EmitOpU16U16(kCALL, 0xFFFF, 3);
    code.EmitOpU32(kJMP, 0x04030201);
    code.EmitPushFloat(1.0f);
    const std::vector<uint8_t> expected = {kPUSH1, kLOAD, 1, 2, kCALL, 0xFF, 0xFF, 3, 0, kJMP, 1, 2, 3, 4,
                                           kPUSHI, 0,     0, 0x80, 0x3F};
    EXPECT_EQ(Bytes(code), expected);
    EXPECT_TRUE(code.Whole());
}

TEST(CodeBufferTest, TheDepthFollowsTheTableAndItsHighWaterMarkNeverFalls)
{
    CodeBuffer code;
    ASSERT_TRUE(code.Init(64));
    code.EmitOpU32(kPUSHI, 7);
    code.EmitOpU32(kPUSHI, 8);
    code.EmitOp(kADD);
    EXPECT_EQ(code.Depth(), 1);
    EXPECT_EQ(code.MaxDepth(), 2);
    code.EmitOp(kDUP2);  // +2
    EXPECT_EQ(code.MaxDepth(), 3);
    code.EmitOp(kAPOP);  // -3
    EXPECT_EQ(code.Depth(), 0);
    // Calls count 0 in the table; the caller adds what it knows.
    code.EmitOpU16U16(kCALL, 0, 0);
    EXPECT_EQ(code.Depth(), 0);
    code.AdjustDepth(-1);
    EXPECT_EQ(code.Depth(), -1);
    EXPECT_EQ(code.MaxDepth(), 3);
}

TEST(CodeBufferTest, TheHookSeesEachInstructionsOffsetButNotItsOperands)
{
    CodeBuffer code;
    ASSERT_TRUE(code.Init(64));
    std::vector<uint32_t> seen;
    code.SetLineHook([](void* context, uint32_t at) { static_cast<std::vector<uint32_t>*>(context)->push_back(at); },
                     &seen);
    code.EmitOpU16(kWAIT, 1);
    code.WriteU16(2);
    code.WriteU16(3);
    code.WriteU32(11);
    code.EmitOp(kPOPO);
    code.ReserveBytes(3);
    code.EmitOp(kRET);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 11, 15}));
    // Init forgets the hook.
    code.Init(64);
    code.EmitOp(kRET);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(CodeBufferTest, PatchesWriteOnlyInsideTheWrittenCode)
{
    CodeBuffer code;
    ASSERT_TRUE(code.Init(64));
    code.EmitOp(kSWITCH);
    code.ReserveBytes(6);
    EXPECT_TRUE(code.PatchU16(1, 0x0201));
    EXPECT_TRUE(code.PatchU32(3, 0x06050403));
    EXPECT_EQ(Bytes(code), (std::vector<uint8_t>{kSWITCH, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(code.Position(), 7u);
    EXPECT_TRUE(code.Whole());
    EXPECT_FALSE(code.PatchU32(4, 0));
    EXPECT_EQ(code.Flags(), CodeBuffer::kPastEnd);
    EXPECT_FALSE(code.Whole());
    EXPECT_EQ(code.Size(), 7u);
}

TEST(CodeBufferTest, GrowsAndAFailedBufferSkipsEveryWrite)
{
    CodeBuffer code;
    ASSERT_TRUE(code.Init(2));
    for (int i = 0; i < 100; ++i)
        code.EmitOpU32(kPUSHI, uint32_t(i));
    EXPECT_EQ(code.Size(), 500u);
    EXPECT_EQ(code.Data()[495], kPUSHI);
    EXPECT_TRUE(code.Whole());

    // Storage gone, as after an allocation that failed.
    code.Bytes().Free();
    code.EmitOp(kRET);
    code.ReserveBytes(8);
    EXPECT_EQ(code.Flags(), CodeBuffer::kAllocFailed);
    EXPECT_EQ(code.Size(), 0u);
    EXPECT_FALSE(code.Whole());
}

TEST(CodeBufferTest, AWatchedLineCallsTheHookOnlyWhereItChanges)
{
    CodeBuffer code;
    ASSERT_TRUE(code.Init(64));
    std::vector<uint32_t> seen;
    int32_t line = 7;
    code.SetLineHook([](void* context, uint32_t at) { static_cast<std::vector<uint32_t>*>(context)->push_back(at); },
                     &seen, &line);
    // The line before each one-byte instruction: the first always calls,
    // then each change, a change back included.
    const int32_t lines[] = {7, 7, 8, 8, 8, 7, 9, 9};
    for (int32_t at : lines) {
        line = at;
        code.EmitOp(kPOPO);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 2, 5, 6}));
    // A new hook watches afresh: its first instruction calls.
    seen.clear();
    code.SetLineHook([](void* context, uint32_t at) { static_cast<std::vector<uint32_t>*>(context)->push_back(at); },
                     &seen, &line);
    code.EmitOp(kRET);
    EXPECT_EQ(seen, (std::vector<uint32_t>{8}));
}
