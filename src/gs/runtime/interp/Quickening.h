// Quickening: after the verifier has accepted a function, the first
// opcode byte of a few sequences the compiler emits all the time (a
// compare that branches, "local = local + x", "i++" at the end of a loop,
// an element of a local array read or written, "s = s + constant") is
// replaced by an internal opcode that runs the whole sequence in one step
// (a call on "me" has its CALL's opcode byte replaced too, see kCallMe).
// Every other byte stays as it was, so code offsets, jump targets, return
// and resume offsets, line tables and the jump budget's byte counts all
// keep their meaning; a sequence is fused only when no run can enter it in
// the middle. A fused step that meets anything unusual (a reference where
// a number was expected, an index out of range, a budget that would run
// out) runs the sequence's first instruction the plain way instead, and
// the plain instructions after it do the rest, errors included. The
// internal opcodes lie above the instruction set: the verifier refuses
// them in a library, so only this pass writes them.
#pragma once

#include <cstdint>
#include <vector>

#include "gs/runtime/library/CodeVerifier.h"

namespace GSRuntime {

namespace Fused {
// A call on "me": LOADO 0, the arguments, CALL d m, where the argument
// code neither fails, jumps, calls nor reaches down to "me", so that only
// the CALL takes the slot LOADO 0 pushed. LOADO 0 then pushes "me"
// without a count (kLoadMeForCall, over its opcode) and the CALL's frame
// borrows the caller's (kCallMe, over the CALL's opcode). These forms take
// the free bytes between the instruction set and the other forms.
constexpr uint8_t kLoadMeForCall = 116;
constexpr uint8_t kCallMe = 117;
// Calls on "me" whose arguments take one of the commonest shapes run in
// one step up to the CALL (still kCallMe, which they go on with):
// LOADO 0; CALL 0 m                                (8 bytes)
constexpr uint8_t kCallMeAlone = 118;
// LOADO 0; LOAD a; CALL -1 m                       (11 bytes)
constexpr uint8_t kCallMeLocal = 119;
// LOADO 0; LOAD a; PUSH1; ADD or SUB; CALL -1 m    (13 bytes)
constexpr uint8_t kCallMeStep = 120;
// LOADO 0; LOAD a; PUSHI k; ADD or SUB; CALL -1 m  (17 bytes)
constexpr uint8_t kCallMeConstant = 122;

// The compare-and-branch forms come six each, one for each test (LTZ,
// LEZ, GTZ, GEZ, EQZ, NEZ in that order), so that a run tests the
// difference without looking the test up.
constexpr uint8_t kTests = 6;
// ICMP; test; JZ target                            (7 bytes)
constexpr uint8_t kCompareBranch = 128;
// LOAD a; LOAD b; ICMP; test; JZ target            (13 bytes)
constexpr uint8_t kCompareLocals = kCompareBranch + kTests;
// LOAD a; PUSHI k; ICMP; test; JZ target           (15 bytes)
constexpr uint8_t kCompareConstant = kCompareLocals + kTests;
// LOAD a; PUSH0 or PUSH1; ICMP; test; JZ target    (11 bytes)
constexpr uint8_t kCompareSmall = kCompareConstant + kTests;
// The form of a compare family for the test opcode (one of the six).
uint8_t ForTest(uint8_t family, uint8_t test);

// The forms with an ADD or SUB (INC or DEC) come in pairs: the form for
// ADD (INC) at the number given, the one for SUB (DEC) right after it.
// The form for the instruction at hand.
uint8_t ForArithmetic(uint8_t pair, uint8_t op);
// LOAD a; INC or DEC; POPL c                       (7 bytes)
constexpr uint8_t kStepLocal = 152;
// LOAD a; INC or DEC; POPL c; JMP target           (12 bytes)
constexpr uint8_t kStepLocalJump = 154;
// LOAD a; PUSH1; ADD or SUB; POPL c; JMP target    (13 bytes)
constexpr uint8_t kStoreStepJump = 156;
// LOAD a; LOAD b; ADD or SUB; POPL c               (10 bytes)
constexpr uint8_t kStoreLocals = 158;
// LOAD a; PUSH1; ADD or SUB; POPL c                (8 bytes)
constexpr uint8_t kStoreStep = 160;
// LOAD a; PUSHI k; ADD or SUB; POPL c              (12 bytes)
constexpr uint8_t kStoreConstant = 162;
// LOAD a; PUSH1; ADD or SUB                        (5 bytes)
constexpr uint8_t kPushStep = 164;
// LOAD a; PUSHI k; ADD or SUB                      (9 bytes)
constexpr uint8_t kPushConstant = 166;
// LOAD a; ADD or SUB                               (4 bytes)
constexpr uint8_t kAddLocal = 168;
// PUSH1; ADD or SUB                                (2 bytes)
constexpr uint8_t kStepTop = 170;
// PUSHI k; ADD or SUB                              (6 bytes)
constexpr uint8_t kAddConstant = 172;
// LOADO a; LOAD i; PUSH1; ADD or SUB; AGET         (9 bytes)
constexpr uint8_t kElementStep = 174;
// LOADO a; LOAD i; PUSHI k; ADD or SUB; AGET       (13 bytes)
constexpr uint8_t kElementConstant = 176;
// LOADO a; LOAD i; PUSH1; ADD or SUB; AGET; APOP   (10 bytes)
constexpr uint8_t kElementStepStore = 178;
// LOADO a; LOAD i; PUSH1; ADD or SUB; LOAD v; APOP (12 bytes)
constexpr uint8_t kStoreElementStep = 180;

// LOADO a; LOAD i; AGET                            (7 bytes)
constexpr uint8_t kElement = 182;
// LOADO a; LOAD i; AGET; POPL c                    (10 bytes)
constexpr uint8_t kElementToLocal = 183;
// LOADO a; LOAD i; AGET; APOP                      (8 bytes)
constexpr uint8_t kElementStore = 184;
// LOADO a; LOAD i; LOAD v; APOP                    (10 bytes)
constexpr uint8_t kStoreElement = 185;
// LOADO a; LOAD i                                  (6 bytes)
constexpr uint8_t kArrayIndex = 186;
// LOAD v; APOP                                     (4 bytes)
constexpr uint8_t kStoreLocalElement = 187;
// PUSHI k; MUL                                     (6 bytes)
constexpr uint8_t kMulConstant = 188;
// PUSHI k; DIV or MOD, k neither 0 nor -1          (6 bytes)
constexpr uint8_t kDivConstant = 189;
// LOADO s; SSIZE, or LOADO a; ASIZE                (4 bytes)
constexpr uint8_t kSizeLocal = 190;
// PUSHS k; SCAT                                    (4 bytes)
constexpr uint8_t kAppendConstant = 191;
// LOADO s; PUSHS k; SCAT; POPLO s                  (10 bytes)
constexpr uint8_t kAppendLocal = 192;
// LOAD a; LOAD b                                   (6 bytes)
constexpr uint8_t kLoadTwo = 193;
// ADD; RETV                                        (2 bytes)
constexpr uint8_t kAddReturn = 194;
// LOAD a; RETV                                     (4 bytes)
constexpr uint8_t kReturnLocal = 195;
// LOADO 0: "me", which the verifier keeps a reference (3 bytes)
constexpr uint8_t kLoadMe = 196;
constexpr uint8_t kLast = kLoadMe;
}  // namespace Fused

// Rewrites verified code in place; `entries` are the places a run can
// enter (the verifier's depth ranges, sorted by offset).
void QuickenCode(uint8_t* code, uint32_t size, const std::vector<DepthRange>& entries);

}  // namespace GSRuntime
