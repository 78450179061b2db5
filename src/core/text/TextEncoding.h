// UTF-8 decoding and the in-place conversions between "ANSI" text and UTF-8.
//
// "ANSI" is Windows-1252 in both directions. Its five undefined bytes 0x81,
// 0x8D, 0x8F, 0x90 and 0x9D stand for the C1 controls of the same value, so
// every byte has a code point and ANSI -> UTF-8 never fails.
#pragma once

#include <cstdint>

// The code point that is given when a sequence has no usable value.
inline constexpr uint32_t kReplacementChar = 0xFFFD;

// Decodes the UTF-8 character at `text`. The lead byte's class gives the
// sequence length (below 0xC0: 1, C0-DF: 2, E0-EF: 3, F0-F7: 4, F8-FB: 5,
// FC-FF: 6); continuation bytes are taken as they come, unvalidated.
//
// `end` is one past the last byte of the text, or null for a NUL-terminated
// text. A sequence never reaches past `end` or over a NUL byte: when it is
// cut short there, the length is the bytes actually present and the value is
// kReplacementChar, as is the value of every five- or six-byte sequence: a
// partial sequence has no code point, and U+FFFD cannot be mistaken for one.
// At `end` itself nothing is read: the value and length are 0. A NUL lead
// byte is an ordinary one-byte character.
//
// `outLength`, when given, receives the length in bytes.
uint32_t DecodeUTF8Char(const char* text, const char* end, int* outLength) noexcept;

// Windows-1252 byte -> Unicode code point.
uint32_t Cp1252ToCodePoint(uint8_t byte) noexcept;
// Unicode code point -> Windows-1252 byte, or -1 when it has none.
int CodePointToCp1252(uint32_t codePoint) noexcept;

// Both convert the NUL-terminated text in `buffer` in place; the text ends at
// its first NUL and never extends past `bufferSize` bytes.
//   0    success;
//   > 0  the converted text with its NUL needs this many bytes, more than
//        `bufferSize`; the buffer is left as it was;
//   -1   the text cannot be converted; every byte of 0x80 or more in it has
//        been replaced by '?'.
int ConvertAnsiToUTF8(char* buffer, uint32_t bufferSize) noexcept;
int ConvertUTF8ToAnsi(char* buffer, uint32_t bufferSize) noexcept;
