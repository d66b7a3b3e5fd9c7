// A child process whose standard streams are pipes of its parent: its input given at the start, its
// output and error collected while it runs, so that nothing it reports depends on a temporary folder;
// the seam between zrvlink's parallel runs and the OS (ChildProcess_posix.cpp: fork and exec;
// ChildProcess_win32.cpp: CreateProcess and a job object).
#pragma once

#include "platform/WaitList.h"

#include <memory>
#include <string>
#include <vector>

// How a child ended: by exiting with a status, or by a crash.
struct ChildEnd {
    bool Exited = false;
    int Status = -1; // the exit status when Exited
    // Otherwise how it crashed, in the system's terms ("signal 11", "exception 0xC0000005"), or "end
    // unknown" when the system could not tell.
    std::string Crash;
};

// A child does not outlive the process that started it: when that process ends, however it ends, its
// children are ended too (Linux: the parent-death signal, bound to the thread that called Start;
// Windows: a job object that ends its processes when its last handle closes). Children are started
// from one thread: each inherits its own three streams and nothing else of its parent.
class CChildProcess {
public:
    CChildProcess();
    // Waits for a child that still runs: none is ever left behind.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Before Start: the child will not see the console's Ctrl-C (nor Ctrl-Break), which reach every
    // process of the console's process group; the parent alone decides when it ends (Linux: SIGINT
    // ignored; Windows: no console of its own).
    void ShieldFromInterrupts();

    // Starts `program` with `args` (without the program itself); its stdin gives `input`, then ends.
    // False when the child could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& input = std::string());

    // True once the child has ended or when it never started; does not wait. Collects what the child
    // wrote meanwhile, so that a child that writes much is never held up by its parent.
    bool HasEnded();

    // What a loop waits for while the child runs, so that it looks at it (HasEnded) as soon as it ended
    // or wrote: its end and, on POSIX, its pipes. What the system cannot signal (Windows' anonymous
    // pipes; a kernel without process descriptors) limits the wait instead. Nothing once it has ended.
    void AddTo(CWaitList* waits) const;

    // Waits for the child to end; its exit status, or -1 when it did not end by exiting or never
    // started. Later calls return the same.
    int Wait();

    // Asks a child that still runs to end: POSIX: SIGTERM, on which a zrvlink child ends its transfer
    // before its next command and closes its port; Windows: ends it at once, as Kill does.
    void RequestStop();

    // Ends a child that still runs at once, and waits for it.
    void Kill();

    // How the child ended; meaningful once HasEnded, Wait or Kill has returned.
    const ChildEnd& End() const;

    // What the child wrote to stdout and stderr so far; whole once it has ended.
    std::string Output() const;
    std::string Errors() const;

private:
    struct State; // per backend
    std::unique_ptr<State> m_state;
};
