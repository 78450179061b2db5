#include "config/formats/ConfigText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "config/tree/ACSConvert.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataTag.h"
#include "config/tree/TagTreeOps.h"
#include "core/streams/TStream.h"

namespace {

using Tag = TDBContainerTag;

const std::string kBom = "\xEF\xBB\xBF";

std::string Golden(const std::string& name)
{
    std::ifstream in(std::string(KESTRO_TEST_DATA_DIR) + "/config/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Write(const ChunkRef& root, bool* complete = nullptr)
{
    TBuffer out;
    bool ok = WriteConfigText(out, root);
    if (complete)
        *complete = ok;
    return std::string(reinterpret_cast<const char*>(out.GetBuffer()->Data()), out.GetBuffer()->DataLength());
}

ChunkRef Read(std::string_view text, bool* ok = nullptr)
{
    TBuffer in;
    in.GetBuffer()->Write(text.data(), static_cast<uint32_t>(text.size()), 1);
    in.GetBuffer()->Seek(0);
    ChunkRef root;
    bool result = ReadConfigText(root, in, false);
    if (ok)
        *ok = result;
    return root;
}

void SetTyped(ChunkRef& root, const char* name, ACSValueType type, std::string_view bytes)
{
    auto* tag = new TDBDataTag;
    ChunkRef child(tag);
    tag->SetValue(type, ACSRawData::Copy(bytes.data(), static_cast<uint32_t>(bytes.size())));
    root.EnsureContainer();
    root->AddChild(name, child);
}

void SetFloats(ChunkRef& root, const char* name, const std::vector<float>& values)
{
    FloatArray list;
    for (float v : values)
        list.Append(v);
    Tag::SetNumberList(root, name, list);
}

// A tree as name:type(value) items, containers in braces; CR and LF shown
// as \r and \n.
std::string Describe(const ChunkRef& chunk)
{
    if (!chunk)
        return "null";
    std::string out = "{";
    for (uint32_t i = 0; i < chunk->GetChildCount(); ++i) {
        Nyx::PString name;
        ChunkRef child;
        chunk->GetChildAt(i, name, child);
        out += (i ? " " : "") + name.Str() + ":";
        ACSValueType type = child->GetType();
        ACSRawData text = ACSConvert(type, ACSRawData::FromChunk(child), ACS_TYPE_STRING);
        if (type == ACS_TYPE_CONTAINER)
            out += Describe(child);
        else if (type == ACS_TYPE_NONE)
            out += "none";
        else
            out += std::string(1, "??rfsaik"[type & 7]) + "(" + std::string(RawDataText(text)) + ")";
    }
    for (size_t at; (at = out.find_first_of("\r\n")) != std::string::npos;)
        out.replace(at, 1, out[at] == '\r' ? "\\r" : "\\n");
    return out + "}";
}

ChunkRef Nest(int levels)
{
    ChunkRef root;
    Tag::SetInt(root, "leaf", 1);
    for (int i = 0; i < levels; ++i) {
        ChunkRef outer;
        Tag::SetChildContainer(outer, "c", root);
        root = outer;
    }
    return root;
}

TEST(ConfigTextWriter, MatchesGoldenFiles)
{
    ChunkRef example, c;
    Tag::SetInt(example, "a", 1);
    Tag::SetString(example, "b", "x y");
    Tag::SetFloat(c, "d", 2.5f);
    Tag::SetChildContainer(example, "c", c);
    EXPECT_EQ(Write(example), Golden("write_example.txt"));

    ChunkRef values;
    Tag::SetInt(values, "int-one", 7);
    Tag::SetInt(values, "int-negative", INT32_MIN);
    int32_t ints[] = {1, -2, 3};
    SetTyped(values, "int-list", ACS_TYPE_INT, std::string_view(reinterpret_cast<const char*>(ints), 12));
    Tag::SetFloat(values, "float-one", 0.1234567f);
    Tag::SetFloat(values, "float-whole", 1.0f);
    SetFloats(values, "float-list", {0.5f, 2.0f, -3.25f});
    Tag::SetFloat(values, "float-big", 1e10f);
    Tag::SetKUID(values, "kuid", KUID(12, 34, 0));
    Tag::SetKUID(values, "kuid2", KUID(12, 34, 5));
    Tag::SetKUID(values, "kuid-null", KUID::Null);
    Tag::SetString(values, "str", "plain");
    Tag::SetString(values, "str-number", "12");
    Tag::SetString(values, "str-quote", "He said \"hi\"");
    Tag::SetString(values, "str-lines", "one\r\ntwo\nthree");
    Tag::SetString(values, "str-backslash", "C:\\path\\n");
    Tag::SetString(values, "str-utf8", "Z\xC3\xBCrich \xE2\x82\xAC");
    Tag::SetString(values, "str-empty", "");
    // The second string code is a text too.
    SetTyped(values, "str-alt", ACS_TYPE_STRING_ALT, std::string_view("alt text\0", 9));
    SetTyped(values, "raw", ACS_TYPE_RAW, "\x01\x02\x03");
    Tag::SetNone(values, "none");
    EXPECT_EQ(Write(values), Golden("write_values.txt"));

    ChunkRef layout, first, nested, empty, second;
    Tag::SetInt(first, "inner", 1);
    Tag::SetInt(nested, "deep", 2);
    Tag::SetInt(nested, std::string(36, 'x'), 3);
    Tag::SetInt(nested, std::string(37, 'y'), 4);
    Tag::SetChildContainer(first, "nested", nested);
    Tag::SetChildContainer(first, "empty", empty);
    Tag::SetChildContainer(layout, "first", first);
    Tag::SetInt(layout, "Mixed Case NAME", 5);
    Tag::SetInt(layout, "tab\there\x01\xC3\xA9", 6);
    Tag::SetInt(layout, "a{b\"c", 7);
    Tag::SetInt(layout, std::string(40, 'n'), 8);
    Tag::SetInt(layout, std::string(45, 'm'), 9);
    Tag::SetString(second, "z", "last");
    Tag::SetChildContainer(layout, "second", second);
    EXPECT_EQ(Write(layout), Golden("write_layout.txt"));

    EXPECT_EQ(Write(ChunkRef()), "");
    layout = ChunkRef();
    layout.EnsureContainer();
    EXPECT_EQ(Write(layout), kBom + "\r\n");
}

TEST(ConfigTextWriter, PaddingIsMeasuredOnTheStoredName)
{
    // Written cut to 1024 bytes, padded by the stored length; past level 20
    // there is always one space.
    ChunkRef root;
    Tag::SetInt(root, std::string(1500, 'q'), 1);
    EXPECT_EQ(Write(root), kBom + "\r\n" + std::string(1024, 'q') + " 1\r\n");
    EXPECT_NE(Write(Nest(21)).find("\r\n" + std::string(42, ' ') + "leaf 1\r\n"), std::string::npos);
}

TEST(ConfigTextWriter, TreeTooDeepIsCutAndReported)
{
    bool complete = false;
    Write(Nest(kMaxTreeDepth), &complete);
    EXPECT_TRUE(complete);

    // The outermost containers are written, the one past the limit not.
    std::string text = Write(Nest(kMaxTreeDepth + 1), &complete);
    EXPECT_FALSE(complete);
    ChunkRef at = Read(text);
    int depth = 0;
    for (ChunkRef inner; (inner = Tag::GetChildContainer(at, "c")); at = inner)
        ++depth;
    EXPECT_EQ(depth, kMaxTreeDepth);
    EXPECT_EQ(at->GetChildCount(), 0u);
}

TEST(ConfigTextReader, ValuesAndStructure)
{
    struct Case {
        const char* what;
        std::string text;
        const char* tree;
    } cases[] = {
        {"integer", "a -7 \t\r\n", "{a:i(-7)}"},
        {"float", "a 2.5\n", "{a:f(2.5)}"},
        {"float, second dot ignored", "a 1.5.3", "{a:f(1.5)}"},
        {"lone minus reads as 0", "a -\r\n", "{a:i(0)}"},
        {"lone dot reads as 0", "a .\r\n", "{a:f(0)}"},
        {"list", "a 1,2, 3\r\n", "{a:f(1,2,3)}"},
        {"list split at blanks", "a 1 2", "{a:f(1,2)}"},
        {"list after comma", "a ,5", "{a:f(5)}"},
        {"list piece repeats the one before", "a 1,-,2", "{a:f(1,1,2)}"},
        {"list first piece without number", "a -,2.5-3", "{a:f(0,2.5)}"},
        {"list of nothing", "a , ,\r\nb 1", "{b:i(1)}"},
        {"number then brace", "a 5}", "{a:s(5)}"},
        {"exponent without sign", "a 1e10", "{a:s(1e10)}"},
        {"exponent as the writer prints it", "a 1e+10\r\n", "{a:f(1e+10)}"},
        {"list with exponents", "a 1e+10,2.5e-05", "{a:f(1e+10,2.5e-05)}"},
        {"digits then word", "a 5 apples  ", "{a:s(5 apples  )}"},
        {"quoted number", "a \"12\"", "{a:s(12)}"},
        {"quoted empty", "a \"\"\r\nb 1", "{a:s() b:i(1)}"},
        {"text after closing quote", "a \"x\" b", "{a:s(x) b:none}"},
        {"unterminated quote", "a \"x\ry", "{a:s(x\\r\\ny)}"},
        {"quoted line ends", "a \"1\n2\r3\n\r4\r\n5}\"", "{a:s(1\\r\\n2\\r\\n3\\r\\n4\\r\\n5})}"},
        {"unquoted backslash n", "d Line one\\nline two", "{d:s(Line one\\r\\nline two)}"},
        {"quoted backslash n", "d \"Line one\\nline two\"", "{d:s(Line one\\nline two)}"},
        {"quote inside unquoted text", "a it's \"so\"", "{a:s(it's \"so\")}"},
        {"kuid", "a <KUID2:12:34:5>", "{a:k(<kuid2:12:34:5>)}"},
        {"quoted kuid", "a \"<kuid:-3:4>\"", "{a:k(<kuid:-3:4>)}"},
        {"null kuid", "a <null>", "{a:k(<NULL>)}"},
        {"kuid beyond 32 bits", "a <kuid:400001:2147483648>", "{a:k(<NULL>)}"},
        {"two kuids", "a <kuid:1:2>,<kuid:3:4>", "{a:s(<kuid:1:2>,<kuid:3:4>)}"},
        {"empty text", "", "null"},
        {"byte-order mark and blanks", kBom + " \r\n\t", "null"},
        {"container", "c\r\n\r\n  {\r\n  d 2.5\r\n}\r\n", "{c:{d:f(2.5)}}"},
        {"empty container", "c {}", "{c:{}}"},
        {"name line then a tag", "c\r\nd 1", "{c:none d:i(1)}"},
        {"missing close brace", "c {\r\nd 1", "{c:{d:i(1)}}"},
        {"stray close brace ends the text", "a 1\r\n}\r\nb 2", "{a:i(1)}"},
        {"value then brace", "c { d 1 }", "{c:{d:s(1 )}}"},
        {"names fold case", "Mesh-Name 1", "{mesh-name:i(1)}"},
        {"brace and quote are name bytes", "a{ 1\r\n\"b 2", "{a{:i(1) \"b:i(2)}"},
        {"repeated name keeps the last, at the end", "a 1\r\nb 2\r\na {\r\n}", "{b:i(2) a:{}}"},
        {"line ends CR and LF CR", "a 1\rb 2\n\rc 3", "{a:i(1) b:i(2) c:i(3)}"},
        {"NUL ends the text", std::string("a x\0y\r\nb 2", 10), "{a:s(x)}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(Read(c.text)), c.tree) << c.what;
}

TEST(ConfigTextReader, ExponentsOutsideTheFloatRange)
{
    // An exponent number is a float only when a float can hold it: a tiny
    // one comes to 0 or a denormal, one too large stays the text it was.
    struct Case {
        const char* what;
        std::string text;
        const char* tree;
    } cases[] = {
        {"underflow to zero", "a 1e-50", "{a:f(0)}"},
        {"negative underflow", "a -1e-50\r\nb 1", "{a:f(-0) b:i(1)}"},
        {"denormal", "a 1e-40", "{a:f(9.99995e-41)}"},
        {"many digits, still too small", "a 100000000000000000000e-70", "{a:f(0)}"},
        {"exponent beyond any type", "a 1e-99999999999999999999", "{a:f(0)}"},
        {"largest float", "a 3.4028234e+38", "{a:f(3.40282e+38)}"},
        {"overflow", "a 1e+39", "{a:s(1e+39)}"},
        {"negative overflow", "a -1e+39\r\nb 1", "{a:s(-1e+39) b:i(1)}"},
        {"just past the largest", "a 3.5e+38", "{a:s(3.5e+38)}"},
        {"leading fraction zeros, still too large", "a 0.00000000000000000001e+60", "{a:s(0.00000000000000000001e+60)}"},
        {"fraction after the exponent", "a 1e+5.5", "{a:s(1e+5.5)}"},
        {"sign after the exponent", "a 1e+5-3", "{a:s(1e+5-3)}"},
        {"list with underflow", "a 2,1e-50", "{a:f(2,0)}"},
        {"list with overflow", "a 2, 1e+39\r\nb 1", "{a:s(2, 1e+39) b:i(1)}"},
        {"list with fraction after the exponent", "a 1e+5.5,2", "{a:s(1e+5.5,2)}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(Read(c.text)), c.tree) << c.what;
    EXPECT_EQ(Tag::GetFloat(Read("a 1e-40"), "a", 0.0f), std::strtof("1e-40", nullptr));

    // What the writer makes of such values reads back to the same text.
    for (const char* value : {"1e-50", "-1e-40", "1e+38", "1e+39", "-1e+39", "1e+5.5", "2,1e+39", "1e-50 1e+38"}) {
        std::string first = Write(Read(std::string("a ") + value));
        EXPECT_EQ(Write(Read(first)), first) << value;
    }
}

TEST(ConfigTextReader, NumberListsSplitAtTabs)
{
    struct Case {
        const char* what;
        const char* text;
        const char* tree;
    } cases[] = {
        {"integers", "a 1\t2\t3", "{a:f(1,2,3)}"},
        {"floats", "a 1.5\t-2.25\t.5", "{a:f(1.5,-2.25,0.5)}"},
        {"exponents", "a 1e+10\t2.5e-05", "{a:f(1e+10,2.5e-05)}"},
        {"mixed separators", "a 1,\t2 \t, 3\t\t4", "{a:f(1,2,3,4)}"},
        {"trailing tab", "a 1\t2\t\r\nb 5", "{a:f(1,2) b:i(5)}"},
        {"piece without number", "a 1\t-\t2", "{a:f(1,1,2)}"},
        {"single integer with a tab", "a 5\t\r\nb 1.5\t", "{a:i(5) b:f(1.5)}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(Read(c.text)), c.tree) << c.what;
}

TEST(ConfigTextReader, Limits)
{
    // A single number goes through 31 bytes, a name keeps 511 bytes, a
    // string and a list are whole.
    EXPECT_EQ(Describe(Read("a " + std::string(30, '0') + "12345")), "{a:i(1)}");
    EXPECT_EQ(Describe(Read("a -99999999999")), "{a:i(-2147483648)}");
    ChunkRef root = Read(std::string(600, 'N') + " 1");
    EXPECT_EQ(Tag::GetChildName(root, 0).View(), std::string(511, 'n'));
    std::string big(100000, 'w');
    EXPECT_EQ(Tag::GetString(Read("a " + big), "a").View(), big);

    // A list of 40 values is far longer than 255 bytes.
    root = ChunkRef();
    std::vector<float> values;
    for (int i = 0; i < 40; ++i)
        values.push_back(-1000.25f + static_cast<float>(i) * 77.5f);
    SetFloats(root, "list", values);
    FloatArray back;
    ASSERT_TRUE(Tag::GetFloatArray(Read(Write(root)), "list", back));
    ASSERT_EQ(back.Count(), values.size());
    for (uint32_t i = 0; i < back.Count(); ++i)
        EXPECT_EQ(back[i], values[i]) << i;
}

TEST(ConfigTextReader, Encodings)
{
    // Without a byte-order mark strings are ANSI; names keep their bytes.
    ChunkRef root = Read("caf\xE9 \"Caf\xE9 \x80\"\r\nc {" + kBom + "x \xE9\r\n}\r\ny \xE9");
    EXPECT_EQ(Tag::GetChildName(root, 0).View(), "caf\xE9");
    EXPECT_EQ(Tag::GetString(root, "caf\xE9").View(), "Caf\xC3\xA9 \xE2\x82\xAC");
    // A mark at the start of a container body counts for that body only.
    EXPECT_EQ(Tag::GetString(Tag::GetChildContainer(root, "c"), "x").View(), "\xE9");
    EXPECT_EQ(Tag::GetString(root, "y").View(), "\xC3\xA9");
    EXPECT_EQ(Tag::GetString(Read(kBom + "a Z\xC3\xBCrich"), "a").View(), "Z\xC3\xBCrich");
}

TEST(ConfigTextReader, NestingDepthIsCapped)
{
    auto nested = [](int levels, const char* open) {
        std::string text;
        for (int i = 0; i < levels; ++i)
            text += open;
        return text + "leaf 1";
    };
    bool ok = false;
    EXPECT_TRUE(Read(nested(kMaxTreeDepth, "c {\n"), &ok));
    EXPECT_TRUE(ok);
    for (int levels : {kMaxTreeDepth + 1, 100000}) {
        ChunkRef root = Read(nested(levels, "c\r\n{"), &ok);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(root);
    }
}

TEST(ConfigTextRoundTrip, WriterOutputIsAFixpoint)
{
    ChunkRef asset, lod, strings, lists;
    Tag::SetKUID(asset, "kuid", KUID(522, 100234, 3));
    Tag::SetKUID(asset, "author", KUID(-25, 100234, 127));
    Tag::SetString(asset, "Username", "Red \"Caboose\" Mk II");
    Tag::SetFloat(asset, "kestro-build", 4.6f);
    Tag::SetString(asset, "description", "First line.\r\nSecond with \\n, a tab\t and }{.");
    Tag::SetString(lod, "mesh", "body/lod0.im");
    SetFloats(lod, "offset", {0.0f, -1.5f, 2.25f});
    Tag::SetChildContainer(asset, "mesh-table", lod);
    Tag::SetString(strings, "de", "Gr\xC3\xBC\xC3\x9F" "e");
    Tag::SetString(strings, "n\xC3\xA4me with space", "  padded  ");
    Tag::SetChildContainer(asset, "string-table", strings);
    Tag::SetNone(asset, "obsolete-table");
    std::vector<float> many;
    for (int i = 0; i < 200; ++i)
        many.push_back(static_cast<float>(i) * 0.25f - 20.0f);
    SetFloats(lists, "long-floats", many);
    std::vector<int32_t> ints;
    for (int i = 0; i < 100; ++i)
        ints.push_back(i * 1000 - 50000);
    SetTyped(lists, "long-ints", ACS_TYPE_INT,
             std::string_view(reinterpret_cast<const char*>(ints.data()), ints.size() * 4));
    ChunkRef deep = Nest(40);
    Tag::SetChildContainer(lists, "deep", deep);
    Tag::SetChildContainer(asset, "lists", lists);

    std::string first = Write(asset);
    EXPECT_EQ(Write(Read(first)), first);
    for (const char* name : {"write_example.txt", "write_layout.txt"})
        EXPECT_EQ(Write(Read(Golden(name))), Golden(name)) << name;

    // ANSI text becomes UTF-8 text that stays as it is.
    first = Write(Read("Name \"Caf\xE9\"\r\nnote \x80 \x81\x8D\x8F\x90\x9D\r\n"));
    EXPECT_EQ(first, kBom + "\r\nname" + std::string(36, ' ') + "\"Caf\xC3\xA9\"\r\nnote" + std::string(36, ' ')
                         + "\"\xE2\x82\xAC \xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\"\r\n");
    EXPECT_EQ(Write(Read(first)), first);
}

}  // namespace
