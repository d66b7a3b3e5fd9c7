// CSimProcess: zrvlink-sim run as a child process for a test, stopped whatever becomes of the test;
// test side of the simulated serial link, Linux only.
#pragma once

#include "TestFiles.h"
#include "platform/FdOwner.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Generous bound for "it happened at all" on a busy machine.
constexpr int EVENTUALLY_MS = 60000;

// True once `holds` is true, looked at every 10 ms for at most `timeoutMs`.
bool WaitFor(const std::function<bool()>& holds, int timeoutMs = EVENTUALLY_MS);

// The argument list of exec for `words`, ended by a null pointer; valid while `words` is.
std::vector<char*> ArgvOf(std::vector<std::string>& words);

class CSimProcess {
public:
    CSimProcess() = default;
    // Stops the simulator; the scratch folder for its files goes after it.
    ~CSimProcess();
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    // Starts zrvlink-sim with --state-out StatePath(), --saved-out SavedPath() and --log LogPath(), then
    // `args` (later options override earlier ones), and waits for the pty path it prints. False when it
    // did not start or ended first (see Error() and ExitCode()). The simulator gets SIGTERM when the
    // test process dies.
    bool Start(const std::vector<std::string>& args = {});

    // SIGTERM, a wait of a few seconds, then SIGKILL. True when the simulator ended with status 0
    // before the SIGKILL (it has then written its files).
    bool Stop();

    // Waits at most `timeoutMs` for the simulator to end by itself (--close-after); true when it has.
    bool WaitForExit(int timeoutMs);

    bool IsRunning() const { return m_pid > 0; }
    // Exit status once ended; -1 while running or after an ending signal.
    int ExitCode() const { return m_exitCode; }
    const std::string& Error() const { return m_error; }

    const std::string& PtyPath() const { return m_ptyPath; }
    // The current state at the end, the saved one, and every byte the simulator received.
    std::string StatePath() const { return m_scratch.File("state.dat"); }
    std::string SavedPath() const { return m_scratch.File("saved.dat"); }
    std::string LogPath() const { return m_scratch.File("received.log"); }

private:
    bool Fail(const std::string& why);

    CScratchDir m_scratch;
    pid_t m_pid = -1;
    CFd m_stdout;
    int m_exitCode = -1;
    std::string m_ptyPath;
    std::string m_error;
};
