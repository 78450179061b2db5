// The bytecode interpreter: GSThread::Execute runs a thread until it
// finishes, blocks, fails or spends its jump budget.
//
// Dispatch is one table lookup per instruction (computed goto); the stack
// top, the locals base and the code position live in locals and go back
// into the thread only where other code can look at the stack, and the
// loader has fused the commonest sequences (Quickening.h). Operands are
// read in place: the loader's verifier has checked every operand, target
// and depth the code itself can tell; what only the running program tells
// (the kind of a value, a method slot or field of the object at hand, the
// stack left when a call returns) is checked here.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "core/streams/LittleEndian.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/interp/Quickening.h"
#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSFunction.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSContext.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"

namespace GSRuntime {

namespace {

constexpr int32_t kIntMin = INT32_MIN;

// The object a reference word names: null, a number used as a reference,
// and views of arrays and strings are refused.
inline GSExitCode ObjectOf(GSSlot value, GSSlot*& part, GSScriptInstance*& instance) noexcept
{
    if (value == 0)
        return ER_NullReference;
    if (!IsReference(value))
        return ER_IllegalInstruction;
    part = ReferencePart(value);
    instance = GSScriptInstance::OfPart(part);
    return instance->cls ? ER_Done : ER_IllegalInstruction;
}

inline GSExitCode ArrayOf(GSSlot value, GSArray*& array) noexcept
{
    if (value == 0)
        return ER_NullArrayReference;
    if (!IsReference(value) || !(array = GSArray::OfPart(ReferencePart(value))))
        return ER_IllegalInstruction;
    return ER_Done;
}

inline GSExitCode StringOf(GSSlot value, GSString*& string) noexcept
{
    if (value == 0)
        return ER_NullStringReference;
    if (!IsReference(value) || !(string = GSString::OfPart(ReferencePart(value))))
        return ER_IllegalInstruction;
    return ER_Done;
}

// A string operand that may be null (null for null).
inline GSExitCode OptionalStringOf(GSSlot value, GSString*& string) noexcept
{
    string = nullptr;
    return value == 0 ? ER_Done : StringOf(value, string);
}

inline GSExitCode OptionalArrayOf(GSSlot value, GSArray*& array) noexcept
{
    array = nullptr;
    if (value == 0)
        return ER_Done;
    if (!IsReference(value) || !(array = GSArray::OfPart(ReferencePart(value))))
        return ER_IllegalInstruction;
    return ER_Done;
}

// Field f of an object's part: it must lie in the instance's block and not
// be one of the two words every part keeps for the runtime.
inline GSExitCode FieldOf(GSSlot* part, GSScriptInstance* instance, uint32_t f, bool write) noexcept
{
    const uint64_t word = uint64_t(instance->PartOffset(part)) + f;
    if (f < kFirstMeField || word >= instance->cls->fieldCount)
        return ER_IllegalInstruction;
    if (write && instance->cls->wordKinds[word] != GSClass::kFieldWord)
        return ER_IllegalInstruction;
    return ER_Done;
}

// A word of "me" the code writes: the verifier kept it inside the block of
// the function's class, but it may still be a base part's own word.
inline bool MeFieldWritable(GSSlot* me, uint32_t f) noexcept
{
    GSScriptInstance* instance = GSScriptInstance::OfPart(me);
    return instance->cls->wordKinds[instance->PartOffset(me) + f] == GSClass::kFieldWord;
}

inline GSSlot NewString(GSContext* context, std::string_view text)
{
    return (new GSString(context, text))->Reference();
}

// The method entry m of the target's part: null for a part without a
// table (arrays and strings have none) or a slot past its class's table.
// The table word is the runtime's own (no script writes it), so it points
// at an entry of the instance's class's table when it is set.
inline const GSClass::MethodEntry* MethodOf(GSSlot* part, GSScriptInstance* instance, uint32_t m) noexcept
{
    if (!instance->cls) [[unlikely]]
        return nullptr;
    const auto* table = reinterpret_cast<const GSClass::MethodEntry*>(part[1]);
    if (!table || m >= table->slotsFromHere) [[unlikely]]
        return nullptr;
    return table + m;
}

GSObject* NativeObjectOf(GSScriptInstance* instance) noexcept
{
    GSObjectReference* owner = instance->owner;
    if (!owner || (owner->Kind() != GSObjectReference::kPlainObject && owner->Kind() != GSObjectReference::kGameObject))
        return nullptr;
    return static_cast<GSObject*>(owner);
}

int32_t CompareTexts(const GSString* a, const GSString* b) noexcept
{
    static const Nyx::String empty;
    const int c = (a ? a->View() : empty.View()).compare(b ? b->View() : empty.View());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

GSExitCode StartThread(GSSlot*& top, int16_t depth, uint16_t method);

// The elements setting element i adds to an array (zero-filled up to it).
inline uint64_t GrowthWork(const GSArray& array, int32_t i) noexcept
{
    if (i < array.Count() || i >= RunLimits().maxArrayElements)
        return 0;
    return ElementWork(uint64_t(i) + 1 - uint64_t(array.Count()));
}

// The length of [start, end) of a count, clamped as arrays and strings
// clamp it (0 when end lies before start).
inline uint64_t RangeLength(int64_t count, int32_t start, int32_t end) noexcept
{
    const int64_t from = start < 0 ? 0 : start;
    const int64_t to = end < 0 || end > count ? count : end;
    return to > from ? uint64_t(to - from) : 0;
}

// The elements an array of `count` is rebuilt with when [start, end) is
// replaced by `inserted` elements (0 when the replacement fails).
inline uint64_t ReplacedLength(int64_t count, int32_t start, int32_t end, int64_t inserted) noexcept
{
    const int64_t from = start < 0 ? 0 : start;
    const int64_t to = end < 0 ? count : end;
    if (to < from)
        return 0;
    const int64_t size = from + inserted + std::max<int64_t>(0, count - to);
    return size <= RunLimits().maxArrayElements ? uint64_t(size) : 0;
}

constexpr uint8_t kDivOp = 3;
constexpr uint8_t kPush0Op = 10;
constexpr uint8_t kStringSizeOp = 78;

// The distance between two slots in bytes, as the depth table keeps it.
inline intptr_t Bytes(const GSSlot* from, const GSSlot* to) noexcept
{
    return reinterpret_cast<intptr_t>(to) - reinterpret_cast<intptr_t>(from);
}

// Whether work charged by an instruction whose opcode ends just before
// `at` leaves the run inside its budget (the test CHARGE makes there).
inline bool Affords(const uint8_t* at, uint64_t units, intptr_t deadline) noexcept
{
    return intptr_t(at) <= deadline - intptr_t(units);
}


}  // namespace

GSExitCode GSThread::Execute(float dt)
{
    if (state == kBlocked) {
        if (timer == 0.0f)
            return ER_Blocked;
        timer -= dt;
        if (timer > 0.0f)
            return ER_Blocked;
        timer = 0.0f;
    }
    GSRunState& run = RunState();
    if (run.depth == 0)
        run.spent = 0;
    ++run.depth;
    DropClauses();
    GSThread* const savedThread = run.thread;
    GSContext* const savedContext = run.context;
    run.thread = this;
    run.context = stack.CurrentContext();
    state = kRunning;

    // The jump budget as a deadline on the code position: a taken jump
    // from pc (just after its opcode byte) fails when pc lies past it, and
    // moves it by as much as the run moves on.
    const int64_t budget = int64_t(RunLimits().jumpBudget);
    intptr_t deadline = 0;
    GSSlot* const last = stack.Last();
    GSSlot* top = stack.top;
    GSFunction* fn = nullptr;
    const uint8_t* codeBase = nullptr;
    const uint8_t* pc = nullptr;
    const int16_t* depths = nullptr;
    GSSlot* locals = nullptr;
    GSSlot* floor = nullptr;
    GSContext* frameContext = nullptr;
    bool contextKnown = false;
    GSExitCode code = ER_Done;

    static const void* const kDispatch[] = {
#define GS_OP(n) &&op_##n
        GS_OP(0),   GS_OP(1),   GS_OP(2),   GS_OP(3),   GS_OP(4),   GS_OP(5),   GS_OP(6),   GS_OP(7),
        GS_OP(8),   GS_OP(9),   GS_OP(10),  GS_OP(11),  GS_OP(12),  GS_OP(13),  GS_OP(14),  GS_OP(15),
        GS_OP(16),  GS_OP(17),  GS_OP(18),  GS_OP(19),  GS_OP(20),  GS_OP(21),  GS_OP(22),  GS_OP(23),
        GS_OP(24),  GS_OP(25),  GS_OP(26),  GS_OP(27),  GS_OP(28),  GS_OP(29),  GS_OP(30),  GS_OP(31),
        GS_OP(32),  GS_OP(33),  GS_OP(34),  GS_OP(35),  GS_OP(36),  GS_OP(37),  GS_OP(38),  GS_OP(39),
        GS_OP(40),  GS_OP(41),  GS_OP(42),  GS_OP(43),  GS_OP(44),  GS_OP(45),  GS_OP(46),  GS_OP(47),
        GS_OP(48),  GS_OP(49),  GS_OP(50),  GS_OP(51),  GS_OP(52),  GS_OP(53),  GS_OP(54),  GS_OP(55),
        GS_OP(56),  GS_OP(57),  GS_OP(58),  GS_OP(59),  GS_OP(60),  GS_OP(61),  GS_OP(62),  GS_OP(63),
        GS_OP(64),  GS_OP(65),  GS_OP(66),  GS_OP(67),  GS_OP(68),  GS_OP(69),  GS_OP(70),  GS_OP(71),
        GS_OP(72),  GS_OP(73),  GS_OP(74),  GS_OP(75),  GS_OP(76),  GS_OP(77),  GS_OP(78),  GS_OP(79),
        GS_OP(80),  GS_OP(81),  GS_OP(82),  GS_OP(83),  GS_OP(84),  GS_OP(85),  GS_OP(86),  GS_OP(87),
        GS_OP(88),  GS_OP(89),  GS_OP(90),  GS_OP(91),  GS_OP(92),  GS_OP(93),  GS_OP(94),  GS_OP(95),
        GS_OP(96),  GS_OP(97),  GS_OP(98),  GS_OP(99),  GS_OP(100), GS_OP(101), GS_OP(102), GS_OP(103),
        GS_OP(104), GS_OP(105), GS_OP(106), GS_OP(107), GS_OP(108), GS_OP(109), GS_OP(110), GS_OP(111),
        GS_OP(112), GS_OP(113), GS_OP(114), GS_OP(115),
#undef GS_OP
#define GS_ILLEGAL4 &&op_illegal, &&op_illegal, &&op_illegal, &&op_illegal
#define GS_PAIR(name) &&name##_add, &&name##_sub
#define GS_TESTS(family) &&family##_0, &&family##_1, &&family##_2, &&family##_3, &&family##_4, &&family##_5
        // 116-123: the fused calls on "me" (Quickening.h); 124-127: no
        // instruction.
        &&op_load_me_for_call, &&op_call_me, &&op_call_me_alone, &&op_call_me_local, GS_PAIR(op_call_me_step),
        GS_PAIR(op_call_me_constant), GS_ILLEGAL4,
        // 128-196: the fused forms quickening writes into verified code,
        // in the order of Quickening.h.
        GS_TESTS(op_compare_branch), GS_TESTS(op_compare_locals), GS_TESTS(op_compare_constant),
        GS_TESTS(op_compare_small),
        GS_PAIR(op_step_local), GS_PAIR(op_step_local_jump), GS_PAIR(op_store_step_jump), GS_PAIR(op_store_locals),
        GS_PAIR(op_store_step), GS_PAIR(op_store_constant), GS_PAIR(op_push_step), GS_PAIR(op_push_constant),
        GS_PAIR(op_add_local), GS_PAIR(op_step_top), GS_PAIR(op_add_constant), GS_PAIR(op_element_step),
        GS_PAIR(op_element_constant), GS_PAIR(op_element_step_store), GS_PAIR(op_store_element_step),
        &&op_element, &&op_element_to_local, &&op_element_store, &&op_store_element, &&op_array_index,
        &&op_store_local_element, &&op_mul_constant, &&op_div_constant, &&op_size_local, &&op_append_constant,
        &&op_append_local, &&op_load_two, &&op_add_return, &&op_return_local, &&op_load_me,
        // 197-255: no instruction.
        &&op_illegal, &&op_illegal, &&op_illegal, GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4,
        GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4, GS_ILLEGAL4,
        GS_ILLEGAL4, GS_ILLEGAL4,
#undef GS_TESTS
#undef GS_PAIR
#undef GS_ILLEGAL4
    };
    static_assert(sizeof kDispatch / sizeof kDispatch[0] == 256, "one entry per opcode byte");

#define DISPATCH() goto* kDispatch[*pc++]
#define FAIL(c)         \
    do {                \
        code = (c);     \
        goto exception; \
    } while (0)
#define CHECK(expr)                                \
    do {                                           \
        const GSExitCode check_ = (expr);          \
        if (check_ != ER_Done) [[unlikely]]        \
            FAIL(check_);                          \
    } while (0)
// The verifier's depth range of the entry at `offset`, against the stack
// there: room above, and the frame's own record below.
#define ENTER_AT(offset)                                        \
    do {                                                        \
        const int16_t* range_ = depths + 2 * size_t(offset);    \
        if (Bytes(top, last) < range_[1]) [[unlikely]]          \
            FAIL(ER_StackOverflow);                             \
        if (Bytes(floor, top) < range_[0]) [[unlikely]]         \
            FAIL(ER_StackReturnError);                          \
    } while (0)
// A budget step at pc (just after an opcode byte), then the run goes on at
// `to`.
#define BUDGET_STEP()                                  \
    do {                                               \
        if (intptr_t(pc) > deadline) [[unlikely]]      \
            FAIL(ER_Timeout);                          \
    } while (0)
// Work in proportion to a size the script controls, charged before it is
// done: a run that cannot afford it ends here.
#define CHARGE(units)                                  \
    do {                                               \
        deadline -= intptr_t(units);                   \
        if (intptr_t(pc) > deadline) [[unlikely]]      \
            FAIL(ER_Timeout);                          \
    } while (0)
#define MOVE_TO(to)                                         \
    do {                                                    \
        const uint8_t* to_ = (to);                          \
        deadline += intptr_t(to_) - intptr_t(pc);           \
        pc = to_;                                           \
    } while (0)
#define JUMP_TO(offset)                    \
    do {                                   \
        const uint32_t target_ = (offset); \
        BUDGET_STEP();                     \
        MOVE_TO(codeBase + target_);       \
        ENTER_AT(target_);                 \
        DISPATCH();                        \
    } while (0)
// Around anything that may run scripts nested in this run: the budget
// spent so far goes out, and what the nested runs left comes back.
#define SPENT() (budget - (deadline - intptr_t(pc)))
#define SYNC_OUT() (RunState().spent = uint64_t(SPENT()))
#define SYNC_IN() (deadline = intptr_t(pc) + (budget - int64_t(RunState().spent)), FORGET_CONTEXT())
// The current context, looked up once a frame: calls, returns and
// anything that runs scripts nested in this run forget it.
#define CONTEXT() (contextKnown ? frameContext : (contextKnown = true, frameContext = stack.CurrentContext()))
#define FORGET_CONTEXT() (contextKnown = false)
#define LIBRARY() (fn->library)
#define ME() ReferencePart(locals[0])
// The frame just entered or returned to becomes the one the registers
// describe.
#define LOAD_FRAME()                                          \
    do {                                                      \
        fn = GSStack::RecordFunction(stack.frame);            \
        codeBase = fn->code;                                  \
        depths = fn->entryDepths.data();                      \
        locals = GSStack::RecordLocals(stack.frame);          \
        floor = stack.frame + GSStack::kRecordSlots - 1;      \
        FORGET_CONTEXT();                                     \
    } while (0)
#define CHECK_ME()                          \
    do {                                    \
        if (locals[0] == 0) [[unlikely]]    \
            FAIL(ER_NullReference);         \
    } while (0)
#define INT(v) SlotInt(v)
#define FLT(v) SlotFloat(v)

    if (!stack.frame)
        FAIL(ER_NoStackFrame);
    LOAD_FRAME();
    if (!codeBase || resumeOffset >= fn->codeSize)
        FAIL(ER_IllegalInstruction);
    pc = codeBase + resumeOffset;
    deadline = intptr_t(pc) + (budget - int64_t(run.spent));
    CHECK_ME();
    ENTER_AT(resumeOffset);
    DISPATCH();

    // 0-9: integer arithmetic (wrapping, low 32 bits) and compare.
op_0:
    top[-1] = IntSlot(int32_t(uint32_t(top[-1]) + uint32_t(top[0])));
    --top;
    DISPATCH();
op_1:
    top[-1] = IntSlot(int32_t(uint32_t(top[-1]) - uint32_t(top[0])));
    --top;
    DISPATCH();
op_2:
    top[-1] = IntSlot(int32_t(uint32_t(top[-1]) * uint32_t(top[0])));
    --top;
    DISPATCH();
op_3: {
    const int32_t a = INT(top[-1]), b = INT(top[0]);
    if (b == 0)
        FAIL(ER_DivideByZero);
    top[-1] = IntSlot(a == kIntMin && b == -1 ? kIntMin : a / b);
    --top;
    DISPATCH();
}
op_4: {
    const int32_t a = INT(top[-1]), b = INT(top[0]);
    if (b == 0)
        FAIL(ER_DivideByZero);
    top[-1] = IntSlot(b == -1 ? 0 : a % b);
    --top;
    DISPATCH();
}
op_5:
    top[0] = IntSlot(int32_t(0u - uint32_t(top[0])));
    DISPATCH();
op_6:
    top[0] = IntSlot(int32_t(uint32_t(top[0]) + 1u));
    DISPATCH();
op_7:
    top[0] = IntSlot(int32_t(uint32_t(top[0]) - 1u));
    DISPATCH();
op_8:
    top[0] = FloatSlot(float(INT(top[0])));
    DISPATCH();
op_9:
    top[-1] = IntSlot(int32_t(uint32_t(top[-1]) - uint32_t(top[0])));
    --top;
    DISPATCH();

    // 10-18: constants, logic, bits. The zero tests read the whole word.
op_10:
    *++top = 0;
    DISPATCH();
op_11:
    *++top = 1;
    DISPATCH();
op_12:
    top[0] = top[0] == 0;
    DISPATCH();
op_13:
    top[-1] = IntSlot(INT(top[-1]) & INT(top[0]));
    --top;
    DISPATCH();
op_14:
    top[-1] = IntSlot(INT(top[-1]) | INT(top[0]));
    --top;
    DISPATCH();
op_15:
    top[-1] = IntSlot(INT(top[-1]) ^ INT(top[0]));
    --top;
    DISPATCH();
op_16:
    top[0] = IntSlot(~INT(top[0]));
    DISPATCH();
op_17:
    top[-1] = IntSlot(int32_t(uint32_t(top[-1]) << (uint32_t(top[0]) & 31)));
    --top;
    DISPATCH();
op_18:
    top[-1] = IntSlot(int32_t(uint32_t(top[-1]) >> (uint32_t(top[0]) & 31)));
    --top;
    DISPATCH();

    // 19-29: floats. Division by +0.0 (all 32 bits zero) traps; by -0.0
    // it divides.
op_19:
    top[-1] = FloatSlot(FLT(top[-1]) + FLT(top[0]));
    --top;
    DISPATCH();
op_20:
    top[-1] = FloatSlot(FLT(top[-1]) - FLT(top[0]));
    --top;
    DISPATCH();
op_21:
    top[-1] = FloatSlot(FLT(top[-1]) * FLT(top[0]));
    --top;
    DISPATCH();
op_22:
    if (uint32_t(top[0]) == 0)
        FAIL(ER_DivideByZero);
    top[-1] = FloatSlot(FLT(top[-1]) / FLT(top[0]));
    --top;
    DISPATCH();
op_23:
    if (uint32_t(top[0]) == 0)
        FAIL(ER_DivideByZero);
    top[-1] = FloatSlot(float(std::fmod(double(FLT(top[-1])), double(FLT(top[0])))));
    --top;
    DISPATCH();
op_24:
    top[0] = FloatSlot(-0.0f - FLT(top[0]));
    DISPATCH();
op_25:
    top[0] = FloatSlot(FLT(top[0]) + 1.0f);
    DISPATCH();
op_26:
    top[0] = FloatSlot(FLT(top[0]) - 1.0f);
    DISPATCH();
op_27: {
    const float f = FLT(top[0]);
    top[0] = IntSlot(f >= -2147483648.0f && f < 2147483648.0f ? int32_t(f) : kIntMin);
    DISPATCH();
}
op_28: {
    const float d = FLT(top[-1]) - FLT(top[0]);
    top[-1] = d > 0.0f ? 1 : d < 0.0f ? -1 : 0;
    --top;
    DISPATCH();
}
op_29:
    // -0.0 is zero too, as when "!" is folded.
    top[0] = FLT(top[0]) == 0.0f;
    DISPATCH();

    // 30-42: immediates, locals, stack shuffles. A plain copy never carries
    // a reference along; a plain load moves one out of a temporary.
op_30:
    *++top = IntSlot(int32_t(LoadLE32(pc)));
    pc += 4;
    DISPATCH();
op_31: {
    GSSlot& local = locals[LoadLE16(pc)];
    pc += 2;
    const GSSlot value = local;
    if (IsReference(value)) [[unlikely]]
        local = 0;
    *++top = value;
    DISPATCH();
}
op_32: {
    const GSSlot value = locals[LoadLE16(pc)];
    pc += 2;
    AddReference(value);
    *++top = value;
    DISPATCH();
}
op_33:
    locals[LoadLE16(pc)] = *top--;
    pc += 2;
    DISPATCH();
op_34:
    locals[LoadLE16(pc)] = PlainCopy(*top);
    pc += 2;
    DISPATCH();
op_35: {
    GSSlot& local = locals[LoadLE16(pc)];
    pc += 2;
    const GSSlot old = local;
    local = *top--;
    ReleaseReference(old);
    DISPATCH();
}
op_36: {
    GSSlot& local = locals[LoadLE16(pc)];
    pc += 2;
    const GSSlot old = local;
    AddReference(*top);
    local = *top;
    ReleaseReference(old);
    DISPATCH();
}
op_37:
    --top;
    DISPATCH();
op_38: {
    const GSSlot value = *top--;
    ReleaseReference(value);
    DISPATCH();
}
op_39:
    top[1] = PlainCopy(top[0]);
    ++top;
    DISPATCH();
op_40:
    AddReference(top[0]);
    top[1] = top[0];
    ++top;
    DISPATCH();
op_41:
    AddReference(top[-1]);
    top[1] = top[-1];
    top[2] = PlainCopy(top[0]);
    top += 2;
    DISPATCH();
op_42:
    std::swap(top[-1], top[0]);
    DISPATCH();

    // 43-55: jumps and sign tests.
op_43:
    JUMP_TO(LoadLE32(pc));
op_44:
    if (*top-- == 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_45:
    if (*top-- != 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_46:
    if (*top == 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_47:
    if (*top != 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_48:
    if (INT(*top--) < 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_49:
    if (INT(*top--) <= 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_50:
    if (INT(*top--) > 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_51:
    if (INT(*top--) >= 0)
        JUMP_TO(LoadLE32(pc));
    pc += 4;
    DISPATCH();
op_52:
    top[0] = INT(top[0]) < 0;
    DISPATCH();
op_53:
    top[0] = INT(top[0]) <= 0;
    DISPATCH();
op_54:
    top[0] = INT(top[0]) > 0;
    DISPATCH();
op_55:
    top[0] = INT(top[0]) >= 0;
    DISPATCH();

    // 56-71: arrays.
op_56:
op_57: {
    const int32_t n = INT(top[0]);
    if (n > 0 && n <= RunLimits().maxArrayElements)
        CHARGE(ElementWork(uint64_t(n)));
    auto* array = new GSArray(CONTEXT(), pc[-1] == 56 ? GSArray::kPlainElements : GSArray::kReferenceElements);
    if (!array->SetSize(n)) {
        delete array;
        FAIL(ER_ArrayOutOfBounds);
    }
    top[0] = array->Reference();
    DISPATCH();
}
op_58: {
    GSArray* array;
    CHECK(ArrayOf(top[0], array));
    const int32_t count = array->Count();
    ReleaseReference(top[0]);
    top[0] = count;
    DISPATCH();
}
op_59: {
    GSArray* array;
    CHECK(ArrayOf(top[0], array));
    CHARGE(ElementWork(uint64_t(array->Count())));
    auto* copy = new GSArray(CONTEXT(), array->ElementKind());
    if (!copy->CopyRange(*array, 0, -1)) {
        delete copy;
        FAIL(ER_ArrayOutOfBounds);
    }
    ReleaseReference(top[0]);
    top[0] = copy->Reference();
    DISPATCH();
}
op_60:
op_63: {
    GSArray* array;
    CHECK(ArrayOf(top[-1], array));
    const bool references = pc[-1] == 63;
    if (array->ElementKind() != (references ? GSArray::kReferenceElements : GSArray::kPlainElements))
        FAIL(ER_IllegalInstruction);
    GSSlot value;
    if (!array->GetObjectAt(INT(top[0]), value, references))
        FAIL(ER_ArrayOutOfBounds);
    ReleaseReference(top[-1]);
    top[-1] = value;
    --top;
    DISPATCH();
}
op_61:
op_62: {
    GSArray* array = GSArray::PlainOf(top[-2]);
    if (array && uint32_t(top[-1]) < uint32_t(array->Count())) [[likely]] {
        array->SetAt(INT(top[-1]), PlainCopy(top[0]));
    } else {
        CHECK(ArrayOf(top[-2], array));
        if (array->ElementKind() != GSArray::kPlainElements)
            FAIL(ER_IllegalInstruction);
        if (INT(top[-1]) >= array->Count())
            CHARGE(GrowthWork(*array, INT(top[-1])));
        if (!array->Set(INT(top[-1]), PlainCopy(top[0])))
            FAIL(ER_ArrayOutOfBounds);
    }
    ReleaseReference(top[-2]);
    if (pc[-1] == 62) {
        top[-2] = top[0];
        top -= 2;
    } else {
        top -= 3;
    }
    DISPATCH();
}
op_64:
op_65: {
    GSArray* array;
    CHECK(ArrayOf(top[-2], array));
    if (array->ElementKind() != GSArray::kReferenceElements)
        FAIL(ER_IllegalInstruction);
    if (INT(top[-1]) >= array->Count()) [[unlikely]]
        CHARGE(GrowthWork(*array, INT(top[-1])));
    const bool keep = pc[-1] == 65;
    if (!array->SetObjectAt(INT(top[-1]), top[0], keep))
        FAIL(ER_ArrayOutOfBounds);
    ReleaseReference(top[-2]);
    if (keep) {
        top[-2] = top[0];
        top -= 2;
    } else {
        top -= 3;
    }
    DISPATCH();
}
op_66:
op_69: {
    GSArray* array;
    CHECK(ArrayOf(top[-2], array));
    CHARGE(ElementWork(RangeLength(array->Count(), INT(top[0]), INT(top[-1]))));
    auto* part = new GSArray(CONTEXT(), array->ElementKind());
    if (!part->CopyRange(*array, INT(top[0]), INT(top[-1]))) {
        delete part;
        FAIL(ER_ArrayOutOfBounds);
    }
    ReleaseReference(top[-2]);
    top[-2] = part->Reference();
    top -= 2;
    DISPATCH();
}
op_67:
op_68:
op_70:
op_71: {
    GSArray *array, *source;
    CHECK(ArrayOf(top[-3], array));
    CHECK(OptionalArrayOf(top[0], source));
    CHARGE(ElementWork(ReplacedLength(array->Count(), INT(top[-1]), INT(top[-2]), source ? source->Count() : 0)));
    if (!array->ReplaceRange(INT(top[-1]), INT(top[-2]), source))
        FAIL(ER_ArrayOutOfBounds);
    ReleaseReference(top[-3]);
    if (pc[-1] == 68 || pc[-1] == 71) {
        top[-3] = top[0];
        top -= 3;
    } else {
        ReleaseReference(top[0]);
        top -= 4;
    }
    DISPATCH();
}

    // 72-86: strings.
op_72:
    *++top = NewString(CONTEXT(), {});
    DISPATCH();
op_73: {
    const Nyx::String& text = LIBRARY()->stringCopies[LoadLE16(pc)];
    CHARGE(ByteWork(text.Length()));
    *++top = NewString(CONTEXT(), text.View());
    pc += 2;
    DISPATCH();
}
op_74: {
    char text[16];
    std::snprintf(text, sizeof text, "%d", INT(top[0]));
    top[0] = NewString(CONTEXT(), text);
    DISPATCH();
}
op_75:
    top[0] = NewString(CONTEXT(), INT(top[0]) != 0 ? "true" : "false");
    DISPATCH();
op_76: {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%f", double(FLT(top[0])));
    if (n < 0 || size_t(n) >= sizeof text) {
        std::string wide(size_t(n > 0 ? n : 0) + 1, '\0');
        std::snprintf(wide.data(), wide.size(), "%f", double(FLT(top[0])));
        wide.pop_back();
        top[0] = NewString(CONTEXT(), wide);
    } else {
        top[0] = NewString(CONTEXT(), std::string_view(text, size_t(n)));
    }
    DISPATCH();
}
op_77: {
    GSString* string;
    CHECK(OptionalStringOf(top[0], string));
    if (string) {
        CHARGE(ByteWork(string->Length()));
        const GSSlot copy = NewString(CONTEXT(), string->View());
        ReleaseReference(top[0]);
        top[0] = copy;
    }
    DISPATCH();
}
op_78: {
    GSString* string;
    CHECK(StringOf(top[0], string));
    const int32_t length = int32_t(string->Length());
    ReleaseReference(top[0]);
    top[0] = length;
    DISPATCH();
}
op_79: {
    GSString* string;
    CHECK(StringOf(top[-1], string));
    const int32_t i = INT(top[0]);
    if (i < 0 || uint32_t(i) >= string->Length())
        FAIL(ER_StringOutOfBounds);
    const int32_t c = int8_t(string->Str()[size_t(i)]);
    ReleaseReference(top[-1]);
    top[-1] = c;
    --top;
    DISPATCH();
}
op_80:
op_81: {
    GSString* string;
    CHECK(StringOf(top[-2], string));
    const int32_t i = INT(top[-1]);
    // i + 1 is the length the text may need: checked before it is formed.
    if (i < 0 || int64_t(i) >= RunLimits().maxStringBytes)
        FAIL(ER_StringOutOfBounds);
    std::string& text = string->Str();
    if (size_t(i) >= text.size()) {
        CHARGE(ByteWork(size_t(i) + 1 - text.size()));
        text.resize(size_t(i), ' ');
        text.push_back(char(INT(top[0])));
    } else {
        text[size_t(i)] = char(INT(top[0]));
    }
    ReleaseReference(top[-2]);
    if (pc[-1] == 81) {
        top[-2] = PlainCopy(top[0]);
        top -= 2;
    } else {
        top -= 3;
    }
    DISPATCH();
}
op_82: {
    GSString* string;
    CHECK(StringOf(top[-2], string));
    CHARGE(ByteWork(RangeLength(string->Length(), INT(top[0]), INT(top[-1]))));
    auto* part = new GSString(CONTEXT());
    if (!string->Substring(*part, INT(top[0]), INT(top[-1]))) {
        delete part;
        FAIL(ER_ArrayOutOfBounds);
    }
    ReleaseReference(top[-2]);
    top[-2] = part->Reference();
    top -= 2;
    DISPATCH();
}
op_83:
op_84: {
    GSString *string, *source;
    CHECK(StringOf(top[-3], string));
    CHECK(OptionalStringOf(top[0], source));
    int32_t start = INT(top[-1]), end = INT(top[-2]);
    if (!GSString::ClampRange(string->Length(), start, end))
        FAIL(ER_ArrayOutOfBounds);
    if (int64_t(string->Length()) - (end - start) + (source ? source->Length() : 0) > RunLimits().maxStringBytes)
        FAIL(ER_StringOutOfBounds);
    // The source's text goes in and what follows the range moves.
    CHARGE(ByteWork((source ? source->Length() : 0) + (string->Length() - uint32_t(end))));
    string->ReplaceRange(start, end, source);
    ReleaseReference(top[-3]);
    if (pc[-1] == 84) {
        top[-3] = top[0];
        top -= 3;
    } else {
        ReleaseReference(top[0]);
        top -= 4;
    }
    DISPATCH();
}
op_85: {
    GSString *a, *b;
    CHECK(OptionalStringOf(top[-1], a));
    CHECK(OptionalStringOf(top[0], b));
    CHARGE(ByteWork(std::min(a ? a->Length() : 0, b ? b->Length() : 0)));
    const int32_t c = CompareTexts(a, b);
    ReleaseReference(top[-1]);
    ReleaseReference(top[0]);
    top[-1] = c;
    --top;
    DISPATCH();
}
op_86: {
    GSString *a, *b;
    CHECK(OptionalStringOf(top[-1], a));
    CHECK(OptionalStringOf(top[0], b));
    GSSlot result;
    if (a && b) {
        if (int64_t(a->Length()) + b->Length() > RunLimits().maxStringBytes)
            FAIL(ER_StringOutOfBounds);
        CHARGE(ByteWork(uint64_t(a->Length()) + b->Length()));
        auto* joined = new GSString(CONTEXT(), a->View());
        joined->Str() += b->View();
        result = joined->Reference();
        ReleaseReference(top[-1]);
        ReleaseReference(top[0]);
    } else if (a || b) {
        // The one string itself: its count moves to the result.
        result = a ? top[-1] : top[0];
    } else {
        result = NewString(CONTEXT(), {});
    }
    top[-1] = result;
    --top;
    DISPATCH();
}

    // 87-93: objects.
op_87: {
    const GSClass* target = LIBRARY()->classRefs[LoadLE16(pc)].cls;
    pc += 2;
    if (!target)
        FAIL(ER_LinkError);
    const GSSlot value = top[0];
    if (value == 0)
        FAIL(ER_NullReference);
    if (!IsReference(value))
        FAIL(ER_IllegalInstruction);
    const GSClass* cls = GSScriptInstance::OfPart(ReferencePart(value))->cls;
    const bool derives = cls && (cls == target || cls->FindBaseIndex(target) >= 0);
    ReleaseReference(value);
    top[0] = derives;
    DISPATCH();
}
op_88: {
    GSClass* cls = LIBRARY()->classRefs[LoadLE16(pc)].cls;
    pc += 2;
    if (!cls)
        FAIL(ER_ClassCreateError);
    CHARGE(ElementWork(cls->fieldCount));
    GSContext* in = CONTEXT();
    GSObject* object = cls->gameObjectClass ? new GSGameObject : new GSObject;
    object->GiveToInstance();
    // The constructors run nested, on the machine thread.
    stack.top = top;
    SYNC_OUT();
    const bool made = object->AttachClass(cls, in);
    SYNC_IN();
    if (!made) {
        delete object;
        FAIL(ER_ClassCreateError);
    }
    if (cls->gameObjectClass && in && in->Router())
        in->Router()->AddNode(*static_cast<GSGameObject*>(object));
    *++top = MakeReference(object->GetInstance());
    DISPATCH();
}
op_89: {
    GSClass* cls = LIBRARY()->classRefs[LoadLE16(pc)].cls;
    pc += 2;
    GSObject* object = nullptr;
    if (GSContext* context = cls ? CONTEXT() : nullptr) {
        stack.top = top;
        SYNC_OUT();
        object = context->GetStaticObject(*cls);
        SYNC_IN();
    }
    GSSlot* view = object ? object->GetInstance() : nullptr;
    if (view)
        AddPartReference(view);
    *++top = MakeReference(view);
    DISPATCH();
}
op_90: {
    if (LIBRARY()->classRefs.empty())
        FAIL(ER_LinkError);
    const GSClass* cls = LIBRARY()->classRefs[LoadLE16(pc)].cls;
    pc += 2;
    if (!cls)
        FAIL(ER_LinkError);
    const GSSlot value = top[0];
    if (value == 0)
        DISPATCH();
    if (!IsReference(value))
        FAIL(ER_IllegalInstruction);
    GSSlot* view = GSObject::CastToClass(ReferencePart(value), cls);
    if (!view) {
        ReleaseReference(value);
        top[0] = 0;
    } else {
        top[0] = MakeReference(view);
    }
    DISPATCH();
}
op_91: {
    const GSSlot a = top[-1], b = top[0];
    bool same;
    if (IsReference(a) && IsReference(b))
        same = GSScriptInstance::OfPart(ReferencePart(a)) == GSScriptInstance::OfPart(ReferencePart(b));
    else
        same = a == b;
    ReleaseReference(a);
    ReleaseReference(b);
    top[-1] = same ? 0 : 1;
    --top;
    DISPATCH();
}
op_92: {
    const GSSlot value = top[0];
    top[0] = value == 0;
    ReleaseReference(value);
    DISPATCH();
}
op_93: {
    const GSSlot value = top[0];
    top[0] = value != 0;
    ReleaseReference(value);
    DISPATCH();
}

    // 94-96, 114: calls and thread start.
op_94: {
    const int16_t depth = int16_t(LoadLE16(pc));
    const GSSlot target = top[depth];
    if (!IsReference(target)) [[unlikely]]
        FAIL(target == 0 ? ER_NullReference : ER_IllegalInstruction);
    GSSlot* const part = ReferencePart(target);
    GSScriptInstance* const instance = GSScriptInstance::OfPart(part);
    const GSClass::MethodEntry* const entry = MethodOf(part, instance, LoadLE16(pc + 2));
    // A method the part has, with code, taking the arguments given.
    if (!entry || entry->scriptCallDepth != depth) [[unlikely]]
        FAIL(ER_IllegalInstruction);
    GSFunction* const callee = entry->function;
    const uint32_t returnOffset = uint32_t(pc + 4 - codeBase);
    BUDGET_STEP();
    // The frame's room and the callee's first entry, checked in one; when
    // either fails, GSStack::Call and the entry's own check say which (the
    // former logs an overflow).
    if (callee->callRoom > Bytes(top, last) || callee->entryReachesBelow) [[unlikely]] {
        stack.top = top;
        if (!stack.Call(*callee, returnOffset))
            FAIL(ER_StackOverflow);
        top = stack.top;
        LOAD_FRAME();
        locals[0] = MakeReference(instance->Fields() + entry->partOffset);
        MOVE_TO(codeBase);
        ENTER_AT(0);
        DISPATCH();
    }
    GSSlot* const record = top + callee->frameRecord;
    for (GSSlot* local = top + 1; local < record; ++local)
        *local = 0;
    locals = top + callee->localsBase;
    record[0] = reinterpret_cast<GSSlot>(callee);
    record[1] = GSSlot(returnOffset);
    record[2] = reinterpret_cast<GSSlot>(stack.frame);
    record[3] = reinterpret_cast<GSSlot>(locals);
    stack.frame = record;
    top += callee->frameGrowth;
    floor = record + GSStack::kRecordSlots - 1;
    fn = callee;
    codeBase = callee->code;
    depths = callee->entryDepths.data();
    FORGET_CONTEXT();
    locals[0] = MakeReference(instance->Fields() + entry->partOffset);
    MOVE_TO(codeBase);
    DISPATCH();
}
op_95: {
    const int16_t depth = int16_t(LoadLE16(pc));
    GSSlot* part;
    GSScriptInstance* instance;
    CHECK(ObjectOf(top[depth], part, instance));
    const GSClass::MethodEntry* entry = MethodOf(part, instance, LoadLE16(pc + 2));
    if (!entry)
        FAIL(ER_IllegalInstruction);
    GSFunction* callee = entry->function;
    if (callee->parameterCount != uint32_t(1 - depth))
        FAIL(ER_IllegalInstruction);
    stack.top = top;
    if (!stack.Call(*callee, 0))
        FAIL(ER_StackOverflow);
    top = stack.top;
    GSStack::RecordLocals(stack.frame)[0] = MakeReference(instance->Fields() + entry->partOffset);
    if (!callee->native)
        FAIL(ER_NativeCallError);
    GSObject* target = NativeObjectOf(instance);
    SYNC_OUT();
    RunState().context = target ? target->Context() : nullptr;
    const bool called = callee->native->Call(target, *this);
    SYNC_IN();
    top = stack.top;
    if (!called)
        FAIL(ER_NativeCallError);
    const bool popped = callee->returnType ? stack.ReturnValue(true) : stack.Pop();
    top = stack.top;
    if (!popped)
        FAIL(ER_StackReturnError);
    // A native's exception is the call's: its line is the call's line.
    if (state == kEnded)
        FAIL(ER_Exception);
    // So is the end of the budget when the native's work spent it (a
    // native that could not afford its work left it undone).
    BUDGET_STEP();
    pc += 4;
    if (state == kBlocked) {
        resumeOffset = uint32_t(pc - codeBase);
        code = ER_Blocked;
        goto leave;
    }
    ENTER_AT(pc - codeBase);
    DISPATCH();
}
op_96:
    CHECK(StartThread(top, int16_t(LoadLE16(pc)), LoadLE16(pc + 2)));
    pc += 4;
    DISPATCH();
op_114: {
    const int16_t depth = int16_t(LoadLE16(pc));
    const GSSlot target = top[depth];
    if (target == 0)
        FAIL(ER_NullReference);
    if (!IsReference(target))
        FAIL(ER_IllegalInstruction);
    GSFunction* callee = fn->inherited;
    if (!callee)
        FAIL(ER_NullReference);
    GSSlot* part = ReferencePart(target) + fn->inheritedOffset;
    GSScriptInstance* instance = GSScriptInstance::OfPart(ReferencePart(target));
    // The shifted view must be the part of the class that declares the
    // callee, as the loader laid the instance out.
    if (!instance->cls || callee->owner->PartOffsetIn(*instance->cls) != int64_t(instance->PartOffset(part)) ||
        !callee->code || callee->parameterCount != uint32_t(1 - depth))
        FAIL(ER_IllegalInstruction);
    const uint32_t returnOffset = uint32_t(pc + 2 - codeBase);
    stack.top = top;
    if (!stack.Call(*callee, returnOffset))
        FAIL(ER_StackOverflow);
    BUDGET_STEP();
    top = stack.top;
    LOAD_FRAME();
    locals[0] = MakeReference(part);
    MOVE_TO(codeBase);
    ENTER_AT(0);
    DISPATCH();
}

    // 97-108: fields, of an object on the stack and of "me".
op_97:
op_98: {
    const uint32_t f = LoadLE16(pc);
    pc += 2;
    GSSlot* part;
    GSScriptInstance* instance;
    CHECK(ObjectOf(top[0], part, instance));
    CHECK(FieldOf(part, instance, f, false));
    GSSlot value = part[f];
    if (pc[-3] == 98)
        AddReference(value);
    else
        value = PlainCopy(value);
    ReleaseReference(top[0]);
    top[0] = value;
    DISPATCH();
}
op_99:
op_100: {
    const uint32_t f = LoadLE16(pc);
    pc += 2;
    GSSlot* part;
    GSScriptInstance* instance;
    CHECK(ObjectOf(top[-1], part, instance));
    CHECK(FieldOf(part, instance, f, true));
    const GSSlot old = part[f];
    part[f] = PlainCopy(top[0]);
    ReleaseReference(old);
    ReleaseReference(top[-1]);
    if (pc[-3] == 100) {
        top[-1] = PlainCopy(top[0]);
        --top;
    } else {
        top -= 2;
    }
    DISPATCH();
}
op_101:
op_102: {
    const uint32_t f = LoadLE16(pc);
    pc += 2;
    GSSlot* part;
    GSScriptInstance* instance;
    CHECK(ObjectOf(top[-1], part, instance));
    CHECK(FieldOf(part, instance, f, true));
    const bool keep = pc[-3] == 102;
    StoreReference(part, f, top[0], keep);
    ReleaseReference(top[-1]);
    if (keep) {
        top[-1] = top[0];
        --top;
    } else {
        top -= 2;
    }
    DISPATCH();
}
op_103:
    *++top = PlainCopy(ME()[LoadLE16(pc)]);
    pc += 2;
    DISPATCH();
op_104: {
    const GSSlot value = ME()[LoadLE16(pc)];
    pc += 2;
    AddReference(value);
    *++top = value;
    DISPATCH();
}
op_105:
op_107: {
    const uint32_t f = LoadLE16(pc);
    pc += 2;
    GSSlot* const me = ME();
    if (!MeFieldWritable(me, f))
        FAIL(ER_IllegalInstruction);
    const GSSlot old = me[f];
    me[f] = PlainCopy(top[0]);
    ReleaseReference(old);
    if (pc[-3] == 105)
        --top;
    DISPATCH();
}
op_106:
op_108: {
    const uint32_t f = LoadLE16(pc);
    pc += 2;
    GSSlot* const me = ME();
    if (!MeFieldWritable(me, f))
        FAIL(ER_IllegalInstruction);
    const bool keep = pc[-3] == 108;
    StoreReference(me, f, top[0], keep);
    if (!keep)
        --top;
    DISPATCH();
}

    // 109-111: returns.
op_109:
    stack.top = top;
    if (!stack.Pop())
        FAIL(ER_StackReturnError);
    goto returned;
op_110:
op_111:
    // GSStack::ReturnValue, with the registers at hand (it logs an uneven
    // stack).
    if (top - floor != 1) [[unlikely]] {
        stack.top = top;
        stack.ReturnValue(false);
        FAIL(ER_StackReturnError);
    }
    {
        const GSSlot value = *top;
        GSSlot* const record = floor - (GSStack::kRecordSlots - 1);
        for (uint32_t i = fn->objectLocalCount; i-- > 0;) {
            GSSlot& local = locals[fn->ObjectLocal(i)];
            const GSSlot held = local;
            local = 0;
            ReleaseReference(held);
        }
        if (!GSStack::RecordBorrowsMe(record))
            ReleaseReference(locals[0]);
        top = locals;
        *top = value;
        stack.returnOffset = GSStack::RecordReturn(record);
        stack.frame = GSStack::RecordPrevious(record);
    }
    if (!stack.frame) {
        state = kEnded;
        code = ER_Done;
        goto leave;
    }
    goto resumed;
returned:
    top = stack.top;
    if (!stack.frame) {
        state = kEnded;
        code = ER_Done;
        goto leave;
    }
resumed:
    BUDGET_STEP();
    LOAD_FRAME();
    MOVE_TO(codeBase + stack.returnOffset);
    CHECK_ME();
    ENTER_AT(stack.returnOffset);
    DISPATCH();

    // 112: wait for a message; 113: switch; 115: not zero.
op_112: {
    const int32_t n = int16_t(LoadLE16(pc));
    GSRouter* router = owner && !(flags & kStaticThread) ? owner->Router() : nullptr;
    if (!router)
        FAIL(ER_ThreadError);
    const uint8_t* names = pc + 2;
    const uint8_t* offsets = names + 4 * size_t(n);
    clauses.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        Block& clause = clauses[size_t(i)];
        clause.major = router->Intern(LIBRARY()->strings[LoadLE16(names + 4 * i)]);
        clause.minor = router->Intern(LIBRARY()->strings[LoadLE16(names + 4 * i + 2)]);
        clause.offset = LoadLE32(offsets + 4 * i);
        router->Subscribe(*owner, clause.major);
    }
    pc = offsets + 4 * size_t(n);
    state = kBlocked;
    timer = 0.0f;
    stack.top = top;
    WakeFromQueue();
    top = stack.top;
    code = ER_Blocked;
    goto leave;
}
op_113: {
    const uint32_t n = LoadLE16(pc);
    const uint8_t* values = pc + 2;
    const uint8_t* offsets = values + 4 * size_t(n);
    const int32_t value = INT(*top--);
    uint32_t target = LoadLE32(offsets + 4 * size_t(n));
    int32_t low = 0, high = int32_t(n) - 1;
    while (low <= high) {
        const int32_t middle = (low + high) >> 1;
        const int32_t at = int32_t(LoadLE32(values + 4 * size_t(middle)));
        if (value == at) {
            target = LoadLE32(offsets + 4 * size_t(middle));
            break;
        }
        if (value < at)
            high = middle - 1;
        else
            low = middle + 1;
    }
    JUMP_TO(target);
}
op_115:
    top[0] = top[0] != 0;
    DISPATCH();

    // Fused sequences (Quickening.h). Each reads the operands of the
    // instructions it stands for where they lie; anything unusual (a local
    // that holds a reference where a number is read, an index outside the
    // elements, work the budget cannot pay) goes the way of the first
    // instruction itself, which then runs the rest.

    // The compare-and-branch families, one handler for each test: the
    // difference a - b decides whether JZ jumps (it does when the test
    // fails). `after` is the distance from pc to the byte after JZ's
    // opcode, `length` the sequence's length less its first byte.
#define GS_COMPARE_FAMILY(family, body)                                      \
    family##_0 : body(difference < 0);                                       \
    family##_1 : body(difference <= 0);                                      \
    family##_2 : body(difference > 0);                                       \
    family##_3 : body(difference >= 0);                                      \
    family##_4 : body(difference == 0);                                      \
    family##_5 : body(difference != 0);
#define GS_BRANCH_UNLESS(holds, after, length)                               \
    do {                                                                     \
        if (!(holds)) {                                                      \
            pc += (after);                                                   \
            JUMP_TO(LoadLE32(pc));                                           \
        }                                                                    \
        pc += (length);                                                      \
        DISPATCH();                                                          \
    } while (0)
    // ICMP; test; JZ target
#define GS_COMPARE_BRANCH(holds)                                             \
    {                                                                        \
        const int32_t difference = int32_t(uint32_t(top[-1]) - uint32_t(top[0])); \
        top -= 2;                                                            \
        GS_BRANCH_UNLESS(holds, 2, 6);                                       \
    }
    GS_COMPARE_FAMILY(op_compare_branch, GS_COMPARE_BRANCH)
    // LOAD a; LOAD b; ICMP; test; JZ target
#define GS_COMPARE_LOCALS(holds)                                             \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)], b = locals[LoadLE16(pc + 3)]; \
        if (IsReference(a) || IsReference(b)) [[unlikely]]                   \
            goto op_31;                                                      \
        const int32_t difference = int32_t(uint32_t(a) - uint32_t(b));       \
        GS_BRANCH_UNLESS(holds, 8, 12);                                      \
    }
    GS_COMPARE_FAMILY(op_compare_locals, GS_COMPARE_LOCALS)
    // LOAD a; PUSHI k; ICMP; test; JZ target
#define GS_COMPARE_CONSTANT(holds)                                           \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        const int32_t difference = int32_t(uint32_t(a) - LoadLE32(pc + 3));  \
        GS_BRANCH_UNLESS(holds, 10, 14);                                     \
    }
    GS_COMPARE_FAMILY(op_compare_constant, GS_COMPARE_CONSTANT)
    // LOAD a; PUSH0 or PUSH1; ICMP; test; JZ target
#define GS_COMPARE_SMALL(holds)                                              \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        const int32_t difference = int32_t(uint32_t(a) - uint32_t(pc[2] - kPush0Op)); \
        GS_BRANCH_UNLESS(holds, 6, 10);                                      \
    }
    GS_COMPARE_FAMILY(op_compare_small, GS_COMPARE_SMALL)
#undef GS_COMPARE_FAMILY
#undef GS_BRANCH_UNLESS
#undef GS_COMPARE_BRANCH
#undef GS_COMPARE_LOCALS
#undef GS_COMPARE_CONSTANT
#undef GS_COMPARE_SMALL

    // The forms with ADD or SUB (INC or DEC) come in pairs, one handler
    // each: GS_PAIR makes both from a body that takes the operator.
#define GS_PAIR(name, body) \
    name##_add : body(+);   \
    name##_sub : body(-);
#define ARITH(a, op, b) IntSlot(int32_t(uint32_t(a) op uint32_t(b)))
    // LOAD a; LOAD b; ADD or SUB; POPL c
#define GS_STORE_LOCALS(op)                                                  \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)], b = locals[LoadLE16(pc + 3)]; \
        if (IsReference(a) || IsReference(b)) [[unlikely]]                   \
            goto op_31;                                                      \
        locals[LoadLE16(pc + 7)] = ARITH(a, op, b);                          \
        pc += 9;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_store_locals, GS_STORE_LOCALS)
    // LOAD a; PUSH1; ADD or SUB; POPL c
#define GS_STORE_STEP(op)                                                    \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        locals[LoadLE16(pc + 5)] = ARITH(a, op, 1);                          \
        pc += 7;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_store_step, GS_STORE_STEP)
    // LOAD a; PUSH1; ADD or SUB; POPL c; JMP target
#define GS_STORE_STEP_JUMP(op)                                               \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        locals[LoadLE16(pc + 5)] = ARITH(a, op, 1);                          \
        pc += 8;                                                             \
        JUMP_TO(LoadLE32(pc));                                               \
    }
    GS_PAIR(op_store_step_jump, GS_STORE_STEP_JUMP)
    // LOAD a; PUSHI k; ADD or SUB; POPL c
#define GS_STORE_CONSTANT(op)                                                \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        locals[LoadLE16(pc + 9)] = ARITH(a, op, LoadLE32(pc + 3));           \
        pc += 11;                                                            \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_store_constant, GS_STORE_CONSTANT)
    // LOAD a; INC or DEC; POPL c
#define GS_STEP_LOCAL(op)                                                    \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        locals[LoadLE16(pc + 4)] = ARITH(a, op, 1);                          \
        pc += 6;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_step_local, GS_STEP_LOCAL)
    // LOAD a; INC or DEC; POPL c; JMP target
#define GS_STEP_LOCAL_JUMP(op)                                               \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        locals[LoadLE16(pc + 4)] = ARITH(a, op, 1);                          \
        pc += 7;                                                             \
        JUMP_TO(LoadLE32(pc));                                               \
    }
    GS_PAIR(op_step_local_jump, GS_STEP_LOCAL_JUMP)
    // LOAD a; PUSH1; ADD or SUB
