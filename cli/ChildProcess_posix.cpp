// CChildProcess on Linux: fork and exec with stdout and stderr in unlinked temporary files, the child
// bound to its parent by the parent-death signal. The POSIX side of the child-process seam.
#include "cli/ChildProcess.h"

#include "platform/FdOwner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int EXEC_FAILED = 127;

// A file that no other process can find: created, then unlinked at once.
int OpenCaptureFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/zrvlink-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) {
        unlink(pattern.c_str());
    }
    return fd;
}

std::string ReadFromStart(int fd) {
    std::string text;
    char block[4096];
    off_t offset = 0;
    ssize_t got = 0;
    while ((got = pread(fd, block, sizeof block, offset)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            text.append(block, static_cast<std::size_t>(got));
            offset += got;
        }
    }
    return text;
}

// An ignored signal stays ignored across exec.
bool IgnoreInterrupt() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    return sigaction(SIGINT, &ignore, nullptr) == 0;
}

// In the forked child, where only async-signal-safe calls may run until exec: stdin from /dev/null,
// stdout and stderr into the two files, SIGKILL when the parent ends. A parent that ended before the
// signal was armed is seen in getppid(). On a failure the child writes errno to `report`, which
// closes unread at a successful exec.
[[noreturn]] void RunChild(const char* program, char* const* argv, int out, int err, pid_t parent, int report,
                           bool shielded) {
    const int input = open("/dev/null", O_RDONLY);
    if (input >= 0 && dup2(input, STDIN_FILENO) >= 0 && dup2(out, STDOUT_FILENO) >= 0 &&
        dup2(err, STDERR_FILENO) >= 0 && (!shielded || IgnoreInterrupt()) &&
        prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent) {
        if (input > STDERR_FILENO) {
            close(input); // the forked child owns no objects: only async-signal-safe calls
        }
        execve(program, argv, environ);
    }
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = write(report, &error, sizeof error);
    _exit(EXEC_FAILED);
}

// True when the child reached exec: the report pipe then closed without a word.
bool ReachedExec(int report) {
    int error = 0;
    ssize_t got = 0;
    while ((got = read(report, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return got == 0;
}

std::string SignalName(int signal) {
    return "signal " + std::to_string(signal);
}

} // namespace

struct CChildProcess::State {
    CFd Out{OpenCaptureFile()};
    CFd Err{OpenCaptureFile()};
    pid_t Pid = -1;
    bool Shielded = false;
    ChildEnd End;

    void Ended(int status) {
        Pid = -1;
        End.Exited = WIFEXITED(status);
        End.Status = End.Exited ? WEXITSTATUS(status) : -1;
        End.Crash = WIFSIGNALED(status) ? SignalName(WTERMSIG(status)) : std::string();
    }
    // One waitpid; false while the child runs.
    bool Reap(int options) {
        int status = 0;
        pid_t ended = -1;
        while ((ended = waitpid(Pid, &status, options)) < 0 && errno == EINTR) {
        }
        if (ended == 0) {
            return false;
        }
        if (ended < 0) {
            Pid = -1; // not ours to wait for any more: nothing is known of its end
            End = ChildEnd{false, -1, "end unknown"};
        } else {
            Ended(status);
        }
        return true;
    }
};

CChildProcess::CChildProcess() : m_state(std::make_unique<State>()) {}

CChildProcess::~CChildProcess() {
    Wait();
}

void CChildProcess::ShieldFromInterrupts() {
    m_state->Shielded = true;
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    int pipeFds[2];
    if (m_state->Pid > 0 || m_state->Out.Get() < 0 || m_state->Err.Get() < 0 ||
        pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    CFd report(pipeFds[0]);
    CFd reportEnd(pipeFds[1]);
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        RunChild(program.c_str(), argv.data(), m_state->Out.Get(), m_state->Err.Get(), parent,
                 reportEnd.Get(), m_state->Shielded);
    }
    if (pid < 0) {
        return false;
    }
    reportEnd.Reset(-1);
    m_state->Pid = pid;
    if (!ReachedExec(report.Get())) {
        m_state->Reap(0);
        m_state->End = ChildEnd();
        return false;
    }
    return true;
}

bool CChildProcess::HasEnded() {
    return m_state->Pid <= 0 || m_state->Reap(WNOHANG);
}

int CChildProcess::Wait() {
    if (m_state->Pid > 0) {
        m_state->Reap(0);
    }
    return m_state->End.Exited ? m_state->End.Status : -1;
}

void CChildProcess::Kill() {
    if (m_state->Pid > 0) {
        kill(m_state->Pid, SIGKILL);
        Wait();
    }
}

const ChildEnd& CChildProcess::End() const {
    return m_state->End;
}

std::string CChildProcess::Output() const {
    return ReadFromStart(m_state->Out.Get());
}

std::string CChildProcess::Errors() const {
    return ReadFromStart(m_state->Err.Get());
}
