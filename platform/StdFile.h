// The owner of a C stream; portable.
#pragma once

#include <cstdio>

class CStdFile {
public:
    explicit CStdFile(std::FILE* file) : m_file(file) {}
    ~CStdFile() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    CStdFile(const CStdFile&) = delete;
    CStdFile& operator=(const CStdFile&) = delete;
    std::FILE* Get() const { return m_file; }
    // Gives the stream up without closing it, for a new owner.
    std::FILE* Release() {
        std::FILE* file = m_file;
        m_file = nullptr;
        return file;
    }

private:
    std::FILE* m_file;
};
