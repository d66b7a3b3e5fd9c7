// Strict parsers for the decimal numbers and dotted addresses that device replies and setup files carry;
// portable. None of them allocates; on failure none touches its output.
#pragma once

#include <cstddef>
#include <cstdint>

// Exactly `length` characters, each '0' to '9' (leading zeros allowed), as a value that fits in a
// signed 32-bit integer. Empty text, any other character, or a value above 2147483647 fails.
bool ParseDecimal(const char* text, std::size_t length, int32_t* value);

// Exactly a dotted quad: four groups of one to three digits, each at most 255, joined by three dots,
// nothing else. The first group becomes bits 31..24.
bool ParseAddress(const char* text, uint32_t* address);

// Removes blanks and tabs at both ends of `text` in place; returns the first character kept.
char* TrimBlanks(char* text);
