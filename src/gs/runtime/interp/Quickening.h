// Quickening: after the verifier has accepted a function, the first
// opcode byte of a few sequences the compiler emits all the time (a
// compare of locals that branches, "local = local + x", "push local - k")
// is replaced by an internal opcode that runs the whole sequence in one
// step. Every other byte stays as it was, so code offsets, jump targets,
// return and resume offsets, line tables and the jump budget's byte counts
// all keep their meaning; a sequence is fused only when no run can enter
// it in the middle. The internal opcodes lie above the instruction set:
// the verifier refuses them in a library, so only this pass writes them.
#pragma once

#include <cstdint>
#include <vector>

#include "gs/runtime/library/CodeVerifier.h"

namespace GSRuntime {

namespace Fused {
// LOAD a; LOAD b; ICMP; test; JZ target            (13 bytes)
constexpr uint8_t kCompareLocals = 240;
// LOAD a; PUSHI k; ICMP; test; JZ target           (15 bytes)
constexpr uint8_t kCompareConstant = 241;
// LOAD a; PUSH0 or PUSH1; ICMP; test; JZ target    (11 bytes)
constexpr uint8_t kCompareSmall = 242;
// LOAD a; LOAD b; ADD or SUB; POPL c               (10 bytes)
constexpr uint8_t kStoreLocals = 243;
// LOAD a; PUSH1; ADD or SUB; POPL c                (8 bytes)
constexpr uint8_t kStoreStep = 244;
// LOAD a; PUSHI k; ADD or SUB; POPL c              (12 bytes)
constexpr uint8_t kStoreConstant = 245;
// LOAD a; PUSH1; ADD or SUB                        (5 bytes)
constexpr uint8_t kPushStep = 246;
// LOAD a; PUSHI k; ADD or SUB                      (9 bytes)
constexpr uint8_t kPushConstant = 247;
// LOAD a; LOAD b                                   (6 bytes)
constexpr uint8_t kLoadTwo = 248;
// ADD; RETV                                        (2 bytes)
constexpr uint8_t kAddReturn = 249;
// LOAD a; RETV                                     (4 bytes)
constexpr uint8_t kReturnLocal = 250;
// LOADO 0: "me", which the verifier keeps a reference (3 bytes)
constexpr uint8_t kLoadMe = 251;
}  // namespace Fused

// Rewrites verified code in place; `entries` are the places a run can
// enter (the verifier's depth ranges).
void QuickenCode(uint8_t* code, uint32_t size, const std::vector<DepthRange>& entries);

}  // namespace GSRuntime
