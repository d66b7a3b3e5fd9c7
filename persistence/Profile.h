// Reading one value of an INI file, or of the application's default profile; the seam between the
// settings and the platform (GetPrivateProfileStringA and the registry on Windows, IniReader elsewhere).
#pragma once

#include <cstddef>

// The application whose default profile is read: on Windows the registry key
// HKEY_CURRENT_USER\Software\ZRVLinkSetup, one subkey per section, one string value per key.
constexpr const char* PROFILE_APPLICATION = "ZRVLinkSetup";

// The value of `key` in `section` of the INI file `fileName`, cut to size - 1 characters; `defaultValue`
// without its trailing blanks when the file, the section or the key is missing.
void ReadProfileFile(const char* fileName, const char* section, const char* key, const char* defaultValue,
                     char* value, std::size_t size);

// The value of `key` in `section` of the application's default profile, cut to size - 1 characters, or
// `defaultValue` when there is none. Only Windows has a default profile; elsewhere this always gives
// `defaultValue`.
void ReadDefaultProfile(const char* section, const char* key, const char* defaultValue, char* value,
                        std::size_t size);
