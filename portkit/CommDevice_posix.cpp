// CCommDevice on POSIX: a tty or pty opened by path from the port table, raw termios, poll on the
// device and a wake pipe.
#include "portkit/CommDevice.h"

#include "portkit/CommPortPaths.h"
#include "portkit/PortKit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace {

constexpr int IDLE_WAIT_MS = 200; // with nothing to do the reader still looks up this often
constexpr int FULL_WAIT_MS = 10;  // while the queue is full

struct DeviceState {
    int Fd = -1;
    int WakeRead = -1;
    int WakeWrite = -1;
};

static_assert(sizeof(DeviceState) <= 64, "CCommDevice storage too small");

DeviceState& State(unsigned char* storage) {
    return *std::launder(reinterpret_cast<DeviceState*>(storage));
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
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
    if (!ToSpeed(settings.BaudRate, &speed) || tcgetattr(fd, &tio) != 0) {
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

} // namespace

CCommDevice::CCommDevice() {
    new (m_storage) DeviceState;
}

CCommDevice::~CCommDevice() {
    Close();
}

bool CCommDevice::Open(int32_t portNumber, const CommSettings& settings) {
    char path[COMM_PATH_SIZE];
    if (!GetCommPortPath(portNumber, path)) {
        return false;
    }
    DeviceState& state = State(m_storage);
    state.Fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int wake[2];
    // One user at a time, as a COM port on Windows: the lock holds under every name of the tty (its
    // /dev/ttyACMn path and the links udev makes), so that two transfers never share a device.
    if (state.Fd < 0 || flock(state.Fd, LOCK_EX | LOCK_NB) != 0 || !ApplySettings(state.Fd, settings) ||
        pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        Close();
        return false;
    }
    state.WakeRead = wake[0];
    state.WakeWrite = wake[1];
    tcflush(state.Fd, TCIOFLUSH);
    return true;
}

void CCommDevice::Close() {
    DeviceState& state = State(m_storage);
    CloseFd(state.Fd);
    CloseFd(state.WakeRead);
    CloseFd(state.WakeWrite);
}

bool CCommDevice::Write(const char* data, std::size_t length) {
    const int fd = State(m_storage).Fd;
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EAGAIN) {
            pollfd writable{fd, POLLOUT, 0};
            if (poll(&writable, 1, IDLE_WAIT_MS) <= 0 ||
                (writable.revents & (POLLERR | POLLHUP | POLLNVAL))) {
                return false;
            }
            continue;
        }
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

int CCommDevice::WaitAndRead(char* buffer, std::size_t room) {
    DeviceState& state = State(m_storage);
    pollfd fds[2] = {{state.WakeRead, POLLIN, 0}, {state.Fd, POLLIN, 0}};
    const nfds_t count = room > 0 ? 2 : 1; // a full queue waits for room, not for the device
    int ready = poll(fds, count, room > 0 ? IDLE_WAIT_MS : FULL_WAIT_MS);
    if (ready <= 0) {
        return 0;
    }
    if (fds[0].revents & POLLIN) {
        DrainWakePipe(state.WakeRead);
    }
    if (count < 2 || fds[1].revents == 0) {
        return 0;
    }
    if (!(fds[1].revents & POLLIN)) {
        return -1; // hang-up or error without data: the device went away
    }
    ssize_t received = read(state.Fd, buffer, room);
    if (received < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    return received > 0 ? static_cast<int>(received) : -1;
}

void CCommDevice::Wake() {
    const char byte = 1;
    ssize_t ignored = write(State(m_storage).WakeWrite, &byte, 1);
    (void)ignored;
}
