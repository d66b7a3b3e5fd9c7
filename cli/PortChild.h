// One child process of zrvlink that works on one port: started, watched without waiting, ended at its
// time limit, and its report; portable (the process through the child-process seam). Parallel reads
// and writes and the provisioning station run their ports this way, because the transfer engine
// serves one transfer per process.
#pragma once

#include "cli/ChildProcess.h"

#include <chrono>
#include <string>
#include <vector>

// How long a port's child may run before the parent ends it: 20 minutes, far beyond any transfer of a
// device that answers. ZRVLINK_CHILD_LIMIT_MS shortens it, for tests.
std::chrono::milliseconds ChildTimeLimit();

class CPortChild {
public:
    explicit CPortChild(std::string port) : m_port(std::move(port)) {}

    // Starts `program` with `args`; its time limit runs from now. `shielded`: the child does not see
    // the console's Ctrl-C (see CChildProcess::ShieldFromInterrupts). False when it did not start; it
    // then counts as ended.
    bool Start(const std::string& program, const std::vector<std::string>& args, bool shielded = false);

    // One look without waiting: true once the child has ended, by itself or because it ran past its
    // time limit (it is then ended here).
    bool HasEnded();
    // Ends a child that still runs at once.
    void Kill();

    // The exit status of the port, and in `report` the child's output, or for a child that gave none
    // what the parent saw: not started or ended at the limit (the message of the status), crashed
    // ("WARNING: crashed (HOW): ITS LAST LINE ON STDERR"). Meaningful once HasEnded is true.
    int Report(std::string* report) const;

    // Writes what the child wrote to stderr (its trace) to this process's stderr, each line marked with
    // the port: "PORT: LINE".
    void ForwardTrace() const;

    const std::string& Port() const { return m_port; }
    bool Started() const { return m_started; }
    // Ended by Kill, not by itself.
    bool Killed() const { return m_killed; }
    // What the child wrote to stdout so far (also while it runs), and to stderr.
    std::string Output() const { return m_child.Output(); }
    std::string Errors() const { return m_child.Errors(); }

private:
    std::string m_port;
    CChildProcess m_child;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_started = false;
    bool m_ended = false;
    bool m_overLimit = false;
    bool m_killed = false;
};
