// The real zrvlink run as a child process, its output kept in files or read from a pseudo-terminal;
// test side of the command line.
#include "CliRun.h"

#include "TestFiles.h"
#include "sim/SimPty.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int EXEC_FAILED = 127;
constexpr rlim_t HUGE_STACK = rlim_t(1) << 40;
constexpr uid_t NOBODY = 65534;

// The parent's environment with `changes` applied, as "NAME=VALUE" texts.
std::vector<std::string> EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool replaced = false;
        for (const auto& change : changes) {
            replaced =
                replaced || std::strncmp(*entry, (change.first + "=").c_str(), change.first.size() + 1) == 0;
        }
        if (!replaced) {
            entries.emplace_back(*entry);
        }
    }
    for (const auto& change : changes) {
        entries.push_back(change.first + "=" + change.second);
    }
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// In the forked child: only async-signal-safe calls until exec.
[[noreturn]] void RunChild(int out, int err, const CliRunOptions& options, char* const* argv,
                           char* const* envp) {
    const int input = open("/dev/null", O_RDONLY);
    rlimit stack{HUGE_STACK, HUGE_STACK};
    const bool dropRoot = options.Unprivileged && geteuid() == 0;
    if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
        dup2(err, STDERR_FILENO) < 0 || (options.HugeStackLimit && setrlimit(RLIMIT_STACK, &stack) != 0) ||
        (dropRoot && (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0))) {
        _exit(EXEC_FAILED);
    }
    execve(argv[0], argv, envp);
    _exit(EXEC_FAILED);
}

// Everything the pty's master holds once the child's side has closed.
std::string DrainTerminal(int master) {
    std::string text;
    char block[4096];
    ssize_t got = 0;
    while ((got = read(master, block, sizeof block)) > 0 || (got < 0 && errno == EINTR)) {
        text.append(block, got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    return text;
}

int OpenTerminal(CFd* master) {
    master->Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master->IsOpen() || grantpt(master->Get()) != 0 || unlockpt(master->Get()) != 0) {
        return -1;
    }
    const char* name = ptsname(master->Get());
    return name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
}

} // namespace

CliRunResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options) {
    std::vector<std::string> words = {ZRVLINK_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> environment = EnvironmentWith(options.Environment);
    std::vector<char*> argv = Pointers(words);
    std::vector<char*> envp = Pointers(environment);
    const std::string outPath = TempFilePath("cli-out");
    const std::string errPath = TempFilePath("cli-err");
    CFd out(open(outPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    CFd master;
    CFd err(options.StderrOnTerminal ? OpenTerminal(&master)
                                     : open(errPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    CliRunResult result;
    const pid_t pid = out.IsOpen() && err.IsOpen() ? fork() : -1;
    if (pid == 0) {
        RunChild(out.Get(), err.Get(), options, argv.data(), envp.data());
    }
    err.Reset(); // the master sees the end of the terminal only once no slave is left open here
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.Exit = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadWholeFile(outPath);
    result.Err = options.StderrOnTerminal ? DrainTerminal(master.Get()) : ReadWholeFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return result;
}
