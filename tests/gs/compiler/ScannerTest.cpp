// The scanner's tokens, texts and lines.
#include <gtest/gtest.h>

#include <string>

#include "gs/compiler/scan/Scanner.h"

using GSCompiler::Scanner;

namespace {

// Each token as its code ('c' for a single character) with "=text" for
// names and literals, and "@line".
std::string Scan(const std::string& text)
{
    Scanner scanner(text.data(), static_cast<uint32_t>(text.size()));
    std::string out;
    for (int token; (token = scanner.Lex()) != 0;) {
        if (!out.empty())
            out += ' ';
        if (token < 256)
            out += std::string("'") + static_cast<char>(token) + "'";
        else
            out += std::to_string(token);
        if (token >= 298 && token <= 303)
            out += "=" + std::string(scanner.Text());
        out += "@" + std::to_string(scanner.Line());
    }
    out += " end@" + std::to_string(scanner.Line());
    return out;
}

struct Case {
    const char* name;
    std::string text;
    std::string tokens;
};

}  // namespace

TEST(ScannerTest, KeywordsInCodeOrder)
{
    const char* words[] = {"break",   "case",   "continue", "default", "else",   "for",    "goto",   "if",
                           "null",    "return", "switch",   "while",   "and",    "or",     "true",   "false",
                           "void",    "bool",   "int",      "float",   "string", "object", "class",  "include",
                           "define",  "static", "public",   "native",  "final",  "thread", "game",   "secured",
                           "size",    "isclass", "copy",    "me",      "new",    "cast",   "wait",   "on"};
    int code = 258;
    for (const char* word : words) {
        SCOPED_TRACE(word);
        EXPECT_EQ(Scan(word), std::to_string(code) + "@1 end@1");
        // A longer word, or the word in capitals, is a name.
        EXPECT_EQ(Scan(std::string(word) + "_"), "298=" + std::string(word) + "_@1 end@1");
        std::string upper(word);
        upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
        EXPECT_EQ(Scan(upper), "298=" + upper + "@1 end@1");
        ++code;
    }
    EXPECT_EQ(code, 298);
}

