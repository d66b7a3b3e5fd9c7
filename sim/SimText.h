// The simulated device's own reading and printing of numbers and addresses; device side of the serial link.
// Deliberately separate from the PC side's parsers, so that one fault cannot hide in both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Decimal digits only, as the device's firmware reads them: no sign, no blank, no leading zero (other
// than "0" itself), at most `max`. On failure the output is untouched.
bool ReadSimNumber(std::string_view text, uint32_t max, uint32_t* value);

// Four groups of ReadSimNumber (each at most 255) joined by exactly three dots, nothing else.
bool ReadSimAddress(std::string_view text, uint32_t* address);

// "a.b.c.d", first group from bits 31..24.
std::string PrintSimAddress(uint32_t address);

// Cuts `text` at its first blank: returns the part before it and leaves the rest (after that one blank)
// in `text`. Without a blank the whole text is returned and `text` becomes empty; `hadBlank` tells the
// two cases apart, so that "x " (an empty last part) is not mistaken for "x".
std::string_view CutWord(std::string_view* text, bool* hadBlank);
