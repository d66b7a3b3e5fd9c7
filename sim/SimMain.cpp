// zrvlink-sim: start-up, the poll loop between the pty and CSimDevice, and the end; device side of the
// serial link, Linux only.
#include "platform/FdOwner.h"
#include "sim/SimDevice.h"
#include "sim/SimOptions.h"
#include "sim/SimPty.h"
#include "sim/SimState.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr Milliseconds BYTE_PAUSE(1);
// How often an unplug waits to see the PC's side drained; a write needs a moment to reach that side.
constexpr Milliseconds UNPLUG_CHECK(10);
constexpr int READ_BLOCK = 256;

constexpr int EXIT_RUN_FAILED = 1;
constexpr int EXIT_USAGE = 2;

int Report(const std::string& message) {
    std::fprintf(stderr, "zrvlink-sim: %s\n", message.c_str());
    return EXIT_RUN_FAILED;
}

// Reads errno first, before anything else can change it.
std::string SystemError(const char* what, const std::string& object = std::string()) {
    int code = errno;
    return std::string(what) + (object.empty() ? "" : " " + object) + ": " + std::strerror(code);
}

struct Chunk {
    Clock::time_point Due;
    std::string Bytes;
};

// Moves bytes between the pty and the device until a signal arrives or the device is unplugged.
class CSimLoop {
public:
    CSimLoop(CPseudoTerminal& pty, CSimDevice& device, int signalFd, int logFd, bool byteByByte)
        : m_pty(pty), m_device(device), m_signalFd(signalFd), m_logFd(logFd), m_byteByByte(byteByByte) {}

    // False on a failure, described in `error`.
    bool Run(std::string* error);

private:
    bool ReadPc(std::string* error);
    bool Log(const char* bytes, std::size_t count, std::string* error);
    void Queue(const SimReply& reply);
    bool WriteDue(std::string* error);
    bool ShouldUnplug() const;
    int Timeout() const;

    CPseudoTerminal& m_pty;
    CSimDevice& m_device;
    int m_signalFd;
    int m_logFd;
    bool m_byteByByte;
    std::deque<Chunk> m_out; // due times never decrease, so replies leave in order
    Clock::time_point m_lastDue = Clock::now();
    Clock::time_point m_lastWrite = Clock::now();
    bool m_blocked = false;          // the pty takes no more now: wait until it is writable
    bool m_heardAfterUnplug = false; // the PC has gone on after the last reply
};

bool CSimLoop::Run(std::string* error) {
    for (;;) {
        if (m_device.IsUnplugged() && ShouldUnplug()) {
            m_pty.CloseMaster();
            return true;
        }
        const short reading = m_device.IsStalled() ? 0 : POLLIN;
        short masterEvents = static_cast<short>(reading | (m_blocked ? POLLOUT : 0));
        pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_pty.Master(), masterEvents, 0}};
        if (poll(fds, 2, Timeout()) < 0 && errno != EINTR) {
            *error = SystemError("waiting for the pseudo-terminal");
            return false;
        }
        if (fds[0].revents & POLLIN) {
            return true;
        }
        if (fds[1].revents & POLLOUT) {
            m_blocked = false;
        }
        if ((fds[1].revents & (POLLIN | POLLERR | POLLHUP)) && !ReadPc(error)) {
            return false;
        }
        if (!WriteDue(error)) {
            return false;
        }
    }
}

bool CSimLoop::ReadPc(std::string* error) {
    char bytes[READ_BLOCK];
    while (!m_device.IsStalled()) {
        ssize_t count = read(m_pty.Master(), bytes, sizeof bytes);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno == EAGAIN) {
            return true;
        }
        if (count <= 0) {
            *error = count == 0 ? "reading the pseudo-terminal: end of input"
                                : SystemError("reading the pseudo-terminal");
            return false;
        }
        if (!Log(bytes, static_cast<std::size_t>(count), error)) {
            return false;
        }
        for (ssize_t i = 0; i < count; ++i) {
            m_heardAfterUnplug = m_heardAfterUnplug || m_device.IsUnplugged();
            SimReply reply;
            if (m_device.PutByte(static_cast<unsigned char>(bytes[i]), &reply)) {
                Queue(reply);
            }
        }
    }
    return true;
}

bool CSimLoop::Log(const char* bytes, std::size_t count, std::string* error) {
    if (m_logFd >= 0 && !WriteAll(m_logFd, bytes, count)) {
        *error = SystemError("writing the log");
        return false;
    }
    return true;
}

