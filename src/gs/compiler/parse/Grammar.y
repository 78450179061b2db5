/* The GS grammar. The productions stand in a fixed order, and each builds
   its node from the scanner's state at its reduction: a node's line is the
   scanner's line then, and literal texts are read from the scanner's last
   match (the reductions that read one need no look-ahead). */

%code requires {
#include <cstdint>

#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {
// A list as it grows: its first node, its last node (lists chain through
// `next`, and an element may bring a chain of its own) and where the last
// element began.
struct NodeList {
    SyntaxNode* head;
    SyntaxNode* tail;
    SyntaxNode* lastStart;
};
}  // namespace GSCompiler
}

%{
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gs/compiler/parse/Parser.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/scan/Scanner.h"
#include "gs/support/UnquoteLiteral.h"
%}

%define api.prefix {gsyy}
%skeleton "./ParserSkeleton.m4"
%expect 1

/* One word a value: the parser copies values on every reduction, so lists
   stand in records of their own (ParseLists) and the value is a pointer. */
%union {
    GSCompiler::SyntaxNode* node;
    uint32_t flags;
    GSCompiler::NodeList* list;
}

%{
#include <deque>
#include <new>

using namespace GSCompiler;

namespace {

// The scanner and context of the parse under way, read once when it starts:
// the actions ask for them at nearly every token.
Scanner* g_scanner = nullptr;
SourceContext* g_context = nullptr;

// The list records of the parse under way.
std::deque<NodeList>& ParseLists()
{
    static std::deque<NodeList> lists;
    return lists;
}

int gsyylex(GSYYSTYPE*)
{
    Scanner* scanner = g_scanner;
    return scanner ? scanner->Lex() : 0;
}

void gsyyerror(const char* message)
{
    SourceContext* context = g_context;
    if (!context)
        return;
    const char* text = std::strcmp(message, "memory exhausted") == 0 ? "parser stack overflow" : "parse error";
    if (Scanner* scanner = g_scanner)
        context->Report(true, false, scanner->Line(), "%s, line %d", text, scanner->Line());
    else
        context->Message("%s", text);
}

int32_t Line()
{
    Scanner* scanner = g_scanner;
    return scanner ? scanner->Line() : 0;
}

std::string_view Matched()
{
    Scanner* scanner = g_scanner;
    return scanner ? scanner->Text() : std::string_view();
}

SyntaxNode* Make(int32_t category, int32_t kind, int32_t detail)
{
    SourceContext* context = g_context;
    return context ? context->NewNode(category, kind, Line(), detail) : nullptr;
}

const char* Copy(std::string_view text)
{
    SourceContext* context = g_context;
    return context ? context->CopyText(text.substr(0, text.find('\0'))) : nullptr;
}

// The matched identifier, which holds letters, digits and "_" only.
const char* CopyIdentifier()
{
    SourceContext* context = g_context;
    return context ? context->CopyText(Matched()) : nullptr;
}

void OutOfMemory()
{
    if (SourceContext* context = g_context)
        context->Message("Internal Compiler Error.");
}

SyntaxNode* LastOf(SyntaxNode* node)
{
    while (node && node->next)
        node = node->next;
    return node;
}

// A new list of one element; null when memory runs out.
NodeList* ListOf(SyntaxNode* node)
{
    try {
        return &ParseLists().emplace_back(NodeList{node, LastOf(node), node});
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

NodeList* Append(NodeList* list, SyntaxNode* node)
{
    if (!node)
        return list;
    if (!list->head) {
        *list = NodeList{node, LastOf(node), node};
        return list;
    }
    list->tail->next = node;
    list->lastStart = node;
    list->tail = LastOf(node);
    return list;
}

void FlagChain(SyntaxNode* from, uint32_t flag)
{
    for (; from; from = from->next)
        from->flags |= flag;
}

SyntaxNode* AsName(SyntaxNode* identifier)
{
    identifier->category = kDeclaration;
    identifier->kind = kName;
    return identifier;
}

// Decimal digits, wrapping modulo 2^32 like the 32-bit machine word.
int32_t DecimalValue(std::string_view digits)
{
    uint32_t value = 0;
    for (char c : digits)
        value = value * 10 + static_cast<uint32_t>(c - '0');
    return static_cast<int32_t>(value);
}

// Hexadecimal digits after "0x"; anything above 0x7FFFFFFF is 0x7FFFFFFF.
int32_t HexValue(std::string_view text)
{
    uint64_t value = 0;
    for (char c : text.substr(2)) {
        int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0x7FFFFFFF)
            return 0x7FFFFFFF;
    }
    return static_cast<int32_t>(value);
}

float RealValue(std::string_view text)
{
    std::string digits(text);
    double value = std::strtod(digits.c_str(), nullptr);
    if (value > FLT_MAX)
        return HUGE_VALF;
    return static_cast<float>(value);
}

int32_t CharacterValue(std::string_view text)
{
    std::string value = UnquoteLiteral(text, true);
    return value.empty() ? 0 : static_cast<int32_t>(static_cast<signed char>(value[0]));
}

const char* IncludeName(std::string_view text)
{
    std::string name = UnquoteLiteral(text, false);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return Copy(name);
}

}  // namespace

#define NODE(target, category, kind, detail)     \
    do {                                         \
        (target) = Make((category), (kind), (detail)); \
        if (!(target)) {                         \
            OutOfMemory();                       \
            YYABORT;                             \
        }                                        \
    } while (0)

#define TEXT(target, text)                       \
    do {                                         \
        (target) = (text);                       \
        if (!(target)) {                         \
            OutOfMemory();                       \
            YYABORT;                             \
        }                                        \
    } while (0)

#define LIST(target, node) TEXT(target, ListOf(node))

#define BINARY(result, op, left, right)          \
    do {                                         \
        NODE(result, kExpression, kOperator, op); \
        (result)->child[0] = (left);             \
        (result)->child[1] = (right);            \
    } while (0)
%}

%token KEYWORD_BREAK KEYWORD_CASE KEYWORD_CONTINUE KEYWORD_DEFAULT KEYWORD_ELSE KEYWORD_FOR
%token KEYWORD_GOTO KEYWORD_IF KEYWORD_NULL KEYWORD_RETURN KEYWORD_SWITCH KEYWORD_WHILE
%token KEYWORD_AND KEYWORD_OR KEYWORD_TRUE KEYWORD_FALSE
%token KEYWORD_VOID KEYWORD_BOOL KEYWORD_INT KEYWORD_FLOAT KEYWORD_STRING KEYWORD_OBJECT
%token KEYWORD_CLASS KEYWORD_INCLUDE KEYWORD_DEFINE KEYWORD_STATIC
%token KEYWORD_PUBLIC KEYWORD_NATIVE KEYWORD_FINAL KEYWORD_THREAD KEYWORD_GAME KEYWORD_SECURED
%token KEYWORD_SIZE KEYWORD_ISCLASS KEYWORD_COPY KEYWORD_ME KEYWORD_NEW
%token KEYWORD_CAST KEYWORD_WAIT KEYWORD_ON
%token IDENTIFIER CONSTANT_HEX CONSTANT_INT CONSTANT_CHAR CONSTANT_FLOAT CONSTANT_STRING
%token SYMBOL_OP_DIM SYMBOL_RIGHT_SHIFT SYMBOL_LEFT_SHIFT SYMBOL_INC SYMBOL_DEC
%token SYMBOL_LTE SYMBOL_GTE SYMBOL_EQ SYMBOL_NEQ SYMBOL_INVALID

%type <list> include_list class_declaration_list class_list declaration_list declarator_list
%type <list> parameter_list statement_list expression argument_expression_list
%type <flags> declaration_specifiers declaration_specifier
%type <node> include_declaration include_file class_declaration declaration
%type <node> function_prototype_declaration function_declaration variable_declaration_list
%type <node> declarator type_specifier primitive_type parameter compound_statement statement
%type <node> labeled_statement expression_statement selection_statement iteration_statement
%type <node> jump_statement constant_expression assignment_expression logical_or_expression
%type <node> logical_and_expression inclusive_or_expression exclusive_or_expression and_expression
%type <node> equality_expression relational_expression shift_expression additive_expression
%type <node> multiplicative_expression cast_expression unary_expression unary_operator
%type <node> postfix_expression primary_expression new_expression identifier constant

%start program

%%

program
    : include_list class_declaration_list
        { g_context->SetDeclarations(Append($1, $2->head)->head); }
    | class_declaration_list
        { g_context->SetDeclarations($1->head); }
    ;

include_list
    : include_declaration { LIST($$, $1); }
    | include_list include_declaration { $$ = Append($1, $2); }
    ;

include_declaration
    : KEYWORD_INCLUDE include_file
        { NODE($$, kDeclaration, kInclude, kNoDetail); $$->child[0] = $2; }
    ;

include_file
    : CONSTANT_STRING
        { NODE($$, kDeclaration, kName, kNoDetail); TEXT($$->value.text, IncludeName(Matched())); }
    ;

class_declaration_list
    : class_declaration { LIST($$, $1); }
    | class_declaration_list class_declaration { $$ = Append($1, $2); }
    ;

class_declaration
    : KEYWORD_CLASS identifier '{' '}' ';'
        { NODE($$, kDeclaration, kClass, kNoDetail); $$->child[0] = AsName($2); }
    | KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' '}' ';'
        { NODE($$, kDeclaration, kClass, kNoDetail); $$->child[0] = AsName($2); $$->child[1] = $4->head; }
    | declaration_specifiers KEYWORD_CLASS identifier '{' '}' ';'
        { NODE($$, kDeclaration, kClass, kNoDetail); $$->child[0] = AsName($3); $$->flags |= $1; }
    | declaration_specifiers KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' '}' ';'
        {
            NODE($$, kDeclaration, kClass, kNoDetail);
            $$->child[0] = AsName($3);
            $$->child[1] = $5->head;
            $$->flags |= $1;
        }
    | KEYWORD_CLASS identifier '{' declaration_list '}' ';'
        { NODE($$, kDeclaration, kClass, kNoDetail); $$->child[0] = AsName($2); $$->child[2] = $4->head; }
    | KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' declaration_list '}' ';'
        {
            NODE($$, kDeclaration, kClass, kNoDetail);
            $$->child[0] = AsName($2);
            $$->child[1] = $4->head;
            $$->child[2] = $6->head;
        }
    | declaration_specifiers KEYWORD_CLASS identifier '{' declaration_list '}' ';'
        {
            NODE($$, kDeclaration, kClass, kNoDetail);
            $$->child[0] = AsName($3);
            $$->child[2] = $5->head;
            $$->flags |= $1;
        }
    | declaration_specifiers KEYWORD_CLASS identifier KEYWORD_ISCLASS class_list '{' declaration_list '}' ';'
        {
            NODE($$, kDeclaration, kClass, kNoDetail);
            $$->child[0] = AsName($3);
            $$->child[1] = $5->head;
            $$->child[2] = $7->head;
            $$->flags |= $1;
        }
    ;

