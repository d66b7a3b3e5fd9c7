// The operating system's own error codes, kept where a failure happens and told to the user as text;
// portable interface (errno and strerror on POSIX, GetLastError and FormatMessage on Windows).
#pragma once

#include <cstddef>
#include <cstdint>

// The code of the last failed system call on this thread (errno, GetLastError()).
int32_t LastSystemError();

// The kit's own code, in the range that Windows leaves to applications and far above any errno: a
// symbolic link that another user put in a folder that everyone may write (see FileLinks.h).
constexpr int32_t PLANTED_LINK_ERROR = 0x20000101;
constexpr const char* PLANTED_LINK_WORDS =
    "a symbolic link that another user made in a folder that every user may write (sticky, like /tmp); "
    "it is not followed";

// The system's text for `code` (the kit's own words for PLANTED_LINK_ERROR), lower case first letter, without
// a final period or line end, into `text` (always terminated); for example "permission denied". Returns
// `text`.
const char* SystemErrorText(int32_t code, char* text, std::size_t size);
