# -*- C++ -*-
# The frame the parser generator fills from Grammar.y: the user's code, the
# token codes and value union, the LALR(1) tables, and one function holding
# every rule's action. The loop that drives them is LalrDriver (a template
# over what is written here), so the grammar file stays the one source of
# rules and actions and the loop is ordinary C++.

m4_include(b4_skeletonsdir/[c.m4])

# The tables are members of the class the driver reads them through.
m4_define([b4_integral_parser_table_define],
[    static constexpr b4_int_type_for([$2]) yy$1[[]] = {
  $2
    };
])

m4_define([b4_pure_flag], [[2]])
m4_define([b4_pure_if], [$1])

# $$ and $N as the action function sees them: the result, and the values
# on the stack counted back from its top.
m4_define([b4_lhs_value],
[b4_symbol_value(yyval, [$1], [$2])])
m4_define([b4_rhs_value],
[b4_symbol_value([yyvsp@{b4_subtract([$2], [$1])@}], [$3], [$4])])

b4_output_begin([b4_parser_file_name])[
// Generated from the grammar; do not edit.
]b4_user_pre_prologue[
]b4_percent_code_get([[requires]])[
]b4_token_enums_defines[
]b4_declare_yylstype[
#define YYSTYPE ]b4_api_PREFIX[STYPE
]b4_user_post_prologue[
]b4_percent_code_get[
]b4_c99_int_type_define[

#include "gs/compiler/parse/LalrDriver.h"

namespace {

struct ParserTables {
    using Value = YYSTYPE;
    static constexpr int kFinalState = ]b4_final_state_number[;
    static constexpr int kLast = ]b4_last[;
    static constexpr int kTokens = ]b4_tokens_number[;
    static constexpr int kNonterminals = ]b4_nterms_number[;
    static constexpr int kRules = ]b4_rules_number[;
    static constexpr int kStates = ]b4_states_number[;
    static constexpr int kMaxToken = ]b4_code_max[;
    static constexpr int kPactDefault = ]b4_pact_ninf[;
    static constexpr int kTableError = ]b4_table_ninf[;
    static constexpr int kEndToken = ]b4_api_PREFIX[EOF;
    static constexpr int kScannerErrorToken = ]b4_api_PREFIX[error;
    static constexpr int kUndefinedSymbol = ]b4_symbol(undef, number)[;

]b4_integral_parser_table_define([translate], [b4_translate])[
]b4_parser_tables_define[

    // Whether a rule has an action of its own; one without passes its
    // first value on.
    static constexpr bool HasAction(int yyn)
    {
        switch (yyn) {
]m4_pushdef([b4_case], [[        case $1:
]])b4_actions[]m4_popdef([b4_case])[            return true;
        default:
            return false;
        }
    }

    // Runs rule yyn's action over the values ending at yyvsp into yyval;
    // false when the action gave up.
    static bool Reduce(int yyn, YYSTYPE* yyvsp, YYSTYPE& yyval)
    {
#define YYABORT return false
#define YYACCEPT return true
        switch (yyn) {
]b4_user_actions[
        default:
            break;
        }
        return true;
#undef YYABORT
#undef YYACCEPT
    }

    static int Lex(YYSTYPE* value) { return ]b4_prefix[lex(value); }
    static void Error(const char* message) { ]b4_prefix[error(message); }
};

}  // namespace

int ]b4_prefix[parse()
{
    return GSCompiler::LalrDriver<ParserTables>::Parse();
}
]b4_percent_code_get([[epilogue]])[]dnl
b4_epilogue[]dnl
b4_output_end
