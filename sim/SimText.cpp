// The simulated device's number and address reading and printing; device side of the serial link.
#include "sim/SimText.h"

#include "core/IPv4.h"

#include <cstdio>

bool ReadSimNumber(std::string_view text, uint32_t max, uint32_t* value) {
    constexpr std::size_t MAX_DIGITS = 10; // 4294967295
    if (text.empty() || text.size() > MAX_DIGITS || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    if (result > max) {
        return false;
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

bool ReadSimAddress(std::string_view text, uint32_t* address) {
    uint32_t result = 0;
    for (int group = 0; group < IPV4_OCTET_COUNT; ++group) {
        std::size_t dot = text.find('.');
        bool last = group == IPV4_OCTET_COUNT - 1;
        if (last != (dot == std::string_view::npos)) {
            return false; // too few or too many dots
        }
        uint32_t octet = 0;
        if (!ReadSimNumber(text.substr(0, dot), 255, &octet)) {
            return false;
        }
        result = result << 8 | octet;
        text.remove_prefix(last ? text.size() : dot + 1);
    }
    *address = result;
    return true;
}

std::string PrintSimAddress(uint32_t address) {
    char text[16]; // "255.255.255.255" and the NUL
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", IPv4Octet(address, 0), IPv4Octet(address, 1),
                  IPv4Octet(address, 2), IPv4Octet(address, 3));
    return text;
}

std::string_view CutWord(std::string_view* text, bool* hadBlank) {
    std::size_t blank = text->find(' ');
    *hadBlank = blank != std::string_view::npos;
    std::string_view word = text->substr(0, blank);
    text->remove_prefix(*hadBlank ? blank + 1 : text->size());
    return word;
}
