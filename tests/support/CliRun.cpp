// The real zrvlink run as a child process, its output kept in files, the processes it starts found in
// /proc, setup files and detected simulated devices; test side of the command line.
#include "CliRun.h"

#include "persistence/ParamFile.h"
#include "portdetect/CommPortDetecter.h"
#include "provisioning/Plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int EXEC_FAILED = 127;
constexpr rlim_t HUGE_STACK = rlim_t(1) << 40;
constexpr uid_t NOBODY = 65534;

// In the forked child: only async-signal-safe calls until exec.
[[noreturn]] void RunChild(int out, int err, const CliRunOptions& options, char* const* argv) {
    const int input = open("/dev/null", O_RDONLY);
    rlimit stack{HUGE_STACK, HUGE_STACK};
    const bool dropRoot = options.Unprivileged && geteuid() == 0;
    const int stdoutFd = options.StdoutFd >= 0 ? options.StdoutFd : out;
    if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(stdoutFd, STDOUT_FILENO) < 0 ||
        dup2(err, STDERR_FILENO) < 0 || (options.CloseStdout && close(STDOUT_FILENO) != 0) ||
        (options.HugeStackLimit && setrlimit(RLIMIT_STACK, &stack) != 0) ||
        (options.OwnProcessGroup && setpgid(0, 0) != 0) ||
        (dropRoot && (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0))) {
        _exit(EXEC_FAILED);
    }
    execv(argv[0], argv);
    _exit(EXEC_FAILED);
}

} // namespace

CCliProcess::~CCliProcess() {
    if (m_pid > 0) {
        if (!m_ended) {
            kill(m_pid, SIGKILL);
        }
        Finish();
    }
}

bool CCliProcess::Start(const std::vector<std::string>& args, const CliRunOptions& options) {
    // env(1) sets the environment's changes and runs the program in the same process.
    std::vector<std::string> words = {"/usr/bin/env"};
    for (const auto& [name, value] : options.Environment) {
        words.push_back(name + "=" + value);
    }
    if (options.Program.empty()) {
        words.push_back(ZRVLINK_PATH);
    }
    words.insert(words.end(), options.Program.begin(), options.Program.end());
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv = ArgvOf(words);
    m_ended = false;
    m_outPath = TempFilePath("cli-out");
    m_errPath = TempFilePath("cli-err");
    constexpr int CREATE = O_RDWR | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC;
    CFd out(open((options.StdoutPath.empty() ? m_outPath : options.StdoutPath).c_str(), CREATE, 0600));
    CFd err(open((options.StderrPath.empty() ? m_errPath : options.StderrPath).c_str(), CREATE, 0600));
    m_pid = out.IsOpen() && err.IsOpen() ? fork() : -1;
    if (m_pid == 0) {
        RunChild(out.Get(), err.Get(), options, argv.data());
    }
    return m_pid > 0;
}

std::string CCliProcess::OutSoFar() const {
    return ReadWholeFile(m_outPath);
}

bool CCliProcess::WaitOut(const std::string& part) const {
    return WaitFor([&] { return Contains(OutSoFar(), part); });
}

CliRunResult CCliProcess::Interrupt() {
    kill(m_pid, SIGINT);
    return Finish();
}

bool CCliProcess::WaitEnd(int timeoutMs) {
    return m_pid > 0 &&
           WaitFor([&] { return m_ended || (m_ended = waitpid(m_pid, &m_status, WNOHANG) == m_pid); },
                   timeoutMs);
}

CliRunResult CCliProcess::Finish() {
    int status = m_status;
    while (m_pid > 0 && !m_ended && waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_ended = false;
    const CliRunResult result = {m_pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                                 ReadWholeFile(m_outPath), ReadWholeFile(m_errPath)};
    m_pid = -1;
    std::remove(m_outPath.c_str());
    std::remove(m_errPath.c_str());
    return result;
}

void PrintTo(const CliRunResult& result, std::ostream* out) {
    *out << "exit " << result.Exit << ", stdout " << testing::PrintToString(result.Out) << ", stderr "
         << testing::PrintToString(result.Err);
}

CliRunResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options) {
    CCliProcess run;
    run.Start(args, options);
    return run.Finish();
}

CliRunResult RunCliWithin(int timeoutMs, const std::vector<std::string>& args, const CliRunOptions& options) {
    CCliProcess run;
    if (run.Start(args, options) && !run.WaitEnd(timeoutMs)) {
        kill(run.Pid(), SIGKILL);
    }
    return run.Finish();
}

