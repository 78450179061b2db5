#include "core/kinds/CountryTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The code as it is written: the letters of the held bytes swapped back.
std::string Letters(const CountryRow& row)
{
    return {row.code[1], row.code[0]};
}

const CountryRow* FindCode(const char* letters)
{
    for (const CountryRow& row : CountryTable().first(kCountryCodeRows)) {
        if (Letters(row) == letters)
            return &row;
    }
    return nullptr;
}

TEST(CountryTableTest, CodesAreHeldSecondLetterFirstThenTwoBlanks)
{
    const auto table = CountryTable();
    ASSERT_EQ(table.size(), 264u);
    const CountryRow& andorra = table.front();
    const unsigned char bytes[4] = {0x44, 0x41, 0x20, 0x20};
    EXPECT_EQ(std::memcmp(andorra.code.data(), bytes, 4), 0);
    EXPECT_EQ(andorra.CodeValue(), 0x20204144u);
    EXPECT_STREQ(andorra.name, "Andorra");
    EXPECT_EQ(Letters(table[kCountryCodeRows - 1]), "ZW");
    EXPECT_STREQ(table[kCountryCodeRows - 1].name, "Zimbabwe");
    for (const CountryRow& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.code[2], ' ');
        EXPECT_EQ(row.code[3], ' ');
        EXPECT_NE(row.name[0], '\0');
    }
}

TEST(CountryTableTest, CodeRowsAreInOrderWithTheOlderEditionsCodes)
{
    const auto codes = CountryTable().first(kCountryCodeRows);
    for (size_t i = 0; i < codes.size(); ++i) {
        const std::string letters = Letters(codes[i]);
        SCOPED_TRACE(letters);
        for (char c : letters)
            EXPECT_TRUE(c >= 'A' && c <= 'Z');
        if (i > 0) {
            EXPECT_LT(Letters(codes[i - 1]), letters);
        }
    }
    struct Named {
        const char* code;
        const char* name;
    };
    const Named named[] = {
        {"AN", "Netherlands Antilles"},  {"CS", "Former Czechoslovakia"},
        {"FX", "France (European Territory)"}, {"NT", "Neutral Zone"},
        {"SU", "Former USSR"},           {"TP", "East Timor"},
        {"YU", "Yugoslavia"},            {"ZR", "Zaire"},
        {"GB", "Great Britain"},         {"UK", "United Kingdom"},
        {"AZ", "Azerbaidjan"},           {"BV", "Bouvet Is."},
        {"CI", "Ivory Coast"},           {"MD", "Moldavia"},
        {"TJ", "Tadjikistan"},
    };
    for (const Named& n : named) {
        SCOPED_TRACE(n.code);
        const CountryRow* row = FindCode(n.code);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->name, n.name);
    }
}

TEST(CountryTableTest, AliasRowsFollowTheCodes)
{
    const char* const aliases[][2] = {
        {"00", "Generic"},        {"US", "USA"},          {"US", "THIRD_PARTY_USA"},
        {"SE", "SWE"},            {"AU", "AUS"},          {"UK", "Britain"},
        {"CH", "Swiss_Alps"},     {"DE", "DEU"},          {"CA", "CAN"},
        {"CA", "THIRD_PARTY_CAN"}, {"AU", "THIRD_PARTY_AU"}, {"AU", "AU_3RD_PARTY"},
        {"UK", "THIRD_PARTY_UK"}, {"UK", "GB"},           {"AT", "AUT"},
        {"FR", "FRA"},            {"NL", "NLD"},          {"RU", "RSA"},
        {"JP", "JPN"},            {"ES", "ESP"},
    };
    const auto rows = CountryTable().subspan(kCountryCodeRows);
    ASSERT_EQ(rows.size(), std::size(aliases));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(aliases[i][1]);
        EXPECT_EQ(Letters(rows[i]), aliases[i][0]);
        EXPECT_STREQ(rows[i].name, aliases[i][1]);
    }
    EXPECT_EQ(rows[0].CodeValue(), 0x20203030u);
}

}  // namespace