class_list
    : identifier { LIST($$, AsName($1)); }
    | class_list ',' identifier { $$ = Append($1, AsName($3)); }
    ;

declaration_list
    : declaration { LIST($$, $1); }
    | declaration_list declaration { $$ = Append($1, $2); }
    ;

declaration
    : function_declaration
    | function_prototype_declaration
    | variable_declaration_list { $$ = $1; $$->flags |= kFlagMemberVariables; }
    | declaration_specifiers function_declaration { $$ = $2; $$->flags |= $1; }
    | declaration_specifiers function_prototype_declaration { $$ = $2; $$->flags |= $1; }
    | declaration_specifiers variable_declaration_list { $$ = $2; $$->flags |= $1 | kFlagMemberVariables; }
    ;

declaration_specifiers
    : declaration_specifier
    | declaration_specifiers declaration_specifier { $$ = $1 | $2; }
    ;

declaration_specifier
    : KEYWORD_PUBLIC { $$ = kFlagPublic; }
    | KEYWORD_NATIVE { $$ = kFlagNative; }
    | KEYWORD_FINAL { $$ = kFlagFinal; }
    | KEYWORD_THREAD { $$ = kFlagThread; }
    | KEYWORD_STATIC { $$ = kFlagStatic; }
    | KEYWORD_GAME { $$ = kFlagGame; }
    | KEYWORD_SECURED { $$ = kFlagSecured; }
    | KEYWORD_DEFINE { $$ = kFlagDefine; }
    ;