void CSimLoop::Queue(const SimReply& reply) {
    Clock::time_point due = std::max(Clock::now() + Milliseconds(reply.DelayMs), m_lastDue);
    if (!m_byteByByte) {
        m_out.push_back({due, reply.Bytes});
        m_lastDue = due;
        return;
    }
    for (char byte : reply.Bytes) {
        m_out.push_back({due, std::string(1, byte)});
        m_lastDue = due;
        due += BYTE_PAUSE;
    }
}

bool CSimLoop::WriteDue(std::string* error) {
    while (!m_out.empty() && !m_blocked && m_out.front().Due <= Clock::now()) {
        std::string& bytes = m_out.front().Bytes;
        ssize_t written = write(m_pty.Master(), bytes.data(), bytes.size());
        if (written < 0 && errno == EAGAIN) {
            m_blocked = true;
        } else if (written < 0 && errno != EINTR) {
            *error = SystemError("writing the pseudo-terminal");
            return false;
        } else if (written > 0) {
            m_lastWrite = Clock::now();
            bytes.erase(0, static_cast<std::size_t>(written));
        }
        if (bytes.empty()) {
            m_out.pop_front();
        }
    }
    return true;
}

// Unplugging loses what the PC has not read yet, so it waits until the last reply has been taken.
bool CSimLoop::ShouldUnplug() const {
    if (!m_out.empty()) {
        return false;
    }
    return m_heardAfterUnplug || (Clock::now() - m_lastWrite >= UNPLUG_CHECK && m_pty.PendingForPc() == 0);
}

int CSimLoop::Timeout() const {
    if (!m_out.empty()) {
        if (m_blocked) {
            return -1;
        }
        auto wait = std::chrono::ceil<Milliseconds>(m_out.front().Due - Clock::now());
        return static_cast<int>(std::max<Milliseconds::rep>(0, wait.count()));
    }
    return m_device.IsUnplugged() ? static_cast<int>(UNPLUG_CHECK.count()) : -1;
}

// Ending signals are taken through a descriptor, so that the loop ends cleanly and writes its state.
int BlockEndSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

bool WriteStates(const SimOptions& options, const CSimDevice& device) {
    std::string error;
    bool ok = true;
    if (!options.StateOutPath.empty() && !SaveSimState(options.StateOutPath, device.Current(), &error)) {
        Report(error);
        ok = false;
    }
    if (!options.SavedOutPath.empty() && !SaveSimState(options.SavedOutPath, device.Saved(), &error)) {
        Report(error);
        ok = false;
    }
    return ok;
}

void PrintSummary(const SimCounters& c) {
    std::fprintf(stderr, "zrvlink-sim: %d lines, %d errors, %d unanswered, %d save, %d update\n", c.Lines,
                 c.Errors, c.Unanswered, c.Saves, c.Updates);
}

int Simulate(const SimOptions& options) {
    CFd signals(BlockEndSignals());
    if (!signals.IsOpen()) {
        return Report(SystemError("cannot watch signals"));
    }
    std::string error;
    CSimDevice device(options.Behaviour);
    ParamSet state = device.Current();
    if (!options.LoadPath.empty() && !LoadSimState(options.LoadPath, &state, &error)) {
        return Report(error);
    }
    for (const SimStartName& name : options.StartNames) {
        std::snprintf(state.Target[name.Index].Name, sizeof state.Target[name.Index].Name, "%s",
                      name.Text.c_str());
    }
    device.SetState(state);
    CFd log;
    if (!options.LogPath.empty()) {
        log.Reset(open(options.LogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!log.IsOpen()) {
            return Report(SystemError("cannot open log", options.LogPath));
        }
    }
    CPseudoTerminal pty;
    CSymlink link;
    if (!pty.Open(&error) ||
        (!options.LinkPath.empty() && !link.Make(pty.Path(), options.LinkPath, &error))) {
        return Report(error);
    }
    if (std::printf("%s\n", pty.Path().c_str()) < 0 || std::fflush(stdout) != 0) {
        return Report(SystemError("cannot write to standard output"));
    }
    CSimLoop loop(pty, device, signals.Get(), log.Get(), options.ByteByByte);
    bool ran = loop.Run(&error);
    if (!ran) {
        Report(error);
    }
    bool written = WriteStates(options, device);
    PrintSummary(device.Counters());
    return ran && written ? 0 : EXIT_RUN_FAILED;
}

} // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "zrvlink-sim: %s\n", error.c_str());
        return EXIT_USAGE;
    }
    if (options.Help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (options.Version) {
        std::printf("zrvlink-sim %s\n", ZRVLINK_VERSION);
        return 0;
    }
    return Simulate(options);
}
