// Strict number and address parsers shared by the device protocol and the setup file; portable.
#include "core/TextParse.h"

#include "core/IPv4.h"

int HexDigitValue(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool ParseDecimal(const char* text, std::size_t length, int32_t* value) {
    if (length == 0) {
        return false;
    }
    int64_t accumulated = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (!IsDigit(text[i])) {
            return false;
        }
        accumulated = accumulated * 10 + (text[i] - '0');
        if (accumulated > INT32_MAX) {
            return false;
        }
    }
    *value = static_cast<int32_t>(accumulated);
    return true;
}

constexpr std::size_t STRICT_GROUP_DIGITS = 3;
constexpr std::size_t ANY_GROUP_DIGITS = SIZE_MAX;

// One group of a dotted quad at `*cursor`: one to `maxDigits` digits, at most 255; advances past it.
static bool ParseOctet(const char** cursor, std::size_t maxDigits, unsigned* octet) {
    const char* p = *cursor;
    std::size_t digits = 0;
    while (digits <= maxDigits && IsDigit(p[digits])) {
        ++digits;
    }
    int32_t value = 0;
    if (digits > maxDigits || !ParseDecimal(p, digits, &value) || value > 255) {
        return false;
    }
    *octet = static_cast<unsigned>(value);
    *cursor = p + digits;
    return true;
}

static bool ParseQuad(const char* text, std::size_t maxDigits, uint32_t* address) {
    unsigned octets[IPV4_OCTET_COUNT];
    const char* cursor = text;
    for (int i = 0; i < IPV4_OCTET_COUNT; ++i) {
        if (i > 0 && *cursor++ != '.') {
            return false;
        }
        if (!ParseOctet(&cursor, maxDigits, &octets[i])) {
            return false;
        }
    }
    if (*cursor != '\0') {
        return false;
    }
    *address = MakeIPv4(octets[0], octets[1], octets[2], octets[3]);
    return true;
}

bool ParseAddress(const char* text, uint32_t* address) {
    return ParseQuad(text, STRICT_GROUP_DIGITS, address);
}

bool ParseLenientAddress(const char* text, uint32_t* address) {
    return ParseQuad(text, ANY_GROUP_DIGITS, address);
}

std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return text.substr(text.size());
    }
    return text.substr(first, text.find_last_not_of(blanks) + 1 - first);
}

char* TrimBlanks(char* text, std::string_view blanks) {
    const std::string_view kept = TrimBlanks(std::string_view(text), blanks);
    char* first = text + (kept.data() - text);
    first[kept.size()] = '\0';
    return first;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string PrintableLine(std::string text) {
    for (char& c : text) {
        c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
    return text;
}
