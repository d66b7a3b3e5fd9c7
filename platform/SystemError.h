// The operating system's own error codes, kept where a failure happens and told to the user as text;
// portable interface (errno and strerror on POSIX, GetLastError and FormatMessage on Windows).
#pragma once

#include <cstddef>
#include <cstdint>

// The code of the last failed system call on this thread (errno, GetLastError()).
int32_t LastSystemError();

// The system's text for `code`, lower case first letter, without a final period or line end, into
// `text` (always terminated); for example "permission denied". Returns `text`.
const char* SystemErrorText(int32_t code, char* text, std::size_t size);
