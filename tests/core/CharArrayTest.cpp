#include "core/streams/CharArray.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CharArray, GrowsInWholeStepsAndKeepsItsContents)
{
    struct Case {
        uint32_t reserve;
        uint32_t capacity;
    };
    const Case cases[] = {{0, 0}, {1, 4096}, {4096, 4096}, {4097, 8192}, {10000, 12288}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reserve);
        CharArray a;
        a.Reserve(c.reserve);
        EXPECT_EQ(a.Capacity(), c.capacity);
        EXPECT_EQ(a.Count(), 0u);
    }

    CharArray a;
    std::string expected;
    for (uint32_t i = 0; i < 9000; ++i) {
        char c = static_cast<char>('a' + i % 26);
        a.Append(c);
        expected += c;
    }
    EXPECT_EQ(a.Capacity(), 12288u);
    EXPECT_EQ(std::string(a.Data(), a.Count()), expected);
    a.Reserve(100);
    EXPECT_EQ(a.Capacity(), 12288u) << "never shrinks";
    a.Resize(3);
    EXPECT_EQ(std::string(a.Data(), a.Count()), "abc");
    a.Resize(20000);
    EXPECT_EQ(a.Count(), 20000u);
    EXPECT_EQ(a.Capacity(), 20480u);
    EXPECT_EQ(std::string(a.Data(), 3), "abc");
    a.Clear();
    EXPECT_EQ(a.Count(), 0u);
}

}  // namespace
