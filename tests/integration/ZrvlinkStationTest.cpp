// The provisioning station (zrvlink provision) against simulated devices that are plugged in and
// unplugged while it runs: units in turn and in parallel, a device that fails before its save, a record
// cut in the middle of a row, a restart that goes on where the last run ended, Ctrl-C once and twice at
// each stage, a plan that is refused; and what the world does to it: a full temporary folder, an output
// that goes away or was never there. Which device gets which unit, or is left alone, what each end of a
// child decides (a write that fails after its save holds its unit until --redo or --skip), and a port that
// is busy when it appears, are the station's rules: tests/unit/StationTest.cpp holds each case, and
// ZrvlinkLedger's tests hold such a unit over real processes and redo it.
#include "CliRun.h"
#include "SampleParams.h"

#include "persistence/SetupLines.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// The template: every unit gets these; destinations stay unnamed, so that a write sends "clrname" and a
// read "name" (a simulator can slow one of them down alone).
const char TEMPLATE[] = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n"
                        "Target0=1,10.0.0.5\r\n";

// A station's files in a folder of their own (units S-1, S-2, ... at 192.168.7.21 on), the devices it
// finds, and the station while it runs.
struct CStation {
    explicit CStation(int units = 2) {
        std::string table = "Unit,IPAddress\r\n";
        for (int i = 1; i <= units; ++i) {
            table += "S-" + std::to_string(i) + ",192.168.7." + std::to_string(20 + i) + "\r\n";
        }
        Files.Write("base.dat", TEMPLATE);
        Files.Write("units.csv", table);
    }
    std::vector<std::string> Args(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> args = {"provision",         "--template", Files / "base.dat",  "--plan",
                                         Files / "units.csv", "--record",   Files / "record.csv"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    bool Start() { return Run.Start(Args(), Devices.Options()); }
    // A run with --once and `more` over the devices plugged in now.
    CliRunResult Once(std::vector<std::string> more = {}) {
        more.insert(more.begin(), "--once");
        return RunCli(Args(more), Devices.Options());
    }
    std::vector<RecordRow> Rows() const {
        RecordText record;
        std::string error;
        EXPECT_TRUE(ParseRecord(ReadWholeFile(Files / "record.csv"), &record, &error)) << error;
        return record.Rows;
    }
    std::string Events() const { return EventsOf(Rows()); }
    bool WaitEvents(const std::string& part) const {
        return WaitFor([&] { return Contains(Events(), part); });
    }

    CScratchDir Files;
    CDetectedDevices Devices;
    CCliProcess Run;
};

// Lines a write's device answers: 99 for the read, then the write's: vers, baudrate, netparam, 96 for
// the destinations, so that "save" is line 199. A device that hangs up at line 150 failed before it. What
// a device held goes into the record as the device gave it, a name that a setup file would cut included;
// a version that breaks its line can neither add a line to what the read child tells nor reach the
// terminal as more than one printable line.
TEST(ZrvlinkStation, UnitsGoToDevicesInTurnAndOneThatFailedBeforeSaveToTheNext) {
    CStation s(3);
    ASSERT_TRUE(s.Start());
    const std::string version = "2.4.1\\r\\nsetup: IPAddress=10.9.9.9";
    ASSERT_TRUE(s.Devices.Plug("ttyACM0", {"--target-name", "3:41;42 ", "--vers-reply", version}, "SN-A"));
    ASSERT_TRUE(s.WaitEvents("S-1: started done")) << s.Events();
    s.Devices.Unplug("ttyACM0");
    ASSERT_TRUE(s.Devices.Plug("ttyACM0", {}, "SN-B"));
    ASSERT_TRUE(s.WaitEvents("S-2: started done")) << s.Events();
    ASSERT_TRUE(s.Devices.Plug("ttyACM1", {"--close-after", "150"}));
    ASSERT_TRUE(s.WaitEvents("S-3: started failed")) << s.Events();
    ASSERT_TRUE(s.Devices.Plug("ttyACM2"));
    const CliRunResult run = s.Run.Finish();
    EXPECT_EQ(0, run.Exit) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Out, "S-2 192.168.7.22 on " + s.Devices.DevPath("ttyACM0") +
                                      ": written and verified in ") &&
                Contains(run.Out, "every unit of the plan is done\n"))
        << run.Out;
    EXPECT_EQ("S-1: started done; S-2: started done; S-3: started failed started done", s.Events());
    EXPECT_TRUE(Contains(run.Out, "read (2.4.1??setup: IPAddress=10.9.9.9), writing\n")) << run.Out;
    EXPECT_FALSE(Contains(run.Out, "\r")) << run.Out;
    const std::vector<RecordRow> rows = s.Rows();
    ASSERT_EQ(static_cast<std::size_t>(SetupLineCount()), rows.at(0).Previous.size());
    EXPECT_EQ("0,0.0.0.0,41;42 ", rows[0].Previous.at(static_cast<std::size_t>(FindSetupLine("Target3"))));
    EXPECT_EQ("SN-B", rows.at(3).Serial);
    EXPECT_EQ(SaveSent::No, rows.at(5).Save);
    EXPECT_EQ("192.168.7.21", SavedAddress(s.Devices.Sim(0)));
    EXPECT_EQ("192.168.7.22", SavedAddress(s.Devices.Sim(1)));
    EXPECT_EQ("192.168.7.23", SavedAddress(s.Devices.SimOf("ttyACM2")));
}

