// The names of types, operators and specifiers, signatures and the type
// comparisons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gs/compiler/CheckerTestSupport.h"
#include "gs/compiler/types/Signature.h"
#include "gs/compiler/types/TypeMatch.h"
#include "gs/compiler/types/TypeNames.h"

using namespace GSCompiler;

TEST(TypeHelpersTest, Names)
{
    std::string types;
    for (int32_t code = -1; code <= 14; ++code)
        types += std::string(TypeName(code)) + "|";
    EXPECT_EQ(types,
              "illegal type|void|bool|int|float|string|object|void[]|bool[]|int[]|float[]|string[]|object[]||null|"
              "illegal type|");
    EXPECT_EQ(TypeName(kTypeObject, "Soup"), "Soup");
    EXPECT_EQ(TypeName(kTypeObjectArray, "Soup"), "Soup[]");
    EXPECT_EQ(TypeName(kTypeInt, "Soup"), "int");
    EXPECT_EQ(TypeName(kTypeObject, std::string(300, 'S')), std::string(300, 'S'));

    std::string ops;
    for (int32_t op = -1; op <= 35; ++op)
        ops += std::string(OperatorName(op)) + " ";
    EXPECT_EQ(ops, " -- ++ . + - ! ~ -- ++ [,] [] () * / % + - << >> < > <= >= == != & ^ | and or = size isclass copy "
                   "new  ");

    EXPECT_EQ(SpecifierNames(0), "");
    EXPECT_EQ(SpecifierNames(0x1FF), "public native static final thread constructor game secured define ");
    EXPECT_EQ(SpecifierNames(kFlagDefine | kFlagSecured | kFlagPublic | kFlagValueDiscarded), "public secured define ");
}

TEST(TypeHelpersTest, SignaturesOfDeclaredFunctions)
{
    gstest::Parsed p = gstest::Parse(
        "class Soup {\n"
        "  void a();\n"
        "  int[] b(void);\n"
        "  Soup c(object o, Soup s, Soup[] ss, string[] t) {}\n"
        "  Soup[] d(float f);\n"
        "};");
    ASSERT_EQ(p.result, 0);
    std::vector<std::string> signatures;
    for (const SyntaxNode* m = p.Root()->child[2]; m; m = m->next)
        signatures.push_back(BuildSignature(*m, "Soup"));
    EXPECT_EQ(signatures, (std::vector<std::string>{"$void@Soup::a()", "$int[]@Soup::b()",
                                                    "$Soup@Soup::c(object,Soup,Soup[],string[])",
                                                    "$Soup[]@Soup::d(float)"}));
    EXPECT_EQ(SignatureSymbolName(signatures[2]), "c(object,Soup,Soup[],string[])");
    EXPECT_EQ(SignatureFunctionName(signatures[2]), "c");
    EXPECT_EQ(SignatureFunctionName("f(int)"), "f");
}

TEST(TypeHelpersTest, ParametersAreReadBackFromSignatures)
{
    struct Case {
        std::string signature;
        std::vector<std::string> parameters;
    };
    const std::string longClass(300, 'C');
    const Case cases[] = {
        {"$void@A::f()", {}},
        {"$void@A::f(int)", {"int"}},
        {"$void@A::f(int,Soup[],string)", {"int", "Soup[]", "string"}},
        {"$void@A::f(" + longClass + "," + longClass + "[])", {longClass, longClass + "[]"}},
        {"no parenthesis", {}},
        {"f(int", {"int"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> read;
        std::string type;
        int32_t cursor = 0;
        for (bool more = SignatureFirstParameter(c.signature, cursor, type); more;
             more = SignatureNextParameter(c.signature, cursor, type))
            read.push_back(type);
        EXPECT_EQ(read, c.parameters) << c.signature;
        EXPECT_EQ(cursor, -1);
    }
    std::string field;
    int32_t cursor = 0;
    ASSERT_TRUE(DelimitedFieldFirst("a:b,,c)d", ':', cursor, field));
    EXPECT_EQ(field, "b");
    ASSERT_TRUE(DelimitedFieldNext("a:b,,c)d", cursor, field));
    EXPECT_EQ(field, "");
    ASSERT_TRUE(DelimitedFieldNext("a:b,,c)d", cursor, field));
    EXPECT_EQ(field, "c");
    EXPECT_EQ(cursor, -1);
    EXPECT_FALSE(DelimitedFieldNext("a:b,,c)d", cursor, field));
}

TEST(TypeHelpersTest, TypeNamesAreParsedBack)
{
    struct Case {
        const char* name;
        int32_t code;
        const char* className;
    };
    const Case cases[] = {
        {"void", kTypeVoid, ""},        {"bool", kTypeBool, ""},         {"int", kTypeInt, ""},
        {"float", kTypeFloat, ""},      {"string", kTypeString, ""},     {"object", kTypeObject, ""},
        {"int[]", 8, ""},               {"object[]", kTypeObjectArray, ""}, {"Soup", kTypeObject, "Soup"},
        {"Soup[]", kTypeObjectArray, "Soup"}, {"Int", kTypeObject, "Int"},
    };
    for (const Case& c : cases) {
        ParsedType t = ParseTypeName(c.name);
        EXPECT_EQ(t.code, c.code) << c.name;
        EXPECT_EQ(t.className, c.className) << c.name;
    }
}

TEST(TypeHelpersTest, TypesMatch)
{
    struct Case {
        TypeDescriptor a;
        TypeDescriptor b;
        bool match;
    };
    const Case cases[] = {
        {{kTypeInt, ""}, {kTypeInt, ""}, true},
        {{kTypeInt, ""}, {kTypeFloat, ""}, false},
        {{kTypeObject, "A"}, {kTypeObject, "A"}, true},
        {{kTypeObject, "A"}, {kTypeObject, "B"}, false},
        {{kTypeObject, "A"}, {kTypeObject, ""}, false},
        {{kTypeObject, ""}, {kTypeObject, ""}, true},
        {{kTypeObject, "A"}, {kTypeNull, ""}, true},
        {{kTypeNull, ""}, {kTypeObject, "B"}, true},
        {{kTypeNull, ""}, {kTypeString, ""}, false},
        {{kTypeObjectArray, "A"}, {kTypeObjectArray, "B"}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TypesMatch(c.a, c.b), c.match) << c.a.code << c.a.className << " " << c.b.code << c.b.className;
        EXPECT_EQ(TypesMatch(c.b, c.a), c.match);
    }
    SyntaxNode a{};
    SyntaxNode b{};
    a.type = b.type = kTypeObject;
    a.className = "A";
    EXPECT_FALSE(SameType(a, b));
    b.className = "A";
    EXPECT_TRUE(SameType(a, b));
    EXPECT_TRUE(SameTypeAndClass(kTypeNull, "", a));

    a.flags = 0;
    EXPECT_FALSE(MarkValueConsumed(a));
    EXPECT_FALSE(a.flags & kFlagValueConsumed);
    a.flags = kFlagValueDiscarded;
    EXPECT_TRUE(MarkValueConsumed(a));
    EXPECT_TRUE(a.flags & kFlagValueConsumed);
}
