// Destination names between readable text and hexadecimal digits; portable.
#include "core/NameCodec.h"

static int HexValue(char c) {
    if (c >= '0' && c <= '9') {
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

void EncodeName(const char* text, char (&digits)[TARGET_NAME_SIZE]) {
    static const char HEX[] = "0123456789ABCDEF";
    std::size_t out = 0;
    for (std::size_t i = 0; i < NAME_TEXT_MAX && text[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        digits[out++] = HEX[byte >> 4];
        digits[out++] = HEX[byte & 0x0F];
    }
    digits[out] = '\0';
}

std::string DecodeName(const char* digits) {
    std::string text;
    for (std::size_t i = 0; text.size() < NAME_TEXT_MAX && digits[i] != '\0' && digits[i + 1] != '\0';
         i += 2) {
        const int high = HexValue(digits[i]);
        const int low = HexValue(digits[i + 1]);
        if (high < 0 || low < 0) {
            text += '.';
            continue;
        }
        const int byte = high << 4 | low;
        if (byte == 0) {
            break;
        }
        text += static_cast<char>(byte);
    }
    return text;
}
