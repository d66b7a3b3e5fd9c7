// A child process whose standard output and error are kept in files of its own until it has ended; the
// seam between zrvlink's parallel runs and the OS (ChildProcess_posix.cpp: posix_spawn;
// ChildProcess_win32.cpp: CreateProcess).
#pragma once

#include <memory>
#include <string>
#include <vector>

class CChildProcess {
public:
    CChildProcess();
    // Waits for a child that still runs: none is ever left behind.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts `program` with `args` (without the program itself); stdin is the null device. False when
    // the child could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& args);

    // Waits for the child to end; its exit status, or -1 when it did not end by exiting or never
    // started. Later calls return the same.
    int Wait();

    // What the child wrote to stdout and stderr; complete once Wait has returned.
    std::string Output() const;
    std::string Errors() const;

private:
    struct State; // per backend
    std::unique_ptr<State> m_state;
};
