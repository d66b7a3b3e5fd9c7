// CCommDevice on POSIX: a tty or pty opened by path from the port table and kept from other openers
// (an advisory lock, as serial tools take, and the tty's exclusive mode), raw termios, poll on the
// device and a wake pipe.
#include "portkit/CommDevice.h"

#include "core/DebugPrint.h"
#include "platform/FdOwner.h"
#include "portkit/CommPortPaths.h"
#include "portkit/PortKit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

constexpr int IDLE_WAIT_MS = 200; // while the procedure left bytes behind
constexpr int FULL_WAIT_MS = 10;  // while the queue is full

// Written by Open and Close on the owner's thread, before the reader exists and after it ended; read by
// the reader, the writer and Wake in between.
struct DeviceState {
    CFd Fd;
    CFd WakeRead;
    CFd WakeWrite;
    char Path[COMM_PATH_SIZE] = ""; // for trace lines
};

// Traces a failed call on the device with the code it left, and returns that code.
int32_t TraceFailure(const DeviceState& state, const char* operation, int code) {
    DebugPrint("WARNING: cannot %s \"%s\": error %d\n", operation, state.Path, code);
    return code;
}

long long MonotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool ToSpeed(int32_t baudRate, speed_t* speed) {
    static const struct {
        int32_t Rate;
        speed_t Speed;
    } rates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& r : rates) {
        if (r.Rate == baudRate) {
            *speed = r.Speed;
            return true;
        }
    }
    return false;
}

bool ApplySettings(int fd, const CommSettings& settings) {
    speed_t speed;
    termios tio{};
    if (!ToSpeed(settings.BaudRate, &speed)) {
        errno = EINVAL;
        return false;
    }
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= sizes[settings.DataBits - 5] | CLOCAL | CREAD;
    if (settings.Parity != COMM_PARITY_NONE) {
        tio.c_cflag |= PARENB | (settings.Parity == COMM_PARITY_ODD ? PARODD : 0);
    }
    if (settings.StopBits == 2) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0 &&
           tcsetattr(fd, TCSANOW, &tio) == 0;
}

void DrainWakePipe(int fd) {
    char sink[64];
    while (read(fd, sink, sizeof sink) > 0) {
    }
}

// The code of a refused reservation: the lock's, or EBUSY when another opener holds the device in
// exclusive mode (root gets past that mode, so it looks); 0 when the device is this opener's now.
int Reserve(int fd) {
    int exclusive = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return errno;
    }
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0 ? EBUSY : 0;
}

} // namespace

CCommDevice::CCommDevice() {
    m_state.Make<DeviceState>();
}

CCommDevice::~CCommDevice() {
    Close();
    m_state.Destroy<DeviceState>();
}

// The lock keeps out every opener that takes it too, root included; the exclusive mode keeps out
// every other opener but root.
bool CCommDevice::Open(int32_t portNumber, const CommSettings& settings, int32_t* systemError) {
    char path[COMM_PATH_SIZE];
    *systemError = 0;
    if (!GetCommPortPath(portNumber, path)) {
        return false;
    }
    DeviceState& state = m_state.Get<DeviceState>();
    std::memcpy(state.Path, path, sizeof path);
    state.Fd.Reset(open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!state.Fd.IsOpen()) {
        *systemError = TraceFailure(state, "open", errno);
        return false;
    }
    if (const int refused = Reserve(state.Fd.Get())) {
        *systemError = TraceFailure(state, "reserve", refused);
        state.Fd.Reset(); // without Close: the exclusive mode is the other opener's
        return false;
    }
    int wake[2];
    if (ioctl(state.Fd.Get(), TIOCEXCL) != 0 || !ApplySettings(state.Fd.Get(), settings)) {
        *systemError = TraceFailure(state, "set up", errno);
    } else if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        *systemError = TraceFailure(state, "open a wake pipe for", errno);
    } else {
        state.WakeRead.Reset(wake[0]);
        state.WakeWrite.Reset(wake[1]);
        tcflush(state.Fd.Get(), TCIOFLUSH);
        return true;
    }
    Close();
    return false;
}

void CCommDevice::Close() {
    DeviceState& state = m_state.Get<DeviceState>();
    if (state.Fd.IsOpen()) {
        // The mode outlives this descriptor while the device stays open elsewhere.
        ioctl(state.Fd.Get(), TIOCNXCL);
    }
    state.Fd.Reset();
    state.WakeRead.Reset();
    state.WakeWrite.Reset();
}

// One deadline for the whole block: a device may pause between bytes, but not beyond the limit.
bool CCommDevice::Write(const char* data, std::size_t length, unsigned timeoutMilliseconds) {
    const DeviceState& state = m_state.Get<DeviceState>();
    const long long deadline = MonotonicMilliseconds() + timeoutMilliseconds;
    while (length > 0) {
        ssize_t written = write(state.Fd.Get(), data, length);
        if (written > 0) {
            data += written;
            length -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written == 0 || errno != EAGAIN) {
            TraceFailure(state, "write", written == 0 ? EIO : errno);
            return false;
        }
        const long long left = deadline - MonotonicMilliseconds();
        pollfd writable{state.Fd.Get(), POLLOUT, 0};
        const int ready = left > 0 ? poll(&writable, 1, static_cast<int>(left)) : 0;
        if (ready == 0) {
            TraceFailure(state, "write", ETIMEDOUT);
            return false;
        }
        if ((ready < 0 && errno != EINTR) || (writable.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            TraceFailure(state, "write", ready < 0 ? errno : EIO);
            return false;
        }
    }
    return true;
}

int CCommDevice::WaitAndRead(char* buffer, std::size_t room, bool bytesLeft) {
    DeviceState& state = m_state.Get<DeviceState>();
    pollfd fds[2] = {{state.WakeRead.Get(), POLLIN, 0}, {state.Fd.Get(), POLLIN, 0}};
    const nfds_t count = room > 0 ? 2 : 1; // a full queue waits for room, not for the device
    const int wait = room == 0 ? FULL_WAIT_MS : bytesLeft ? IDLE_WAIT_MS : -1;
    int ready = poll(fds, count, wait);
    if (ready <= 0) {
        return 0;
    }
    if (fds[0].revents & POLLIN) {
        DrainWakePipe(state.WakeRead.Get());
    }
    if (count < 2 || fds[1].revents == 0) {
        return 0;
    }
    if (!(fds[1].revents & POLLIN)) {
        return -1; // hang-up or error without data: the device went away
    }
    ssize_t received = read(state.Fd.Get(), buffer, room);
    if (received < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    return received > 0 ? static_cast<int>(received) : -1;
}

void CCommDevice::Wake() {
    const char byte = 1;
    ssize_t ignored = write(m_state.Get<DeviceState>().WakeWrite.Get(), &byte, 1);
    (void)ignored;
}
