// INI values on POSIX: the file read whole and looked up with the Windows reader's rules; there is no
// default profile. The OS side of the profile seam.
#include "persistence/Profile.h"

#include "persistence/IniReader.h"
#include "platform/StdFile.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void CopyText(const char* text, char* value, std::size_t size) {
    if (size > 0) {
        std::snprintf(value, size, "%s", text != nullptr ? text : "");
    }
}

} // namespace

void ReadProfileFile(const char* fileName, const char* section, const char* key, const char* defaultValue,
                     char* value, std::size_t size) {
    std::string text;
    if (!ReadWholeFile(fileName, &text) ||
        !FindIniValue(text.data(), text.size(), section, key, value, size)) {
        CopyIniDefault(defaultValue, value, size);
    }
}

void ReadDefaultProfile(const char* /*section*/, const char* /*key*/, const char* defaultValue, char* value,
                        std::size_t size) {
    CopyText(defaultValue, value, size);
}
