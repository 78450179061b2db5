// The intrusive hash table, the path buffer and literal unquoting.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gs/support/IntrusiveHash.h"
#include "gs/support/PathBuffer.h"
#include "gs/support/UnquoteLiteral.h"
#include "gs/support/store/LibraryNameCrc.h"
#include "core/compress/Crc32.h"

namespace {

class Number : public Utils::IHashNode {
public:
    explicit Number(int v) : value(v) {}
    uint32_t Hash() const noexcept override { return uint32_t(value) % 4; }
    int Compare(const IHashNode& other) const noexcept override
    {
        int o = static_cast<const Number&>(other).value;
        return value < o ? -1 : value > o ? 1 : 0;
    }
    int value;
};

// A number that counts the comparisons made of it, hashed as its value.
class Counted : public Utils::IHashNode {
public:
    explicit Counted(int v, long* compares) : value(v), compares_(compares) {}
    uint32_t Hash() const noexcept override { return uint32_t(value); }
    int Compare(const IHashNode& other) const noexcept override
    {
        ++*compares_;
        int o = static_cast<const Counted&>(other).value;
        return value < o ? -1 : value > o ? 1 : 0;
    }
    int value;

private:
    long* compares_;
};

}  // namespace

TEST(IntrusiveHashTest, ChainsStaySortedAndRefuseEqualElements)
{
    Utils::IntrusiveHash table;
    ASSERT_TRUE(table.Init(3));
    std::vector<Number> numbers = {Number(9), Number(1), Number(5), Number(13), Number(2), Number(6)};
    for (Number& n : numbers)
        EXPECT_TRUE(table.Insert(n));
    Number again(5);
    EXPECT_FALSE(table.Insert(again));
    EXPECT_EQ(table.Count(), 6u);

    // Hash % 4 then % 3: 1, 5, 9, 13 -> bucket 1; 2, 6 -> bucket 2.
    std::vector<int> order;
    for (auto* n = table.Begin(); n; n = table.Next(*n))
        order.push_back(static_cast<Number*>(n)->value);
    EXPECT_EQ(order, (std::vector<int>{1, 5, 9, 13, 2, 6}));

    Number key(9), missing(17);
    EXPECT_EQ(table.Find(key).Node(), &numbers[0]);
    EXPECT_FALSE(table.Find(missing).Found());
    table.Remove(table.Find(key));
    EXPECT_FALSE(table.Find(key).Found());
    table.Clear();
    EXPECT_EQ(table.Begin(), nullptr);
}

TEST(IntrusiveHashTest, LookupsDoNotWalkLongChainsAndWalksStayInOrder)
{
    // 61 buckets hold 20,000 elements: chains of over 300. Adding and
    // finding must not compare along them.
    constexpr int kCount = 20000;
    long compares = 0;
    Utils::IntrusiveHash table;
    ASSERT_TRUE(table.Init(61));
    std::vector<std::unique_ptr<Counted>> numbers;
    for (int i = 0; i < kCount; ++i) {
        // Values out of order, so a chain's order is not the order of adding.
        numbers.push_back(std::make_unique<Counted>(int((uint32_t(i) * 7919u) % 100003u), &compares));
        ASSERT_TRUE(table.Insert(*numbers.back()));
    }
    for (const auto& n : numbers) {
        Counted key(n->value, &compares);
        ASSERT_EQ(table.Find(key).Node(), n.get());
    }
    Counted again(numbers[5]->value, &compares);
    EXPECT_FALSE(table.Insert(again));
    EXPECT_LT(compares, 4L * kCount);

    // A walk sees each chain in order, also after more elements came and
    // some went; and what went is found no more.
    for (int round = 0; round < 2; ++round) {
        table.Remove(table.Find(*numbers[size_t(round) * 3]));
        numbers.push_back(std::make_unique<Counted>(100003 + round * 61, &compares));
        ASSERT_TRUE(table.Insert(*numbers.back()));
        uint32_t walked = 0;
        const Counted* last = nullptr;
        for (const Utils::IHashNode* n = table.Begin(); n; n = table.Next(*n), ++walked) {
            const auto* number = static_cast<const Counted*>(n);
            if (last) {
                if (last->Hash() % 61 == number->Hash() % 61)
                    EXPECT_LT(last->value, number->value);
                else
                    EXPECT_LT(last->Hash() % 61, number->Hash() % 61);
            }
            last = number;
        }
        EXPECT_EQ(walked, table.Count());
        EXPECT_EQ(table.Count(), uint32_t(kCount));
    }
    EXPECT_FALSE(table.Find(*numbers[0]).Found());
    EXPECT_FALSE(table.Find(*numbers[3]).Found());
    EXPECT_TRUE(table.Find(*numbers.back()).Found());
}

TEST(PathBufferTest, StripsAndJoins)
{
    struct Case {
        const char* start;
        const char* append;  // null: strip instead
        const char* result;
    };
    const Case cases[] = {
        {"scripts/sub/a.gs", nullptr, "a.gs"}, {"c:\\x\\b.gs", nullptr, "b.gs"}, {"c:b.gs", nullptr, "b.gs"},
        {"plain.gs", nullptr, "plain.gs"},     {"", "a.gs", "a.gs"},            {"dir", "a.gs", "dir/a.gs"},
        {"dir/", "a.gs", "dir/a.gs"},          {"dir\\", "a.gs", "dir\\a.gs"},
    };
    for (const Case& c : cases) {
        PathBuffer p(c.start);
        if (c.append)
            p.Append(c.append);
        else
            p.StripDirectory();
        EXPECT_EQ(p.Str(), c.result) << c.start;
    }
    // Never cut, however long.
    PathBuffer longPath(std::string(300, 'd'));
    longPath.Append(std::string(300, 'f'));
    EXPECT_EQ(longPath.Str().size(), 601u);
}

TEST(UnquoteLiteralTest, Table)
{
    struct Case {
        std::string token;
        bool escapes;
        std::string text;
    };
    const Case cases[] = {
        {"abc", true, ""},
        {"\"a\\qb\"", true, "aqb"},
        {"\"a\\qb\"", false, "a\\qb"},
        {"'x'", true, "x"},
        {"L\"wide\"", true, "wide"},
        {"\"\\n\\t\\v\\r\\f\\b\\a\\\\\\'\\\"\"", true, "\n\t\v\r\f\b\a\\'\""},
        {"\"a\\0b\"", true, std::string("a\0b", 3)},
        {"\"ends\\", true, "ends"},
        {"\"no close", true, "no close"},
        {"\"", true, ""},
        {"", true, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnquoteLiteral(c.token, c.escapes), c.text) << c.token;
    std::string huge = "\"" + std::string(3000, 'z') + "\"";
    EXPECT_EQ(UnquoteLiteral(huge, true).size(), kUnquoteLimit - 1);
}

TEST(LibraryNameCrcTest, TheBareNameWithoutCaseAndScrambledAsPlain)
{
    struct Case {
        const char* name;
        const char* same;
    };
    const Case cases[] = {
        {"x.gs", "x.gs"},         {"X.GS", "x.gs"},       {"x.gse", "x.gs"},    {"X.GSE", "x.gs"},
        {"sub/x.gs", "x.gs"},     {"c:\\a\\x.gse", "x.gs"}, {"d:x.gs", "x.gs"}, {"x.gsl", "x.gsl"},
        {"x.gsee", "x.gsee"},     {".gse", ".gs"},        {"gse", "gse"},       {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LibraryNameCrc(c.name), Crc32LowerCase(c.same));
    }
    EXPECT_NE(LibraryNameCrc("x.gs"), LibraryNameCrc("y.gs"));
}