#define GS_PUSH_STEP(op)                                                     \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        *++top = ARITH(a, op, 1);                                            \
        pc += 4;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_push_step, GS_PUSH_STEP)
    // LOAD a; PUSHI k; ADD or SUB
#define GS_PUSH_CONSTANT(op)                                                 \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        *++top = ARITH(a, op, LoadLE32(pc + 3));                             \
        pc += 8;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_push_constant, GS_PUSH_CONSTANT)
    // Calls on "me" with arguments of a common shape: "me" (without a
    // count, as op_load_me_for_call pushes it) and the arguments go on the
    // stack in one step, and the call goes on at the CALL's operands. A
    // local holding a reference takes the plain way from LOADO 0 on.
op_call_me_alone:
    *++top = locals[0];
    pc += 3;
    goto call_me;
op_call_me_local: {
    const GSSlot a = locals[LoadLE16(pc + 3)];
    if (IsReference(a)) [[unlikely]]
        goto op_load_me_for_call;
    top[1] = locals[0];
    top[2] = a;
    top += 2;
    pc += 6;
    goto call_me;
}
    // LOADO 0; LOAD a; PUSH1; ADD or SUB; CALL -1 m
#define GS_CALL_ME_STEP(op)                                                  \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc + 3)];                           \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_load_me_for_call;                                        \
        top[1] = locals[0];                                                  \
        top[2] = ARITH(a, op, 1);                                            \
        top += 2;                                                            \
        pc += 8;                                                             \
        goto call_me;                                                        \
    }
    GS_PAIR(op_call_me_step, GS_CALL_ME_STEP)
    // LOADO 0; LOAD a; PUSHI k; ADD or SUB; CALL -1 m
