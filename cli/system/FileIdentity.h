// Whether two paths lead to one file, whatever their spelling: another relative path, a hard link or a
// symbolic link; the seam between zrvlink's file rules and the OS (FileIdentity_posix.cpp: device and
// inode; FileIdentity_win32.cpp: volume serial number and file index).
#pragma once

#include <string>

// True when both paths exist and are the same file.
bool IsSameFile(const std::string& first, const std::string& second);
