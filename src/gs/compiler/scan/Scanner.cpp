#include "gs/compiler/scan/Scanner.h"

#include <array>
#include <cstring>

#include "gs/compiler/parse/SourceContext.h"

namespace GSCompiler {

namespace {

Scanner* g_current = nullptr;

enum : uint8_t { kIdentStart = 1, kIdentPart = 2, kDigit = 4, kHexDigit = 8, kBlank = 16, kSingle = 32 };

constexpr std::array<uint8_t, 256> MakeClasses()
{
    std::array<uint8_t, 256> c{};
    for (int ch = 'a'; ch <= 'z'; ++ch)
        c[ch] = c[ch - 'a' + 'A'] = kIdentStart | kIdentPart;
    c['_'] = kIdentStart | kIdentPart;
    for (int ch = '0'; ch <= '9'; ++ch)
        c[ch] = kIdentPart | kDigit | kHexDigit;
    for (int ch = 'a'; ch <= 'f'; ++ch)
        c[ch] |= kHexDigit, c[ch - 'a' + 'A'] |= kHexDigit;
    for (char ch : {' ', '\t', '\r', '\n'})
        c[static_cast<uint8_t>(ch)] = kBlank;
    for (char ch : std::string_view(";:{},=()[].&!~-+*/%<>^|"))
        c[static_cast<uint8_t>(ch)] = kSingle;
    return c;
}

constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

inline bool Is(char ch, uint8_t cls) { return kClasses[static_cast<uint8_t>(ch)] & cls; }

struct Keyword {
    std::string_view word;
    int token;
};

// In the order of the token codes.
constexpr Keyword kKeywords[] = {
    {"break", Token::kBreak},     {"case", Token::kCase},       {"continue", Token::kContinue},
    {"default", Token::kDefault}, {"else", Token::kElse},       {"for", Token::kFor},
    {"goto", Token::kGoto},       {"if", Token::kIf},           {"null", Token::kNull},
    {"return", Token::kReturn},   {"switch", Token::kSwitch},   {"while", Token::kWhile},
    {"and", Token::kAnd},         {"or", Token::kOr},           {"true", Token::kTrue},
    {"false", Token::kFalse},     {"void", Token::kVoid},       {"bool", Token::kBool},
    {"int", Token::kInt},         {"float", Token::kFloat},     {"string", Token::kString},
    {"object", Token::kObject},   {"class", Token::kClass},     {"include", Token::kInclude},
    {"define", Token::kDefine},   {"static", Token::kStatic},   {"public", Token::kPublic},
    {"native", Token::kNative},   {"final", Token::kFinal},     {"thread", Token::kThread},
    {"game", Token::kGame},       {"secured", Token::kSecured}, {"size", Token::kSize},
    {"isclass", Token::kIsClass}, {"copy", Token::kCopy},       {"me", Token::kMe},
    {"new", Token::kNew},         {"cast", Token::kCast},       {"wait", Token::kWait},
    {"on", Token::kOn},
};

// Keywords grouped by first letter, for a lookup that compares few words.
struct KeywordIndex {
    std::array<std::array<int8_t, 8>, 26> byLetter{};
    constexpr KeywordIndex()
    {
        for (auto& row : byLetter)
            row.fill(-1);
        for (int i = 0; i < int(std::size(kKeywords)); ++i) {
            auto& row = byLetter[kKeywords[i].word[0] - 'a'];
            int slot = 0;
            while (row[slot] >= 0)
                ++slot;
            row[slot] = static_cast<int8_t>(i);
        }
    }
};

constexpr KeywordIndex kKeywordIndex;

int IdentifierToken(std::string_view word)
{
    if (word.size() < 2 || word.size() > 8 || word[0] < 'a' || word[0] > 'z')
        return Token::kIdentifier;
    for (int8_t i : kKeywordIndex.byLetter[word[0] - 'a']) {
        if (i < 0)
            break;
        if (kKeywords[i].word == word)
            return kKeywords[i].token;
    }
    return Token::kIdentifier;
}

}  // namespace

Scanner* Scanner::Current() noexcept { return g_current; }

void Scanner::SetCurrent(Scanner* scanner) noexcept { g_current = scanner; }

void Scanner::LexerError(const char* message)
{
    failed_ = true;
    if (SourceContext* context = SourceContext::Current())
        context->Report(true, false, line_, "%s", message);
}

void Scanner::CountLines(const char* from, const char* to) noexcept
{
    for (const char* p = from; p < to; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\n', size_t(to - p)));
        if (!p)
            break;
        ++line_;
    }
}

int Scanner::Match(const char* end, int token)
{
    start_ = pos_;
    length_ = static_cast<uint32_t>(end - pos_);
    pos_ = end;
    return token;
}

const char* Scanner::QuotedEnd(const char* open) const noexcept
{
    const char quote = *open;
    for (const char* p = open + 1; p < end_; ++p) {
        if (*p == '\\') {
            if (++p == end_)
                return nullptr;
        } else if (*p == quote) {
            return p + 1;
        }
    }
    return nullptr;
}

int Scanner::Number(const char* at)
{
    const char* p = at;
    if (p[0] == '0' && p + 2 < end_ && (p[1] == 'x' || p[1] == 'X') && Is(p[2], kHexDigit)) {
        p += 2;
        while (p < end_ && Is(*p, kHexDigit))
            ++p;
        return Match(p, Token::kHex);
    }
    while (p < end_ && Is(*p, kDigit))
        ++p;
    // A float needs a digit on at least one side of its point.
    if (p < end_ && *p == '.' && (p > at || (p + 1 < end_ && Is(p[1], kDigit)))) {
        ++p;
        while (p < end_ && Is(*p, kDigit))
            ++p;
        if (p < end_ && *p == 'f')
            ++p;
        return Match(p, Token::kReal);
    }
    return Match(p, Token::kInteger);
}

int Scanner::Lex()
{
    if (unreadable_) {
        unreadable_ = false;
        LexerError("input in scanner failed");
    }
    if (failed_)
        return Token::kScannerError;
    while (pos_ < end_) {
        const char* p = pos_;
        // The blanks before a token, in a loop of their own.
        while (Is(*p, kBlank)) {
            if (*p == '\n')
                ++line_;
            if (++p == end_)
                break;
        }
        pos_ = p;
        if (p == end_)
            break;
        const char c = *p;
        const bool hasNext = p + 1 < end_;
        const char next = hasNext ? p[1] : '\0';
        if (Is(c, kIdentStart)) {
            if (c == 'L' && hasNext && (next == '"' || next == '\'')) {
                const char* close = QuotedEnd(p + 1);
                // A character literal holds at least one character.
                if (close && (next == '"' || close - p > 3)) {
                    CountLines(p, close);
                    return Match(close, next == '"' ? Token::kText : Token::kCharacter);
                }
            }
            const char* q = p + 1;
            while (q < end_ && Is(*q, kIdentPart))
                ++q;
            return Match(q, IdentifierToken(std::string_view(p, size_t(q - p))));
        }
        if (Is(c, kDigit) || (c == '.' && hasNext && Is(next, kDigit)))
            return Number(p);
        switch (c) {
        case '"':
        case '\'': {
            const char* close = QuotedEnd(p);
            if (close && (c == '"' || close - p > 2)) {
                CountLines(p, close);
                return Match(close, c == '"' ? Token::kText : Token::kCharacter);
            }
            return Match(p + 1, Token::kInvalid);
        }
        case '/':
            if (next == '*' && hasNext) {
                // A comment runs to its "*/" or to the end of the input.
                const char* q = p + 2;
                const char* close = nullptr;
                while (q + 1 < end_) {
                    q = static_cast<const char*>(std::memchr(q, '*', size_t(end_ - q - 1)));
                    if (!q)
                        break;
                    if (q[1] == '/') {
                        close = q + 2;
                        break;
                    }
                    ++q;
                }
                const char* stop = close ? close : end_;
                CountLines(p, stop);
                pos_ = stop;
                continue;
            }
            if (next == '/' && hasNext) {
                const void* nl = std::memchr(p, '\n', size_t(end_ - p));
                pos_ = nl ? static_cast<const char*>(nl) : end_;
                continue;
            }
            return Match(p + 1, '/');
        case '[': {
            const char* q = p + 1;
            while (q < end_ && (*q == ' ' || *q == '\t' || *q == '\n'))
                ++q;
            if (q < end_ && *q == ']') {
                CountLines(p, q);
                return Match(q + 1, Token::kDim);
            }
            return Match(p + 1, '[');
        }
        case '>':
            if (hasNext && next == '>')
                return Match(p + 2, Token::kRightShift);
            if (hasNext && next == '=')
                return Match(p + 2, Token::kGreaterEqual);
            return Match(p + 1, '>');
        case '<':
            if (hasNext && next == '<')
                return Match(p + 2, Token::kLeftShift);
            if (hasNext && next == '=')
                return Match(p + 2, Token::kLessEqual);
            return Match(p + 1, '<');
        case '+':
            return hasNext && next == '+' ? Match(p + 2, Token::kIncrement) : Match(p + 1, '+');
        case '-':
            return hasNext && next == '-' ? Match(p + 2, Token::kDecrement) : Match(p + 1, '-');
        case '=':
            return hasNext && next == '=' ? Match(p + 2, Token::kEqual) : Match(p + 1, '=');
        case '!':
            return hasNext && next == '=' ? Match(p + 2, Token::kNotEqual) : Match(p + 1, '!');
        default:
            if (Is(c, kSingle))
                return Match(p + 1, static_cast<uint8_t>(c));
            return Match(p + 1, Token::kInvalid);
        }
    }
    start_ = pos_;
    length_ = 0;
    return Token::kEnd;
}

}  // namespace GSCompiler
