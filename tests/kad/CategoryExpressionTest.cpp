#include "kad/requests/CategoryExpression.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CategoryExpressionTest, ExpressionsAgainstLists)
{
    struct Case {
        const char* expression;  // null: no expression
        const char* list;
        bool matches;
    };
    const char* const kSearch = "CMP;MESH|BD;-ACTV|VE|SCEN";
    const Case cases[] = {
        {kSearch, "CMP;MESH;DECO", true},
        {kSearch, "BD;IND", true},
        {kSearch, "BD;ACTV", false},
        {kSearch, "VE", true},
        {kSearch, "SCEN", true},
        {kSearch, "CMP;DECO", false},
        {"TR;TV", "TR;TV;LOC;ELEC", true},
        {"TR;TV", "TR;LOC", false},
        // Whole entries, byte for byte.
        {"TV", "TVX;TR", false},
        {"TR", "tr", false},
        {"TR", "XTR", false},
        // Runs of ";" separate terms; a leading one is an empty term.
        {"A;;B", "A;B", true},
        {"A;;B", "A", false},
        {"A;", "A", true},
        {";A", "A", false},
        {";A|B", "B", true},
        {"-;A", "A", true},
        {"-;A", "B", false},
        // Empty alternatives match everything.
        {"|TR", "XX", true},
        {"", "XX", true},
        {nullptr, "XX", true},
        {"TR|", "XX", true},
        // "-" flips the term, each one again.
        {"-", "TR", true},
        {"-", "", true},
        {"--TR", "TR", true},
        {"--TR", "TV", false},
        {"---TR", "TR", false},
        {"-TR", "TV", true},
        // The list ends at its first "|".
        {"TR", "TR|TV", true},
        {"TV", "TR|TV", false},
        // Empty entries match nothing.
        {"-TR", "A;;B", true},
        {"B", "A;;B", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.expression ? c.expression : "(null)") + " / " + c.list);
        EXPECT_EQ(CategoryExpression::Matches(c.expression, c.list), c.matches);
    }
}

TEST(CategoryExpressionTest, TermsReadToTheirEndAndANullListHoldsNothing)
{
    EXPECT_TRUE(CategoryExpression::MatchTerm("TR;TV", "TV;XX"));
    EXPECT_TRUE(CategoryExpression::MatchTerm("TR;TV", "TV|XX"));
    EXPECT_FALSE(CategoryExpression::MatchTerm(nullptr, "TR"));
    EXPECT_TRUE(CategoryExpression::MatchTerm(nullptr, "-TR"));
    EXPECT_FALSE(CategoryExpression::Matches("TR", nullptr));
    EXPECT_FALSE(CategoryExpression::MatchTerm("TR", ""));
    EXPECT_FALSE(CategoryExpression::MatchTerm("TR", "|TR"));
    // A long run of "-" is counted, not recursed into.
    std::string dashes((1 << 20) + 1, '-');
    EXPECT_FALSE(CategoryExpression::MatchTerm("TR", (dashes + "TR").c_str()));
    EXPECT_TRUE(CategoryExpression::MatchTerm("TR", (dashes + "-TR").c_str()));
}

TEST(CategoryExpressionTest, ListEntriesAndMerges)
{
    EXPECT_EQ(ReadListEntry("TR;TV"), "TR");
    EXPECT_EQ(ReadListEntry("TR|TV"), "TR");
    EXPECT_EQ(ReadListEntry(";TV"), "");
    EXPECT_EQ(ReadListEntry(nullptr), "");

    struct Append {
        const char* target;
        const char* text;
        const char* result;
    };
    const Append appends[] = {
        {"", "TR;TV", "TR"}, {"A", "TR|TV", "A;TR"}, {"A", ";TR", "A"}, {"A", "|TR", "A"}, {"A", "", "A"},
    };
    for (const Append& a : appends) {
        Nyx::String target(a.target);
        AppendListEntry(target, a.text);
        EXPECT_EQ(target, a.result) << a.target << " + " << a.text;
    }

    struct Merge {
        const char* first;
        const char* second;
        const char* result;
    };
    const Merge merges[] = {
        {"TR;TV", "LOC;;ELEC", "TR;TV;#LOC;#ELEC"},
        {"TR;#LOC", "LOC", "TR;#LOC"},
        {"", "LOC", "#LOC"},
        {"TR", ";;LOC;LOC", "TR;#LOC"},
        {"TR", "LOC|ELEC", "TR;#LOC"},
        {"TR", "", "TR"},
        {"TR", nullptr, "TR"},
    };
    for (const Merge& m : merges) {
        Nyx::String result("stale");
        MergeCategoryLists(result, m.first, m.second);
        EXPECT_EQ(result, m.result) << m.first << " + " << (m.second ? m.second : "(null)");
    }
}

}  // namespace
