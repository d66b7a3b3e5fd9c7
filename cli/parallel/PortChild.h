// One child process of zrvlink that works on one port: started, watched without waiting, ended at its
// time limit, and its report; portable (the process through the child-process seam). Parallel reads
// and writes and the provisioning station run their ports this way, because the transfer engine
// serves one transfer per process.
#pragma once

#include "cli/system/ChildProcess.h"

#include <chrono>
#include <string>
#include <vector>

// How long a port's child may run before the parent ends it: 20 minutes, far beyond any transfer of a
// device that answers. ZRVLINK_CHILD_LIMIT_MS shortens it, for tests.
std::chrono::milliseconds ChildTimeLimit();

// How long a child that was asked to stop may take before it is killed: it ends its transfer before its
// next command, and the command on the line may still wait for its reply.
std::chrono::milliseconds ChildStopGrace();

class CPortChild {
public:
    explicit CPortChild(std::string port) : m_port(std::move(port)) {}

    // Starts `program` with `args` and `input` on its stdin; its time limit runs from now. `shielded`:
    // the child does not see the console's Ctrl-C (see CChildProcess::ShieldFromInterrupts). False when
    // it did not start; it then counts as ended.
    bool Start(const std::string& program, const std::vector<std::string>& args, bool shielded = false,
               const std::string& input = std::string());

    // One look without waiting: true once the child has ended. A child past its time limit is asked to
    // stop, and one that has not ended ChildStopGrace() after it was asked is killed, here.
    bool HasEnded();
    // Asks the child to stop (see CChildProcess::RequestStop); HasEnded kills it after the grace.
    void Stop();

    // What a loop waits for before it calls HasEnded again: the child's end or output, and the moment its
    // time limit or its stop grace runs out. Nothing once it has ended.
    void AddTo(CWaitList* waits) const;

    // The exit status of the port, and in `report` the child's output, or for a child that gave none
    // what the parent saw: not started or ended at the limit (the message of the status), crashed
    // ("WARNING: crashed (HOW): ITS LAST LINE ON STDERR"). Meaningful once HasEnded is true.
    int Report(std::string* report) const;

    // Writes what the child wrote to stderr (its trace) to this process's stderr, each line marked with
    // the port: "PORT: LINE".
    void ForwardTrace() const;

    const std::string& Port() const { return m_port; }
    bool Started() const { return m_started; }
    // Asked to stop by Stop, not by its time limit.
    bool StopAsked() const { return m_stopAsked; }
    // Killed because it did not end in time after it was asked to stop: what it reported may be cut.
    bool Killed() const { return m_killed; }
    // What the child wrote to stdout so far (also while it runs), and to stderr.
    std::string Output() const { return m_child.Output(); }
    std::string Errors() const { return m_child.Errors(); }
    const ChildEnd& End() const { return m_child.End(); }

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    void AskToStop(TimePoint now);

    std::string m_port;
    CChildProcess m_child;
    TimePoint m_deadline;
    TimePoint m_killAt; // once it was asked to stop
    bool m_started = false;
    bool m_ended = false;
    bool m_stopping = false;
    bool m_overLimit = false;
    bool m_stopAsked = false;
    bool m_killed = false;
};
