// The record's file on POSIX: O_APPEND for writes that always land at the end, an exclusive flock that a
// second station cannot take, fsync after every row. The POSIX side of the record-file seam.
#include "provisioning/RecordFile.h"

#include "platform/FdOwner.h"
#include "platform/FileLinks.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void FlushDirectoryOf(const std::string& path) {
    const CFd directoryFd(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directoryFd.IsOpen()) {
        ::fsync(directoryFd.Get());
    }
}

} // namespace

struct CRecordFile::State {
    CFd Fd;
    int32_t Error = 0;
    RecordFileFault Fault = RecordFileFault::None;

    bool Fail(int code, RecordFileFault fault = RecordFileFault::System) {
        Error = code != 0 ? code : EIO;
        Fault = fault;
        return false;
    }
    bool Refuse(RecordFileFault fault, int code) {
        Close();
        return Fail(code, fault);
    }
    void Close() { Fd.Reset(); }
};

CRecordFile::CRecordFile() : m_state(std::make_unique<State>()) {}

CRecordFile::~CRecordFile() {
    m_state->Close();
}

bool CRecordFile::Open(const std::string& path, RecordFileReaders readers) {
    State& s = *m_state;
    s.Close();
    s.Error = 0;
    s.Fault = RecordFileFault::None;
    std::string target;
    int32_t refused = 0;
    if (!FollowOwnLinks(path, &target, &refused)) {
        return s.Fail(refused);
    }
    // Created here, the file's name must reach the disk as well as its rows.
    // O_NONBLOCK: a pipe's open would wait for a writer; for a regular file it changes nothing.
    const bool ownerOnly = readers == RecordFileReaders::OwnerOnly;
    bool created = false;
    s.Fd.Reset(::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!s.Fd.IsOpen() && errno == ENOENT) {
        s.Fd.Reset(
            ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_CREAT | O_EXCL, ownerOnly ? 0600 : 0666));
        created = s.Fd.IsOpen();
    }
    if (!s.Fd.IsOpen()) {
        return s.Fail(errno);
    }
    struct stat info {};
    if (::fstat(s.Fd.Get(), &info) != 0) {
        return s.Refuse(RecordFileFault::System, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return s.Refuse(RecordFileFault::NotAFile, EINVAL);
    }
    if (ownerOnly && (info.st_mode & 077) != 0 && info.st_uid == ::geteuid() &&
        ::fchmod(s.Fd.Get(), info.st_mode & 0700) != 0) {
        return s.Refuse(RecordFileFault::System, errno);
    }
    if (::flock(s.Fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return s.Refuse(errno == EWOULDBLOCK ? RecordFileFault::InUse : RecordFileFault::System, errno);
    }
    if (created) {
        FlushDirectoryOf(path);
    }
    return true;
}

bool CRecordFile::ReadAll(std::string* text) {
    State& s = *m_state;
    text->clear();
    char block[8192];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(s.Fd.Get(), block, sizeof block, offset);
        if (got == 0) {
            return true;
        }
        if (got < 0 && errno != EINTR) {
            return s.Fail(errno);
        }
        if (got > 0) {
            text->append(block, static_cast<std::size_t>(got));
            offset += got;
        }
    }
}

bool CRecordFile::CutTo(std::size_t size) {
    State& s = *m_state;
    return (::ftruncate(s.Fd.Get(), static_cast<off_t>(size)) == 0 && ::fsync(s.Fd.Get()) == 0) ||
           s.Fail(errno);
}

bool CRecordFile::Append(const std::string& text) {
    State& s = *m_state;
    // One write for the row; only a write that the system cut short (a full disk) needs another.
    if (!WriteAll(s.Fd.Get(), text.data(), text.size())) {
        return s.Fail(errno);
    }
    return ::fsync(s.Fd.Get()) == 0 || s.Fail(errno);
}

int32_t CRecordFile::Error() const {
    return m_state->Error;
}

RecordFileFault CRecordFile::Fault() const {
    return m_state->Fault;
}
