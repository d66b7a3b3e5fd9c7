// Reading and formatting the key=value lines of a setup file, driven by the key table; portable.
#include "persistence/SetupLines.h"

#include "core/IPv4.h"
#include "core/ParamKeys.h"
#include "core/TextParse.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char TARGET_KEY_PREFIX[] = "Target";
constexpr std::size_t TARGET_KEY_PREFIX_LENGTH = sizeof TARGET_KEY_PREFIX - 1;

void CutAt(char* text, char c) {
    char* found = std::strchr(text, c);
    if (found != nullptr) {
        *found = '\0';
    }
}

// Copies at most size - 1 characters and fills the rest of the field with NUL, so that a shorter value
// leaves nothing of a longer one behind.
void CopyCut(char* field, std::size_t size, const char* text) {
    if (size == 0) {
        return;
    }
    std::size_t length = strnlen(text, size - 1);
    std::memcpy(field, text, length);
    std::memset(field + length, 0, size - length);
}

const ParamKey* FindParamKey(const char* name) {
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        if (EqualsNoCase(name, PARAM_KEYS[i].Name)) {
            return &PARAM_KEYS[i];
        }
    }
    return nullptr;
}

bool ReadKeyValue(ParamSet* set, const ParamKey& key, const char* value) {
    if (key.Kind == VALUE_KIND_TEXT) {
        CopyCut(GetParamKeyText(set, key), key.TextSize, value);
        return true;
    }
    if (key.Kind == VALUE_KIND_ADDRESS) {
        uint32_t address = 0;
        if (!ParseAddress(value, &address)) {
            return false;
        }
        SetParamKeyNumber(set, key, address);
        return true;
    }
    // Digit strings beyond a signed 32-bit value are rejected rather than wrapped into the field.
    int32_t number = 0;
    if (!ParseDecimal(value, std::strlen(value), &number)) {
        return false;
    }
    SetParamKeyNumber(set, key, number);
    return true;
}

// "Target0" to "Target31", any case; no leading zero, no sign.
bool ParseTargetKey(const char* key, int* index) {
    std::size_t length = std::strlen(key);
    if (length <= TARGET_KEY_PREFIX_LENGTH ||
        !EqualsNoCase({key, TARGET_KEY_PREFIX_LENGTH}, {TARGET_KEY_PREFIX, TARGET_KEY_PREFIX_LENGTH})) {
        return false;
    }
    const char* digits = key + TARGET_KEY_PREFIX_LENGTH;
    std::size_t count = length - TARGET_KEY_PREFIX_LENGTH;
    int32_t number = 0;
    if (count > 2 || (count == 2 && digits[0] == '0') || !ParseDecimal(digits, count, &number) ||
        number >= TARGET_COUNT) {
        return false;
    }
    *index = number;
    return true;
}

// "enable,address[,name]": the destination is replaced as a whole, and only when all of it parsed. The
// name is everything after the second comma.
bool ReadTargetValue(ParamTarget* target, const char* value) {
    const char* comma = std::strchr(value, ',');
    if (comma == nullptr) {
        return false;
    }
    const char* address = comma + 1;
    const char* second = std::strchr(address, ',');
    const std::string addressText = second != nullptr ? std::string(address, second) : std::string(address);
    int32_t enable = 0;
    uint32_t parsed = 0;
    if (!ParseDecimal(value, static_cast<std::size_t>(comma - value), &enable) ||
        !ParseLenientAddress(addressText.c_str(), &parsed)) {
        return false;
    }
    target->Enable = enable != 0 ? 1 : 0;
    target->Address = parsed;
    CopyCut(target->Name, sizeof target->Name, second != nullptr ? second + 1 : "");
    return true;
}

bool Fits(int written, std::size_t size) {
    return written >= 0 && static_cast<std::size_t>(written) < size;
}

