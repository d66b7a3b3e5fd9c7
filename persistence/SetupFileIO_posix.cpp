// File access for setup files on POSIX: plain reading, and mkostemp, fsync and rename for saving; the OS
// side of the setup-file seam.
#include "persistence/SetupFileIO.h"

#include "platform/FdOwner.h"
#include "platform/FileLinks.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why a file that exists is no setup file to read or replace; 0 for a regular file.
int NotARegularFile(const struct stat& info) {
    if (S_ISREG(info.st_mode)) {
        return 0;
    }
    return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
}

} // namespace

std::FILE* OpenSetupFileForReading(const char* path, int32_t* error) {
    // Not blocking at the open, and only a regular file: a FIFO would wait for a writer, a device would
    // be read as if it were a setup file.
    CFd fd(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    *error = !fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 ? errno : NotARegularFile(info);
    if (*error == 0 && ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        *error = errno;
    }
    std::FILE* file = *error == 0 ? ::fdopen(fd.Get(), "rb") : nullptr;
    if (file == nullptr && *error == 0) {
        *error = errno;
    }
    if (file != nullptr) {
        fd.Release(); // the stream's now
    }
    return file;
}

namespace {

// The kit creates files on one thread only, so reading the mask by setting it back at once is safe.
mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// 0 and the mode that open(path, ..., 0666) gives a new file, or the mode of the file being replaced;
// otherwise why the target cannot be replaced: it exists but is no regular file we may write.
int TargetMode(const std::string& target, mode_t* mode) {
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) {
        const int error = errno;
        *mode = 0666 & ~CurrentUmask();
        return error == ENOENT ? 0 : error;
    }
    *mode = info.st_mode & 07777;
    if (const int error = NotARegularFile(info)) {
        return error;
    }
    return ::access(target.c_str(), W_OK) == 0 ? 0 : errno;
}

// Makes the rename itself durable. The new content is in place when this runs, so a file system that
// cannot sync directories does not turn the save into a failure.
void SyncDirectory(const std::string& directory) {
    const CFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.IsOpen()) {
        ::fsync(fd.Get());
    }
}

} // namespace

struct CReplacingFile::State {
    std::string Target; // the file that Replace replaces
    std::string Temp;   // the temporary file while it exists
    CFd File;
    int32_t Error = 0;
    std::string Kept; // stays empty: a rename either happens or leaves both files as they were

    // Records the failure `error` of a step; false, for returning.
    bool Fail(int error) {
        Error = error;
        return false;
    }
};

CReplacingFile::CReplacingFile() : m_state(std::make_unique<State>()) {}

CReplacingFile::~CReplacingFile() {
    m_state->File.Close();
    if (!m_state->Temp.empty()) {
        ::unlink(m_state->Temp.c_str());
    }
}

// Saving through a symbolic link replaces the file it points to, not the link; never through a link that
// another user planted in a shared folder.
bool CReplacingFile::Create(const char* target) {
    State& s = *m_state;
    int32_t refused = 0;
    if (!FollowOwnLinks(target, &s.Target, &refused)) {
        return s.Fail(refused);
    }
    mode_t mode = 0;
    if (const int error = TargetMode(s.Target, &mode)) {
        return s.Fail(error);
    }
    if (const int32_t injected = FileStepFault(FILE_STEP_CREATE)) {
        return s.Fail(injected);
    }
    const std::string pattern = s.Target + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return s.Fail(errno);
    }
    s.File.Reset(fd);
    s.Temp = name.data();
    return ::fchmod(fd, mode) == 0 || s.Fail(errno);
}

bool CReplacingFile::Write(const char* data, std::size_t length) {
    State& s = *m_state;
    if (const int32_t injected = FileStepFault(FILE_STEP_WRITE)) {
        return s.Fail(injected);
    }
    return WriteAll(s.File.Get(), data, length) || s.Fail(errno);
}

bool CReplacingFile::Finish() {
    State& s = *m_state;
    if (const int32_t injected = FileStepFault(FILE_STEP_FLUSH)) {
        return s.Fail(injected);
    }
    return (::fsync(s.File.Get()) == 0 && s.File.Close()) || s.Fail(errno);
}

bool CReplacingFile::Replace() {
    State& s = *m_state;
    if (const int32_t injected = FileStepFault(FILE_STEP_REPLACE)) {
        return s.Fail(injected);
    }
    if (::rename(s.Temp.c_str(), s.Target.c_str()) != 0) {
        return s.Fail(errno);
    }
    s.Temp.clear();
    SyncDirectory(DirectoryOf(s.Target));
    return true;
}

int32_t CReplacingFile::Error() const {
    return m_state->Error;
}

const std::string& CReplacingFile::KeptFile() const {
    return m_state->Kept;
}
