// Following a path's symbolic links as the kit does before it saves over or appends to a file, so that a
// link another user planted in a shared folder is refused; POSIX only (FileLinks_posix.cpp).
#pragma once

#include <cstdint>
#include <string>

// The folder that holds `path`: "." for a bare name, "/" for a file at the root.
std::string DirectoryOf(const std::string& path);

// The file that `path` leads to once the links of its last part are followed, hop by hop, into
// `target` (the path itself when it is no link, or names nothing yet). A link in a folder that every
// user may write and that is sticky (/tmp), made by neither this user nor the folder's owner, is refused
// with PLANTED_LINK_ERROR: the kernel refuses to follow such a link at open (protected_symlinks), but
// not one that a program resolves itself. Otherwise false with the errno of the step that failed (ELOOP
// after too many links).
bool FollowOwnLinks(const std::string& path, std::string* target, int32_t* error);
