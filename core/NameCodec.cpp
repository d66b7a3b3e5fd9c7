// Destination names between readable text and hexadecimal digits; portable.
#include "core/NameCodec.h"

#include <vector>

namespace {

int HexValue(char c) {
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

// Bytes of the character at the start of `text`: 2 for a lead byte with its trail byte, else 1.
std::size_t CharacterSize(const char* text, LeadByteTest isLeadByte) {
    return isLeadByte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

// The bytes of the longest start of `text` that is whole characters and at most `limit` bytes long.
std::size_t WholeCharactersWithin(const char* text, std::size_t limit, LeadByteTest isLeadByte) {
    std::size_t end = 0;
    while (text[end] != '\0') {
        const std::size_t size = CharacterSize(text + end, isLeadByte);
        if (end + size > limit) {
            break;
        }
        end += size;
    }
    return end;
}

} // namespace

void EncodeName(const char* text, char (&digits)[TARGET_NAME_SIZE], LeadByteTest isLeadByte) {
    static const char HEX[] = "0123456789ABCDEF";
    const std::size_t length = WholeCharactersWithin(text, NAME_TEXT_MAX, isLeadByte);
    std::size_t out = 0;
    for (std::size_t i = 0; i < length; ++i) {
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

std::string FitNameText(const std::string& text, std::size_t* caret, LeadByteTest isLeadByte) {
    std::vector<std::string> characters;
    std::size_t beforeCaret = 0; // characters that start before the caret
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t size = CharacterSize(text.c_str() + at, isLeadByte);
        beforeCaret += at < *caret ? 1 : 0;
        characters.push_back(text.substr(at, size));
        at += size;
    }
    std::size_t length = text.size();
    while (length > NAME_TEXT_MAX) {
        const std::size_t drop = beforeCaret > 0 ? --beforeCaret : characters.size() - 1;
        length -= characters[drop].size();
        characters.erase(characters.begin() + static_cast<std::ptrdiff_t>(drop));
    }
    std::string fitted;
    *caret = 0;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        fitted += characters[i];
        *caret += i < beforeCaret ? characters[i].size() : 0;
    }
    return fitted;
}
