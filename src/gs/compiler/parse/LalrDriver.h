// The LALR(1) loop over the tables the parser generator writes from the
// grammar: the compressed action table (pact, table, check), the default
// reductions (defact), the goto table (pgoto, defgoto) and the rule shapes
// (r1, r2). `Tables` also brings the rule actions (Reduce, HasAction), the
// token source (Lex) and the error sink (Error).
//
// Token reads happen exactly where the classic loop reads them: a state
// whose only action is its default reduction reduces without looking
// ahead, since a node's line is the scanner's line when it is built. A
// chain of single-symbol reductions without actions of their own (the
// expression levels an operand climbs through) is followed in one go over
// the tables: it only renames the symbol on top of the stack, so the
// values, the depth and where an error is seen stay what they were.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <vector>

namespace GSCompiler {

template <class Tables>
class LalrDriver {
public:
    // 0 when the input was accepted, 1 after a syntax error or an action
    // that gave up, 2 when the stacks would outgrow their limit.
    static int Parse();

private:
    using Value = typename Tables::Value;

    static constexpr int kInitialDepth = 200;
    static constexpr int kMaximumDepth = 10000;
    static constexpr int kNoSymbol = -1;

    // Rules whose reduction only renames the top symbol.
    static constexpr std::array<bool, Tables::kRules + 1> kPassesOn = [] {
        std::array<bool, Tables::kRules + 1> passes{};
        for (int rule = 1; rule <= Tables::kRules; ++rule)
            passes[rule] = Tables::yyr2[rule] == 1 && !Tables::HasAction(rule);
        return passes;
    }();

    static int Symbol(int token)
    {
        return token <= Tables::kEndToken ? 0
               : token <= Tables::kMaxToken ? int(Tables::yytranslate[token])
                                            : Tables::kUndefinedSymbol;
    }

    static int Goto(int under, int nonterminal)
    {
        const int i = Tables::yypgoto[nonterminal] + under;
        return 0 <= i && i <= Tables::kLast && Tables::yycheck[i] == under ? Tables::yytable[i]
                                                                          : Tables::yydefgoto[nonterminal];
    }

    // The rule state `state` reduces by with `symbol` ahead (kNoSymbol: none
    // read yet); 0 when it shifts, fails, or needs a symbol not read yet.
    static int ReductionAt(int state, int symbol)
    {
        const int base = Tables::yypact[state];
        if (base == Tables::kPactDefault)
            return Tables::yydefact[state];
        if (symbol == kNoSymbol)
            return 0;
        const int i = base + symbol;
        if (0 <= i && i <= Tables::kLast && Tables::yycheck[i] == symbol) {
            const int action = Tables::yytable[i];
            return action > 0 || action == Tables::kTableError ? 0 : -action;
        }
        return Tables::yydefact[state];
    }

    // The state the stack top ends in after `nonterminal` was pushed over
    // `under` and every renaming reduction that follows has been taken.
    static int GotoThroughRenames(int under, int nonterminal, int symbol)
    {
        int state = Goto(under, nonterminal);
        while (state != Tables::kFinalState) {
            const int rule = ReductionAt(state, symbol);
            if (!kPassesOn[rule])
                break;
            state = Goto(under, Tables::yyr1[rule] - Tables::kTokens);
        }
        return state;
    }

    // GotoThroughRenames remembered for every key met: a program climbs the
    // same few chains (a few hundred keys at most) over and over.
    class RenameCache {
    public:
        RenameCache() { entries_.fill(Entry{kEmptyKey, 0}); }

        int Goto(int under, int nonterminal, int symbol)
        {
            const uint32_t key = uint32_t(under) << 16 | uint32_t(nonterminal) << 8 | uint32_t(symbol + 1);
            for (uint32_t i = (key * 0x9E3779B1u) >> (32 - kBits);; i = (i + 1) & kMask) {
                Entry& entry = entries_[i];
                if (entry.key == key)
                    return entry.state;
                if (entry.key == kEmptyKey) {
                    const int state = GotoThroughRenames(under, nonterminal, symbol);
                    // Half full at most, so that a search meets an empty
                    // entry soon; keys past that are walked each time.
                    if (used_ < kMask / 2) {
                        entry = Entry{key, int16_t(state)};
                        ++used_;
                    }
                    return state;
                }
            }
        }

