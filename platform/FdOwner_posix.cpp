// CFd and WriteAll: close and write on POSIX.
#include "platform/FdOwner.h"

#include <cerrno>
#include <unistd.h>

bool CFd::Close() {
    const int fd = Release();
    return fd < 0 || ::close(fd) == 0;
}

bool WriteAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}
