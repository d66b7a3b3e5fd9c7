// CSimProcess: zrvlink-sim as a child process of a test; test side of the simulated serial link.
#include "SimProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int EXEC_FAILED = 127;
constexpr std::size_t PTY_PATH_MAX = 4096;

// Runs in the forked child: only async-signal-safe calls until exec.
[[noreturn]] void RunChild(int stdoutFd, pid_t parent, char* const* argv) {
    if (dup2(stdoutFd, STDOUT_FILENO) < 0 || prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) {
        _exit(EXEC_FAILED);
    }
    execv(argv[0], argv);
    _exit(EXEC_FAILED);
}

// Through syscall(): the header of glibc 2.36 declares pidfd_open without C linkage.
int OpenPidFd(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

} // namespace

std::vector<char*> ArgvOf(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return argv;
}

CSimProcess::~CSimProcess() {
    Stop();
}

bool CSimProcess::Fail(const std::string& why) {
    m_error = why;
    return false;
}

bool CSimProcess::Start(const std::vector<std::string>& args, int timeoutMs) {
    std::vector<std::string> words = {ZRV_SIM_PATH, "--state-out", StatePath(), "--saved-out",
                                      SavedPath(),  "--log",       LogPath()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv = ArgvOf(words);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return Fail(std::string("pipe: ") + std::strerror(errno));
    }
    m_stdout.Reset(pipeFds[0]);
    CFd childStdout(pipeFds[1]);
    pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        RunChild(childStdout.Get(), parent, argv.data());
    }
    if (m_pid < 0) {
        return Fail(std::string("fork: ") + std::strerror(errno));
    }
    childStdout.Reset();
    m_pidFd.Reset(OpenPidFd(m_pid));
    m_exitCode = -1;
    if (!m_pidFd.IsOpen()) {
        m_error = std::string("pidfd_open: ") + std::strerror(errno);
        Stop();
        return false;
    }
    return ReadPtyPath(timeoutMs);
}

// The first line of the simulator's standard output.
bool CSimProcess::ReadPtyPath(int timeoutMs) {
    m_ptyPath.clear();
    for (;;) {
        pollfd fd = {m_stdout.Get(), POLLIN, 0};
        char c = 0;
        if (poll(&fd, 1, timeoutMs) <= 0) {
            Stop();
            return Fail("zrvlink-sim gave no pty path in time");
        }
        if (read(m_stdout.Get(), &c, 1) != 1 || m_ptyPath.size() == PTY_PATH_MAX) {
            WaitForExit(STOP_TIMEOUT_MS);
            Stop();
            return Fail("zrvlink-sim ended before it gave its pty path (exit status " +
                        std::to_string(m_exitCode) + ")");
        }
        if (c == '\n') {
            return true;
        }
        m_ptyPath += c;
    }
}

bool CSimProcess::WaitForExit(int timeoutMs) {
    if (!IsRunning()) {
        return true;
    }
    pollfd fd = {m_pidFd.Get(), POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) {
        return false;
    }
    Reap();
    return true;
}

void CSimProcess::Reap() {
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    m_pidFd.Reset();
    m_stdout.Reset();
}

bool CSimProcess::Stop(int timeoutMs) {
    if (!IsRunning()) {
        return m_exitCode == 0;
    }
    kill(m_pid, SIGTERM);
    if (WaitForExit(timeoutMs)) {
        return m_exitCode == 0;
    }
    kill(m_pid, SIGKILL);
    Reap();
    m_error = "zrvlink-sim did not end on SIGTERM and was killed";
    m_exitCode = -1;
    return false;
}