// A device plugged in after the station's first look (which took the first device) is taken on the news
// of its arrival: the station's own looks are ten minutes apart, so nothing else can bring it. Where the
// system gives no news (made so for the test) the looks twice a second still find it. Ports given by
// their paths and detected ports alike.
TEST(ZrvlinkStation, DeviceIsTakenOnTheNewsOfItsArrivalOrWithoutNewsAtTheNextLook) {
    const struct {
        const char* Events;
        bool Given;
    } cases[] = {{"on", true}, {"on", false}, {"off", true}, {"off", false}};
    for (const auto& c : cases) {
        const std::string shown =
            std::string("news ") + c.Events + (c.Given ? ", ports given" : ", detected");
        CStation s(2);
        const std::string a = s.Devices.DevPath("ttyACM0");
        const std::string b = s.Devices.DevPath("ttyACM1");
        ASSERT_TRUE(s.Devices.Plug("ttyACM0"));
        CliRunOptions options = s.Devices.Options();
        options.Environment.insert(options.Environment.end(),
                                   {{"ZRVLINK_PORT_LOOK_MS", "600000"}, {"ZRVLINK_PORT_EVENTS", c.Events}});
        const std::vector<std::string> ports = {"--port", a, "--port", b};
        ASSERT_TRUE(s.Run.Start(s.Args(c.Given ? ports : std::vector<std::string>()), options)) << shown;
        ASSERT_TRUE(s.Run.WaitOut("on " + a + ": reading the device")) << shown;
        ASSERT_TRUE(s.Devices.Plug("ttyACM1")) << shown;
        ASSERT_TRUE(s.WaitEvents("S-2: started done")) << shown << s.Run.OutSoFar();
        const CliRunResult run = s.Run.Finish();
        EXPECT_EQ(0, run.Exit) << shown << run.Out << run.Err;
        EXPECT_TRUE(Contains(run.Out, "S-2 192.168.7.22 on " + b + ": written and verified"))
            << shown << run.Out;
    }
}

TEST(ZrvlinkStation, DevicesConnectedTogetherGetAUnitEachAndARestartGoesOnWhereTheRecordEnds) {
    CStation s(5);
    ASSERT_TRUE(s.Devices.Add({"ttyACM0", "ttyACM1", "ttyACM2", "ttyACM3"}, {"--delay", "2"}));
    const CliRunResult first = s.Once();
    EXPECT_EQ(30, first.Exit) << first.Out << first.Err;
    EXPECT_TRUE(Contains(first.Out, "station stopped: 1 unit left\n")) << first.Out;
    // A power cut while a row was written: half a row at the end.
    const std::string cut = "2024-05-01T14:03:07+02:00,S-5,/dev/ttyACM9,,ZRV";
    std::ofstream(s.Files / "record.csv", std::ios::binary | std::ios::app) << cut;
    // The devices of the first run stay connected; one more arrives.
    ASSERT_TRUE(s.Devices.Add({"ttyACM4"}));
    const CliRunResult second = s.Once();
    EXPECT_EQ(0, second.Exit) << second.Out << second.Err;
    EXPECT_TRUE(Contains(second.Out, "its last row was never finished and is left out: \"" + cut + "\"\n"))
        << second.Out;
    EXPECT_TRUE(Contains(second.Out, s.Devices.DevPath("ttyACM0") + ": this device is done unit S-"));
    EXPECT_EQ("S-1: started done; S-2: started done; S-3: started done; S-4: started done; S-5: started done",
              s.Events());
    EXPECT_FALSE(Contains(ReadWholeFile(s.Files / "record.csv"), cut));
    std::set<std::string> saved;
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(saved.insert(SavedAddress(s.Devices.Sim(i))).second) << "one address on two devices";
    }
    EXPECT_EQ((std::set<std::string>{"192.168.7.21", "192.168.7.22", "192.168.7.23", "192.168.7.24",
                                     "192.168.7.25"}),
              saved);
}