// Every process whose /proc/PID/stat names `parent` (the parent's pid follows the command name in
// parentheses); /proc/PID/task/*/children would be shorter but needs a kernel built with it.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = ReadWholeFile("/proc/" + name + "/stat");
        const std::size_t nameEnd = stat.rfind(')');
        int ppid = -1;
        if (nameEnd != std::string::npos && std::sscanf(stat.c_str() + nameEnd + 1, " %*c %d", &ppid) == 1 &&
            ppid == parent) {
            children.push_back(static_cast<pid_t>(std::stol(name)));
        }
    }
    return children;
}

// Through syscall(): the header of glibc 2.36 declares pidfd_open without C linkage.
std::vector<CFd> Watch(const std::vector<pid_t>& pids) {
    std::vector<CFd> watched(pids.size());
    for (std::size_t i = 0; i < pids.size(); ++i) {
        watched[i].Reset(static_cast<int>(syscall(SYS_pidfd_open, pids[i], 0)));
    }
    return watched;
}

// A process descriptor becomes readable when its process has ended.
bool AllEnded(const std::vector<CFd>& watched, int timeoutMs) {
    for (const CFd& fd : watched) {
        pollfd ended{fd.Get(), POLLIN, 0};
        if (!fd.IsOpen() || poll(&ended, 1, timeoutMs) != 1) {
            return false;
        }
    }
    return true;
}

std::string Received(CSimProcess& sim) {
    sim.Stop();
    return ReadWholeFile(sim.LogPath());
}

bool WaitReceived(const CSimProcess& sim, const std::string& part) {
    return WaitFor([&] { return Contains(ReadWholeFile(sim.LogPath()), part); });
}

std::string SavedAddress(CSimProcess& sim) {
    sim.Stop();
    CParamFile saved;
    return saved.Load(sim.SavedPath().c_str()) ? AddressText(saved.GetParam()->IPAddress) : "none";
}

std::string EventsOf(const std::vector<RecordRow>& rows) {
    std::map<std::string, std::string> units;
    for (const RecordRow& row : rows) {
        units[row.Unit] += std::string(units[row.Unit].empty() ? "" : " ") + EventName(row.Event);
    }
    std::string events;
    for (const auto& [unit, list] : units) {
        events += (events.empty() ? "" : "; ") + unit + ": " + list;
    }
    return events;
}

std::string SaveSetup(const std::string& path, const ParamSet& set) {
    CParamFile file;
    *file.GetParam() = set;
    EXPECT_TRUE(file.Save(path.c_str())) << path;
    return path;
}

std::string SaveText(const ParamSet& set) {
    const CScratchDir dir;
    return ReadWholeFile(SaveSetup(dir / "saved.dat", set));
}

bool CDetectedDevices::Add(const std::vector<std::string>& names, const std::vector<std::string>& simArgs) {
    return std::all_of(names.begin(), names.end(),
                       [&](const std::string& name) { return Plug(name, simArgs); });
}

bool CDetectedDevices::Plug(const std::string& name, const std::vector<std::string>& simArgs,
                            const std::string& serial) {
    auto sim = std::make_unique<CSimProcess>();
    std::vector<std::string> args = {"--link", m_dev / name};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    if (!sim->Start(args)) {
        ADD_FAILURE() << sim->Error();
        return false;
    }
    m_current[name] = m_sims.size();
    m_sims.push_back(std::move(sim));
    m_sysfs.AddAcmTty(name, DEVICE_USB_VID, DEVICE_USB_PID, serial);
    return true;
}

void CDetectedDevices::Unplug(const std::string& name) {
    m_sysfs.RemoveTty(name);
    SimOf(name).Stop();
}

void CDetectedDevices::AddAlias(const std::string& alias, const std::string& name) {
    m_sysfs.AddAcmTty(alias, DEVICE_USB_VID, DEVICE_USB_PID);
    std::filesystem::create_symlink(m_dev / name, m_dev / alias);
}

CliRunOptions CDetectedDevices::Options() const {
    CliRunOptions options;
    options.Environment = {{"ZRVLINK_SYSFS_ROOT", m_sysfs.Root()}, {"ZRVLINK_DEV_ROOT", m_dev.Path()}};
    return options;
}
