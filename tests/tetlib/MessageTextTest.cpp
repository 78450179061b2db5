// Message formats taken from data: each conversion gets its argument in the
// type it asks for, and no format, however written, reads past the
// arguments given.
#include "tetlib/errors/MessageText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "TETLibTestSupport.h"

namespace {

using TETLib::FormatMessageText;

TEST(MessageTextTest, ConversionsTakeTheirArgumentsInOrder)
{
    const std::optional<std::string> kUnfit;
    struct Case {
        const char* format;
        std::optional<std::string> expected;
        std::optional<std::string> got;
    };
    const Case cases[] = {
        {"plain", "plain", FormatMessageText("plain", {})},
        {"%s in %s", "tag in box", FormatMessageText("%s in %s", {"tag", "box"})},
        {"%d of %d", "3 of 5", FormatMessageText("%d of %d", {3, 5})},
        {"%g to %g", "0.5 to 100", FormatMessageText("%g to %g", {0.5, 100.0})},
        {"100%%", "100%", FormatMessageText("100%%", {"unused"})},
        {"%5s|%-4d|%.2f", "   ab|7   |1.50", FormatMessageText("%5s|%-4d|%.2f", {"ab", 7, 1.5})},
        {"%.0s%s", "second", FormatMessageText("%.0s%s", {"first", "second"})},
        {"%ld %lld %hd", "1 2 3", FormatMessageText("%ld %lld %hd", {1, 2, 3})},
        {"%x %o %c", "ff 10 A", FormatMessageText("%x %o %c", {255, 8, 65})},
        // Spare arguments are ignored.
        {"no conversion, two given", "none", FormatMessageText("none", {"a", 1})},
        // Arguments of another kind, or none left, make the format unfit.
        {"%d of text", kUnfit, FormatMessageText("%d", {"seven"})},
        {"%s of number", kUnfit, FormatMessageText("%s", {42})},
        {"%d of real", kUnfit, FormatMessageText("%d", {2.75})},
        {"%f of integer", kUnfit, FormatMessageText("%f", {4})},
        {"%s and %s, one given", kUnfit, FormatMessageText("%s and %s", {"a"})},
        {"%n%s", kUnfit, FormatMessageText("%n%s", {"a", "b"})},
        {"%p", kUnfit, FormatMessageText("%p", {1})},
        // A conversion cut off by the end stays as written.
        {"cut off", "rate 5%-", FormatMessageText("rate %d%-", {5})},
        // Fields are bounded.
        {"huge width", std::string(511, ' ') + "x", FormatMessageText("%99999999s", {"x"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(c.got, c.expected);
    }
}

TEST(MessageTextTest, LongTextsAreNotCut)
{
    const std::string path(5000, 'p');
    EXPECT_EQ(FormatMessageText("'%s'", {path}), "'" + path + "'");
}

class MessageTextFromInterfaceTest : public tetlibtest::ValidationDataFixture {};

TEST_F(MessageTextFromInterfaceTest, KeysAreLookedUpAndFormatted)
{
    EXPECT_EQ(TETLib::MessageText(Nyx::PString("$tet_val_arraywrongsize"), {"position", 3, 2}).Str(),
              "The tag 'position' should hold 3 values but holds 2.");
    // A key without text is its own format.
    EXPECT_EQ(TETLib::MessageText(Nyx::PString("$tet_no_such_key %s"), {"x"}).Str(), "$tet_no_such_key x");
    // A text that does not fit its arguments gives way to the key and the
    // arguments.
    EXPECT_EQ(TETLib::MessageText(Nyx::PString("$tet_container_missingtag"), {}).Str(), "$tet_container_missingtag");
    EXPECT_EQ(TETLib::MessageText(Nyx::PString("$tet_val_arraywrongsize"), {"position", "3", 2.5}).Str(),
              "$tet_val_arraywrongsize position 3 2.5");
}

}  // namespace
