#include "online/URL.h"

#include <cstring>
#include <string_view>

namespace {

constexpr int32_t kMaxPort = 65535;

template <size_t N>
void Store(char (&field)[N], std::string_view text)
{
    size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// Position of the first of the stop characters at or after `from`, or the
// text's end.
size_t FindStop(std::string_view text, size_t from, std::string_view stops)
{
    size_t at = text.find_first_of(stops, from);
    return at == std::string_view::npos ? text.size() : at;
}

char At(std::string_view text, size_t i) { return i < text.size() ? text[i] : '\0'; }

}  // namespace

URL URL::Parse(const char* source)
{
    URL url;
    const std::string_view text = source ? std::string_view(source) : std::string_view();

    size_t pos = 0;
    size_t stop = FindStop(text, 0, ":@/");
    if (At(text, stop) == ':' && At(text, stop + 1) == '/' && At(text, stop + 2) == '/') {
        Store(url.scheme, text.substr(0, stop));
        pos = stop + 3;
    }

    stop = FindStop(text, pos, ":@/");
    const char first = At(text, stop);
    bool hasUser = false;
    if (first == '@') {
        hasUser = true;
    } else if (first == ':') {
        size_t at = FindStop(text, stop, "@/");
        hasUser = At(text, at) == '@';
    }
    if (hasUser) {
        Store(url.user, text.substr(pos, stop - pos));
        pos = stop + 1;
        if (first == ':') {
            size_t next = FindStop(text, pos, ":@/");
            if (At(text, next) == '@') {
                Store(url.password, text.substr(pos, next - pos));
                pos = next + 1;
            }
        }
        stop = FindStop(text, pos, ":/");
    }

    Store(url.host, text.substr(pos, stop - pos));
    pos = stop;
    if (At(text, pos) == ':') {
        ++pos;
        int32_t port = 0;
        bool tooLarge = false;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            // Digits past the largest port still belong to the number: they
            // are read past, and the port is no port.
            if (!tooLarge) {
                port = port * 10 + (text[pos] - '0');
                tooLarge = port > kMaxPort;
            }
            ++pos;
        }
        url.port = tooLarge ? 0 : port;
    }

    const std::string_view rest = text.substr(pos < text.size() ? pos : text.size());
    size_t question = rest.find('?');
    if (question == std::string_view::npos) {
        Store(url.path, rest);
    } else {
        Store(url.path, rest.substr(0, question));
        Store(url.query, rest.substr(question));
    }
    return url;
}

Nyx::String URL::Format(const URL& url)
{
    Nyx::String text;
    Nyx::String piece;
    text = piece.Format("%s://", url.scheme[0] ? url.scheme : "http");
    std::string out(text.View());
    if (url.user[0]) {
        if (url.password[0])
            piece.Format("%s:%s@", url.user, url.password);
        else
            piece.Format("%s@", url.user);
        out += piece.View();
    }
    if (url.port == 0)
        piece.Format("%s%s", url.host, url.path);
    else
        piece.Format("%s:%d%s", url.host, url.port, url.path);
    out += piece.View();
    out += url.query;
    return Nyx::String(std::move(out));
}