function_prototype_declaration
    : type_specifier identifier '(' ')' ';'
        { NODE($$, kDeclaration, kFunctionPrototype, kNoDetail); $$->child[0] = $1; $$->child[1] = AsName($2); }
    | type_specifier identifier '(' KEYWORD_VOID ')' ';'
        { NODE($$, kDeclaration, kFunctionPrototype, kNoDetail); $$->child[0] = $1; $$->child[1] = AsName($2); }
    | type_specifier identifier '(' parameter_list ')' ';'
        {
            NODE($$, kDeclaration, kFunctionPrototype, kNoDetail);
            $$->child[0] = $1;
            $$->child[1] = AsName($2);
            $$->child[2] = $4->head;
        }
    ;

function_declaration
    : type_specifier identifier '(' ')' compound_statement
        {
            NODE($$, kDeclaration, kFunction, kNoDetail);
            $$->child[0] = $1;
            $$->child[1] = AsName($2);
            $$->child[3] = $5;
            $5->flags |= kFlagFunctionBody;
        }
    | type_specifier identifier '(' KEYWORD_VOID ')' compound_statement
        {
            NODE($$, kDeclaration, kFunction, kNoDetail);
            $$->child[0] = $1;
            $$->child[1] = AsName($2);
            $$->child[3] = $6;
            $6->flags |= kFlagFunctionBody;
        }
    | type_specifier identifier '(' parameter_list ')' compound_statement
        {
            NODE($$, kDeclaration, kFunction, kNoDetail);
            $$->child[0] = $1;
            $$->child[1] = AsName($2);
            $$->child[2] = $4->head;
            $$->child[3] = $6;
            $6->flags |= kFlagFunctionBody;
        }
    ;