TEST(ScannerTest, RulesAndEdges)
{
    const Case cases[] = {
        {"dim with blanks and newline", "[ \n\t ]", "304@2 end@2"},
        {"dim needs only brackets", "[]", "304@1 end@1"},
        {"carriage return breaks a dim", "[\r]", "'['@1 ']'@1 end@1"},
        {"bracket alone", "[ x ]", "'['@1 298=x@1 ']'@1 end@1"},
        {"&& is two tokens", "a&&b", "298=a@1 '&'@1 '&'@1 298=b@1 end@1"},
        {"|| is two tokens", "||", "'|'@1 '|'@1 end@1"},
        {"+= is two tokens", "x+=1", "298=x@1 '+'@1 '='@1 300=1@1 end@1"},
        {"two-character operators", ">> << ++ -- <= >= == !=", "305@1 306@1 307@1 308@1 309@1 310@1 311@1 312@1 end@1"},
        {"longest first", ">>=<<=", "305@1 '='@1 306@1 '='@1 end@1"},
        {"single characters", ";:{},=()[].&!~-+*/%<>^|",
         "';'@1 ':'@1 '{'@1 '}'@1 ','@1 '='@1 '('@1 ')'@1 304@1 '.'@1 '&'@1 '!'@1 '~'@1 '-'@1 '+'@1 "
         "'*'@1 '/'@1 '%'@1 '<'@1 '>'@1 '^'@1 '|'@1 end@1"},
        {"no exponent", "1e5", "300=1@1 298=e5@1 end@1"},
        {"lower-case suffix only", "1.5F 1.5f", "302=1.5@1 298=F@1 302=1.5f@1 end@1"},
        {"floats", ".5 1. 2.f 0.25", "302=.5@1 302=1.@1 302=2.f@1 302=0.25@1 end@1"},
        {"two points", "1..2", "302=1.@1 302=.2@1 end@1"},
        {"lone point", "a.b", "298=a@1 '.'@1 298=b@1 end@1"},
        {"hex", "0x1F 0XaB 0x", "299=0x1F@1 299=0XaB@1 300=0@1 298=x@1 end@1"},
        {"hex then float", "0x1.5", "299=0x1@1 302=.5@1 end@1"},
        {"digits then letters", "12ab", "300=12@1 298=ab@1 end@1"},
        {"character", "'x' L'y' '\\''", "301='x'@1 301=L'y'@1 301='\\''@1 end@1"},
        {"empty character quotes", "''", "313@1 313@1 end@1"},
        {"string", "\"a\\\"b\" L\"c\"", "303=\"a\\\"b\"@1 303=L\"c\"@1 end@1"},
        {"unterminated string", "\"ab", "313@1 298=ab@1 end@1"},
        {"unterminated character", "'ab", "313@1 298=ab@1 end@1"},
        {"L alone", "L x", "298=L@1 298=x@1 end@1"},
        {"byte 0xE9", "a\xE9z", "298=a@1 313@1 298=z@1 end@1"},
        {"byte 0xE9 in a string", "\"\xE9\"", "303=\"\xE9\"@1 end@1"},
        {"other bytes", "# @ $ ? ` \\ \v \f", "313@1 313@1 313@1 313@1 313@1 313@1 313@1 313@1 end@1"},
        {"NUL byte", std::string("a\0b", 3), "298=a@1 313@1 298=b@1 end@1"},
        {"line comment at the end", "x // note", "298=x@1 end@1"},
        {"line comment keeps its newline", "x // note\ny", "298=x@1 298=y@2 end@2"},
        {"block comment", "a /* b \n c */ d", "298=a@1 298=d@2 end@2"},
        {"comments do not nest", "/* /* */ x */", "298=x@1 '*'@1 '/'@1 end@1"},
        {"star slash", "/*/ x */y", "298=y@1 end@1"},
        {"unterminated comment", "a /* b\n\n", "298=a@1 end@3"},
        {"line comment inside block", "/* // */ x", "298=x@1 end@1"},
        {"blanks", " \t\r\n x", "298=x@2 end@2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Scan(c.text), c.tokens);
    }
}

TEST(ScannerTest, LinesCountTheNewlinesInsideEveryMatch)
{
    const Case cases[] = {
        {"multi-line string", "\"a\nb\nc\" x", "303=\"a\nb\nc\"@3 298=x@3 end@3"},
        {"escaped newline in a string", "\"a\\\nb\" x", "303=\"a\\\nb\"@2 298=x@2 end@2"},
        {"character over lines", "'a\nb' x", "301='a\nb'@2 298=x@2 end@2"},
        {"comment over lines", "/*\n\n*/x\ny", "298=x@3 298=y@4 end@4"},
        {"dim over lines", "int[\n\n] x", "276@1 304@3 298=x@3 end@3"},
        {"blank lines", "\n\n\nx\n", "298=x@4 end@5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Scan(c.text), c.tokens);
    }
}

TEST(ScannerTest, LongLiteralsAndNamesScanWhole)
{
    const std::string name(5000, 'n');
    EXPECT_EQ(Scan(name), "298=" + name + "@1 end@1");
    const std::string literal = "\"" + std::string(3000, 's') + "\"";
    EXPECT_EQ(Scan(literal), "303=" + literal + "@1 end@1");
}

TEST(ScannerTest, AFailureStopsTheTokensWithoutEndingTheProcess)
{
    const std::string text = "a b";
    Scanner scanner(text.data(), static_cast<uint32_t>(text.size()));
    EXPECT_EQ(scanner.Lex(), 298);
    scanner.LexerError("scanner broke");
    EXPECT_TRUE(scanner.Failed());
    EXPECT_EQ(scanner.Lex(), GSCompiler::Token::kScannerError);
    EXPECT_EQ(scanner.Lex(), GSCompiler::Token::kScannerError);

    Scanner unreadable(nullptr, 10);
    EXPECT_EQ(unreadable.Lex(), GSCompiler::Token::kScannerError);
    Scanner empty(nullptr, 0);
    EXPECT_EQ(empty.Lex(), 0);
}