bool FormatKeyLine(const ParamSet& set, const ParamKey& key, char* line, std::size_t size) {
    const int64_t number = GetParamKeyNumber(set, key);
    int written = -1;
    switch (key.Kind) {
    case VALUE_KIND_ADDRESS: {
        const auto address = static_cast<uint32_t>(number);
        written = std::snprintf(line, size, "%s=%d.%d.%d.%d\r\n", key.Name, IPv4Octet(address, 0),
                                IPv4Octet(address, 1), IPv4Octet(address, 2), IPv4Octet(address, 3));
        break;
    }
    case VALUE_KIND_LONG:
        written = std::snprintf(line, size, "%s=%ld\r\n", key.Name, static_cast<long>(number));
        break;
    case VALUE_KIND_TEXT: {
        const int limit = key.TextSize > 0 ? static_cast<int>(key.TextSize - 1) : 0;
        written = std::snprintf(line, size, "%s=%.*s\r\n", key.Name, limit, GetParamKeyText(set, key));
        break;
    }
    default:
        written = std::snprintf(line, size, "%s=%d\r\n", key.Name, static_cast<int>(number));
        break;
    }
    return Fits(written, size);
}

bool FormatTargetLine(const ParamTarget& target, int index, char* line, std::size_t size) {
    const bool named = target.Name[0] != '\0';
    const int written = std::snprintf(
        line, size, "Target%d=%d,%d.%d.%d.%d%s%.*s\r\n", index, target.Enable != 0 ? 1 : 0,
        IPv4Octet(target.Address, 0), IPv4Octet(target.Address, 1), IPv4Octet(target.Address, 2),
        IPv4Octet(target.Address, 3), named ? "," : "", TARGET_NAME_SIZE - 1, target.Name);
    return Fits(written, size);
}

} // namespace

SetupLineResult ApplySetupLine(ParamSet* set, char* line) {
    CutAt(line, ';');
    CutAt(line, '\r');
    CutAt(line, '\n');
    char* equals = std::strchr(line, '=');
    if (equals == nullptr) {
        return SETUP_LINE_SKIPPED;
    }
    *equals = '\0';
    return ApplySetupKeyValue(set, TrimBlanks(line), TrimBlanks(equals + 1));
}

SetupLineResult ApplySetupKeyValue(ParamSet* set, const char* key, const char* value) {
    bool applied = false;
    if (const ParamKey* row = FindParamKey(key)) {
        applied = ReadKeyValue(set, *row, value);
    } else {
        int index = 0;
        applied = ParseTargetKey(key, &index) && ReadTargetValue(&set->Target[index], value);
    }
    return applied ? SETUP_LINE_APPLIED : SETUP_LINE_REJECTED;
}

// Compared as formatted, so that what formatting itself settles (any nonzero Enable is 1) counts as
// carried: the file holds the same line after another round. A line sets its own field alone, so one copy
// of the record takes every line back.
int FindUncarriedSetupLine(const ParamSet& set) {
    ParamSet readBack = set;
    for (int i = 0; i < SetupLineCount(); ++i) {
        char written[SETUP_LINE_SIZE];
        char applied[SETUP_LINE_SIZE];
        char read[SETUP_LINE_SIZE];
        if (!FormatSetupLine(set, i, written, sizeof written)) {
            return i;
        }
        std::memcpy(applied, written, sizeof applied);
        if (ApplySetupLine(&readBack, applied) != SETUP_LINE_APPLIED ||
            !FormatSetupLine(readBack, i, read, sizeof read) || std::strcmp(written, read) != 0) {
            return i;
        }
    }
    return -1;
}

int SetupLineCount() {
    return PARAM_KEY_COUNT + TARGET_COUNT;
}

bool FormatSetupLine(const ParamSet& set, int index, char* line, std::size_t size) {
    if (index < 0 || index >= SetupLineCount()) {
        return false;
    }
    if (index < PARAM_KEY_COUNT) {
        return FormatKeyLine(set, PARAM_KEYS[index], line, size);
    }
    const int target = index - PARAM_KEY_COUNT;
    return FormatTargetLine(set.Target[target], target, line, size);
}

bool FormatSetupKeyValue(const ParamSet& set, int index, std::string* key, std::string* value) {
    char line[SETUP_LINE_SIZE];
    if (!FormatSetupLine(set, index, line, sizeof line)) {
        return false;
    }
    const std::string text(line, std::strcspn(line, "\r\n"));
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        return false;
    }
    *key = text.substr(0, equals);
    *value = text.substr(equals + 1);
    return true;
}

int FindSetupLine(const char* key) {
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        if (EqualsNoCase(key, PARAM_KEYS[i].Name)) {
            return i;
        }
    }
    int target = 0;
    return ParseTargetKey(key, &target) ? PARAM_KEY_COUNT + target : -1;
}
