// Fuzz target: the INI lookup on arbitrary file text, for the program's own key and for other names,
// and the settings' number rules on every value found.
#include "persistence/IniReader.h"
#include "persistence/Settings.h"

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const struct {
        const char* Section;
        const char* Key;
    } lookups[] = {{"Settings", "BaudRateChange"}, {"settings", "k"}, {"", ""}};
    const char* text = reinterpret_cast<const char*>(data);
    for (const auto& lookup : lookups) {
        char value[SETTINGS_VALUE_SIZE];
        if (FindIniValue(text, size, lookup.Section, lookup.Key, value, sizeof value)) {
            Check(std::memchr(value, '\0', sizeof value) != nullptr);
            int32_t number = 0;
            ParseSettingsNumber(value, &number);
        }
    }
    char tiny[1] = {'x'};
    Check(!FindIniValue(text, size, "Settings", "BaudRateChange", tiny, sizeof tiny) || tiny[0] == '\0');
    return 0;
}
