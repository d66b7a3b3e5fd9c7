// Which file a path leads to, on POSIX: the device and inode of what stat() finds (links followed). The
// POSIX side of the file-identity seam.
#include "cli/system/FileIdentity.h"

#include <sys/stat.h>

bool IsSameFile(const std::string& first, const std::string& second) {
    struct stat one {};
    struct stat other {};
    return stat(first.c_str(), &one) == 0 && stat(second.c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}
