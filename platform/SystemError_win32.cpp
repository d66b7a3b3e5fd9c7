// LastSystemError and SystemErrorText on Windows: GetLastError and FormatMessageA in English where the
// system has it.
#include "platform/SystemError.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

int32_t LastSystemError() {
    return static_cast<int32_t>(GetLastError());
}

const char* SystemErrorText(int32_t code, char* text, std::size_t size) {
    if (size == 0) {
        return text;
    }
    if (code == PLANTED_LINK_ERROR) {
        std::snprintf(text, size, "%s", PLANTED_LINK_WORDS);
        return text;
    }
    char buffer[256] = "";
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    DWORD length =
        FormatMessageA(flags, nullptr, static_cast<DWORD>(code), english, buffer, sizeof buffer, nullptr);
    if (length == 0) {
        length = FormatMessageA(flags, nullptr, static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    }
    // "Access is denied.\r\n" reads as "access is denied" after the program's own words.
    while (length > 0 && std::strchr(" .\r\n", buffer[length - 1]) != nullptr) {
        buffer[--length] = '\0';
    }
    if (length == 0) {
        std::snprintf(text, size, "error %lu", static_cast<unsigned long>(static_cast<DWORD>(code)));
        return text;
    }
    std::snprintf(text, size, "%s", buffer);
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}
