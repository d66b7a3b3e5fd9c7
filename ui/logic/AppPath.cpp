// Paths of the setup program in the system's multibyte code page; portable.
#include "ui/logic/AppPath.h"

#include "persistence/Settings.h"

#include <cstring>

std::size_t FindLastSeparator(const char* path, const char* separators, LeadByteTest isLeadByte) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
        if (isLeadByte(static_cast<unsigned char>(path[i]))) {
            if (path[i + 1] == '\0') {
                break; // a lead byte without its trail ends the text
            }
            ++i;
        } else if (std::strchr(separators, path[i]) != nullptr) {
            last = i;
        }
    }
    return last;
}

std::string ModuleDirectory(const char* modulePath, LeadByteTest isLeadByte) {
    const std::size_t last = FindLastSeparator(modulePath, "\\", isLeadByte);
    return last == std::string::npos ? std::string(modulePath) : std::string(modulePath, last);
}

std::string IniPathFor(const char* modulePath, LeadByteTest isLeadByte) {
    return ModuleDirectory(modulePath, isLeadByte) + "\\" + SETTINGS_FILE_NAME;
}

std::string FileNameOf(const char* path, LeadByteTest isLeadByte) {
    // A drive letter and its colon come first or not at all.
    const std::size_t start = path[0] != '\0' && path[1] == ':' ? 2 : 0;
    const char* rest = path + start;
    const std::size_t last = FindLastSeparator(rest, "\\/", isLeadByte);
    return last == std::string::npos ? std::string(rest) : std::string(rest + last + 1);
}

std::string ProgramNameOf(const char* modulePath, LeadByteTest isLeadByte) {
    const std::string name = FileNameOf(modulePath, isLeadByte);
    const std::size_t dot = FindLastSeparator(name.c_str(), ".", isLeadByte);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string FormatCaption(const char* baseTitle, const char* filePath, LeadByteTest isLeadByte) {
    if (filePath[0] == '\0') {
        return baseTitle;
    }
    return std::string(baseTitle) + " - [" + FileNameOf(filePath, isLeadByte) + "]";
}
