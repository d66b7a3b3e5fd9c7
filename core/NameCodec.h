// Destination names between readable text and the record's hexadecimal digits; portable.
#pragma once

#include "core/ParamSet.h"

#include <cstddef>
#include <string>

constexpr std::size_t NAME_TEXT_MAX = 32; // bytes of readable name; two digits each in the record

// The first NAME_TEXT_MAX bytes of `text`, each as two uppercase hexadecimal digits, high half first.
// Bytes of double-byte characters are encoded one by one.
void EncodeName(const char* text, char (&digits)[TARGET_NAME_SIZE]);

// Pairs of hexadecimal digits (either case) back to bytes, at most NAME_TEXT_MAX of them; a pair that is
// not two hexadecimal digits gives '.', a lone last digit is dropped, and a zero byte ends the name.
std::string DecodeName(const char* digits);