// A template whose read takes long ("name" answered slowly, 32 times) or whose write does ("clrname").
TEST(ZrvlinkStation, CtrlCOnceLetsTransfersEndTwiceEndsThemAndTheRecordSaysWhatHappened) {
    const struct {
        const char* Fault;
        const char* Device;       // the simulator's option
        const char* WaitForInLog; // the device has received this when Ctrl-C comes
        int Interrupts;
        int Exit;
        const char* Events;
    } cases[] = {
        {"a first Ctrl-C cuts the write at work short", "--delay-command=clrname:300", "clrname 0\r", 1, 30,
         "S-1: started done"},
        {"a second Ctrl-C before the save lets the write go on, or holds its unit",
         "--delay-command=clrname:300", "clrname 0\r", 2, 30, "S-1: started interrupted"},
        {"a second Ctrl-C after the save is recorded as before it", "--delay-command=name:300", "update\r", 2,
         31, "S-1: started interrupted"},
    };
    for (const auto& c : cases) {
        const std::string shown = c.Fault;
        CStation s;
        CliRunOptions options = s.Devices.Options();
        options.OwnProcessGroup = true;
        ASSERT_TRUE(s.Run.Start(s.Args(), options));
        ASSERT_TRUE(s.Devices.Plug("ttyACM0", {c.Device}));
        ASSERT_TRUE(WaitReceived(s.Devices.Sim(0), c.WaitForInLog)) << shown;
        const std::vector<pid_t> children = ChildrenOf(s.Run.Pid());
        EXPECT_EQ(1u, children.size()) << shown;
        const std::vector<CFd> watched = Watch(children);
        // As a terminal's Ctrl-C: to every process of the station's group, its children included. The
        // second only once the station has told of the first, so that the two cannot arrive as one.
        for (int i = 1; i <= c.Interrupts; ++i) {
            kill(-s.Run.Pid(), SIGINT);
            ASSERT_TRUE(i == c.Interrupts || s.Run.WaitOut("Ctrl-C: ")) << shown;
        }
        const CliRunResult run = s.Run.Finish();
        EXPECT_EQ(c.Exit, run.Exit) << shown << run.Out << run.Err;
        EXPECT_EQ(c.Events, s.Events()) << shown;
        EXPECT_TRUE(AllEnded(watched, EVENTUALLY_MS)) << shown;
        if (c.Interrupts == 2) {
            EXPECT_EQ(c.Exit == 31 ? SaveSent::Maybe : SaveSent::No, s.Rows().back().Save) << shown;
        }
    }
}

// A unit table as a spreadsheet of a decimal-comma locale saves it: the station reads it and says how.
TEST(ZrvlinkStation, UnitTableWithSemicolonsIsReadAndTheFirstLineSaysSo) {
    CStation s(0);
    s.Files.Write("units.csv", "Unit;IPAddress;Target1\r\nS-1;192.168.7.21;1,10.0.0.3,4142\r\n");
    ASSERT_TRUE(s.Devices.Add({"ttyACM0"}));
    const CliRunResult run = s.Once();
    EXPECT_EQ(0, run.Exit) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Out, "station: 1 unit (plan " + s.Files / "units.csv" +
                                      ", cells separated by semicolons), 0 done, 0 skipped, 1 to go"))
        << run.Out;
    EXPECT_EQ("192.168.7.21", SavedAddress(s.Devices.Sim(0)));
    EXPECT_TRUE(Contains(Received(s.Devices.Sim(0)), "target 1 10.0.0.3\r")) << Received(s.Devices.Sim(0));
}

// How each plan is judged is shown where it is read; here, that the station refuses before it touches a
// device.
TEST(ZrvlinkStation, PlanThatCannotBeTrustedIsRefusedBeforeAnyDeviceIsTouched) {
    CStation s(0);
    s.Files.Write("units.csv", "Unit,IPAddress\r\nS-1,192.168.7.21\r\nS-2,192.168.7.21\r\n");
    ASSERT_TRUE(s.Devices.Add({"ttyACM0"}));
    const CliRunResult run = s.Once();
    EXPECT_EQ(32, run.Exit) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Err, "units.csv: row 3 (unit S-2), column IPAddress: ")) << run.Err;
    EXPECT_EQ("", Received(s.Devices.Sim(0)));
}

