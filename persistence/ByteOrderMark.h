// Byte order marks at the start of a text file: the UTF-8 one that our readers skip, and the UTF-16 ones
// that mark a file in an encoding they do not read; portable.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

// Enough of a file's first bytes to tell its byte order mark.
inline constexpr std::size_t BOM_PROBE_SIZE = UTF8_BOM.size();

// How many bytes of `text` are a UTF-8 byte order mark: 3 or 0.
inline std::size_t Utf8BomLength(std::string_view text) {
    return text.substr(0, UTF8_BOM.size()) == UTF8_BOM ? UTF8_BOM.size() : 0;
}

// True when `text` starts with a UTF-16 byte order mark, in either byte order: what editors and shells
// write when told "Unicode".
inline bool StartsWithUtf16Bom(std::string_view text) {
    const std::string_view head = text.substr(0, 2);
    return head == "\xFF\xFE" || head == "\xFE\xFF";
}