#define GS_CALL_ME_CONSTANT(op)                                              \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc + 3)];                           \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_load_me_for_call;                                        \
        top[1] = locals[0];                                                  \
        top[2] = ARITH(a, op, LoadLE32(pc + 6));                             \
        top += 2;                                                            \
        pc += 12;                                                            \
        goto call_me;                                                        \
    }
    GS_PAIR(op_call_me_constant, GS_CALL_ME_CONSTANT)
#undef GS_CALL_ME_STEP
#undef GS_CALL_ME_CONSTANT
    // LOAD a; ADD or SUB
#define GS_ADD_LOCAL(op)                                                     \
    {                                                                        \
        const GSSlot a = locals[LoadLE16(pc)];                               \
        if (IsReference(a)) [[unlikely]]                                     \
            goto op_31;                                                      \
        top[0] = ARITH(top[0], op, a);                                       \
        pc += 3;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_add_local, GS_ADD_LOCAL)
    // PUSH1; ADD or SUB
#define GS_STEP_TOP(op)                                                      \
    {                                                                        \
        top[0] = ARITH(top[0], op, 1);                                       \
        ++pc;                                                                \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_step_top, GS_STEP_TOP)
    // PUSHI k; ADD or SUB
#define GS_ADD_CONSTANT(op)                                                  \
    {                                                                        \
        top[0] = ARITH(top[0], op, LoadLE32(pc));                            \
        pc += 5;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_add_constant, GS_ADD_CONSTANT)
