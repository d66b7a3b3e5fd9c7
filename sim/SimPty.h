// The simulator's pseudo-terminal, its optional symlink and the file descriptors it owns; device side
// of the serial link, Linux only.
#pragma once

#include "platform/FdOwner.h"

#include <string>

// The device's end of a pty (the master) and the path the PC opens (the slave). One slave descriptor
// stays open inside the simulator: without it the master reports a hang-up whenever no PC has the
// slave open, and poll() would return at once for ever.
class CPseudoTerminal {
public:
    CPseudoTerminal() = default;
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    // Master non-blocking, slave raw. On failure `error` names the step and the system's reason.
    bool Open(std::string* error);
    // Unplugs the device: the PC's side hangs up.
    void CloseMaster() { m_master.Reset(); }

    int Master() const { return m_master.Get(); }
    // Bytes sent to the PC that it has not read yet.
    int PendingForPc() const;
    const std::string& Path() const { return m_path; }

private:
    CFd m_master;
    CFd m_slave;
    std::string m_path;
};

// A symlink made by the simulator; removed at the end unless something else has replaced it since.
class CSymlink {
public:
    CSymlink() = default;
    ~CSymlink();
    CSymlink(const CSymlink&) = delete;
    CSymlink& operator=(const CSymlink&) = delete;

    // An older symlink at `path` is replaced; any other file there is left alone and fails.
    bool Make(const std::string& target, const std::string& path, std::string* error);

private:
    std::string m_target;
    std::string m_path;
};