variable_declaration_list
    : type_specifier declarator_list ';'
        { NODE($$, kDeclaration, kVariableList, kNoDetail); $$->child[0] = $1; $$->child[1] = $2->head; }
    ;

declarator_list
    : declarator { LIST($$, $1); }
    | declarator_list ',' declarator { $$ = Append($1, $3); }
    ;

declarator
    : identifier
        { NODE($$, kDeclaration, kDeclarator, kNoDetail); $$->child[0] = AsName($1); }
    | identifier '=' constant_expression
        { NODE($$, kDeclaration, kDeclarator, kNoDetail); $$->child[0] = AsName($1); $$->child[1] = $3; }
    ;

type_specifier
    : primitive_type
    | primitive_type SYMBOL_OP_DIM { $$ = $1; $$->detail += kArrayOffset; }
    | identifier { NODE($$, kDeclaration, kType, kTypeObject); $$->child[0] = $1; }
    | identifier SYMBOL_OP_DIM { NODE($$, kDeclaration, kType, kTypeObjectArray); $$->child[0] = $1; }
    ;

primitive_type
    : KEYWORD_VOID { NODE($$, kDeclaration, kType, kTypeVoid); }
    | KEYWORD_BOOL { NODE($$, kDeclaration, kType, kTypeBool); }
    | KEYWORD_INT { NODE($$, kDeclaration, kType, kTypeInt); }
    | KEYWORD_FLOAT { NODE($$, kDeclaration, kType, kTypeFloat); }
    | KEYWORD_STRING { NODE($$, kDeclaration, kType, kTypeString); }
    | KEYWORD_OBJECT { NODE($$, kDeclaration, kType, kTypeObject); }
    ;