#undef GS_STORE_LOCALS
#undef GS_STORE_STEP
#undef GS_STORE_STEP_JUMP
#undef GS_STORE_CONSTANT
#undef GS_STEP_LOCAL
#undef GS_STEP_LOCAL_JUMP
#undef GS_PUSH_STEP
#undef GS_PUSH_CONSTANT
#undef GS_ADD_LOCAL
#undef GS_STEP_TOP
#undef GS_ADD_CONSTANT
    // LOAD a; LOAD b
op_load_two: {
    const GSSlot a = locals[LoadLE16(pc)], b = locals[LoadLE16(pc + 3)];
    if (IsReference(a) || IsReference(b)) [[unlikely]]
        goto op_31;
    top[1] = a;
    top[2] = b;
    top += 2;
    pc += 5;
    DISPATCH();
}
    // PUSHI k; MUL
op_mul_constant:
    top[0] = IntSlot(int32_t(uint32_t(top[0]) * LoadLE32(pc)));
    pc += 5;
    DISPATCH();
    // PUSHI k; DIV or MOD, k neither 0 nor -1
op_div_constant: {
    const int32_t a = INT(top[0]), k = int32_t(LoadLE32(pc));
    top[0] = IntSlot(pc[4] == kDivOp ? a / k : a % k);
    pc += 5;
    DISPATCH();
}
    // ADD; RETV
