// One node of a file's syntax tree, as the parser builds it and the checker
// and the code generator later fill in. Nodes live in their file's
// SourceContext until it is released; nothing frees them one by one.
#pragma once

#include <cstdint>

namespace GSCompiler {

enum NodeCategory : int32_t { kDeclaration = 0, kStatement = 1, kExpression = 2 };

enum DeclarationKind : int32_t {
    kFunction = 0,
    kFunctionPrototype = 1,
    kInclude = 2,
    kClass = 3,
    kVariableList = 4,
    kDeclarator = 5,
    kType = 6,
    kParameter = 7,
    kName = 8,
};

enum StatementKind : int32_t {
    kReturn = 0,
    kBreak = 1,
    kContinue = 2,
    kGoto = 3,
    kFor = 4,
    kWhile = 5,
    kSwitch = 6,
    kIf = 7,
    kDefault = 8,
    kCase = 9,
    kLabel = 10,
    kBlock = 11,
    kWait = 12,
    kOn = 13,
};

enum ExpressionKind : int32_t {
    kOperator = 0,
    kConstant = 1,
    kIdentifier = 2,
    kCall = 3,
    kMemberName = 4,
    kMe = 5,
    kNull = 6,
};

// Type codes: the detail of a Type node, and every node's type once checked.
enum TypeCode : int32_t {
    kTypeVoid = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeFloat = 3,
    kTypeString = 4,
    kTypeObject = 5,
    kArrayOffset = 6,  // added to an element type: 6 void[] ... 11 object[]
    kTypeVoidArray = 6,
    kTypeBoolArray = 7,
    kTypeObjectArray = 11,
    // Not checked yet, or the type of an expression whose operands were
    // illegal (the error type).
    kTypeNone = 12,
    kTypeNull = 13,
    kTypeCount = 14,
};

// The detail of a Constant node.
enum ConstantType : int32_t { kConstBool = 0, kConstInt = 1, kConstFloat = 2, kConstString = 3 };

// The detail of an Operator node.
enum OperatorCode : int32_t {
    kOpPostDec = 0,
    kOpPostInc = 1,
    kOpMember = 2,
    kOpPlus = 3,
    kOpMinus = 4,
    kOpNot = 5,
    kOpComplement = 6,
    kOpPreDec = 7,
    kOpPreInc = 8,
    kOpRange = 9,
    kOpIndex = 10,
    kOpCast = 11,
    kOpMultiply = 12,
    kOpDivide = 13,
    kOpRemainder = 14,
    kOpAdd = 15,
    kOpSubtract = 16,
    kOpShiftLeft = 17,
    kOpShiftRight = 18,
    kOpLess = 19,
    kOpGreater = 20,
    kOpLessEqual = 21,
    kOpGreaterEqual = 22,
    kOpEqual = 23,
    kOpNotEqual = 24,
    kOpBitAnd = 25,
    kOpBitXor = 26,
    kOpBitOr = 27,
    kOpAnd = 28,
    kOpOr = 29,
    kOpAssign = 30,
    kOpSize = 31,
    kOpIsClass = 32,
    kOpCopy = 33,
    kOpNew = 34,
};

// Flags: the declaration specifiers, then the parser's own marks.
enum NodeFlags : uint32_t {
    kFlagPublic = 0x1,
    kFlagNative = 0x2,
    kFlagStatic = 0x4,
    kFlagFinal = 0x8,
    kFlagThread = 0x10,
    kFlagConstructor = 0x20,
    kFlagGame = 0x40,
    kFlagDefine = 0x80,
    kFlagSecured = 0x100,
    kSpecifierMask = 0x1FF,
    // The checker's marks. On an identifier, kFlagStatic marks a class named
    // as a value (a static class reference).
    kFlagHasDefault = 0x200,      // a switch that has met its default
    kFlagThroughObject = 0x400,   // a call whose callee is a "." expression
    kFlagLValue = 0x800,          // an expression that may be assigned
    kFlagLocal = 0x1000,          // an identifier naming a frame slot
    kFlagValueConsumed = 0x2000,  // a discarded value that needs no pop
    kFlagNoScope = 0x4000,        // a block nested too deep to open a scope
    kFlagMemberVariables = 0x4000000,
    kFlagFunctionBody = 0x8000000,
    kFlagValueDiscarded = 0x10000000,
};

constexpr int32_t kNoDetail = -1;

// The seventeen words of a node. A large program has hundreds of thousands
// of them, which the checker and the code generator each read in turn, so
// they are packed: the pointer-wide words first, the small codes in a byte
// each.
struct SyntaxNode {
    SyntaxNode* child[4];  // words 0-3
    // Word 4: lists (declarations, statements, parameters, declarators,
    // arguments, bases) chain through it.
    SyntaxNode* next;
    // Word 5 (the checker's link up the tree) is not kept: the checker's
    // walk knows the parent of the node it visits.
    // Word 7: an integer, the bits of a 32-bit float, or a text, by kind;
    // for break, continue, case, default and on, the statement that owns
    // them.
    union {
        int32_t number;
        float real;
        const char* text;
        SyntaxNode* statement;
        uintptr_t bits;
    } value;
    union {
        // Word 14, on expressions, types and names: the class of an object
        // or object-array type; null for none.
        const char* className;
        // Word 15, on statements: the chain of case and default nodes of a
        // switch, or of the on nodes of a wait, newest first.
        SyntaxNode* ownerLink;
    };
    int8_t category;  // word 6
    int8_t kind;      // word 8
    // Word 9: a type code, an operator code or a constant type; kNoDetail
    // when none.
    int8_t detail;
    int8_t type;  // word 13: none until checked
    // Word 10: the scanner's line when the node was built.
    int32_t line;
    uint32_t flags;  // word 11
    // Word 12: a frame slot, a field index or a method index (16 bits used).
    int32_t index;
};

static_assert(sizeof(SyntaxNode) <= 9 * sizeof(void*), "a node stays packed");

// A binary operator ("*" to "or").
inline bool IsBinaryOperator(const SyntaxNode& node) noexcept
{
    return node.category == kExpression && node.kind == kOperator && node.detail >= kOpMultiply &&
           node.detail <= kOpOr;
}

// The left operand of a binary operator when it is a binary operator of
// its own (not a chain of comma-separated expressions); else null. Long
// sums and texts ("a" + b + "c" + ...) are such left-deep chains, which
// the checker and the code generator go down in a loop, not by nesting.
inline SyntaxNode* BinaryLeftChain(const SyntaxNode& node) noexcept
{
    SyntaxNode* left = IsBinaryOperator(node) ? node.child[0] : nullptr;
    if (!left || left->next || !IsBinaryOperator(*left) || (left->flags & kFlagValueDiscarded))
        return nullptr;
    return left;
}

}  // namespace GSCompiler
