// CSettings and CAppSettings; portable.
#include "persistence/Settings.h"

#include "core/TextParse.h"
#include "persistence/Profile.h"

#include <cstdint>
#include <cstring>

CSettings::CSettings(const char* fileName)
    : FileName(fileName != nullptr ? fileName : ""), Section(SETTINGS_SECTION) {}

std::string CSettings::GetString(const char* key, const char* defaultValue) const {
    char value[SETTINGS_VALUE_SIZE];
    if (FileName.empty()) {
        ReadDefaultProfile(Section.c_str(), key, defaultValue, value, sizeof value);
    } else {
        ReadProfileFile(FileName.c_str(), Section.c_str(), key, defaultValue, value, sizeof value);
    }
    return value;
}

int32_t CSettings::GetNumber(const char* key, int32_t defaultValue) const {
    // The empty default tells a missing key from any number.
    int32_t number = 0;
    return ParseSettingsNumber(GetString(key, "").c_str(), &number) ? number : defaultValue;
}

void CAppSettings::Load() {
    BaudRateChange = GetNumber("BaudRateChange", BaudRateChange);
}

bool ParseSettingsNumber(const char* text, int32_t* number) {
    text += std::strspn(text, WHITE_SPACE);
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    if (!IsDigit(*text)) {
        return false;
    }
    // Magnitude up to 2^31 for the negative end of the range.
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t value = 0;
    for (; IsDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit) {
            return false;
        }
    }
    *number = static_cast<int32_t>(negative ? -value : value);
    return true;
}
