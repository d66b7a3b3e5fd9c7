// Paths of the setup program in the system's multibyte code page: the directory of the program file,
// the INI file beside it and the window caption's file name; portable (the code page comes as a test).
#pragma once

#include "core/LeadByte.h"

#include <cstddef>
#include <string>

// Position of the last of `separators` in `path`, or std::string::npos. The path is walked character by
// character, so the trail byte of a double-byte character (which may be 0x5C, the backslash) never counts.
std::size_t FindLastSeparator(const char* path, const char* separators, LeadByteTest isLeadByte);

// The program's directory: `modulePath` cut before its last backslash ("C:\ZRVLinkSetup.exe" gives "C:");
// the whole path when it has none.
std::string ModuleDirectory(const char* modulePath, LeadByteTest isLeadByte);

// The settings file beside the program: its directory, a backslash, "ZRVLinkSetup.ini".
std::string IniPathFor(const char* modulePath, LeadByteTest isLeadByte);

// The file name and extension of `path`, without drive and directories.
std::string FileNameOf(const char* path, LeadByteTest isLeadByte);

// The program's name: the file name of `modulePath` without its extension.
std::string ProgramNameOf(const char* modulePath, LeadByteTest isLeadByte);

// The main window's caption: `baseTitle` alone without a file, else "base - [name.ext]".
std::string FormatCaption(const char* baseTitle, const char* filePath, LeadByteTest isLeadByte);
