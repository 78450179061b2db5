#include "core/kinds/CountryTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// The code as written: the letters of the held bytes swapped back.
std::string Letters(const CountryRow& row)
{
    return {row.code[1], row.code[0]};
}

TEST(CountryTableTest, CodesInOrderEachHeldSecondLetterFirstThenTheAliases)
{
    const auto table = CountryTable();
    ASSERT_EQ(table.size(), 264u);
    const unsigned char andorra[4] = {0x44, 0x41, 0x20, 0x20};
    EXPECT_EQ(std::memcmp(table[0].code.data(), andorra, 4), 0);
    EXPECT_EQ(table[0].CodeValue(), 0x20204144u);
    std::map<std::string, std::string> names;
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].name);
        EXPECT_EQ(std::string(table[i].code.data() + 2, 2), "  ");
        if (i >= kCountryCodeRows)
            continue;
        const std::string letters = Letters(table[i]);
        EXPECT_TRUE(letters[0] >= 'A' && letters[0] <= 'Z' && letters[1] >= 'A' && letters[1] <= 'Z');
        if (i > 0) {
            EXPECT_LT(Letters(table[i - 1]), letters);
        }
        names[letters] = table[i].name;
    }
    const char* const expected[][2] = {
        {"AD", "Andorra"},    {"AN", "Netherlands Antilles"}, {"CS", "Former Czechoslovakia"},
        {"FX", "France (European Territory)"}, {"NT", "Neutral Zone"}, {"SU", "Former USSR"},
        {"TP", "East Timor"}, {"YU", "Yugoslavia"}, {"ZR", "Zaire"}, {"GB", "Great Britain"},
        {"UK", "United Kingdom"}, {"AZ", "Azerbaidjan"}, {"BV", "Bouvet Is."}, {"CI", "Ivory Coast"},
        {"MD", "Moldavia"},   {"TJ", "Tadjikistan"}, {"ZW", "Zimbabwe"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(names[e[0]], e[1]) << e[0];

    // Then the aliases.
    const char* const aliases[][2] = {
        {"00", "Generic"}, {"US", "USA"}, {"US", "THIRD_PARTY_USA"}, {"SE", "SWE"}, {"AU", "AUS"},
        {"UK", "Britain"}, {"CH", "Swiss_Alps"}, {"DE", "DEU"}, {"CA", "CAN"}, {"CA", "THIRD_PARTY_CAN"},
        {"AU", "THIRD_PARTY_AU"}, {"AU", "AU_3RD_PARTY"}, {"UK", "THIRD_PARTY_UK"}, {"UK", "GB"},
        {"AT", "AUT"}, {"FR", "FRA"}, {"NL", "NLD"}, {"RU", "RSA"}, {"JP", "JPN"}, {"ES", "ESP"},
    };
    const auto rows = table.subspan(kCountryCodeRows);
    ASSERT_EQ(rows.size(), std::size(aliases));
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Letters(rows[i]), aliases[i][0]) << i;
        EXPECT_STREQ(rows[i].name, aliases[i][1]) << i;
    }
    EXPECT_EQ(rows[0].CodeValue(), 0x20203030u);
}

}  // namespace