parameter_list
    : parameter { LIST($$, $1); }
    | parameter_list ',' parameter { $$ = Append($1, $3); }
    ;

parameter
    : type_specifier identifier
        { NODE($$, kDeclaration, kParameter, kNoDetail); $$->child[0] = $1; $$->child[1] = AsName($2); }
    ;

compound_statement
    : '{' '}' { NODE($$, kStatement, kBlock, kNoDetail); }
    | '{' statement_list '}' { NODE($$, kStatement, kBlock, kNoDetail); $$->child[0] = $2->head; }
    ;

statement_list
    : statement { LIST($$, $1); }
    | statement_list statement { $$ = Append($1, $2); }
    ;

statement
    : variable_declaration_list
    | labeled_statement
    | compound_statement
    | expression_statement
    | selection_statement
    | iteration_statement
    | jump_statement
    ;

labeled_statement
    : identifier ':' statement
        { NODE($$, kStatement, kLabel, kNoDetail); $$->child[0] = AsName($1); $$->next = $3; }
    | KEYWORD_CASE constant_expression ':' statement
        { NODE($$, kStatement, kCase, kNoDetail); $$->child[0] = $2; $$->next = $4; }
    | KEYWORD_DEFAULT ':' statement
        { NODE($$, kStatement, kDefault, kNoDetail); $$->next = $3; }
    | KEYWORD_ON constant ',' constant ':' statement
        { NODE($$, kStatement, kOn, kNoDetail); $$->child[0] = $2; $$->child[1] = $4; $$->next = $6; }
    | KEYWORD_ON constant ',' constant ',' unary_expression ':' statement
        {
            NODE($$, kStatement, kOn, kNoDetail);
            $$->child[0] = $2;
            $$->child[1] = $4;
            $$->child[2] = $6;
            $$->next = $8;
        }
    ;

expression_statement
    : ';' { $$ = nullptr; }
    | expression ';' { $$ = $1->head; FlagChain($$, kFlagValueDiscarded); }
    ;

selection_statement
    : KEYWORD_IF '(' expression ')' statement
        { NODE($$, kStatement, kIf, kNoDetail); $$->child[0] = $3->head; $$->child[1] = $5; }
    | KEYWORD_IF '(' expression ')' statement KEYWORD_ELSE statement
        {
            NODE($$, kStatement, kIf, kNoDetail);
            $$->child[0] = $3->head;
            $$->child[1] = $5;
            $$->child[2] = $7;
        }
    | KEYWORD_SWITCH '(' expression ')' compound_statement
        { NODE($$, kStatement, kSwitch, kNoDetail); $$->child[0] = $3->head; $$->child[1] = $5; }
    | KEYWORD_WAIT '(' ')' compound_statement
        { NODE($$, kStatement, kWait, kNoDetail); $$->child[0] = $4; }
    ;

iteration_statement
    : KEYWORD_WHILE '(' expression ')' statement
        { NODE($$, kStatement, kWhile, kNoDetail); $$->child[0] = $3->head; $$->child[1] = $5; }
    | KEYWORD_FOR '(' expression_statement expression_statement ')' statement
        {
            NODE($$, kStatement, kFor, kNoDetail);
            $$->child[0] = $3;
            $$->child[1] = $4;
            $$->child[2] = $6;
        }
    | KEYWORD_FOR '(' expression_statement expression_statement expression ')' statement
        {
            NODE($$, kStatement, kFor, kNoDetail);
            $$->child[0] = $3;
            $$->child[1] = $4;
            $$->child[2] = $7;
            $$->child[3] = $5->head;
            FlagChain($5->head, kFlagValueDiscarded);
        }
    ;

