// A large program of every kind of declaration, statement and expression,
// with an include, thousands of classes and strings and a class of hundreds
// of functions: its library must stay the same to the byte, whatever the
// compiler does to get there faster (its hash was taken from an earlier
// compiler's output). The string table, the symbol tables and the node pool
// are far past their sizes in the other tests here.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "gs/compiler/CodegenTestSupport.h"

namespace {

// One group of classes: a static class of constants, a base class with
// fields of every type and an initialiser, and a derived class whose
// functions use every statement and most operators. `u` makes the names
// and the texts of each group its own.
std::string Group(int u)
{
    const std::string n = std::to_string(u);
    std::string s;
    s += "static class S" + n + " {\n  public int hits;\n  public define int Limit = " + std::to_string(u % 7 + 1) +
         ";\n  public define string Tag = \"tag " + n + "\";\n  public define float Half = " + n + ".5;\n};\n";
    s += "class B" + n + " isclass Shared {\n"
         "  public int count = " + n + ";\n"
         "  public string name = \"base " + n + "\", other;\n"
         "  float ratio = " + std::to_string(u % 13) + ".25;\n"
         "  int[] list;\n  bool flag = true;\n  B" + n + " next;\n  Message[] seen;\n"
         "  public int Twice(int x) { return x * 2 + count; }\n"
         "  public string Name() { return name + \"/\" + count; }\n"
         "  public native int Native" + n + "(int a, string b);\n"
         "  public thread void Worker(int a) { count = a; }\n"
         "};\n";
    s += "class D" + n + " isclass B" + n + " {\n"
         "  public int Twice(int x) { return inherited(x) + " + n + "; }\n"
         "  int Sorted(int n) {\n    int r;\n    switch (n) {\n"
         "      case " + std::to_string(u % 5 + 6) + ": r = 50; break;\n"
         "      case 1: r = 10;\n      case -3: r = 30; break;\n      default: r = S" + n + ".Limit;\n    }\n"
         "    return r;\n  }\n"
         "  float Mix(int i, float f, string s, int[] a, object o, D" + n + " e) {\n"
         "    float r = i * f + f / i - i % 3 + -f + -i + ~i + S" + n + ".Half;\n"
         "    bool b = !f or !s and !i and i;\n"
         "    i = s[1] + s.size() + a[0] + a.size() + (a[1, 2])[0] + s[, 2].size() + (s[1, ])[0];\n"
         "    b = o.isclass(D" + n + ") and o == null and a != null;\n"
         "    a = new int[i];\n    string[] names = new string[2];\n    s = new string();\n"
         "    e = new D" + n + "();\n    S" + n + ".hits = S" + n + ".hits + 1;\n"
         "    i = e.count++ + ++e.count + a[0]-- + --a[1] + s[0]++ + (0x" + std::to_string(u % 9 + 1) +
         "F << 2) + (i >> 1 & 7 | 8 ^ 3);\n"
         "    e.count--;\n    a[2]++;\n    names[1] = \"name " + n + "\";\n    e.list.copy(a);\n"
         "    r = (float) i + (int) f + (cast<D" + n + "> o).Twice(i) + 'x' + 1.5f + 3 * 4 - 10 / 3;\n"
         "    return r;\n  }\n"
         "  thread void Loop(Message other) {\n    Message m;\n    int count;\n    wait () {\n"
         "      on \"Timer " + n + "\", \"Tick\": { count++; continue; }\n"
         "      on \"Object\", \"Moved " + n + "\", m: break;\n"
         "      on \"Object\", \"Gone\", other.next: count = 0;\n    }\n"
         "    on \"Timer\", \"Once " + n + "\": count = 1;\n  }\n"
         "  string Texts(int k, bool b, float f) {\n"
         "    string t = \"text " + n + " a\" + k;\n"
         "    t = t + \"text " + n + " b\" + (k * 2.5) + b + f;\n"
         "    if (t == \"text " + n + " c\" or k < t) return \"text " + n + " d\";\n"
         "    t[0] = 65;\n    t[1, 2] = Name();\n"
         "    return t[1, 4] + S" + n + ".Tag + \"text " + n + " e\\n\\t\\\"\";\n  }\n"
         "  int Loops(int n) {\n    int i, j = 0;\n"
         "    for (i = 0; i < n; i++) {\n      if (i % 2 == 0) continue;\n      j = j + i;\n"
         "      if (j > 1000) break; else j = j + 1;\n    }\n"
         "    for (;;) { if (j <= 0) break; j = j - 3; }\n"
         "    while (j != 0) { j--; if (j == 5) goto done; }\n"
         "    again:\n    n = n - 1;\n    if (n > 0) goto again;\n"
         "    done:\n    Native" + n + "(j, \"native " + n + "\");\n    Worker(j);\n"
         "    next.Worker(2);\n    return j + Sorted(n) + next.Twice(n);\n  }\n"
         "};\n";
    return s;
}

// A class of many functions, some of them overloads of one another, that
// call one another.
std::string WideClass(int functions)
{
    std::string s = "class Wide {\n";
    for (int f = 0; f < functions; ++f) {
        const std::string n = std::to_string(f);
        s += "  public int F" + n + "(int a) { return a + " + n + "; }\n";
        if (f % 3 == 0)
            s += "  public int F" + n + "(int a, string b) { return F" + n + "(a) + b.size(); }\n";
        if (f % 4 == 0)
            s += "  public string G" + n + "(float x) { return \"wide " + n + "\" + x + F" + n + "(1); }\n";
    }
    return s + "};\n";
}

// A class that overrides some of a wide base's functions, and one more
// below it: their method tables take hundreds of inherited entries.
std::string Overrides(int functions)
{
    std::string s = "class Wider isclass Wide {\n";
    for (int f = 0; f < functions; f += 10)
        s += "  public int F" + std::to_string(f) + "(int a) { return a - 1; }\n";
    s += "};\nclass Widest isclass Wider {\n";
    for (int f = 0; f < functions; f += 40)
        s += "  public string G" + std::to_string(f) + "(float x) { return \"widest\"; }\n";
    return s + "  public int F5(int a) { return F0(a) + inherited(a); }\n};\n";
}

// FNV-1a, 64 bits.
uint64_t Hash(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

TEST(LargeProgramTest, CompilesToTheSameBytesAsBefore)
{
    std::string program = "include \"shared.gs\"\n";
    for (int u = 0; u < 600; ++u)
        program += Group(u);
    program += WideClass(400);
    program += Overrides(400);
    const std::string shared =
        "class Message {\n  public Message next;\n};\n"
        "class Shared {\n  public int shared;\n  public string Describe(int n) { return \"shared\" + n; }\n};\n";

    const gstest::Compiled c = gstest::CompileText(program, {{"shared.gs", shared}});
    ASSERT_EQ(c.errors, 0) << ::testing::PrintToString(c.messages);
    EXPECT_TRUE(c.image.errors.empty()) << ::testing::PrintToString(c.image.errors);
    EXPECT_EQ(c.image.classes.size(), 1803u);
    EXPECT_EQ(c.bytes.size(), 2422440u);
    EXPECT_EQ(Hash(c.bytes), 18388735472496796343ull);
}
