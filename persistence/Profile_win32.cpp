// INI values on Windows: GetPrivateProfileStringA for files, the registry below
// HKEY_CURRENT_USER\Software\ZRVLinkSetup for the default profile. The OS side of the profile seam.
#include "persistence/Profile.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void CopyText(const char* text, char* value, std::size_t size) {
    if (size > 0) {
        std::snprintf(value, size, "%s", text != nullptr ? text : "");
    }
}

// The string value `key` of HKEY_CURRENT_USER\`subkey`, whatever its length; false when there is none.
bool ReadUserString(const std::string& subkey, const char* key, std::string* text) {
    DWORD bytes = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, subkey.c_str(), key, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes == 0) {
        return false;
    }
    text->assign(bytes, '\0');
    if (RegGetValueA(HKEY_CURRENT_USER, subkey.c_str(), key, RRF_RT_REG_SZ, nullptr, &(*text)[0], &bytes) !=
        ERROR_SUCCESS) {
        return false;
    }
    text->resize(std::char_traits<char>::length(text->c_str()));
    return true;
}

} // namespace

void ReadProfileFile(const char* fileName, const char* section, const char* key, const char* defaultValue,
                     char* value, std::size_t size) {
    GetPrivateProfileStringA(section, key, defaultValue, value, static_cast<DWORD>(size), fileName);
}

void ReadDefaultProfile(const char* section, const char* key, const char* defaultValue, char* value,
                        std::size_t size) {
    const std::string subkey = std::string("Software\\") + PROFILE_APPLICATION + "\\" + section;
    std::string text;
    CopyText(ReadUserString(subkey, key, &text) ? text.c_str() : defaultValue, value, size);
}
