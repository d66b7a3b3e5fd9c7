// CChildProcess on POSIX: posix_spawn with stdout and stderr in unlinked temporary files. The POSIX side
// of the child-process seam.
#include "cli/ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

class CDescriptor {
public:
    CDescriptor() = default;
    explicit CDescriptor(int fd) : m_fd(fd) {}
    ~CDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd = -1;
};

class CSpawnActions {
public:
    CSpawnActions() { m_ready = posix_spawn_file_actions_init(&m_actions) == 0; }
    ~CSpawnActions() {
        if (m_ready) {
            posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    CSpawnActions(const CSpawnActions&) = delete;
    CSpawnActions& operator=(const CSpawnActions&) = delete;

    // stdin from /dev/null, stdout and stderr into the two files.
    bool Redirect(int out, int err) {
        return m_ready &&
               posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_adddup2(&m_actions, out, STDOUT_FILENO) == 0 &&
               posix_spawn_file_actions_adddup2(&m_actions, err, STDERR_FILENO) == 0;
    }
    const posix_spawn_file_actions_t* Get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ready = false;
};

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

} // namespace

struct CChildProcess::State {
    CDescriptor Out{OpenCaptureFile()};
    CDescriptor Err{OpenCaptureFile()};
    pid_t Pid = -1;
    int Exit = -1;
};

CChildProcess::CChildProcess() : m_state(std::make_unique<State>()) {}

CChildProcess::~CChildProcess() {
    Wait();
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    CSpawnActions actions;
    if (m_state->Pid > 0 || m_state->Out.Get() < 0 || m_state->Err.Get() < 0 ||
        !actions.Redirect(m_state->Out.Get(), m_state->Err.Get())) {
        return false;
    }
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), environ) != 0) {
        return false;
    }
    m_state->Pid = pid;
    return true;
}

int CChildProcess::Wait() {
    if (m_state->Pid > 0) {
        int status = 0;
        pid_t ended = -1;
        while ((ended = waitpid(m_state->Pid, &status, 0)) < 0 && errno == EINTR) {
        }
        m_state->Pid = -1;
        m_state->Exit = ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return m_state->Exit;
}

std::string CChildProcess::Output() const {
    return ReadFromStart(m_state->Out.Get());
}

std::string CChildProcess::Errors() const {
    return ReadFromStart(m_state->Err.Get());
}
