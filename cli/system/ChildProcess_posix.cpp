// CChildProcess on Linux: fork and exec with stdin, stdout and stderr on pipes of the parent, the child
// bound to its parent by the parent-death signal, its end waited for through a process descriptor. The
// POSIX side of the child-process seam.
#include "cli/system/ChildProcess.h"

#include "platform/FdOwner.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int EXEC_FAILED = 127;
// How long a wait for a silent child lasts at most where the kernel gives no process descriptor.
constexpr int WAIT_SLICE_MS = 50;

struct Pipe {
    CFd Read;
    CFd Write;
    bool Open() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return false;
        }
        Read.Reset(fds[0]);
        Write.Reset(fds[1]);
        return true;
    }
};

// What waits in `fd` (non-blocking) is appended to `text`. False once the pipe has ended.
bool Collect(const CFd& fd, std::string* text) {
    char block[4096];
    for (;;) {
        const ssize_t got = read(fd.Get(), block, sizeof block);
        if (got > 0) {
            text->append(block, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return got < 0 && errno == EAGAIN;
        }
    }
}

// An ignored signal stays ignored across exec.
bool IgnoreInterrupt() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    return sigaction(SIGINT, &ignore, nullptr) == 0;
}

struct ChildFds {
    int In;
    int Out;
    int Err;
    int Report;
    int Limit; // one above the highest descriptor this process may have
};

// Every descriptor above the three streams closes at exec, whichever part of the program opened it and
// however: the child gets its own three and nothing else (no board client, port or record of the
// parent). One call where the kernel has it (5.11 on); otherwise descriptor by descriptor.
bool CloseOthersAtExec(int limit) {
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return true;
    }
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && fcntl(fd, F_SETFD, flags | FD_CLOEXEC) != 0) {
            return false;
        }
    }
    return true;
}

// Before fork: getrlimit need not be safe in the forked child.
int DescriptorLimit() {
    rlimit limit{};
    return getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < static_cast<rlim_t>(1 << 20)
               ? static_cast<int>(limit.rlim_cur)
               : 1 << 20;
}

// In the forked child, where only async-signal-safe calls may run until exec: the three pipes as its
// streams (dup2 clears their close-on-exec flag) and nothing else, SIGKILL when the parent ends. A
// parent that ended before the signal was armed is seen in getppid(). On a failure the child writes
// errno to the report pipe, which closes unread at a successful exec.
[[noreturn]] void RunChild(const char* program, char* const* argv, const ChildFds& fds, pid_t parent,
                           bool shielded) {
    if (dup2(fds.In, STDIN_FILENO) >= 0 && dup2(fds.Out, STDOUT_FILENO) >= 0 &&
        dup2(fds.Err, STDERR_FILENO) >= 0 && CloseOthersAtExec(fds.Limit) &&
        (!shielded || IgnoreInterrupt()) && prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && getppid() == parent) {
        execve(program, argv, environ);
    }
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = write(fds.Report, &error, sizeof error);
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
    CFd Out; // the read ends of the child's stdout and stderr, non-blocking
    CFd Err;
    CFd ProcessFd; // readable once the child has ended; opened at the first wait, closed when reaped
    std::string OutText;
    std::string ErrText;
    pid_t Pid = -1;
    bool Shielded = false;
    ChildEnd End;

    void Collect() {
        if (Out.IsOpen() && !::Collect(Out, &OutText)) {
            Out.Reset();
        }
        if (Err.IsOpen() && !::Collect(Err, &ErrText)) {
            Err.Reset();
        }
    }
    void Ended(int status) {
        Pid = -1;
        ProcessFd.Reset();
        End.Exited = WIFEXITED(status);
        End.Status = End.Exited ? WEXITSTATUS(status) : -1;
        End.Crash = WIFSIGNALED(status) ? SignalName(WTERMSIG(status)) : std::string();
        // Everything the child wrote is in the pipes now; what a process it left behind writes later is
        // not its report.
        Collect();
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
            ProcessFd.Reset();
            End = ChildEnd{false, -1, "end unknown"};
        } else {
            Ended(status);
        }
        return true;
    }
    // A child not yet reaped keeps its pid, so the descriptor cannot name another process. Through
    // syscall(): the header of glibc 2.36 declares pidfd_open without C linkage.
    void AddTo(CWaitList* waits) {
        if (Pid <= 0) {
            return;
        }
        if (!ProcessFd.IsOpen()) {
            ProcessFd.Reset(static_cast<int>(syscall(SYS_pidfd_open, Pid, 0)));
        }
        if (ProcessFd.IsOpen()) {
            waits->Add(ProcessFd.Get());
        } else {
            waits->LimitMs(WAIT_SLICE_MS);
        }
        for (const CFd* pipe : {&Out, &Err}) {
            if (pipe->IsOpen()) {
                waits->Add(pipe->Get());
            }
        }
    }
};

CChildProcess::CChildProcess() : m_state(std::make_unique<State>()) {}

CChildProcess::~CChildProcess() {
    Wait();
}

void CChildProcess::ShieldFromInterrupts() {
    m_state->Shielded = true;
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input) {
    Pipe in;
    Pipe out;
    Pipe err;
    Pipe report;
    if (m_state->Pid > 0 || !in.Open() || !out.Open() || !err.Open() || !report.Open()) {
        return false;
    }
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const int limit = DescriptorLimit();
    const pid_t pid = fork();
    if (pid == 0) {
        RunChild(program.c_str(), argv.data(),
                 {in.Read.Get(), out.Write.Get(), err.Write.Get(), report.Write.Get(), limit}, parent,
                 m_state->Shielded);
    }
    if (pid < 0) {
        return false;
    }
    m_state->Pid = pid;
    in.Read.Reset();
    out.Write.Reset();
    err.Write.Reset();
    report.Write.Reset();
    if (!ReachedExec(report.Read.Get())) {
        m_state->Reap(0);
        m_state->End = ChildEnd();
        return false;
    }
    // The input is small (a configuration): the pipe takes it whole, whether the child reads it or not.
    // A child that ended at once is no failure to start: its end tells.
    [[maybe_unused]] const bool given = WriteAll(in.Write.Get(), input.data(), input.size());
    in.Write.Reset();
    fcntl(out.Read.Get(), F_SETFL, O_NONBLOCK);
    fcntl(err.Read.Get(), F_SETFL, O_NONBLOCK);
    m_state->Out.Reset(out.Read.Release());
    m_state->Err.Reset(err.Read.Release());
    return true;
}

bool CChildProcess::HasEnded() {
    m_state->Collect();
    return m_state->Pid <= 0 || m_state->Reap(WNOHANG);
}

void CChildProcess::AddTo(CWaitList* waits) const {
    m_state->AddTo(waits);
}

int CChildProcess::Wait() {
    while (!HasEnded()) {
        CWaitList waits;
        AddTo(&waits);
        waits.Wait();
    }
    return m_state->End.Exited ? m_state->End.Status : -1;
}

void CChildProcess::RequestStop() {
    if (m_state->Pid > 0) {
        kill(m_state->Pid, SIGTERM);
    }
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
    m_state->Collect();
    return m_state->OutText;
}

std::string CChildProcess::Errors() const {
    m_state->Collect();
    return m_state->ErrText;
}
