// The GS scanner: hands the parser one token code at a time and keeps the
// matched text, its length and the line it stands on for the parser's
// actions. The longest match wins; among equally long ones the keyword wins
// over the identifier. Lines advance by the newlines inside every match, so
// a token's line is the one the scanner stands on after matching it.
#pragma once

#include <cstdint>
#include <string_view>

namespace GSCompiler {

// Token codes: the parser's terminal numbers. Single characters are their
// own codes.
namespace Token {
enum : int {
    kEnd = 0,
    // What Lex returns after a scanner failure: the parser stops at once.
    kScannerError = 256,
    kBreak = 258,
    kCase,
    kContinue,
    kDefault,
    kElse,
    kFor,
    kGoto,
    kIf,
    kNull,
    kReturn,
    kSwitch,
    kWhile,
    kAnd = 270,
    kOr,
    kTrue,
    kFalse,
    kVoid = 274,
    kBool,
    kInt,
    kFloat,
    kString,
    kObject,
    kClass = 280,
    kInclude,
    kDefine,
    kStatic,
    kPublic = 284,
    kNative,
    kFinal,
    kThread,
    kGame,
    kSecured,
    kSize = 290,
    kIsClass,
    kCopy,
    kMe = 293,
    kNew,
    kCast = 295,
    kWait,
    kOn,
    kIdentifier = 298,
    kHex = 299,
    kInteger = 300,
    kCharacter = 301,
    kReal = 302,
    kText = 303,
    kDim = 304,
    kRightShift = 305,
    kLeftShift,
    kIncrement = 307,
    kDecrement,
    kLessEqual = 309,
    kGreaterEqual,
    kEqual,
    kNotEqual,
    kInvalid = 313,
};
}  // namespace Token

class Scanner {
public:
    // Scans `length` bytes of `text` (which may hold NUL bytes); the text
    // must outlive the scanner.
    Scanner(const char* text, uint32_t length)
        : pos_(text), end_(text ? text + length : text), unreadable_(!text && length)
    {
    }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // The next token code; Token::kEnd at the end of the input.
    int Lex();

    // The text of the last match, its length and the current line.
    std::string_view Text() const noexcept { return {start_, length_}; }
    uint32_t Length() const noexcept { return length_; }
    int32_t Line() const noexcept { return line_; }

    // A failure inside the scanner: its text becomes a counted error of the
    // current file, and the next token is Token::kScannerError.
    void LexerError(const char* message);
    bool Failed() const noexcept { return failed_; }

    // The scanner of the file being parsed; null between files.
    static Scanner* Current() noexcept;
    static void SetCurrent(Scanner* scanner) noexcept;

private:
    int Match(const char* end, int token);
    void CountLines(const char* from, const char* to) noexcept;
    // The end of a quoted literal opened at `open`, or null when it is not
    // closed (a backslash takes the next byte, whatever it is).
    const char* QuotedEnd(const char* open) const noexcept;
    int Number(const char* at);

    const char* pos_;
    const char* end_;
    const char* start_ = nullptr;
    uint32_t length_ = 0;
    int32_t line_ = 1;
    bool failed_ = false;
    bool unreadable_ = false;
};

}  // namespace GSCompiler
