// CSimProcess: zrvlink-sim as a child process of a test; test side of the simulated serial link.
#include "SimProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int START_TIMEOUT_MS = 5000;
constexpr int STOP_TIMEOUT_MS = 5000;
constexpr std::size_t PTY_PATH_MAX = 4096;

} // namespace

bool WaitFor(const std::function<bool()>& holds, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!holds()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

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

bool CSimProcess::Start(const std::vector<std::string>& args) {
    std::vector<std::string> words = {ZRV_SIM_PATH, "--state-out", StatePath(), "--saved-out",
                                      SavedPath(),  "--log",       LogPath()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv = ArgvOf(words);
    int ends[2] = {-1, -1};
    const bool piped = pipe2(ends, O_CLOEXEC) == 0;
    m_stdout.Reset(ends[0]);
    CFd childStdout(ends[1]);
    const pid_t parent = getpid();
    m_exitCode = -1;
    m_pid = piped ? fork() : -1;
    if (m_pid == 0) {
        // Only async-signal-safe calls until exec; the simulator ends with the test process.
        if (dup2(childStdout.Get(), STDOUT_FILENO) >= 0 && prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 &&
            getppid() == parent) {
            execv(argv[0], argv.data());
        }
        _exit(127);
    }
    if (m_pid < 0) {
        return Fail(std::string("pipe or fork: ") + std::strerror(errno));
    }
    childStdout.Reset();
    // The pty path is the first line of the simulator's standard output.
    m_ptyPath.clear();
    for (char c = 0; m_ptyPath.size() < PTY_PATH_MAX; m_ptyPath += c) {
        pollfd fd = {m_stdout.Get(), POLLIN, 0};
        if (poll(&fd, 1, START_TIMEOUT_MS) <= 0) {
            Stop();
            return Fail("zrvlink-sim gave no pty path in time");
        }
        if (read(m_stdout.Get(), &c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            return true;
        }
    }
    WaitForExit(STOP_TIMEOUT_MS);
    Stop();
    return Fail("zrvlink-sim ended before it gave its pty path (exit status " + std::to_string(m_exitCode) +
                ")");
}

bool CSimProcess::WaitForExit(int timeoutMs) {
    int status = 0;
    if (!WaitFor([&] { return !IsRunning() || waitpid(m_pid, &status, WNOHANG) != 0; }, timeoutMs)) {
        return false;
    }
    if (IsRunning()) {
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = -1;
        m_stdout.Reset();
    }
    return true;
}

bool CSimProcess::Stop() {
    if (IsRunning()) {
        kill(m_pid, SIGTERM);
    }
    if (WaitForExit(STOP_TIMEOUT_MS)) {
        return m_exitCode == 0;
    }
    kill(m_pid, SIGKILL);
    WaitForExit(STOP_TIMEOUT_MS);
    m_error = "zrvlink-sim did not end on SIGTERM and was killed";
    return false;
}
