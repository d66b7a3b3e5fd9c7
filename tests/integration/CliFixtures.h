// What tests of the zrvlink program set up around it: setup files, scratch folders, and simulated
// devices that detection finds and that come and go; test side of the command line, Linux only.
#pragma once

#include "CliRun.h"
#include "FakeSysfs.h"
#include "SimProcess.h"
#include "TestFiles.h"

#include "core/ParamSet.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// A setup file made by Save, or of the given text; removed at the end of the test.
class CSetupFile {
public:
    explicit CSetupFile(const ParamSet& set);
    explicit CSetupFile(const std::string& text);
    ~CSetupFile();
    CSetupFile(const CSetupFile&) = delete;
    CSetupFile& operator=(const CSetupFile&) = delete;
    const std::string& Path() const { return m_path; }
    std::string Text() const;

private:
    std::string m_path;
};

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
    // A tty of another USB device, which detection must pass over.
    void AddOther(const std::string& name);
    // A second tty of the device whose /dev entry leads to the device `name` started by Add.
    void AddAlias(const std::string& alias, const std::string& name);

    CliRunOptions Options() const;
    std::string DevPath(const std::string& name) const { return m_dev / name; }
    // The simulators in the order they were started.
    CSimProcess& Sim(std::size_t i) { return *m_sims.at(i); }
    // The simulator behind tty `name` now.
    CSimProcess& SimOf(const std::string& name) { return *m_sims.at(m_current.at(name)); }

private:
    bool StartSim(const std::string& name, const std::vector<std::string>& simArgs);

    CFakeSysfs m_sysfs;
    CScratchDir m_dev;
    std::vector<std::unique_ptr<CSimProcess>> m_sims;
    std::map<std::string, std::size_t> m_current; // tty name -> its simulator now
};
