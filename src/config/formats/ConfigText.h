// The text form of a config tree: one tag per line, a name and its value;
// containers are a name line followed by "{", the children and "}".
//
// The writer always produces UTF-8 with a byte-order mark and CR LF line
// ends, names sanitised and values starting at column 40 where the name
// allows. The reader accepts any of CR, LF, CR LF and LF CR, takes text
// without a byte-order mark as ANSI (Windows-1252), and decides each value's
// type from its text alone, so the two directions are not exact inverses: a
// float written as "1e+10" reads back as a string, an empty string as a tag
// without value. Text the writer produced from a tree the reader built reads
// back to a tree the writer renders byte for byte the same, except for such
// values (floats whose text needs an exponent, -0, infinities), names that
// collide once sanitised, and names starting with '{' (after a tag without
// value they read as the brace of a container).
//
// The reader never rejects text: unknown values become strings, missing ones
// tags without value, and a stray "}" at the top ends the reading. The one
// failure is nesting deeper than kMaxTreeDepth containers.
#pragma once

#include <string>
#include <string_view>

#include "config/tree/ACSChunk.h"

class TStream;

// Renders the root's children (not the root's own name or value). A null
// root writes nothing at all. False when containers nested deeper than
// kMaxTreeDepth below the root were left out; the text is well-formed either
// way. Stream errors stay in the stream's error code.
bool WriteConfigText(TStream& stream, const ChunkRef& root);

// Releases `out`, then reads one container level from the stream's position
// into it; a text without tags leaves it null. `utf8` says the text is known
// to be UTF-8; otherwise a leading byte-order mark says so. The text ends at
// the end of the stream or at its first NUL byte; the stream is left just
// after the last byte the reader used. False, with `out` null, when the
// stream is not open or the text nests deeper than kMaxTreeDepth.
bool ReadConfigText(ChunkRef& out, TStream& stream, bool utf8);

namespace ConfigText {

// Longest name written: longer names are cut.
inline constexpr size_t kMaxWrittenName = 1024;
// Longest name read: later bytes of a name are dropped.
inline constexpr size_t kMaxReadName = 511;
// Room of the token buffer a single integer or float is read through (one
// byte of it is the terminator).
inline constexpr size_t kNumberTokenRoom = 32;

// The name as written: at most its first 1024 bytes, A-Z lower-cased, and
// every control byte, space or byte of 0x80 and above replaced by '_'.
std::string SanitiseName(std::string_view name);
// The same, appended to `out`.
void AppendSanitisedName(std::string& out, std::string_view name);

// Appends a value text: nothing for an empty text; else the text with each
// '"' turned into '\'', quoted when `force` is set or it holds a blank or a
// line end.
void WriteQuoted(std::string& out, std::string_view text, bool force);

}  // namespace ConfigText