op_add_return:
    top[-1] = IntSlot(int32_t(uint32_t(top[-1]) + uint32_t(top[0])));
    --top;
    ++pc;
    goto op_110;
    // LOAD a; RETV
op_return_local: {
    const GSSlot a = locals[LoadLE16(pc)];
    if (IsReference(a)) [[unlikely]]
        goto op_31;
    *++top = a;
    pc += 3;
    goto op_110;
}
    // LOADO 0
op_load_me:
    AddPartReference(ReferencePart(locals[0]));
    *++top = locals[0];
    pc += 2;
    DISPATCH();
    // LOADO 0 for a call on "me": the slot takes no count, since only the
    // CALL (op_call_me) takes it and the frame keeps "me" alive meanwhile.
op_load_me_for_call:
    *++top = locals[0];
    pc += 2;
    DISPATCH();
    // CALL on the "me" op_load_me_for_call pushed: the callee's frame
    // borrows the caller's count. Whatever the plain call would stop at or
    // look at more closely (a method the target lacks, a frame without
    // room, a first entry reaching below the frame, the budget) gives the
    // target its count after all and goes the plain way.
    // The target is the caller's "me" (quickening saw it pushed by
    // LOADO 0 and nothing reach down to it), so it is read from local 0;
    // being a running frame's object, it has a class and its part a table.
