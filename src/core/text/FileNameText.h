// Small tests and conversions on file names and texts, used by the config
// loaders, the config text reader and the commands. Case folding here maps
// only "A"-"Z" to "a"-"z"; every other byte stays as it is.
#pragma once

#include <cstdint>
#include <string_view>

// True for a name ending in ".texture.txt", in any case ("texture.txt" on
// its own is not one).
bool IsTextureTxtFile(std::string_view path);

// Chooses the extension a file is read by. When `ext` already points at a
// non-empty text, that text wins (one leading "." skipped). Otherwise `ext`
// is pointed into `path` behind the last "." of its last component, or at an
// empty text (result false) when that component has no "." or path is null.
bool GetExtension(const char*& ext, const char* path);

// True for "." and "..".
bool IsDotOrDotDot(std::string_view name);

// True when `text` begins with `pattern`: "?" matches any one character,
// letters compare without regard to case, and text left over after the
// pattern does not matter. False when the text ends first.
bool WildcardPrefixMatch(const char* pattern, const char* text);

// Lower-cases a NUL-terminated text in place. When no terminator turns up
// within `capacity` bytes, the last byte becomes one and the result is false.
bool LowerCaseBuffer(char* buffer, uint32_t capacity);
