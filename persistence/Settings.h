// The application's own settings: CSettings reads one INI section as text or numbers, CAppSettings holds
// the values the program uses; portable (values come through the Profile seam).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr const char* SETTINGS_SECTION = "Settings";
constexpr const char* SETTINGS_FILE_NAME = "ZRVLinkSetup.ini";
constexpr std::size_t SETTINGS_VALUE_SIZE = 256; // a value is at most 255 characters

class CSettings {
public:
    // An empty or null file name reads the application's default profile instead of a file.
    explicit CSettings(const char* fileName = nullptr);
    virtual ~CSettings() = default;

    // Reads every setting into the members of the derived class; the base class has none.
    virtual void Load() {}

    // The text of `key` in the section, at most 255 characters, or `defaultValue`.
    std::string GetString(const char* key, const char* defaultValue) const;
    // The value of `key` read as "%ld" reads it (see ParseSettingsNumber), or `defaultValue`.
    int32_t GetNumber(const char* key, int32_t defaultValue) const;

    std::string FileName; // full path of the INI file
    std::string Section;
};

class CAppSettings : public CSettings {
public:
    CAppSettings() = default;

    // BaudRateChange from "BaudRateChange"; its current value is the default.
    void Load() override;

    // Nonzero: the user may change the serial line's baud rate, parity and stop bits.
    int32_t BaudRateChange = 0;
};

// A number as the format "%ld" reads it: white space skipped, an optional sign, decimal digits up to the
// first other character. False when there is no digit or the value does not fit in 32 bits.
bool ParseSettingsNumber(const char* text, int32_t* number);