op_call_me:
call_me: {
    const int16_t depth = int16_t(LoadLE16(pc));
    const GSSlot target = locals[0];
    if (!IsReference(target)) [[unlikely]]
        goto op_94;
    GSSlot* const part = ReferencePart(target);
    const auto* const table = reinterpret_cast<const GSClass::MethodEntry*>(part[1]);
    const uint32_t slot = LoadLE16(pc + 2);
    if (!table || slot >= table->slotsFromHere) [[unlikely]] {
        AddPartReference(part);
        goto op_94;
    }
    const GSClass::MethodEntry* const entry = table + slot;
    if (entry->scriptCallDepth != depth || entry->function->callRoom > Bytes(top, last) ||
        entry->function->entryReachesBelow || intptr_t(pc) > deadline) [[unlikely]] {
        AddPartReference(part);
        goto op_94;
    }
    // The loader holds every frame to one shape: the locals base at the
    // target (the depth the entry has checked) and the top at the record's
    // last slot.
    GSFunction* const callee = entry->function;
    GSSlot* const record = top + callee->frameRecord;
    for (GSSlot* local = top + 1; local < record; ++local)
        *local = 0;
    locals = top + depth;
    record[0] = reinterpret_cast<GSSlot>(callee);
    record[1] = GSSlot(uint32_t(pc + 4 - codeBase)) | GSStack::kBorrowedMe;
    record[2] = reinterpret_cast<GSSlot>(stack.frame);
    record[3] = reinterpret_cast<GSSlot>(locals);
    stack.frame = record;
    top = record + GSStack::kRecordSlots - 1;
    floor = top;
    fn = callee;
    codeBase = callee->code;
    depths = callee->entryDepths.data();
    FORGET_CONTEXT();
    locals[0] = MakeReference(GSScriptInstance::OfPart(part)->Fields() + entry->partOffset);
    MOVE_TO(codeBase);
    DISPATCH();
}

    // Elements of a plain array held by a local. The array's count is
    // neither added nor released: the local keeps it. Each form finds the
    // array and the index (i, i +/- 1 or i +/- k) with ELEMENT_INDEX and
    // goes on with `array` and `index`.
