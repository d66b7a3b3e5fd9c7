// INI values on POSIX: the file read whole and looked up with the Windows reader's rules; there is no
// default profile. The OS side of the profile seam.
#include "persistence/Profile.h"

#include "persistence/IniReader.h"
#include "platform/StdFile.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The whole file; false when it cannot be opened or read.
bool ReadWhole(const char* fileName, std::string* text) {
    CStdFile file(std::fopen(fileName, "rb"));
    if (file.Get() == nullptr) {
        return false;
    }
    char block[4096];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file.Get())) > 0) {
        text->append(block, got);
    }
    return !std::ferror(file.Get());
}

void CopyText(const char* text, char* value, std::size_t size) {
    if (size > 0) {
        std::snprintf(value, size, "%s", text != nullptr ? text : "");
    }
}

} // namespace

void ReadProfileFile(const char* fileName, const char* section, const char* key, const char* defaultValue,
                     char* value, std::size_t size) {
    std::string text;
    if (!ReadWhole(fileName, &text) || !FindIniValue(text.data(), text.size(), section, key, value, size)) {
        CopyIniDefault(defaultValue, value, size);
    }
}

void ReadDefaultProfile(const char* /*section*/, const char* /*key*/, const char* defaultValue, char* value,
                        std::size_t size) {
    CopyText(defaultValue, value, size);
}
