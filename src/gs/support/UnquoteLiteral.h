// The text of a quoted literal token as the scanner matched it.
#pragma once

#include <string>
#include <string_view>

// Reads at most kUnquoteLimit bytes of the token: a final quote (" or ') is
// dropped, then a leading "L"; a token that does not then open with a quote
// gives an empty text. With escapes, \\ \n \t \v \r \f \b \a \' \" \0 become
// their characters, a backslash before any other character is dropped and
// the character kept, and a backslash at the very end ends the text.
constexpr size_t kUnquoteLimit = 2048;
std::string UnquoteLiteral(std::string_view token, bool processEscapes);