#define ELEMENT_INDEX(indexOf)                                               \
    const GSSlot i = locals[LoadLE16(pc + 3)];                               \
    GSArray* const array = GSArray::PlainOf(locals[LoadLE16(pc)]);           \
    if (!array || IsReference(i)) [[unlikely]]                               \
        goto op_32;                                                          \
    const uint32_t index = (indexOf);                                        \
    if (index >= uint32_t(array->Count())) [[unlikely]]                      \
        goto op_32
    // LOADO a; LOAD i; AGET
op_element: {
    ELEMENT_INDEX(uint32_t(i));
    *++top = array->At(int32_t(index));
    pc += 6;
    DISPATCH();
}
    // LOADO a; LOAD i; PUSH1; ADD or SUB; AGET
#define GS_ELEMENT_STEP(op)                                                  \
    {                                                                        \
        ELEMENT_INDEX(uint32_t(ARITH(i, op, 1)));                            \
        *++top = array->At(int32_t(index));                                  \
        pc += 8;                                                             \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_element_step, GS_ELEMENT_STEP)
    // LOADO a; LOAD i; PUSHI k; ADD or SUB; AGET
#define GS_ELEMENT_CONSTANT(op)                                              \
    {                                                                        \
        ELEMENT_INDEX(uint32_t(ARITH(i, op, LoadLE32(pc + 6))));             \
        *++top = array->At(int32_t(index));                                  \
        pc += 12;                                                            \
        DISPATCH();                                                          \
    }
    GS_PAIR(op_element_constant, GS_ELEMENT_CONSTANT)
    // LOADO a; LOAD i; AGET; POPL c
op_element_to_local: {
    ELEMENT_INDEX(uint32_t(i));
    locals[LoadLE16(pc + 7)] = array->At(int32_t(index));
    pc += 9;
    DISPATCH();
}
    // LOADO a; LOAD i; AGET; APOP, and the same with i +/- 1: the element
    // goes into the array and index below it.
#define GS_ELEMENT_STORE(indexOf, length)                                    \
    {                                                                        \
        ELEMENT_INDEX(indexOf);                                              \
        GSArray* const into = GSArray::PlainOf(top[-1]);                     \
        if (!into || uint32_t(top[0]) >= uint32_t(into->Count())) [[unlikely]] \
            goto op_32;                                                      \
        into->SetAt(INT(top[0]), array->At(int32_t(index)));                 \
        ReleaseReference(top[-1]);                                           \
        top -= 2;                                                            \
        pc += (length);                                                      \
        DISPATCH();                                                          \
    }
