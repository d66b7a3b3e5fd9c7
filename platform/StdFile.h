// The owner of a C stream, and reading a stream or a file whole; portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class CStdFile {
public:
    explicit CStdFile(std::FILE* file) : m_file(file) {}
    ~CStdFile() { Reset(); }
    CStdFile(const CStdFile&) = delete;
    CStdFile& operator=(const CStdFile&) = delete;
    std::FILE* Get() const { return m_file; }
    // Closes the stream held, if any, and takes `file`.
    void Reset(std::FILE* file = nullptr) {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
        m_file = file;
    }
    // Gives the stream up without closing it, for a new owner.
    std::FILE* Release() {
        std::FILE* file = m_file;
        m_file = nullptr;
        return file;
    }

private:
    std::FILE* m_file;
};

// Appends what is left of `file` to `text`. False on a read error, or once more than `limit` bytes came.
bool ReadWholeStream(std::FILE* file, std::string* text, std::size_t limit = SIZE_MAX);

// The whole file at `path`, as bytes. False when it cannot be opened or read; the system's error code
// is then that of the failed step (LastSystemError).
bool ReadWholeFile(const char* path, std::string* text);
