// Category lists and the expressions that select assets by them.
//
// A category list is a byte text of entries separated by ";", ending at its
// zero byte or at its first "|"; entries compare byte for byte, and an empty
// entry matches nothing. An expression is a text of alternatives separated by
// "|", each a run of terms separated by one or more ";", all of which must
// hold; a term starting with "-" is negated (each "-" flips it again). A null
// or empty expression, and an empty alternative, match every list.
#pragma once

#include "nyx/base/String.h"

namespace CategoryExpression {

bool Matches(const char* expression, const char* list);

// Whether the list holds the term, read up to the next ";", "|" or the end,
// so a pointer into the middle of an expression may be passed. A null list
// and an empty term hold nothing (before negation).
bool MatchTerm(const char* list, const char* term);

}  // namespace CategoryExpression

// The text up to the first ";", "|" or the end; empty for a null text.
Nyx::String ReadListEntry(const char* text);

// Appends the text's first entry to the target, behind a ";" when the target
// is not empty. An empty first entry appends nothing.
void AppendListEntry(Nyx::String& target, const char* text);

// The result is the first list followed by each entry of the second (up to
// its first "|") marked with a leading "#", unless the result already holds
// that marked entry.
void MergeCategoryLists(Nyx::String& result, const char* first, const char* second);