op_element_store:
    GS_ELEMENT_STORE(uint32_t(i), 7)
#define GS_ELEMENT_STEP_STORE(op) GS_ELEMENT_STORE(uint32_t(ARITH(i, op, 1)), 9)
    GS_PAIR(op_element_step_store, GS_ELEMENT_STEP_STORE)
#undef GS_ELEMENT_STEP
#undef GS_ELEMENT_CONSTANT
#undef GS_ELEMENT_STORE
#undef GS_ELEMENT_STEP_STORE
#undef ELEMENT_INDEX
    // LOADO a; LOAD i; LOAD v; APOP, or LOADO a; LOAD i; PUSH1; ADD or
    // SUB; LOAD v; APOP: storing inside the elements (growing the array is
    // the plain instruction's).
#define GS_STORE_ELEMENT(indexOf, value, length)                             \
    {                                                                        \
        const GSSlot i = locals[LoadLE16(pc + 3)];                           \
        GSArray* const array = GSArray::PlainOf(locals[LoadLE16(pc)]);       \
        if (!array || IsReference(i)) [[unlikely]]                           \
            goto op_32;                                                      \
        const uint32_t index = (indexOf);                                    \
        const GSSlot v = locals[LoadLE16(pc + (value))];                     \
        if (IsReference(v) || index >= uint32_t(array->Count())) [[unlikely]] \
            goto op_32;                                                      \
        array->SetAt(int32_t(index), v);                                     \
        pc += (length);                                                      \
        DISPATCH();                                                          \
    }
op_store_element:
    GS_STORE_ELEMENT(uint32_t(i), 6, 9)
#define GS_STORE_ELEMENT_STEP(op) GS_STORE_ELEMENT(uint32_t(ARITH(i, op, 1)), 8, 11)
    GS_PAIR(op_store_element_step, GS_STORE_ELEMENT_STEP)
#undef GS_STORE_ELEMENT
#undef GS_STORE_ELEMENT_STEP
#undef ARITH
#undef GS_PAIR
    // LOADO a; LOAD i
op_array_index: {
    const GSSlot a = locals[LoadLE16(pc)], i = locals[LoadLE16(pc + 3)];
    if (IsReference(i)) [[unlikely]]
        goto op_32;
    AddReference(a);
    top[1] = a;
    top[2] = i;
    top += 2;
    pc += 5;
    DISPATCH();
}
    // LOAD v; APOP
op_store_local_element: {
    const GSSlot v = locals[LoadLE16(pc)];
    GSArray* const array = GSArray::PlainOf(top[-1]);
    if (!array || IsReference(v) || uint32_t(top[0]) >= uint32_t(array->Count())) [[unlikely]]
        goto op_31;
    array->SetAt(INT(top[0]), v);
    ReleaseReference(top[-1]);
    top -= 2;
    pc += 3;
    DISPATCH();
}
    // LOADO s; SSIZE, or LOADO a; ASIZE
op_size_local: {
    const GSSlot v = locals[LoadLE16(pc)];
    if (!IsReference(v)) [[unlikely]]
        goto op_32;
    int32_t size;
    if (pc[2] == kStringSizeOp) {
        const GSString* string = GSString::OfPart(ReferencePart(v));
        if (!string) [[unlikely]]
            goto op_32;
        size = int32_t(string->Length());
    } else {
        const GSArray* array = GSArray::OfPart(ReferencePart(v));
        if (!array) [[unlikely]]
            goto op_32;
        size = array->Count();
    }
    *++top = size;
    pc += 3;
    DISPATCH();
}
    // PUSHS k; SCAT: the constant joins the string on the top without a
    // string of its own in between; the budget pays for both steps.
op_append_constant: {
    const Nyx::String& text = LIBRARY()->stringCopies[LoadLE16(pc)];
    GSString* string = nullptr;
    if (top[0] != 0 && (!IsReference(top[0]) || !(string = GSString::OfPart(ReferencePart(top[0]))))) [[unlikely]]
        goto op_73;
    const uint64_t pushed = ByteWork(text.Length());
    const uint64_t joined = string ? ByteWork(uint64_t(string->Length()) + text.Length()) : 0;
    if ((string && int64_t(string->Length()) + text.Length() > RunLimits().maxStringBytes) ||
        !Affords(pc, pushed, deadline) || !Affords(pc + 3, pushed + joined, deadline)) [[unlikely]]
        goto op_73;
    deadline -= intptr_t(pushed + joined);
    GSSlot result;
    if (string) {
        result = (new GSString(CONTEXT(), string->View(), text.View()))->Reference();
        ReleaseReference(top[0]);
    } else {
        result = NewString(CONTEXT(), text.View());
    }
    top[0] = result;
    pc += 3;
    DISPATCH();
}
    // LOADO s; PUSHS k; SCAT; POPLO s: a string that only the local holds
    // takes the constant in place, since the new string would replace it
    // in the local and it would go. The run pays for the bytes written and
    // for the text moved when its buffer grows (it doubles, so a text built
    // so costs about twice its length in all), not for a copy never made.
op_append_local: {
    const GSSlot v = locals[LoadLE16(pc)];
    GSString* const string = IsReference(v) ? GSString::OfPart(ReferencePart(v)) : nullptr;
    if (!string || string->Instance().refCount != 1) [[unlikely]]
        goto op_32;
    const Nyx::String& text = LIBRARY()->stringCopies[LoadLE16(pc + 3)];
    const uint64_t length = uint64_t(string->Length()) + text.Length();
    const uint64_t written = ByteWork(text.Length() + (length > string->Str().capacity() ? string->Length() : 0));
    if (int64_t(length) > RunLimits().maxStringBytes || string->Instance().Context() != CONTEXT() ||
        !Affords(pc + 6, written, deadline)) [[unlikely]]
        goto op_32;
    deadline -= intptr_t(written);
    string->Str() += text.View();
    pc += 9;
    DISPATCH();
}

op_illegal:
    FAIL(ER_IllegalInstruction);

leave:
    run.spent = uint64_t(SPENT());
    --run.depth;
    stack.top = top;
    run.thread = savedThread;
    run.context = savedContext;
    return code;

exception: {
    if (pc)
        run.spent = uint64_t(SPENT());
    --run.depth;
    stack.top = top;
    int line = -1;
    if (stack.frame) {
        const GSFunction* inner = GSStack::RecordFunction(stack.frame);
        line = inner->GetLine(inner == fn && pc ? uint32_t(pc - codeBase) : 0);
    }
    char text[512];
    const GSLibrary* library = fn ? fn->library : nullptr;
    std::snprintf(text, sizeof text, "Thread Exception: %s, line %d, file %s", ExitCodeName(code), line,
                  library ? library->name.c_str() : "");
    ScriptLog("%s", text);
    state = kEnded;
    ScriptLog("Stack Dump...");
    stack.Dump();
    stack.Clear();
    run.thread = savedThread;
    run.context = savedContext;
    return code;
}

#undef DISPATCH
#undef FAIL
#undef CHECK
#undef ENTER_AT
#undef BUDGET_STEP
#undef CHARGE
#undef JUMP_TO
#undef CONTEXT
#undef FORGET_CONTEXT
#undef LIBRARY
#undef ME
#undef SPENT
#undef SYNC_OUT
#undef SYNC_IN
#undef MOVE_TO
#undef LOAD_FRAME
#undef CHECK_ME
#undef INT
#undef FLT
}

namespace {

// Opcode 96: method m of the target becomes a new thread of the target's
// game object. The target and the arguments move to the new thread.
GSExitCode StartThread(GSSlot*& top, int16_t depth, uint16_t method)
{
    GSSlot* part;
    GSScriptInstance* instance;
    const GSExitCode target = ObjectOf(top[depth], part, instance);
    if (target != ER_Done)
        return target;
    GSObjectReference* owner = instance->owner;
    if (!owner || owner->Kind() != GSObjectReference::kGameObject)
        return ER_ThreadError;
    auto* gameObject = static_cast<GSGameObject*>(static_cast<GSObject*>(owner));
    if (!gameObject->Router())
        return ER_ThreadError;
    const GSClass::MethodEntry* entry = MethodOf(part, instance, method);
    if (!entry)
        return ER_IllegalInstruction;
    GSFunction* callee = entry->function;
    if (!callee->code || callee->parameterCount != uint32_t(1 - depth))
        return ER_IllegalInstruction;
    GSThread* thread = gameObject->NewThread();
    if (!thread)
        return ER_ThreadError;
    // The loader keeps every frame, arguments included, inside an empty
    // stack, so the slots and the frame fit the new thread.
    GSStack& stack = thread->stack;
    GSSlot* const from = top + depth;
    stack.Push(MakeReference(instance->Fields() + entry->partOffset));
    for (GSSlot* arg = from + 1; arg <= top; ++arg)
        stack.Push(*arg);
    if (!stack.Call(*callee, 0)) {
        // Nothing has moved yet: the caller keeps its slots.
        stack.top = stack.Base() - 1;
        gameObject->DeleteThread(*thread);
        return ER_StackOverflow;
    }
    top = from - 1;
    return ER_Done;
}

}  // namespace

}  // namespace GSRuntime
