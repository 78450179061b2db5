#include "kad/requests/CategoryExpression.h"

#include <cstring>
#include <string>

namespace {

// Ends an entry of a list and a term of an expression alike.
inline bool IsEntryEnd(char c) noexcept { return c == '\0' || c == ';' || c == '|'; }

inline const char* EntryEnd(const char* p) noexcept
{
    while (!IsEntryEnd(*p))
        ++p;
    return p;
}

}  // namespace

namespace CategoryExpression {

bool MatchTerm(const char* list, const char* term)
{
    // Counted rather than recursed: a long run of "-" must not use up the
    // stack.
    bool negated = false;
    while (*term == '-') {
        negated = !negated;
        ++term;
    }
    bool found = false;
    if (list && !IsEntryEnd(*term)) {
        const char* entry = list;
        for (;;) {
            const char* a = entry;
            const char* b = term;
            while (!IsEntryEnd(*a) && *a == *b) {
                ++a;
                ++b;
            }
            if (IsEntryEnd(*a) && IsEntryEnd(*b)) {
                found = true;
                break;
            }
            entry = EntryEnd(entry);
            if (*entry != ';')
                break;  // the end of the list, or its "|"
            ++entry;
        }
    }
    return found != negated;
}

bool Matches(const char* expression, const char* list)
{
    if (!expression)
        return true;
    const char* p = expression;
    for (;;) {
        if (*p == '\0' || *p == '|')
            return true;  // an empty alternative
        for (;;) {
            if (!MatchTerm(list, p)) {
                const char* bar = std::strchr(p, '|');
                if (!bar)
                    return false;
                p = bar + 1;
                break;
            }
            p = EntryEnd(p);
            while (*p == ';')
                ++p;
            if (*p == '\0' || *p == '|')
                return true;
        }
    }
}

}  // namespace CategoryExpression

Nyx::String ReadListEntry(const char* text)
{
    if (!text)
        return Nyx::String();
    return Nyx::String(std::string_view(text, static_cast<size_t>(EntryEnd(text) - text)));
}

void AppendListEntry(Nyx::String& target, const char* text)
{
    if (!text || IsEntryEnd(*text))
        return;
    if (!target.Empty())
        target += ';';
    target += std::string_view(text, static_cast<size_t>(EntryEnd(text) - text));
}

void MergeCategoryLists(Nyx::String& result, const char* first, const char* second)
{
    result = Nyx::String(first);
    if (!second)
        return;
    const char* p = second;
    std::string marked;
    for (;;) {
        while (*p == ';')
            ++p;
        if (*p == '\0' || *p == '|')
            return;
        const char* end = EntryEnd(p);
        marked.clear();
        marked.push_back('#');
        marked.append(p, static_cast<size_t>(end - p));
        if (!CategoryExpression::MatchTerm(result.c_str(), marked.c_str()))
            AppendListEntry(result, marked.c_str());
        p = end;
    }
}
