#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include "tetlib/tag/Tag.h"

namespace TETLib {

namespace {

// Calls `take` with every piece between spaces and commas. Empty pieces
// (separators in a row, at either end) are no numbers: "1, 2" is two, as
// the config reader reads it.
template <class Take>
void ForEachPiece(std::string_view text, Take take)
{
    std::string piece;
    for (const char c : text) {
        if (c == ' ' || c == ',') {
            if (!piece.empty())
                take(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty())
        take(piece);
}

}  // namespace

float ParseNumber(const char* text)
{
    // Beyond the float range an infinity of its sign rather than an
    // undefined conversion.
    const double value = std::atof(text);
    if (value > FLT_MAX)
        return HUGE_VALF;
    if (value < -FLT_MAX)
        return -HUGE_VALF;
    return static_cast<float>(value);
}

std::vector<float> ParseNumberList(std::string_view text)
{
    std::vector<float> out;
    ForEachPiece(text, [&](const std::string& piece) { out.push_back(ParseNumber(piece.c_str())); });
    return out;
}

std::vector<int32_t> ParseIntegerList(std::string_view text)
{
    std::vector<int32_t> out;
    ForEachPiece(text, [&](const std::string& piece) {
        // strtol saturates where atoi would be undefined.
        const long value = std::strtol(piece.c_str(), nullptr, 10);
        out.push_back(value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value));
    });
    return out;
}

}  // namespace TETLib
