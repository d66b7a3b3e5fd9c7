// The owner of a POSIX file descriptor, and the loop that writes a whole block to one; POSIX only.
#pragma once

#include <cstddef>

// One owned file descriptor (-1 for none), closed at the end of its life.
class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() { Close(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Closes the descriptor held, if any, and takes `fd`.
    void Reset(int fd = -1) {
        Close();
        m_fd = fd;
    }
    // Gives the descriptor up without closing it, for a new owner (a stream, for instance).
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // False when close reports an error (a write that failed late, for instance).
    bool Close();

private:
    int m_fd;
};

// Writes all `length` bytes to `fd`, again after a partial or interrupted write. False when a write
// fails, with errno telling why (EIO for a write that took nothing).
bool WriteAll(int fd, const char* data, std::size_t length);