jump_statement
    : KEYWORD_GOTO identifier ';' { NODE($$, kStatement, kGoto, kNoDetail); $$->child[0] = AsName($2); }
    | KEYWORD_CONTINUE ';' { NODE($$, kStatement, kContinue, kNoDetail); }
    | KEYWORD_BREAK ';' { NODE($$, kStatement, kBreak, kNoDetail); }
    | KEYWORD_RETURN ';' { NODE($$, kStatement, kReturn, kNoDetail); }
    | KEYWORD_RETURN expression ';' { NODE($$, kStatement, kReturn, kNoDetail); $$->child[0] = $2->head; }
    ;

constant_expression
    : logical_or_expression
    ;

expression
    : assignment_expression { LIST($$, $1); }
    | expression ',' assignment_expression
        {
            FlagChain($1->lastStart, kFlagValueDiscarded);
            $$ = Append($1, $3);
        }
    ;

assignment_expression
    : logical_or_expression
    | unary_expression '=' assignment_expression { BINARY($$, kOpAssign, $1, $3); }
    ;

logical_or_expression
    : logical_and_expression
    | logical_or_expression KEYWORD_OR logical_and_expression { BINARY($$, kOpOr, $1, $3); }
    ;

logical_and_expression
    : inclusive_or_expression
    | logical_and_expression KEYWORD_AND inclusive_or_expression { BINARY($$, kOpAnd, $1, $3); }
    ;

inclusive_or_expression
    : exclusive_or_expression
    | inclusive_or_expression '|' exclusive_or_expression { BINARY($$, kOpBitOr, $1, $3); }
    ;

exclusive_or_expression
    : and_expression
    | exclusive_or_expression '^' and_expression { BINARY($$, kOpBitXor, $1, $3); }
    ;

and_expression
    : equality_expression
    | and_expression '&' equality_expression { BINARY($$, kOpBitAnd, $1, $3); }
    ;

equality_expression
    : relational_expression
    | equality_expression SYMBOL_EQ relational_expression { BINARY($$, kOpEqual, $1, $3); }
    | equality_expression SYMBOL_NEQ relational_expression { BINARY($$, kOpNotEqual, $1, $3); }
    ;

relational_expression
    : shift_expression
    | relational_expression '<' shift_expression { BINARY($$, kOpLess, $1, $3); }
    | relational_expression '>' shift_expression { BINARY($$, kOpGreater, $1, $3); }
    | relational_expression SYMBOL_LTE shift_expression { BINARY($$, kOpLessEqual, $1, $3); }
    | relational_expression SYMBOL_GTE shift_expression { BINARY($$, kOpGreaterEqual, $1, $3); }
    ;

shift_expression
    : additive_expression
    | shift_expression SYMBOL_LEFT_SHIFT additive_expression { BINARY($$, kOpShiftLeft, $1, $3); }
    | shift_expression SYMBOL_RIGHT_SHIFT additive_expression { BINARY($$, kOpShiftRight, $1, $3); }
    ;

additive_expression
    : multiplicative_expression
    | additive_expression '+' multiplicative_expression { BINARY($$, kOpAdd, $1, $3); }
    | additive_expression '-' multiplicative_expression { BINARY($$, kOpSubtract, $1, $3); }
    ;

multiplicative_expression
    : cast_expression
    | multiplicative_expression '*' cast_expression { BINARY($$, kOpMultiply, $1, $3); }
    | multiplicative_expression '/' cast_expression { BINARY($$, kOpDivide, $1, $3); }
    | multiplicative_expression '%' cast_expression { BINARY($$, kOpRemainder, $1, $3); }
    ;

cast_expression
    : unary_expression
    | '(' primitive_type ')' cast_expression { BINARY($$, kOpCast, $4, $2); }
    | '(' primitive_type SYMBOL_OP_DIM ')' cast_expression { BINARY($$, kOpCast, $5, $2); }
    | KEYWORD_CAST '<' type_specifier '>' cast_expression { BINARY($$, kOpCast, $5, $3); }
    ;