    private:
        static_assert(Tables::kStates <= 0x7FFF && Tables::kNonterminals < 256 && Tables::kTokens < 255,
                      "a key packs a state, a nonterminal and a symbol");
        static constexpr int kBits = 11;
        static constexpr uint32_t kMask = (uint32_t(1) << kBits) - 1;
        static constexpr uint32_t kEmptyKey = 0xFFFFFFFFu;
        struct Entry {
            uint32_t key;
            int16_t state;
        };
        std::array<Entry, size_t(1) << kBits> entries_;
        uint32_t used_ = 0;
    };
};

template <class Tables>
int LalrDriver<Tables>::Parse()
{
    // The two stacks run in step: values[i] is the value of the symbol that
    // led into states[i].
    std::vector<int16_t> states;
    std::vector<Value> values;
    size_t capacity = kInitialDepth;
    const auto resize = [&](size_t entries) {
        try {
            states.resize(entries);
            values.resize(entries);
            return true;
        } catch (const std::bad_alloc&) {
            Tables::Error("memory exhausted");
            return false;
        }
    };
    if (!resize(capacity))
        return 2;
    size_t top = 0;
    int state = 0;
    states[0] = 0;
    int symbol = kNoSymbol;
    Value lookahead{};
    RenameCache renames;

    for (;;) {
        if (state == Tables::kFinalState)
            return 0;

        int rule;
        const int base = Tables::yypact[state];
        if (base == Tables::kPactDefault) {
            rule = Tables::yydefact[state];
            if (rule == 0) {
                Tables::Error("syntax error");
                return 1;
            }
        } else {
            if (symbol == kNoSymbol) {
                const int token = Tables::Lex(&lookahead);
                // The scanner has said what went wrong: stop without a
                // message of our own.
                if (token == Tables::kScannerErrorToken)
                    return 1;
                symbol = Symbol(token);
            }
            const int i = base + symbol;
            if (0 <= i && i <= Tables::kLast && Tables::yycheck[i] == symbol) {
                const int action = Tables::yytable[i];
                if (action == Tables::kTableError) {
                    Tables::Error("syntax error");
                    return 1;
                }
                if (action > 0) {
                    ++top;
                    state = action;
                    states[top] = int16_t(state);
                    values[top] = lookahead;
                    symbol = kNoSymbol;
                    goto entered;
                }
                rule = -action;
            } else {
                rule = Tables::yydefact[state];
                if (rule == 0) {
                    Tables::Error("syntax error");
                    return 1;
                }
            }
        }

        if (kPassesOn[rule]) {
            // The value on top stays; only the state it stands in changes.
            state = renames.Goto(states[top - 1], Tables::yyr1[rule] - Tables::kTokens, symbol);
            states[top] = int16_t(state);
        } else {
            const int length = Tables::yyr2[rule];
            Value result = length ? values[top + 1 - size_t(length)] : Value{};
            if (!Tables::Reduce(rule, &values[top], result))
                return 1;
            top -= size_t(length);
            state = renames.Goto(states[top], Tables::yyr1[rule] - Tables::kTokens, symbol);
            ++top;
            states[top] = int16_t(state);
            values[top] = result;
        }

    entered:
        // The stacks grow by doubling when the state just entered fills
        // them, up to their limit.
        if (top + 1 >= capacity) {
            if (capacity >= size_t(kMaximumDepth)) {
                Tables::Error("memory exhausted");
                return 2;
            }
            capacity = std::min(capacity * 2, size_t(kMaximumDepth));
            if (!resize(capacity))
                return 2;
        }
    }
}

}  // namespace GSCompiler
