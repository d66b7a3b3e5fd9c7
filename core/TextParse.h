// Parsers for the decimal numbers and dotted addresses that device replies and setup files carry, and
// the character tests, case folding, trimming and line splitting that every text reader shares;
// portable. None of the parsers allocates; on failure none touches its output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

// `text` with every control character (below 0x20, and DEL) as '?': one line that a terminal shows as
// it is, whatever a device, a file or the system put in it (no escape sequence, no CR or LF).
std::string PrintableLine(std::string text);

// Calls `each` with every line of `text` (without its LF, and without a CR before it) and whether the
// line was ended.
template <typename Each>
void ForEachLine(const std::string& text, Each each) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const bool ended = newline != std::string::npos;
        std::string line = text.substr(start, (ended ? newline : text.size()) - start);
        if (ended && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        each(line, ended);
        start = ended ? newline + 1 : text.size();
    }
}
