// File access for setup files on POSIX: plain reading, and mkstemp, fsync and rename for saving; the OS
// side of the setup-file seam.
#include "persistence/SetupFileIO.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* OpenSetupFileForReading(const char* path) {
    // Not blocking at the open, and only a regular file: a FIFO would wait for a writer, a device would
    // be read as if it were a setup file.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

namespace {

// Owns a file descriptor.
class CFd {
public:
    CFd() = default;
    ~CFd() { Close(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    void Reset(int fd) {
        Close();
        m_fd = fd;
    }
    int Get() const { return m_fd; }
    // False when close reports an error (a write that failed late, for instance).
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd = -1;
};

// Saving through a symbolic link replaces the file it points to, not the link.
std::string ResolveLink(const char* path) {
    struct stat info;
    if (::lstat(path, &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path, nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string(path);
}

// The kit creates files on one thread only, so reading the mask by setting it back at once is safe.
mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The mode that open(path, ..., 0666) gives a new file, or the mode of the file being replaced. False
// when the target exists but is no regular file we may write.
bool TargetMode(const std::string& target, mode_t* mode) {
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) {
        const bool missing = errno == ENOENT;
        *mode = 0666 & ~CurrentUmask();
        return missing;
    }
    *mode = info.st_mode & 07777;
    return S_ISREG(info.st_mode) && ::access(target.c_str(), W_OK) == 0;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable. The new content is in place when this runs, so a file system that
// cannot sync directories does not turn the save into a failure.
void SyncDirectory(const std::string& directory) {
    CFd fd;
    fd.Reset(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        ::fsync(fd.Get());
    }
}

} // namespace

struct CReplacingFile::State {
    std::string Target; // the file that Replace replaces
    std::string Temp;   // the temporary file while it exists
    CFd File;
};

CReplacingFile::CReplacingFile() : m_state(std::make_unique<State>()) {}

CReplacingFile::~CReplacingFile() {
    m_state->File.Close();
    if (!m_state->Temp.empty()) {
        ::unlink(m_state->Temp.c_str());
    }
}

bool CReplacingFile::Create(const char* target) {
    State& s = *m_state;
    s.Target = ResolveLink(target);
    mode_t mode = 0;
    if (!TargetMode(s.Target, &mode) || FileStepFails(FILE_STEP_CREATE)) {
        return false;
    }
    const std::string pattern = s.Target + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    s.File.Reset(fd);
    s.Temp = name.data();
    return ::fchmod(fd, mode) == 0;
}

bool CReplacingFile::Write(const char* data, std::size_t length) {
    while (length > 0) {
        if (FileStepFails(FILE_STEP_WRITE)) {
            return false;
        }
        const ssize_t written = ::write(m_state->File.Get(), data, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CReplacingFile::Finish() {
    return !FileStepFails(FILE_STEP_FLUSH) && ::fsync(m_state->File.Get()) == 0 && m_state->File.Close();
}

bool CReplacingFile::Replace() {
    State& s = *m_state;
    if (FileStepFails(FILE_STEP_REPLACE) || ::rename(s.Temp.c_str(), s.Target.c_str()) != 0) {
        return false;
    }
    s.Temp.clear();
    SyncDirectory(DirectoryOf(s.Target));
    return true;
}
