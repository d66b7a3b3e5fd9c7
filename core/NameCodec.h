// Destination names between readable text and the record's hexadecimal digits; portable.
#pragma once

#include "core/LeadByte.h"
#include "core/ParamSet.h"

#include <cstddef>
#include <string>

constexpr std::size_t NAME_TEXT_MAX = 32; // bytes of readable name; two digits each in the record

// The first NAME_TEXT_MAX bytes of `text`, each as two uppercase hexadecimal digits, high half first; a
// double-byte character that would not fit whole is left out.
void EncodeName(const char* text, char (&digits)[TARGET_NAME_SIZE], LeadByteTest isLeadByte);

// Pairs of hexadecimal digits (either case) back to bytes, at most NAME_TEXT_MAX of them; a pair that is
// not two hexadecimal digits gives '.', a lone last digit is dropped, and a zero byte ends the name.
std::string DecodeName(const char* digits);

// `text` as a name edit may hold it: at most NAME_TEXT_MAX bytes, whole characters. What is over is taken
// from just before byte `*caret`, where typed or pasted text ends, as a limit would have refused it, and
// then from the end; `*caret` moves with the text.
std::string FitNameText(const std::string& text, std::size_t* caret, LeadByteTest isLeadByte);