unary_expression
    : postfix_expression
    | SYMBOL_INC unary_expression { NODE($$, kExpression, kOperator, kOpPreInc); $$->child[0] = $2; }
    | SYMBOL_DEC unary_expression { NODE($$, kExpression, kOperator, kOpPreDec); $$->child[0] = $2; }
    | unary_operator cast_expression { $$ = $1; $$->child[0] = $2; }
    ;

unary_operator
    : '+' { NODE($$, kExpression, kOperator, kOpPlus); }
    | '-' { NODE($$, kExpression, kOperator, kOpMinus); }
    | '~' { NODE($$, kExpression, kOperator, kOpComplement); }
    | '!' { NODE($$, kExpression, kOperator, kOpNot); }
    ;

postfix_expression
    : primary_expression
    | postfix_expression '[' ',' assignment_expression ']'
        { NODE($$, kExpression, kOperator, kOpRange); $$->child[0] = $1; $$->child[2] = $4; }
    | postfix_expression '[' assignment_expression ',' ']'
        { NODE($$, kExpression, kOperator, kOpRange); $$->child[0] = $1; $$->child[1] = $3; }
    | postfix_expression '[' assignment_expression ',' assignment_expression ']'
        {
            NODE($$, kExpression, kOperator, kOpRange);
            $$->child[0] = $1;
            $$->child[1] = $3;
            $$->child[2] = $5;
        }
    | postfix_expression '[' assignment_expression ']' { BINARY($$, kOpIndex, $1, $3); }
    | postfix_expression '(' ')' { NODE($$, kExpression, kCall, kNoDetail); $$->child[0] = $1; }
    | postfix_expression '(' argument_expression_list ')'
        { NODE($$, kExpression, kCall, kNoDetail); $$->child[0] = $1; $$->child[1] = $3->head; }
    | postfix_expression '.' identifier
        {
            BINARY($$, kOpMember, $1, $3);
            $3->category = kExpression;
            $3->kind = kMemberName;
        }
    | postfix_expression SYMBOL_INC { NODE($$, kExpression, kOperator, kOpPostInc); $$->child[0] = $1; }
    | postfix_expression SYMBOL_DEC { NODE($$, kExpression, kOperator, kOpPostDec); $$->child[0] = $1; }
    | postfix_expression '.' KEYWORD_SIZE '(' ')'
        { NODE($$, kExpression, kOperator, kOpSize); $$->child[0] = $1; }
    | postfix_expression '.' KEYWORD_ISCLASS '(' identifier ')'
        { BINARY($$, kOpIsClass, $1, AsName($5)); }
    | postfix_expression '.' KEYWORD_COPY '(' assignment_expression ')'
        { BINARY($$, kOpCopy, $1, $5); }
    ;

argument_expression_list
    : assignment_expression { LIST($$, $1); }
    | argument_expression_list ',' assignment_expression { $$ = Append($1, $3); }
    ;

primary_expression
    : identifier
    | KEYWORD_ME { NODE($$, kExpression, kMe, kNoDetail); }
    | KEYWORD_NULL { NODE($$, kExpression, kNull, kNoDetail); }
    | constant
    | new_expression
    | '(' expression ')' { $$ = $2->head; }
    ;

