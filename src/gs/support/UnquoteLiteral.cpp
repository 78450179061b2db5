#include "gs/support/UnquoteLiteral.h"

std::string UnquoteLiteral(std::string_view token, bool processEscapes)
{
    token = token.substr(0, kUnquoteLimit);
    if (!token.empty() && (token.back() == '"' || token.back() == '\''))
        token.remove_suffix(1);
    if (!token.empty() && token.front() == 'L')
        token.remove_prefix(1);
    if (token.empty() || (token.front() != '"' && token.front() != '\''))
        return {};
    token.remove_prefix(1);

    std::string out;
    out.reserve(token.size());
    for (size_t i = 0; i < token.size(); ++i) {
        char c = token[i];
        if (!processEscapes || c != '\\') {
            out += c;
            continue;
        }
        if (++i == token.size())
            break;
        switch (token[i]) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'v': out += '\v'; break;
        case 'r': out += '\r'; break;
        case 'f': out += '\f'; break;
        case 'b': out += '\b'; break;
        case 'a': out += '\a'; break;
        case '0': out += '\0'; break;
        default: out += token[i]; break;  // \\ \' \" and any other character
        }
    }
    return out;
}
