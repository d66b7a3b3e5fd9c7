// LastSystemError and SystemErrorText on POSIX: errno and strerror_r.
#include "platform/SystemError.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Both strerror_r variants: the GNU one returns its text, the XSI one fills the buffer.
[[maybe_unused]] const char* PickText(const char* text, const char*) {
    return text;
}
[[maybe_unused]] const char* PickText(int result, const char* buffer) {
    return result == 0 ? buffer : "";
}

} // namespace

int32_t LastSystemError() {
    return errno;
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
    const char* found = PickText(strerror_r(code, buffer, sizeof buffer), buffer);
    std::snprintf(text, size, "%s", found[0] != '\0' ? found : "unknown error");
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}
