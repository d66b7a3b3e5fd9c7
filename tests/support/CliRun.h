// The real zrvlink run by a test, what it printed and its exit status, the processes it starts, and what
// it finds around it: setup files and simulated devices that detection lists and that come and go; test
// side of the command line, Linux only.
#pragma once

#include "FakeSysfs.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include "core/ParamSet.h"
#include "provisioning/Record.h"

#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct CliRunOptions {
    // In place of zrvlink: a program and the first words it takes (Wine and zrvlink.exe).
    std::vector<std::string> Program;
    std::vector<std::pair<std::string, std::string>> Environment; // set (or replaced) for the run
    bool HugeStackLimit = false; // a stack limit so large that no thread can be created
    bool Unprivileged = false;   // run as root: as user and group 65534, whom file modes bind
    std::string StdoutPath;      // stdout into this file ("/dev/full") instead of one kept for Out
    std::string StderrPath;      // stderr into this file (a terminal's) instead of one kept for Err
    int StdoutFd = -1;           // stdout into this descriptor of the test's (a pipe) instead
    bool CloseStdout = false;    // the program starts with descriptor 1 closed (`>&-`)
    // A process group of its own, as a terminal's foreground job: a signal to the group (Ctrl-C) reaches
    // every process in it.
    bool OwnProcessGroup = false;
};

struct CliRunResult {
    int Exit = -1; // -1: did not end by exiting
    std::string Out;
    std::string Err;
    bool operator==(const CliRunResult& other) const {
        return Exit == other.Exit && Out == other.Out && Err == other.Err;
    }
};
// A result in a test's failure message: its status, and what it printed quoted.
void PrintTo(const CliRunResult& result, std::ostream* out);

// zrvlink (or CliRunOptions::Program) started and left running, for tests that act while it runs. A run
// that was not finished is killed at destruction.
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
    // True once stdout holds `part`.
    bool WaitOut(const std::string& part) const;
    // Ctrl-C (SIGINT) to the program alone, then Finish().
    CliRunResult Interrupt();
    // True once the program has ended by itself, waiting at most `timeoutMs` (a program that would wait
    // for ever is killed at destruction instead); Finish() then answers at once.
    bool WaitEnd(int timeoutMs);
    // Waits for the program to end.
    CliRunResult Finish();

private:
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_ended = false; // m_status holds the status
    std::string m_outPath;
    std::string m_errPath;
};

CliRunResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options = {});
// The same for a run that must end by itself, where a fault would make it wait for ever: one still running
// after `timeoutMs` is killed (Exit -1).
CliRunResult RunCliWithin(int timeoutMs, const std::vector<std::string>& args,
                          const CliRunOptions& options = {});

// The processes whose parent is `parent` now.
std::vector<pid_t> ChildrenOf(pid_t parent);

// Processes that need not be the test's children, each held from now on by a descriptor of its own, so
// that a pid used again cannot deceive the watch.
std::vector<CFd> Watch(const std::vector<pid_t>& pids);
// True once every watched process has ended, waiting at most `timeoutMs`; false when one still runs or
// could not be watched.
bool AllEnded(const std::vector<CFd>& watched, int timeoutMs);

// What `sim` received, once it has ended.
std::string Received(CSimProcess& sim);
// True once `sim` has received `part`.
bool WaitReceived(const CSimProcess& sim, const std::string& part);
// The own address that the device saved, once its simulator has ended; "none" when it saved nothing.
std::string SavedAddress(CSimProcess& sim);
// "S-1: started done; S-2: started failed": each unit's events in the record's order, the units by name
// (devices at work side by side append their rows in any order).
std::string EventsOf(const std::vector<RecordRow>& rows);

// `set` saved by CParamFile::Save at `path`; returns the path.
std::string SaveSetup(const std::string& path, const ParamSet& set);
// The bytes that Save writes for `set`.
std::string SaveText(const ParamSet& set);

// Devices that detection finds: each a USB tty in a fake sysfs, its /dev entry a link to a simulator.
class CDetectedDevices {
public:
    // Starts one simulator per name, each with `simArgs`; names in sysfs order.
    bool Add(const std::vector<std::string>& names, const std::vector<std::string>& simArgs = {});
    // A device plugged in while zrvlink runs: its simulator first, then its tty in sysfs, so that
    // detection never finds a tty whose /dev entry is not there yet. `serial`: its USB serial number.
    bool Plug(const std::string& name, const std::vector<std::string>& simArgs = {},
              const std::string& serial = "");
    // The device of tty `name` unplugged: its tty leaves sysfs; its simulator is stopped (and has then
    // written its files).
    void Unplug(const std::string& name);
    // A second tty of the device whose /dev entry leads to the device `name` started by Add.
    void AddAlias(const std::string& alias, const std::string& name);

    CliRunOptions Options() const;
    std::string DevPath(const std::string& name) const { return m_dev / name; }
    // The simulators in the order they were started.
    CSimProcess& Sim(std::size_t i) { return *m_sims.at(i); }
    // The simulator behind tty `name` now.
    CSimProcess& SimOf(const std::string& name) { return *m_sims.at(m_current.at(name)); }

private:
    CFakeSysfs m_sysfs;
    CScratchDir m_dev;
    std::vector<std::unique_ptr<CSimProcess>> m_sims;
    std::map<std::string, std::size_t> m_current; // tty name -> its simulator now
};