// What the world does to a station at work: its stdout closed from the start (`>&-`: the record once
// became descriptor 1 and took the station's lines), gone during a write (`| tee station.log` when Ctrl-C
// ends tee too: its lines go nowhere from then on), or a full temporary folder (which once made a write
// that went through look as if it never reached "save", so that its unit went to the next device too;
// nothing the station and its children say to each other goes there). The write at work still finishes
// and is recorded.
TEST(ZrvlinkStation, ClosedOrLostStdoutOrAFullTemporaryFolderLetsTheWriteAtWorkFinish) {
    // A file system of its own, filled up: what is written there fails with ENOSPC.
    const CScratchDir dir;
    const std::string full = dir / "full";
    ::mkdir(full.c_str(), 0700);
    const bool mounted = ::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") == 0;
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(full.c_str(), MNT_DETACH); });
    const CFd filler(::open((full + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    const std::string block(4096, 'x');
    while (mounted && filler.IsOpen() && ::write(filler.Get(), block.data(), block.size()) > 0) {
    }
    enum World { CLOSED_STDOUT, STDOUT_GONE, FULL_TEMPORARY_FOLDER };
    for (const World world : {CLOSED_STDOUT, STDOUT_GONE, FULL_TEMPORARY_FOLDER}) {
        if (world == FULL_TEMPORARY_FOLDER && !mounted) {
            GTEST_SKIP() << "no small file system can be mounted here";
        }
        CStation s;
        int out[2] = {-1, -1};
        ASSERT_EQ(0, pipe2(out, O_CLOEXEC));
        CFd reader(out[0]);
        CFd writer(out[1]);
        CliRunOptions options = s.Devices.Options();
        options.CloseStdout = world == CLOSED_STDOUT;
        options.StdoutFd = world == STDOUT_GONE ? writer.Get() : -1;
        if (world == FULL_TEMPORARY_FOLDER) {
            options.Environment.emplace_back("TMPDIR", full);
        }
        ASSERT_TRUE(s.Run.Start(s.Args(), options));
        writer.Reset();
        ASSERT_TRUE(s.Devices.Plug("ttyACM0", {"--delay-command", "clrname:100"}));
        ASSERT_TRUE(WaitReceived(s.Devices.Sim(0), "clrname 0\r")) << world;
        reader.Reset();
        EXPECT_EQ(world == STDOUT_GONE ? 22 : 30, s.Run.Interrupt().Exit) << world;
        EXPECT_EQ("S-1: started done", s.Events()) << world;
        EXPECT_EQ("192.168.7.21", SavedAddress(s.Devices.Sim(0))) << world;
    }
}

// A write whose stdout goes nowhere. Its process sends "save" only once its parent can know: a step line
// that does not reach stdout ends the transfer before it. `zrvlink write --all ... | head -1`: the lines
// after the first go nowhere; every device is still written.
TEST(ZrvlinkStation, WriteWhoseStdoutGoesNowhereSendsSaveOnlyWhenItsParentCanKnow) {
    CStation s;
    ASSERT_TRUE(s.Devices.Add({"ttyACM0"}));
    ASSERT_TRUE(s.Devices.Add({"ttyACM1"}, {"--delay-command", "clrname:50"}));
    const std::string unit = SaveSetup(s.Files / "unit.dat", SampleParamSet());
    CliRunOptions full = s.Devices.Options();
    full.StdoutPath = "/dev/full";
    const CliRunResult child = RunCli({"write", "--port", s.Devices.DevPath("ttyACM0"), "--result-line",
                                       "--report-steps", "--verify", "--", unit},
                                      full);
    EXPECT_EQ(22, child.Exit) << child.Err;
    const std::string received = ReadWholeFile(s.Devices.Sim(0).LogPath());
    EXPECT_TRUE(Contains(received, "target 31 ")) << received;
    EXPECT_FALSE(Contains(received, "save\r")) << received;
    int out[2] = {-1, -1};
    ASSERT_EQ(0, pipe2(out, O_CLOEXEC));
    const CFd writer(out[1]);
    close(out[0]);
    CliRunOptions gone = s.Devices.Options();
    gone.StdoutFd = writer.Get();
    EXPECT_EQ(22, RunCli({"write", unit, "--all"}, gone).Exit);
    EXPECT_EQ("192.168.0.10", SavedAddress(s.Devices.Sim(0)));
    EXPECT_EQ("192.168.0.10", SavedAddress(s.Devices.Sim(1)));
}

} // namespace
