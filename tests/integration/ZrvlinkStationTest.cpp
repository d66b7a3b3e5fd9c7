// The provisioning station (zrvlink provision) against simulated devices that are plugged in and
// unplugged while it runs: units in turn and in parallel, devices that fail before and after their
// save, a record cut in the middle of a row, a restart that goes on where the last run ended, Ctrl-C
// once and twice at each stage, a plan that is refused; and what the world does to it: a full temporary
// folder, an output that goes away or was never there, a port that is busy when it appears, devices
// that share a serial number, a held device still attached when the operator skips its unit.
#include "CliRun.h"
#include "SampleParams.h"

#include "core/IPv4.h"
#include "persistence/ParamFile.h"
#include "persistence/SetupLines.h"
#include "platform/FdOwner.h"
#include "provisioning/Plan.h"
#include "provisioning/Record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>
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

// A folder on a file system of its own that is full: what is written there fails with ENOSPC.
class CFullFolder {
public:
    CFullFolder() : m_path(m_dir / "full") {
        ::mkdir(m_path.c_str(), 0700);
        m_mounted = ::mount("tmpfs", m_path.c_str(), "tmpfs", 0, "size=64k") == 0;
        const CFd filler(m_mounted ? ::open((m_path + "/filler").c_str(), O_WRONLY | O_CREAT, 0600) : -1);
        const std::string block(4096, 'x');
        while (filler.IsOpen() && ::write(filler.Get(), block.data(), block.size()) > 0) {
        }
    }
    ~CFullFolder() {
        if (m_mounted) {
            ::umount2(m_path.c_str(), MNT_DETACH);
        }
    }
    CFullFolder(const CFullFolder&) = delete;
    CFullFolder& operator=(const CFullFolder&) = delete;
    bool Mounted() const { return m_mounted; }
    const std::string& Path() const { return m_path; }

private:
    CScratchDir m_dir;
    std::string m_path;
    bool m_mounted = false;
};

// A full temporary folder once made a write that went through look as if it never reached "save": its
// unit went to the next device too. Nothing the station and its children say to each other goes there.
TEST(ZrvlinkStation, FullTemporaryFolderNeitherLosesAStepNorStopsTheWork) {
    const CFullFolder full;
    if (!full.Mounted()) {
        GTEST_SKIP() << "no small file system can be mounted here";
    }
    CStationFiles files(2);
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}));
    CliRunOptions options = devices.Options();
    options.Environment.emplace_back("TMPDIR", full.Path());
    const CliRunResult run = RunCli(files.Args({"--once"}), options);
    EXPECT_EQ(30, run.Exit) << run.Out << run.Err;
    EXPECT_EQ("S-1: started done", files.Events());
    EXPECT_EQ("192.168.7.21", SavedAddress(devices.Sim(0)));
}

// A write's process sends "save" only once its parent can know: a step line that does not reach stdout
// ends the transfer before it.
TEST(ZrvlinkStation, WriteChildThatCannotTellItsParentNeverSendsSave) {
    CScratchDir dir;
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}));
    CliRunOptions options = devices.Options();
    options.StdoutPath = "/dev/full";
    const std::string unit = SaveSetup(dir / "unit.dat", SampleParamSet());
    const CliRunResult run = RunCli({"write", "--port", devices.DevPath("ttyACM0"), "--result-line",
                                     "--report-steps", "--verify", "--", unit},
                                    options);
    EXPECT_EQ(22, run.Exit) << run.Err;
    devices.Sim(0).Stop();
    const std::string received = ReadWholeFile(devices.Sim(0).LogPath());
    EXPECT_TRUE(Contains(received, "target 31 ")) << received;
    EXPECT_FALSE(Contains(received, "save\r")) << received;
}

// As `| tee station.log` when Ctrl-C ends tee too: the station's lines go nowhere from then on, and the
// write at work still finishes and is recorded.
TEST(ZrvlinkStation, OutputThatGoesAwayLetsTheWriteAtWorkFinish) {
    CStationFiles files(2);
    CDetectedDevices devices;
    int ends[2];
    ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
    CFd reader(ends[0]);
    CFd writer(ends[1]);
    CliRunOptions options = devices.Options();
    options.StdoutFd = writer.Get();
    CCliProcess station;
    ASSERT_TRUE(station.Start(files.Args(), options));
    writer.Reset();
    ASSERT_TRUE(devices.Plug("ttyACM0", {"--delay-command", "clrname:100"}));
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadWholeFile(devices.Sim(0).LogPath()), "clrname 0\r"); }));
    reader.Reset();
    kill(station.Pid(), SIGINT);
    const CliRunResult run = station.Finish();
    EXPECT_EQ(22, run.Exit) << run.Err;
    EXPECT_EQ("S-1: started done", files.Events());
    EXPECT_EQ("192.168.7.21", SavedAddress(devices.Sim(0)));
}

