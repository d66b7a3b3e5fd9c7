// Parsers of the device's replies; portable.
#include "devicelink/ReplyParser.h"

#include "core/TextParse.h"

#include <cstring>

char* TrimReply(char* reply) {
    return TrimBlanks(reply, "\r\n");
}

bool IsReplyOK(char* reply) {
    return std::strcmp(TrimReply(reply), "OK") == 0;
}

bool GetReplyNumber(char* reply, int32_t* number) {
    const char* text = TrimReply(reply);
    return ParseDecimal(text, std::strlen(text), number);
}

bool GetReplyFlag(char* reply, int32_t* flag) {
    int32_t number = 0;
    if (!GetReplyNumber(reply, &number)) {
        return false;
    }
    *flag = number != 0 ? 1 : 0;
    return true;
}

bool GetReplyAddress(char* reply, uint32_t* address) {
    return ParseAddress(TrimReply(reply), address);
}

bool GetReplyText(char* reply, char* text, std::size_t size) {
    if (size == 0) {
        return true;
    }
    const char* trimmed = TrimReply(reply);
    std::size_t length = strnlen(trimmed, size - 1);
    std::memcpy(text, trimmed, length);
    text[length] = '\0';
    text[size - 1] = '\0';
    return true;
}

bool GetReplyName(char* reply, char* name, std::size_t size) {
    char* trimmed = TrimReply(reply);
    if (std::strpbrk(trimmed, "\r\n") != nullptr) {
        return false;
    }
    return GetReplyText(trimmed, name, size);
}

// One "key address" line of a netparam reply, already trimmed; a blank (not a tab) separates the two.
static bool ParseNetParamLine(char* line, uint32_t* address, uint32_t* mask, uint32_t* gateway) {
    char* blank = std::strchr(line, ' ');
    if (blank == nullptr) {
        return false;
    }
    *blank = '\0';
    uint32_t value = 0;
    if (!ParseAddress(TrimBlanks(blank + 1), &value)) {
        return false;
    }
    struct {
        const char* Key;
        uint32_t* Output;
    } const keys[] = {{"address", address}, {"netmask", mask}, {"gateway", gateway}};
    for (const auto& key : keys) {
        if (std::strcmp(line, key.Key) == 0) {
            *key.Output = value;
            return true;
        }
    }
    return false;
}

bool GetReplyNetParam(char* reply, uint32_t* address, uint32_t* mask, uint32_t* gateway) {
    constexpr int NETPARAM_LINES = 3;
    *address = *mask = *gateway = 0;
    int parsed = 0;
    char* cursor = reply;
    for (;;) {
        cursor += std::strspn(cursor, "\r\n");
        if (*cursor == '\0') {
            return parsed > 0;
        }
        char* end = cursor + std::strcspn(cursor, "\r\n");
        char* next = *end != '\0' ? end + 1 : end;
        *end = '\0';
        char* line = TrimBlanks(cursor);
        if (std::strcmp(line, "dhcp") == 0) {
            *address = *mask = *gateway = 0;
            return true;
        }
        if (!ParseNetParamLine(line, address, mask, gateway)) {
            return false;
        }
        if (++parsed == NETPARAM_LINES) {
            return true;
        }
        cursor = next;
    }
}
