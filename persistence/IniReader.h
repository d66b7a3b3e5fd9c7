// Looking up one value in the text of an INI file, by the rules of the Windows INI reader that the
// settings rely on; portable (the POSIX side of the profile seam uses it).
#pragma once

#include <cstddef>

// Finds `key` in `section` of `text` (`length` bytes) and copies its value, cut to size - 1 characters
// and terminated, into `value`. False when the section or the key is missing. The rules:
// - lines end at CR or LF; a UTF-8 byte order mark at the start is skipped;
// - blanks and tabs around a line, a name or a value are ignored;
// - a line starting with ';' is a comment; ';' later in a line belongs to the value;
// - "[name]" starts a section (the name runs to the last ']' of the line);
// - "key=value" holds a value (later '=' belong to it); a line without '=' holds none;
// - one pair of matching quotes (" or ') around the whole value is removed;
// - section and key names are compared without regard to ASCII case;
// - only the first section of a name is read, and in it the first line of the key.
bool FindIniValue(const char* text, std::size_t length, const char* section, const char* key, char* value,
                  std::size_t size);

// Copies `defaultValue` (null: empty) without its trailing blanks, cut to size - 1 characters, as the
// Windows reader returns a default.
void CopyIniDefault(const char* defaultValue, char* value, std::size_t size);
