// Runs the real zrvlink program for a test and keeps what it printed and its exit status, and watches the
// processes it starts; test side of the command line, Linux only.
#pragma once

#include "sim/SimPty.h"

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct CliRunOptions {
    std::vector<std::pair<std::string, std::string>> Environment; // set (or replaced) for the run
    bool StderrOnTerminal = false; // stderr on a pseudo-terminal instead of a file
    bool HugeStackLimit = false;   // a stack limit so large that no thread can be created
    bool Unprivileged = false;     // run as root: as user and group 65534, whom file modes bind
    std::string StdoutPath;        // stdout into this file ("/dev/full") instead of one kept for Out
    // A process group of its own, as a terminal's foreground job: a signal to the group (Ctrl-C) reaches
    // every process in it.
    bool OwnProcessGroup = false;
};

struct CliRunResult {
    int Exit = -1; // -1: did not end by exiting
    std::string Out;
    std::string Err;
};

// zrvlink started and left running, for tests that act while it runs. A run that was not finished is
// killed at destruction.
class CCliProcess {
public:
    CCliProcess() = default;
    ~CCliProcess();
    CCliProcess(const CCliProcess&) = delete;
    CCliProcess& operator=(const CCliProcess&) = delete;

    // zrvlink `args` (without the program), stdin from /dev/null.
    bool Start(const std::vector<std::string>& args, const CliRunOptions& options = {});
    pid_t Pid() const { return m_pid; }
    // What the program has written to stdout so far.
    std::string OutSoFar() const;
    // Waits for the program to end.
    CliRunResult Finish();

private:
    pid_t m_pid = -1;
    bool m_onTerminal = false;
    std::string m_outPath;
    std::string m_errPath;
    CFd m_master;
};

CliRunResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options = {});

// The processes whose parent is `parent` now.
std::vector<pid_t> ChildrenOf(pid_t parent);

// The children of `parent` once there are `count` of them, waiting at most `timeoutMs`; fewer when
// the time ran out.
std::vector<pid_t> WaitForChildren(pid_t parent, std::size_t count, int timeoutMs);

// The arguments that process `pid` runs with, each followed by a NUL; empty once it has ended.
std::string CommandLineOf(pid_t pid);

// Processes that need not be the test's children, each held from now on by a descriptor of its own, so
// that a pid used again cannot deceive the watch.
class CProcessWatch {
public:
    explicit CProcessWatch(const std::vector<pid_t>& pids);
    CProcessWatch(const CProcessWatch&) = delete;
    CProcessWatch& operator=(const CProcessWatch&) = delete;
    // True once every process has ended, waiting at most `timeoutMs`; false when one still runs or could
    // not be watched.
    bool WaitAllEnded(int timeoutMs);

private:
    std::vector<CFd> m_fds;
};
