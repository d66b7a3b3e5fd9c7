// Parsers for the decimal numbers and dotted addresses that device replies and setup files carry,
// and the character tests, case folding and trimming that every text reader shares; portable. None of them
// allocates; on failure none touches its output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// '0' to '9', whatever the locale.
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// ASCII letters only: bytes of multibyte text are never folded.
constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Names compared without regard to ASCII case, as setup files and INI files compare their keys.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

// Exactly `length` characters, each '0' to '9' (leading zeros allowed), as a value that fits in a
// signed 32-bit integer. Empty text, any other character, or a value above 2147483647 fails.
bool ParseDecimal(const char* text, std::size_t length, int32_t* value);

// Exactly a dotted quad: four groups of one to three digits, each at most 255, joined by three dots,
// nothing else. The first group becomes bits 31..24.
bool ParseAddress(const char* text, uint32_t* address);

// The same, except that a group may have any number of digits ("0192.168.0.1"), as a setup file's
// destination lines allow.
bool ParseLenientAddress(const char* text, uint32_t* address);

// What trimming removes: blanks and tabs, or all of C's white space.
constexpr char BLANKS[] = " \t";
constexpr char WHITE_SPACE[] = " \t\n\v\f\r";

// `text` without the characters of `blanks` at either end.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = BLANKS);
// The same in place: ends `text` after the last character kept and returns the first.
char* TrimBlanks(char* text, std::string_view blanks = BLANKS);
