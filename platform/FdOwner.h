// The owners of a POSIX file descriptor and of a directory stream, and the loop that writes a whole
// block to a descriptor; POSIX only.
#pragma once

#include <cstddef>
#include <dirent.h>

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

// One open directory stream (null for none), closed at the end of its life.
class CDirStream {
public:
    explicit CDirStream(const char* path) : m_dir(opendir(path)) {}
    ~CDirStream() {
        if (m_dir != nullptr) {
            closedir(m_dir);
        }
    }
    CDirStream(const CDirStream&) = delete;
    CDirStream& operator=(const CDirStream&) = delete;
    DIR* Get() const { return m_dir; }

private:
    DIR* m_dir;
};

// Writes all `length` bytes to `fd`, again after a partial or interrupted write. False when a write
// fails, with errno telling why (EIO for a write that took nothing).
bool WriteAll(int fd, const char* data, std::size_t length);