new_expression
    : KEYWORD_NEW primitive_type '(' ')'
        { NODE($$, kExpression, kOperator, kOpNew); $$->child[0] = $2; }
    | KEYWORD_NEW primitive_type '(' argument_expression_list ')'
        { NODE($$, kExpression, kOperator, kOpNew); $$->child[0] = $2; $$->child[2] = $4->head; }
    | KEYWORD_NEW primitive_type '[' expression ']'
        {
            NODE($$, kExpression, kOperator, kOpNew);
            $2->detail += kArrayOffset;
            $$->child[0] = $2;
            $$->child[1] = $4->head;
        }
    | KEYWORD_NEW identifier '(' ')'
        {
            SyntaxNode* type;
            NODE(type, kDeclaration, kType, kTypeObject);
            type->child[0] = AsName($2);
            NODE($$, kExpression, kOperator, kOpNew);
            $$->child[0] = type;
        }
    | KEYWORD_NEW identifier '(' argument_expression_list ')'
        {
            SyntaxNode* type;
            NODE(type, kDeclaration, kType, kTypeObject);
            type->child[0] = AsName($2);
            NODE($$, kExpression, kOperator, kOpNew);
            $$->child[0] = type;
            $$->child[2] = $4->head;
        }
    | KEYWORD_NEW identifier '[' expression ']'
        {
            SyntaxNode* type;
            NODE(type, kDeclaration, kType, kTypeObjectArray);
            type->child[0] = AsName($2);
            NODE($$, kExpression, kOperator, kOpNew);
            $$->child[0] = type;
            $$->child[1] = $4->head;
        }
    ;

identifier
    : IDENTIFIER { NODE($$, kExpression, kIdentifier, kNoDetail); TEXT($$->value.text, CopyIdentifier()); }
    ;

constant
    : CONSTANT_HEX { NODE($$, kExpression, kConstant, kConstInt); $$->value.number = HexValue(Matched()); }
    | CONSTANT_INT { NODE($$, kExpression, kConstant, kConstInt); $$->value.number = DecimalValue(Matched()); }
    | CONSTANT_CHAR { NODE($$, kExpression, kConstant, kConstInt); $$->value.number = CharacterValue(Matched()); }
    | CONSTANT_FLOAT { NODE($$, kExpression, kConstant, kConstFloat); $$->value.real = RealValue(Matched()); }
    | CONSTANT_STRING
        {
            NODE($$, kExpression, kConstant, kConstString);
            TEXT($$->value.text, Copy(UnquoteLiteral(Matched(), true)));
        }
    | KEYWORD_TRUE { NODE($$, kExpression, kConstant, kConstBool); $$->value.number = 1; }
    | KEYWORD_FALSE { NODE($$, kExpression, kConstant, kConstBool); $$->value.number = 0; }
    ;

%%

namespace GSCompiler {

static_assert(int(KEYWORD_BREAK) == Token::kBreak && int(KEYWORD_WHILE) == Token::kWhile);
static_assert(int(KEYWORD_AND) == Token::kAnd && int(KEYWORD_FALSE) == Token::kFalse);
static_assert(int(KEYWORD_VOID) == Token::kVoid && int(KEYWORD_OBJECT) == Token::kObject);
static_assert(int(KEYWORD_CLASS) == Token::kClass && int(KEYWORD_SECURED) == Token::kSecured);
static_assert(int(KEYWORD_SIZE) == Token::kSize && int(KEYWORD_ON) == Token::kOn);
static_assert(int(IDENTIFIER) == Token::kIdentifier && int(CONSTANT_STRING) == Token::kText);
static_assert(int(SYMBOL_OP_DIM) == Token::kDim && int(SYMBOL_NEQ) == Token::kNotEqual);
static_assert(int(SYMBOL_INVALID) == Token::kInvalid && int(GSYYerror) == Token::kScannerError);

int ParseSource()
{
    SourceContext* context = SourceContext::Current();
    if (context)
        context->SetDeclarations(nullptr);
    g_scanner = Scanner::Current();
    g_context = context;
    int result = gsyyparse();
    g_scanner = nullptr;
    g_context = nullptr;
    ParseLists().clear();
    // A failed parse hands on no tree, not even one finished before the
    // error was seen.
    if (result != 0 && context)
        context->SetDeclarations(nullptr);
    return result;
}

ParseScope::ParseScope(Scanner& scanner, SourceContext& context)
{
    Scanner::SetCurrent(&scanner);
    SourceContext::SetCurrent(&context);
}

ParseScope::~ParseScope()
{
    Scanner::SetCurrent(nullptr);
    SourceContext::SetCurrent(nullptr);
}

}  // namespace GSCompiler
