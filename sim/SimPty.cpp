// The simulator's pseudo-terminal and symlink; device side of the serial link, Linux only.
#include "sim/SimPty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reads errno first, before anything else can change it.
bool Fail(std::string* error, const char* what, const std::string& object = std::string()) {
    int code = errno;
    *error = std::string(what) + (object.empty() ? "" : " " + object) + ": " + std::strerror(code);
    return false;
}

} // namespace

bool CPseudoTerminal::Open(std::string* error) {
    m_master.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_master.IsOpen()) {
        return Fail(error, "cannot open pseudo-terminal");
    }
    if (grantpt(Master()) != 0 || unlockpt(Master()) != 0) {
        return Fail(error, "cannot unlock pseudo-terminal");
    }
    char path[256];
    if (ptsname_r(Master(), path, sizeof path) != 0) {
        return Fail(error, "cannot name pseudo-terminal");
    }
    m_path = path;
    m_slave.Reset(open(path, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_slave.IsOpen()) {
        return Fail(error, "cannot open", m_path);
    }
    termios raw{};
    if (tcgetattr(m_slave.Get(), &raw) != 0) {
        return Fail(error, "cannot read terminal settings");
    }
    cfmakeraw(&raw);
    if (tcsetattr(m_slave.Get(), TCSANOW, &raw) != 0) {
        return Fail(error, "cannot make terminal raw");
    }
    int flags = fcntl(Master(), F_GETFL);
    if (flags < 0 || fcntl(Master(), F_SETFL, flags | O_NONBLOCK) != 0) {
        return Fail(error, "cannot make pseudo-terminal non-blocking");
    }
    return true;
}

int CPseudoTerminal::PendingForPc() const {
    int count = 0;
    return ioctl(m_slave.Get(), TIOCINQ, &count) == 0 ? count : 0;
}

bool CSymlink::Make(const std::string& target, const std::string& path, std::string* error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && unlink(path.c_str()) != 0) {
        return Fail(error, "cannot replace link", path);
    }
    if (symlink(target.c_str(), path.c_str()) != 0) {
        return Fail(error, "cannot make link", path);
    }
    m_target = target;
    m_path = path;
    return true;
}

CSymlink::~CSymlink() {
    if (m_path.empty()) {
        return;
    }
    char target[256];
    ssize_t length = readlink(m_path.c_str(), target, sizeof target - 1);
    if (length >= 0 && m_target == std::string(target, static_cast<std::size_t>(length))) {
        unlink(m_path.c_str());
    }
}