// `zrvlink write --all ... | head -1`: the lines after the first go nowhere; every device is still written.
TEST(ZrvlinkStation, ParallelWriteWhoseOutputIsGoneStillWritesEveryDevice) {
    CScratchDir dir;
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}));
    ASSERT_TRUE(devices.Add({"ttyACM1"}, {"--delay-command", "clrname:50"}));
    int ends[2];
    ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
    CFd writer(ends[1]);
    ::close(ends[0]);
    CliRunOptions options = devices.Options();
    options.StdoutFd = writer.Get();
    ParamSet set = DefaultParamSet();
    set.IPAddress = MakeIPv4(192, 168, 7, 99);
    set.SubnetMask = MakeIPv4(255, 255, 255, 0);
    const CliRunResult run = RunCli({"write", SaveSetup(dir / "unit.dat", set), "--all"}, options);
    EXPECT_EQ(22, run.Exit) << run.Err;
    EXPECT_EQ("192.168.7.99", SavedAddress(devices.Sim(0)));
    EXPECT_EQ("192.168.7.99", SavedAddress(devices.Sim(1)));
}

// `zrvlink provision ... >&-`: the record once became descriptor 1 and took the station's lines.
TEST(ZrvlinkStation, ClosedStdoutNeverTurnsTheRecordIntoTheOutput) {
    CStationFiles files(2);
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}));
    CliRunOptions closed = devices.Options();
    closed.CloseStdout = true;
    EXPECT_EQ(30, RunCli(files.Args({"--once"}), closed).Exit);
    const CliRunResult again = RunCli(files.Args({"--once"}), devices.Options());
    EXPECT_EQ(30, again.Exit) << again.Out << again.Err;
    EXPECT_TRUE(Contains(again.Out, ": this device is done unit S-1")) << again.Out;
    EXPECT_EQ("S-1: started done", files.Events());
}

// A device appears before udev has given it its group, or while another program still holds it: its
// port is tried again, and the device is set up once it opens.
TEST(ZrvlinkStation, PortThatIsBusyWhenItAppearsIsTriedAgain) {
    CStationFiles files(2);
    CDetectedDevices devices;
    CCliProcess station;
    ASSERT_TRUE(station.Start(files.Args(), devices.Options()));
    ASSERT_TRUE(devices.Plug("ttyACM0"));
    CFd holder(::open(devices.DevPath("ttyACM0").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(holder.IsOpen());
    ASSERT_EQ(0, ::flock(holder.Get(), LOCK_EX | LOCK_NB));
    ASSERT_TRUE(WaitFor([&] { return Contains(station.OutSoFar(), "S-1 192.168.7.21 on "); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    holder.Reset();
    ASSERT_TRUE(WaitFor([&] { return Contains(files.Events(), "S-1: started done"); })) << files.Events();
    kill(station.Pid(), SIGINT);
    EXPECT_EQ(30, station.Finish().Exit);
    EXPECT_EQ("192.168.7.21", SavedAddress(devices.Sim(0)));
}

// Cheap USB bridges give every unit one serial number: it never makes a fresh device a done one.
TEST(ZrvlinkStation, DevicesThatShareASerialNumberAreEachSetUp) {
    CStationFiles files(2);
    CDetectedDevices devices;
    CCliProcess station;
    ASSERT_TRUE(station.Start(files.Args(), devices.Options()));
    ASSERT_TRUE(devices.Plug("ttyACM0", {}, "SAME"));
    ASSERT_TRUE(WaitFor([&] { return Contains(files.Events(), "S-1: started done"); })) << files.Events();
    ASSERT_TRUE(devices.Plug("ttyACM1", {}, "SAME"));
    ASSERT_TRUE(WaitFor([&] { return Contains(files.Events(), "S-2: started done"); })) << files.Events();
    const CliRunResult run = station.Finish();
    EXPECT_EQ(0, run.Exit) << run.Out;
    EXPECT_EQ("192.168.7.22", SavedAddress(devices.SimOf("ttyACM1")));
}

// The operator skips a held unit while its device is still attached: that device keeps what it holds.
TEST(ZrvlinkStation, SkippedUnitsDeviceStillAttachedIsLeftAsItIs) {
    CStationFiles files(2);
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}, {"--save-reply", "NG"}));
    EXPECT_EQ(31, RunCli(files.Args({"--once"}), devices.Options()).Exit);
    const CliRunResult skip = RunCli(files.Args({"--once", "--skip", "S-1"}), devices.Options());
    EXPECT_EQ(30, skip.Exit) << skip.Out << skip.Err;
    EXPECT_TRUE(Contains(skip.Out, ": this device is skipped unit S-1 192.168.7.21 and is left as it is"))
        << skip.Out;
    EXPECT_EQ("S-1: started failed skipped", files.Events());
    devices.Sim(0).Stop();
    EXPECT_FALSE(Contains(ReadWholeFile(devices.Sim(0).LogPath()), "192.168.7.22"));
}

// What a device held goes into the record as the device gave it, a name that a setup file would cut
// included.
TEST(ZrvlinkStation, RecordKeepsWhatTheDeviceHeldWhole) {
    CStationFiles files(1);
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}, {"--target-name", "3:41;42 "}));
    EXPECT_EQ(0, RunCli(files.Args({"--once"}), devices.Options()).Exit);
    const std::vector<RecordRow> rows = files.Rows();
    ASSERT_FALSE(rows.empty());
    ASSERT_EQ(static_cast<std::size_t>(SetupLineCount()), rows[0].Previous.size());
    EXPECT_EQ("0,0.0.0.0,41;42 ", rows[0].Previous.at(static_cast<std::size_t>(FindSetupLine("Target3"))));
}

} // namespace
