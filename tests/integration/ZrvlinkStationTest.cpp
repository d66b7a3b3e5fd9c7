// The provisioning station (zrvlink provision) against simulated devices that are plugged in and
// unplugged while it runs: units in turn and in parallel, devices that fail before and after their
// save, a record cut in the middle of a row, a restart that goes on where the last run ended, Ctrl-C
// once and twice at each stage, and a plan that is refused.
#include "CliRun.h"
#include "SampleParams.h"

#include "core/ParamFile.h"
#include "provisioning/Plan.h"
#include "provisioning/Record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// The template: every unit gets these; destinations stay unnamed, so that a write sends "clrname" and a
// read "name" (a simulator can slow one of them down alone).
const char TEMPLATE[] = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n"
                        "Target0=1,10.0.0.5\r\n";

// A station's files in a folder of their own, and the command line that runs it.
class CStationFiles : public CScratchDir {
public:
    explicit CStationFiles(int units) {
        std::string table = "Unit,IPAddress\r\n";
        for (int i = 1; i <= units; ++i) {
            table += "S-" + std::to_string(i) + ",192.168.7." + std::to_string(20 + i) + "\r\n";
        }
        Write("base.dat", TEMPLATE);
        Write("units.csv", table);
    }
    std::vector<std::string> Args(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> args = {"provision",         "--template", *this / "base.dat",  "--plan",
                                         *this / "units.csv", "--record",   *this / "record.csv"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    std::vector<RecordRow> Rows() const {
        RecordText record;
        std::string error;
        EXPECT_TRUE(ParseRecord(ReadWholeFile(*this / "record.csv"), &record, &error)) << error;
        return record.Rows;
    }
    // "S-1: started done; S-2: started failed": each unit's events in the record's order, the units
    // by name (devices at work side by side append their rows in any order).
    std::string Events() const {
        std::map<std::string, std::string> units;
        for (const RecordRow& row : Rows()) {
            units[row.Unit] += std::string(units[row.Unit].empty() ? "" : " ") + EventName(row.Event);
        }
        std::string events;
        for (const auto& [unit, list] : units) {
            events += (events.empty() ? "" : "; ") + unit + ": " + list;
        }
        return events;
    }
};

// The own address that a device saved, once its simulator has ended.
std::string SavedAddress(CSimProcess& sim) {
    sim.Stop();
    CParamFile saved;
    return saved.Load(sim.SavedPath().c_str()) ? AddressText(saved.GetParam()->IPAddress) : "none";
}

// Lines a write's device answers: 99 for the read, then the write's: vers, baudrate, netparam, 96 for
// the destinations, so that "save" is line 199. A device that hangs up at line 150 failed before it.
TEST(ZrvlinkStation, UnitsGoToDevicesInTurnAndOneThatFailedBeforeSaveToTheNext) {
    CStationFiles files(3);
    CDetectedDevices devices;
    CCliProcess station;
    ASSERT_TRUE(station.Start(files.Args(), devices.Options()));
    ASSERT_TRUE(devices.Plug("ttyACM0", {}, "SN-A"));
    ASSERT_TRUE(WaitFor([&] { return Contains(files.Events(), "S-1: started done"); })) << files.Events();
    devices.Unplug("ttyACM0");
    ASSERT_TRUE(devices.Plug("ttyACM0", {}, "SN-B"));
    ASSERT_TRUE(WaitFor([&] { return Contains(files.Events(), "S-2: started done"); })) << files.Events();
    ASSERT_TRUE(devices.Plug("ttyACM1", {"--close-after", "150"}));
    ASSERT_TRUE(WaitFor([&] { return Contains(files.Events(), "S-3: started failed"); })) << files.Events();
    ASSERT_TRUE(devices.Plug("ttyACM2"));
    const CliRunResult run = station.Finish();
    EXPECT_EQ(0, run.Exit) << run.Out << run.Err;
    EXPECT_TRUE(
        Contains(run.Out, "S-2 192.168.7.22 on " + devices.DevPath("ttyACM0") + ": written and verified in "))
        << run.Out;
    EXPECT_TRUE(Contains(run.Out, "every unit of the plan is done\n")) << run.Out;
    EXPECT_EQ("S-1: started done; S-2: started done; S-3: started failed started done", files.Events());
    const std::vector<RecordRow> rows = files.Rows();
    EXPECT_EQ(SetupValues(DefaultParamSet()), rows.at(2).Previous);
    EXPECT_EQ("SN-B", rows.at(3).Serial);
    EXPECT_EQ("192.168.7.22", rows.at(3).Address);
    EXPECT_EQ(SaveSent::No, rows.at(5).Save);
    EXPECT_EQ("192.168.7.21", SavedAddress(devices.Sim(0)));
    EXPECT_EQ("192.168.7.22", SavedAddress(devices.Sim(1)));
    EXPECT_EQ("192.168.7.23", SavedAddress(devices.SimOf("ttyACM2")));
}

TEST(ZrvlinkStation, DevicesConnectedTogetherGetAUnitEachAndARestartGoesOnWhereTheRecordEnds) {
    CStationFiles files(5);
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0", "ttyACM1", "ttyACM2", "ttyACM3"}, {"--delay", "2"}));
    const CliRunResult first = RunCli(files.Args({"--once"}), devices.Options());
    EXPECT_EQ(30, first.Exit) << first.Out << first.Err;
    EXPECT_TRUE(Contains(first.Out, "station stopped: 1 unit left\n")) << first.Out;
    // A power cut while a row was written: half a row at the end.
    const std::string cut = "2024-05-01T14:03:07+02:00,S-5,/dev/ttyACM9,,ZRV";
    std::ofstream(files / "record.csv", std::ios::binary | std::ios::app) << cut;
    // The devices of the first run stay connected; one more arrives.
    ASSERT_TRUE(devices.Add({"ttyACM4"}));
    const CliRunResult second = RunCli(files.Args({"--once"}), devices.Options());
    EXPECT_EQ(0, second.Exit) << second.Out << second.Err;
    EXPECT_TRUE(Contains(second.Out, "its last row was never finished and is left out: \"" + cut + "\"\n"))
        << second.Out;
    EXPECT_TRUE(Contains(second.Out, devices.DevPath("ttyACM0") + ": this device is done unit S-"));
    EXPECT_EQ("S-1: started done; S-2: started done; S-3: started done; S-4: started done; S-5: started done",
              files.Events());
    EXPECT_FALSE(Contains(ReadWholeFile(files / "record.csv"), cut));
    std::vector<std::string> saved;
    for (std::size_t i = 0; i < 5; ++i) {
        saved.push_back(SavedAddress(devices.Sim(i)));
    }
    std::sort(saved.begin(), saved.begin() + 4);
    EXPECT_EQ((std::vector<std::string>{"192.168.7.21", "192.168.7.22", "192.168.7.23", "192.168.7.24",
                                        "192.168.7.25"}),
              saved);
}

TEST(ZrvlinkStation, FailureAfterSaveMayHaveBeenSentStopsTheStationUntilTheOperatorDecides) {
    for (const std::vector<std::string>& device :
         {std::vector<std::string>{"--save-reply", "NG"}, std::vector<std::string>{"--close-after", "198"}}) {
        const std::string shown = device[0];
        CStationFiles files(1);
        CDetectedDevices devices;
        CCliProcess station;
        ASSERT_TRUE(station.Start(files.Args(), devices.Options()));
        ASSERT_TRUE(devices.Plug("ttyACM0", device));
        ASSERT_TRUE(WaitFor([&] { return Contains(files.Events(), "S-1: started failed"); })) << shown;
        // Taken for a failure before "save", the unit would wait for the next device.
        ASSERT_EQ(SaveSent::Maybe, files.Rows().back().Save) << shown;
        const CliRunResult run = station.Finish();
        EXPECT_EQ(31, run.Exit) << shown << run.Out << run.Err;
        EXPECT_TRUE(Contains(run.Out, "S-1 192.168.7.21: its write on " + devices.DevPath("ttyACM0")))
            << run.Out;
        EXPECT_TRUE(Contains(run.Out, "--redo S-1")) << run.Out;
        // The next start names the unit again and touches no device, until the operator decides.
        devices.Unplug("ttyACM0");
        ASSERT_TRUE(devices.Plug("ttyACM1"));
        EXPECT_EQ(31, RunCli(files.Args({"--once"}), devices.Options()).Exit) << shown;
        EXPECT_EQ("", ReadWholeFile(devices.SimOf("ttyACM1").LogPath())) << shown;
        const CliRunResult redo = RunCli(files.Args({"--once", "--redo", "S-1"}), devices.Options());
        EXPECT_EQ(0, redo.Exit) << redo.Out << redo.Err;
        EXPECT_EQ("S-1: started failed redo started done", files.Events()) << shown;
        EXPECT_EQ("192.168.7.21", SavedAddress(devices.SimOf("ttyACM1"))) << shown;
    }
}

// A template whose read takes long ("name" answered slowly, 32 times) or whose write does ("clrname").
struct CtrlCCase {
    const char* Stage;
    std::vector<std::string> Device; // empty: no device at all
    const char* WaitForInLog;        // the device has received this when Ctrl-C comes
    int Interrupts;
    int Exit;
    const char* Events;
};

TEST(ZrvlinkStation, CtrlCOnceLetsTransfersEndTwiceEndsThemAndTheRecordSaysWhatHappened) {
    const CtrlCCase cases[] = {
        {"waiting", {}, nullptr, 1, 30, ""},
        {"writing", {"--delay-command", "clrname:300"}, "clrname 0\r", 1, 30, "S-1: started done"},
        {"writing", {"--delay-command", "clrname:300"}, "clrname 0\r", 2, 30, "S-1: started interrupted"},
        {"verifying", {"--delay-command", "name:300"}, "update\r", 2, 31, "S-1: started interrupted"},
    };
    for (const CtrlCCase& c : cases) {
        const std::string shown = std::string(c.Stage) + " " + std::to_string(c.Interrupts);
        CStationFiles files(2);
        CDetectedDevices devices;
        CCliProcess station;
        CliRunOptions options = devices.Options();
        options.OwnProcessGroup = true;
        ASSERT_TRUE(station.Start(files.Args(), options));
        if (!c.Device.empty()) {
            ASSERT_TRUE(devices.Plug("ttyACM0", c.Device));
            ASSERT_TRUE(WaitFor([&] {
                return Contains(ReadWholeFile(devices.Sim(0).LogPath()), c.WaitForInLog);
            })) << shown;
        } else {
            ASSERT_TRUE(WaitFor([&] { return Contains(ReadWholeFile(files / "record.csv"), "Time,"); }));
        }
        const std::vector<pid_t> children = ChildrenOf(station.Pid());
        EXPECT_EQ(c.Device.empty() ? 0u : 1u, children.size()) << shown;
        CProcessWatch watch(children);
        // As a terminal's Ctrl-C: to every process of the station's group, its children included. The
        // second only once the station has told of the first, so that the two cannot arrive as one.
        for (int i = 1; i <= c.Interrupts; ++i) {
            kill(-station.Pid(), SIGINT);
            ASSERT_TRUE(
                WaitFor([&] { return i == c.Interrupts || Contains(station.OutSoFar(), "Ctrl-C: "); }));
        }
        const CliRunResult run = station.Finish();
        EXPECT_EQ(c.Exit, run.Exit) << shown << run.Out << run.Err;
        EXPECT_EQ(c.Events, files.Events()) << shown;
        EXPECT_TRUE(watch.WaitAllEnded(EVENTUALLY_MS)) << shown;
        if (c.Interrupts == 2 && !c.Device.empty()) {
            const SaveSent save = files.Rows().back().Save;
            EXPECT_EQ(c.Exit == 31 ? SaveSent::Maybe : SaveSent::No, save) << shown;
        }
    }
}

// How each plan or record is judged is shown where it is read; here, that the station refuses before it
// touches a device.
TEST(ZrvlinkStation, PlanThatCannotBeTrustedIsRefusedBeforeAnyDeviceIsTouched) {
    CStationFiles files(0);
    files.Write("units.csv", "Unit,IPAddress\r\nS-1,192.168.7.21\r\nS-2,192.168.7.21\r\n");
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}));
    const CliRunResult run = RunCli(files.Args({"--once"}), devices.Options());
    EXPECT_EQ(32, run.Exit) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Err,
                         "units.csv: row 3 (unit S-2), column IPAddress: own address 192.168.7.21 is "
                         "also that of row 2 (unit S-1)"))
        << run.Err;
    devices.Sim(0).Stop();
    EXPECT_EQ("", ReadWholeFile(devices.Sim(0).LogPath()));
}

} // namespace
