// The INI lookup with the Windows reader's rules; portable.
#include "persistence/IniReader.h"

#include "core/TextParse.h"
#include "persistence/ByteOrderMark.h"

#include <cstring>
#include <string_view>

namespace {

// The next line of `*rest`, which then starts after the line's end.
std::string_view NextLine(std::string_view* rest) {
    const std::size_t end = rest->find_first_of("\r\n");
    const std::string_view line = rest->substr(0, end);
    rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
    return line;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

void CopyCut(std::string_view text, char* value, std::size_t size) {
    if (size == 0) {
        return;
    }
    const std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(value, text.data(), length);
    value[length] = '\0';
}

// The name of a section line "[name]", or false for any other line.
bool SectionName(std::string_view line, std::string_view* name) {
    const std::size_t close = line.rfind(']');
    if (line.empty() || line.front() != '[' || close == std::string_view::npos || close == 0) {
        return false;
    }
    *name = TrimBlanks(line.substr(1, close - 1));
    return true;
}

} // namespace

bool FindIniValue(const char* text, std::size_t length, const char* section, const char* key, char* value,
                  std::size_t size) {
    if (text == nullptr || section == nullptr || key == nullptr) {
        return false;
    }
    std::string_view rest(text, length);
    rest.remove_prefix(Utf8BomLength(rest));
    bool inSection = false;
    while (!rest.empty()) {
        const std::string_view line = TrimBlanks(NextLine(&rest));
        std::string_view name;
        if (SectionName(line, &name)) {
            if (inSection) {
                return false;
            }
            inSection = EqualsNoCase(name, section);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || line.empty() || line.front() == ';' || equals == std::string_view::npos) {
            continue;
        }
        if (EqualsNoCase(TrimBlanks(line.substr(0, equals)), key)) {
            CopyCut(Unquote(TrimBlanks(line.substr(equals + 1))), value, size);
            return true;
        }
    }
    return false;
}

void CopyIniDefault(const char* defaultValue, char* value, std::size_t size) {
    std::string_view text = defaultValue != nullptr ? defaultValue : "";
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    CopyCut(text, value, size);
}
