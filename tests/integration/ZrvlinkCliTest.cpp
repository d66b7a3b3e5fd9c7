// The real zrvlink program against zrvlink-sim on pseudo-terminals: its contract (output, files, exit
// statuses and their one-line messages), backup, verify, diff, the JSON documents read back by a JSON
// parser, the long port listing, parallel runs (their children hung, crashed or orphaned), usage errors
// and output that cannot be written.
#include "CliFixtures.h"
#include "CliRun.h"
#include "FakeSysfs.h"
#include "SampleParams.h"
#include "SimProcess.h"
#include "TestFiles.h"
#include "cli/BatchPlan.h"
#include "core/IPv4.h"
#include "core/ParamFile.h"
#include "portdetect/CommPortDetecter.h"
#include "portkit/CommPortPaths.h"
#include "portkit/PortKit.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// The "no thread" case makes thread creation fail with a stack limit so large that the kernel lays out
// memory differently; the sanitizer runtimes keep their shadow at fixed addresses and may abort on that
// layout (ThreadSanitizer did, on some kernels). The case runs in the plain build only.
constexpr bool SANITIZED_BUILD = ZRV_SANITIZED_BUILD != 0;

// Generous bounds for "it happened at all" on a busy machine.
constexpr int EVENTUALLY_MS = 60000;

std::vector<std::string> Joined(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::string Shown(const std::vector<std::string>& args) {
    std::string shown;
    for (const std::string& arg : args) {
        shown += "[" + arg + "]";
    }
    return shown;
}

// The lines of a text form, without their line ends.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        lines.push_back(!line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
        start = end + 1;
    }
    return lines;
}

// A JSON document parsed by a parser of its own, in the order of its fields; null when it is no document.
Json ParseJson(const std::string& text) {
    Json document = Json::parse(text, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << text;
    return document.is_discarded() ? Json() : document;
}

// The setup file's lines that a configuration's JSON document stands for.
std::vector<std::string> SetupLinesOf(const Json& document) {
    std::vector<std::string> lines;
    for (const auto& field : document.items()) {
        if (field.key() != "Targets") {
            const Json& value = field.value();
            lines.push_back(field.key() + "=" +
                            (value.is_string() ? value.get<std::string>() : value.dump()));
        }
    }
    int index = 0;
    for (const Json& target : document.value("Targets", Json::array())) {
        const std::string hex = target.at("NameHex");
        lines.push_back("Target" + std::to_string(index++) + "=" +
                        (target.at("Enable").get<bool>() ? "1," : "0,") +
                        target.at("Address").get<std::string>() + (hex.empty() ? "" : "," + hex));
    }
    return lines;
}

class ZrvlinkAgainstSim : public ::testing::Test {
protected:
    std::string StartDevice(const std::vector<std::string>& args = {}) {
        EXPECT_TRUE(m_sim.Start(args)) << m_sim.Error();
        return m_sim.PtyPath();
    }
    std::string StartDeviceWith(const ParamSet& state, std::vector<std::string> args = {}) {
        CParamFile file;
        *file.GetParam() = state;
        const std::string path = m_sim.ScratchPath("start.dat");
        EXPECT_TRUE(file.Save(path.c_str()));
        args.insert(args.begin(), {"--load", path});
        return StartDevice(args);
    }
    // What the device received, once it has ended.
    std::string Received() {
        m_sim.Stop();
        return ReadWholeFile(m_sim.LogPath());
    }
    CSimProcess m_sim;
};

TEST_F(ZrvlinkAgainstSim, ReadPrintsTheDeviceExactlyAsSaveWritesIt) {
    const std::string port = StartDeviceWith(SampleParamSet());
    const CliRunResult run = RunCli({"read", "--port", port});
    EXPECT_EQ(0, run.Exit) << run.Err;
    EXPECT_EQ(SaveText(SampleParamSet()), run.Out);
    EXPECT_EQ("", run.Err);
    std::size_t lines = 0;
    for (std::size_t at = run.Out.find("\r\n"); at != std::string::npos; at = run.Out.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(36u, lines);
}

TEST_F(ZrvlinkAgainstSim, ReadIntoAFileReplacesItsContent) {
    const std::string port = StartDeviceWith(SampleParamSet());
    CSetupFile output(std::string("BaudRate=9600\r\n"));
    const CliRunResult run = RunCli({"read", "--port=" + port, "--output", output.Path()});
    EXPECT_EQ(0, run.Exit) << run.Err;
    EXPECT_EQ("", run.Out + run.Err);
    EXPECT_EQ(SaveText(SampleParamSet()), output.Text());
}

TEST_F(ZrvlinkAgainstSim, FailedReadLeavesTheOutputAsItWas) {
    for (const bool existed : {true, false}) {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--silent-after", "20"})) << sim.Error();
        CScratchDir dir;
        const std::string output = dir / "device.dat";
        if (existed) {
            CSetupFile before(std::string("BaudRate=9600\r\n"));
            fs::copy_file(before.Path(), output);
        }
        const CliRunResult run = RunCli({"read", "--port", sim.PtyPath(), "--output", output});
        EXPECT_EQ(12, run.Exit);
        EXPECT_EQ("WARNING: communication error\n", run.Err);
        EXPECT_EQ(existed ? std::set<std::string>{"device.dat"} : std::set<std::string>{}, dir.Names());
        if (existed) {
            EXPECT_EQ("BaudRate=9600\r\n", ReadWholeFile(output));
        }
    }
}

TEST(ZrvlinkExit, EveryFailureHasItsStatusAndOneLine) {
    CSetupFile good(SampleParamSet());
    CSetupFile bad(std::string("BaudRate=fast\r\n"));
    CSetupFile keyless(std::string("; BaudRate=9600\r\n"));
    const struct {
        const char* Name;
        std::vector<std::string> SimArgs;
        std::vector<std::string>
            Args; // "PTY" stands for the simulator's pty, "GOOD", "BAD", "NOKEY" for files
        bool HugeStack;
        int Exit;
        std::string Err;
        bool SendsNothing;
    } cases[] = {
        {"no device", {}, {"read"}, false, 10, "WARNING: communication error\n", true},
        {"silent, for JSON",
         {"--silent-after", "40"},
         {"read", "--port", "PTY", "--json"},
         false,
         12,
         "WARNING: communication error\n",
         false},
        {"silent",
         {"--silent-after", "40"},
         {"write", "GOOD", "--port", "PTY"},
         false,
         12,
         "WARNING: communication error\n",
         false},
        {"save refused",
         {"--save-reply", "NG"},
         {"write", "GOOD", "--port", "PTY"},
         false,
         13,
         "WARNING: hardware error\n",
         false},
        {"no thread", {}, {"read", "--port", "PTY"}, true, 14, "WARNING: not enoungh resouce\n", true},
        {"no file",
         {},
         {"write", "/zrv/no/such.dat", "--port", "PTY"},
         false,
         21,
         "WARNING: file load error: /zrv/no/such.dat: no such file or directory\n",
         true},
        {"unsaved",
         {},
         {"read", "--port", "PTY", "--output", "/zrv/no/such/dir/x.dat"},
         false,
         22,
         "WARNING: file save error: /zrv/no/such/dir/x.dat: no such file or directory\n",
         false},
        {"bad file", {}, {"write", "BAD", "--port", "PTY"}, false, 23, "WARNING: parameter error\n", true},
        {"bad file for JSON", {}, {"check", "BAD", "--json"}, false, 23, "WARNING: parameter error\n", true},
        {"no key in the file",
         {},
         {"write", "NOKEY", "--port", "PTY"},
         false,
         23,
         "WARNING: parameter error: no setup key found in " + keyless.Path() + "\n",
         true},
    };
    for (const auto& c : cases) {
        if (c.HugeStack && SANITIZED_BUILD) {
            continue;
        }
        CSimProcess sim;
        ASSERT_TRUE(sim.Start(c.SimArgs)) << sim.Error();
        std::vector<std::string> args = c.Args;
        for (std::string& arg : args) {
            arg = arg == "PTY"     ? sim.PtyPath()
                  : arg == "GOOD"  ? good.Path()
                  : arg == "BAD"   ? bad.Path()
                  : arg == "NOKEY" ? keyless.Path()
                                   : arg;
        }
        CFakeSysfs empty;
        CliRunOptions options;
        options.Environment = {{"ZRVLINK_SYSFS_ROOT", empty.Root()}};
        options.HugeStackLimit = c.HugeStack;
        const CliRunResult run = RunCli(args, options);
        EXPECT_EQ(c.Exit, run.Exit) << c.Name << ": " << run.Err;
        EXPECT_EQ(c.Err, run.Err) << c.Name;
        EXPECT_EQ("", run.Out) << c.Name << ": a failure prints no document";
        sim.Stop();
        EXPECT_EQ(c.SendsNothing, ReadWholeFile(sim.LogPath()).empty()) << c.Name;
    }
}

// A port that does not open: the status and message of every such failure, then why, in the user's words.
TEST(ZrvlinkExit, PortThatDoesNotOpenSaysWhy) {
    enum Hindrance { NONE, HELD, FORBIDDEN };
    const struct {
        const char* Port; // "PTY": the simulator's pty
        Hindrance Obstacle;
        std::string Err;
    } cases[] = {
        {"/dev/zrv-no-such-tty", NONE,
         "WARNING: cannot open /dev/zrv-no-such-tty: no such file or directory\n"},
        // Another program, a second zrvlink included, has the port.
        {"PTY", HELD, "WARNING: cannot open PTY: in use by another program\n"},
        // Root is denied nothing: the program then runs as another user.
        {"PTY", FORBIDDEN,
         "WARNING: cannot open PTY: permission denied (is the user in the dialout group?)\n"},
    };
    for (const auto& c : cases) {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start()) << sim.Error();
        const std::string port = c.Port == std::string("PTY") ? sim.PtyPath() : c.Port;
        const int32_t held =
            c.Obstacle == HELD ? CreateCommPort(RegisterCommPortPath(port.c_str()), 9600, 8, 'N', 1, 0, 0, 0)
                               : -1;
        ASSERT_EQ(c.Obstacle == HELD, held >= 0) << port;
        ASSERT_TRUE(c.Obstacle != FORBIDDEN || chmod(port.c_str(), 0) == 0) << port;
        CliRunOptions options;
        options.Unprivileged = c.Obstacle == FORBIDDEN;
        const CliRunResult run = RunCli({"read", "--port", port}, options);
        DestroyCommPort(held);
        std::string expected = c.Err;
        expected.replace(expected.find(c.Port), std::strlen(c.Port), port);
        EXPECT_EQ(11, run.Exit) << run.Err;
        EXPECT_EQ(expected, run.Err);
        sim.Stop();
        EXPECT_EQ("", ReadWholeFile(sim.LogPath())) << port;
    }
}

TEST_F(ZrvlinkAgainstSim, WriteShowsInTheDevicesSavedState) {
    const std::string port = StartDevice();
    ParamSet sent = SampleParamSet();
    sent.Target[4].Address = sent.IPAddress; // the device's own address: sent disabled
    sent.Target[4].Enable = 1;
    CSetupFile file(sent);
    const CliRunResult run = RunCli({"write", file.Path(), "--port", port});
    EXPECT_EQ(0, run.Exit) << run.Err;
    EXPECT_EQ("", run.Out + run.Err);
    const std::string received = Received();
    const std::string end = "save\rupdate\r";
    ASSERT_GE(received.size(), end.size());
    EXPECT_EQ(end, received.substr(received.size() - end.size())) << "save and update end the write";
    sent.Target[4].Enable = 0;
    EXPECT_EQ(SaveText(sent), ReadWholeFile(m_sim.SavedPath()));
}

TEST_F(ZrvlinkAgainstSim, BackupKeepsWhatTheDeviceHeldBeforeTheWrite) {
    CParamFile defaults;
    const std::string port = StartDeviceWith(*defaults.GetParam());
    CSetupFile file(SampleParamSet());
    CScratchDir dir;
    const CliRunResult run = RunCli({"write", file.Path(), "--port", port, "--backup", dir / "old.dat"});
    EXPECT_EQ(0, run.Exit) << run.Err;
    EXPECT_EQ(SaveText(*defaults.GetParam()), ReadWholeFile(dir / "old.dat"));
    Received();
    EXPECT_EQ(SaveText(SampleParamSet()), ReadWholeFile(m_sim.SavedPath()));
}

TEST_F(ZrvlinkAgainstSim, FailedBackupWritesNothing) {
    const std::string port = StartDevice();
    CSetupFile file(SampleParamSet());
    const CliRunResult run =
        RunCli({"write", file.Path(), "--port", port, "--backup", "/zrv/no/such/old.dat"});
    EXPECT_EQ(22, run.Exit);
    EXPECT_EQ("WARNING: file save error: /zrv/no/such/old.dat: no such file or directory\n", run.Err);
    const std::string received = Received();
    EXPECT_NE(std::string::npos, received.find("name 31\r")) << "the backup was read";
    EXPECT_EQ(std::string::npos, received.find("save\r"));
    EXPECT_EQ(std::string::npos, received.find("target 0 "));
}

TEST_F(ZrvlinkAgainstSim, VerifyCatchesAValueThatDidNotStick) {
    const std::string port = StartDevice({"--ignore-set", "target:3"});
    CSetupFile file(SampleParamSet());
    const CliRunResult run = RunCli({"write", file.Path(), "--port", port, "--verify"});
    EXPECT_EQ(15, run.Exit);
    EXPECT_EQ("WARNING: verify error\nTarget3: 1,10.0.0.3 -> 1,0.0.0.0\n", run.Err);
    EXPECT_EQ("", run.Out);
}

TEST_F(ZrvlinkAgainstSim, VerifyExpectsOnlyWhatTheWriteSent) {
    // The baud rate 0 and the empty network settings are not sent; the destination at the device's
    // own address goes disabled. None of these is a difference.
    const std::string port = StartDevice();
    ParamSet sent = SampleParamSet();
    sent.BaudRate = 0;
    sent.IPAddress = sent.SubnetMask = sent.Gateway = 0;
    CSetupFile plain(sent);
    CliRunResult run = RunCli({"write", plain.Path(), "--port", port, "--verify"});
    EXPECT_EQ(0, run.Exit) << run.Err;

    sent = SampleParamSet();
    sent.Target[6].Address = sent.IPAddress;
    sent.Target[6].Enable = 1;
    CSetupFile ownAddress(sent);
    run = RunCli({"write", ownAddress.Path(), "--port", port, "--verify"});
    EXPECT_EQ(0, run.Exit) << run.Err;
    EXPECT_EQ("", run.Err);
}

TEST_F(ZrvlinkAgainstSim, DiffComparesFilesAndDevicesKeyByKey) {
    ParamSet other = SampleParamSet();
    other.Target[3].Enable = 0;
    other.Target[3].Address = MakeIPv4(10, 0, 0, 33);
    other.BaudRate = 9600;
    const std::string port = StartDeviceWith(other);
    CSetupFile left(SampleParamSet());
    CSetupFile same(SampleParamSet());
    CSetupFile right(other);
    CSetupFile bad(std::string("Target40=1,1.2.3.4\r\n"));
    const std::string lines = "BaudRate: 57600 -> 9600\nTarget3: 1,10.0.0.3 -> 0,10.0.0.33\n";
    const struct {
        std::vector<std::string> Args;
        int Exit;
        std::string Out;
        std::string Err;
    } cases[] = {
        {{"diff", left.Path(), same.Path()}, 0, "", ""},
        {{"diff", left.Path(), right.Path()}, 1, lines, ""},
        {{"diff", left.Path(), "--port", port}, 1, lines, ""},
        {{"diff", right.Path(), "--port", port}, 0, "", ""},
        {{"diff", left.Path(), bad.Path()}, 23, "", "WARNING: parameter error\n"},
        {{"diff", "/zrv/no/such.dat", same.Path()},
         21,
         "",
         "WARNING: file load error: /zrv/no/such.dat: no such file or directory\n"},
    };
    for (const auto& c : cases) {
        const CliRunResult run = RunCli(c.Args);
        EXPECT_EQ(c.Exit, run.Exit) << c.Args[2];
        EXPECT_EQ(c.Out, run.Out) << c.Args[2];
        EXPECT_EQ(c.Err, run.Err) << c.Args[2];
    }
}

TEST(ZrvlinkCheck, PrintsWhatLoadingMadeOfTheFile) {
    CSetupFile sparse(std::string("; comment\nbaudrate = 9600\ntarget7=2,010.0.0.7,41\n"));
    ParamSet expected{};
    expected.BaudRate = 9600;
    expected.Target[7] = ParamTarget{1, MakeIPv4(10, 0, 0, 7), "41"};
    const CliRunResult run = RunCli({"check", sparse.Path()});
    EXPECT_EQ(0, run.Exit) << run.Err;
    EXPECT_EQ(SaveText(expected), run.Out);
}

TEST_F(ZrvlinkAgainstSim, JsonOfReadAndCheckCarriesTheSetupText) {
    const std::string port = StartDeviceWith(SampleParamSet());
    CSetupFile file(SampleParamSet());
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"read", "--port", port}, std::vector<std::string>{"check", file.Path()}}) {
        const CliRunResult text = RunCli(command);
        const CliRunResult json = RunCli(Joined(command, {"--json"}));
        EXPECT_EQ(0, json.Exit) << json.Err;
        EXPECT_EQ("", json.Err);
        EXPECT_EQ(LinesOf(text.Out), SetupLinesOf(ParseJson(json.Out))) << command[0];
    }
}

// "Name" is what the stored digits spell, and null where they spell nothing exactly.
TEST(ZrvlinkCheck, JsonNamesTheDestinationsWhoseDigitsDecode) {
    const struct {
        const char* Hex;
        Json Name;
    } cases[] = {
        {"", ""},
        {"5A5256", "ZRV"},
        {"4a4b", "JK"},        // either case
        {"C3A9", "\xC3\xA9"},  // UTF-8 text
        {"4G42", nullptr},     // not a hexadecimal pair
        {"414", nullptr},      // a lone last digit
        {"41004243", nullptr}, // a zero byte inside
        {"E9", nullptr},       // no UTF-8
    };
    std::string text;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        text += "Target" + std::to_string(i) + "=1,10.0.0.1," + cases[i].Hex + "\r\n";
    }
    CSetupFile file(text);
    const CliRunResult run = RunCli({"check", file.Path(), "--json"});
    EXPECT_EQ(0, run.Exit) << run.Err;
    const Json targets = ParseJson(run.Out).value("Targets", Json::array());
    ASSERT_EQ(32u, targets.size()) << run.Out;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].Name, targets[i]["Name"]) << cases[i].Hex;
        EXPECT_EQ(cases[i].Hex, targets[i].value("NameHex", "?"));
    }
}

TEST_F(ZrvlinkAgainstSim, JsonOfDiffListsTheSameDifferencesAsItsLines) {
    ParamSet other = SampleParamSet();
    other.BaudRate = 9600;
    other.Target[3].Enable = 0;
    const std::string port = StartDeviceWith(other);
    CSetupFile left(SampleParamSet());
    CSetupFile right(other);
    const std::vector<std::vector<std::string>> cases = {
        {"diff", left.Path(), right.Path()},
        {"diff", left.Path(), "--port", port},
        {"diff", left.Path(), left.Path()},
    };
    for (const auto& command : cases) {
        const CliRunResult text = RunCli(command);
        const CliRunResult json = RunCli(Joined(command, {"--json"}));
        EXPECT_EQ(text.Exit, json.Exit) << Shown(command) << json.Err;
        std::vector<std::string> lines;
        for (const Json& difference : ParseJson(json.Out)) {
            lines.push_back(difference.value("Key", "") + ": " + difference.value("Left", "") + " -> " +
                            difference.value("Right", ""));
        }
        EXPECT_EQ(LinesOf(text.Out), lines) << Shown(command);
    }
}

TEST(ZrvlinkPorts, ListsTheDevicesPortsInDetectionOrder) {
    CDetectedDevices devices;
    const CliRunResult none = RunCli({"ports"}, devices.Options());
    EXPECT_EQ(0, none.Exit);
    EXPECT_EQ("", none.Out + none.Err);

    devices.AddOther("ttyUSB0");
    ASSERT_TRUE(devices.Add({"ttyACM2", "ttyACM10"}));
    const CliRunResult two = RunCli({"ports"}, devices.Options());
    EXPECT_EQ(0, two.Exit);
    EXPECT_EQ(devices.DevPath("ttyACM2") + "\n" + devices.DevPath("ttyACM10") + "\n", two.Out);
}

TEST(ZrvlinkPorts, LongListingNamesEachPortsUsbDeviceAndSerialNumber) {
    CFakeSysfs sysfs;
    sysfs.AddAcmTty("ttyACM0", DEVICE_USB_VID, DEVICE_USB_PID, "ZRV0012345");
    sysfs.AddAcmTty("ttyACM1", 0x0403, 0x6001, "A9K2LQ");                 // another USB device
    sysfs.AddVendorTty("ttyUSB0", DEVICE_USB_VID, DEVICE_USB_PID);        // no serial number
    sysfs.AddAcmTty("ttyACM2", DEVICE_USB_VID, DEVICE_USB_PID, "ZRV\t7"); // a tab would split the field
    CScratchDir dev;
    CliRunOptions options;
    options.Environment = {{"ZRVLINK_SYSFS_ROOT", sysfs.Root()}, {"ZRVLINK_DEV_ROOT", dev.Path()}};
    const struct {
        const char* Tty;
        const char* Serial; // as the text form shows it
        Json SerialJson;
    } ports[] = {
        {"ttyACM0", "ZRV0012345", "ZRV0012345"}, {"ttyACM2", "ZRV?7", "ZRV\t7"}, {"ttyUSB0", "-", nullptr}};
    std::string names;
    std::string lines;
    for (const auto& port : ports) {
        const std::string location = fs::canonical(sysfs.UsbDevicePath(port.Tty)).string();
        names += dev / port.Tty + "\n";
        lines += dev / port.Tty + "\tfe5a:0016\t" + port.Serial + "\t" + location + "\n";
    }
    EXPECT_EQ(names, RunCli({"ports"}, options).Out) << "the plain listing is unchanged";
    const CliRunResult text = RunCli({"ports", "--long"}, options);
    EXPECT_EQ(0, text.Exit) << text.Err;
    EXPECT_EQ(lines, text.Out);
    const CliRunResult json = RunCli({"ports", "--long", "--json"}, options);
    EXPECT_EQ(0, json.Exit) << json.Err;
    const Json records = ParseJson(json.Out);
    ASSERT_EQ(std::size(ports), records.size()) << json.Out;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(dev / ports[i].Tty, records[i].value("Port", ""));
        EXPECT_EQ("fe5a", records[i].value("Vid", ""));
        EXPECT_EQ("0016", records[i].value("Pid", ""));
        EXPECT_EQ(ports[i].SerialJson, records[i]["Serial"]);
        EXPECT_EQ(fs::canonical(sysfs.UsbDevicePath(ports[i].Tty)).string(),
                  records[i].value("Location", ""));
    }
    EXPECT_EQ(json.Out, RunCli({"ports", "--json"}, options).Out) << "--json alone gives the long fields";
}

TEST(ZrvlinkPorts, WithoutPortTheFirstDetectedDeviceIsUsed) {
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0", "ttyACM1"}));
    CSetupFile file(SampleParamSet());
    const CliRunResult run = RunCli({"write", file.Path()}, devices.Options());
    EXPECT_EQ(0, run.Exit) << run.Err;
    devices.Sim(0).Stop();
    devices.Sim(1).Stop();
    EXPECT_EQ(SaveText(SampleParamSet()), ReadWholeFile(devices.Sim(0).SavedPath()));
    EXPECT_EQ("", ReadWholeFile(devices.Sim(1).LogPath()));
}

TEST(ZrvlinkParallel, FourWritesEachReportOnALineOfTheirOwn) {
    std::vector<std::unique_ptr<CSimProcess>> sims;
    std::vector<std::string> args = {"write"};
    for (int i = 0; i < 4; ++i) {
        sims.push_back(std::make_unique<CSimProcess>());
        ASSERT_TRUE(sims.back()->Start()) << sims.back()->Error();
        args.insert(args.end(), {"--port", sims.back()->PtyPath()});
    }
    CSetupFile file(SampleParamSet());
    args.push_back(file.Path());
    const CliRunResult run = RunCli(args);
    EXPECT_EQ(0, run.Exit) << run.Err;
    std::string expected;
    for (auto& sim : sims) {
        expected += sim->PtyPath() + ": OK\n";
    }
    EXPECT_EQ(expected, run.Out);
    EXPECT_EQ("", run.Err);
    for (auto& sim : sims) {
        sim->Stop();
        EXPECT_EQ(SaveText(SampleParamSet()), ReadWholeFile(sim->SavedPath())) << sim->PtyPath();
    }
}

TEST(ZrvlinkParallel, ExitStatusIsThatOfTheFirstPortThatFailed) {
    const std::vector<std::vector<std::string>> devices = {
        {}, {"--silent-after", "10"}, {"--save-reply", "NG"}, {"--ignore-set", "name:0"}};
    std::vector<std::unique_ptr<CSimProcess>> sims;
    std::vector<std::string> args = {"write", "--verify"};
    for (const auto& simArgs : devices) {
        sims.push_back(std::make_unique<CSimProcess>());
        ASSERT_TRUE(sims.back()->Start(simArgs)) << sims.back()->Error();
        args.insert(args.end(), {"--port", sims.back()->PtyPath()});
    }
    CSetupFile file(SampleParamSet());
    args.push_back(file.Path());
    const CliRunResult run = RunCli(args);
    EXPECT_EQ(12, run.Exit);
    EXPECT_EQ(sims[0]->PtyPath() + ": OK\n" + sims[1]->PtyPath() + ": WARNING: communication error\n" +
                  sims[2]->PtyPath() + ": WARNING: hardware error\n" + sims[3]->PtyPath() +
                  ": WARNING: verify error; Target0: 1,10.0.0.0,5A5256 -> 1,10.0.0.0\n",
              run.Out);
}

TEST(ZrvlinkParallel, TraceOfEachPortReachesStderrMarkedWithThePort) {
    CSimProcess a;
    CSimProcess b;
    ASSERT_TRUE(a.Start() && b.Start());
    CSetupFile file(SampleParamSet());
    const CliRunResult run =
        RunCli({"write", file.Path(), "--port", a.PtyPath(), "--port", b.PtyPath(), "--trace"});
    EXPECT_EQ(0, run.Exit) << run.Err;
    EXPECT_EQ(a.PtyPath() + ": OK\n" + b.PtyPath() + ": OK\n", run.Out);
    for (const CSimProcess* sim : {&a, &b}) {
        EXPECT_NE(std::string::npos, run.Err.find(sim->PtyPath() + ": zrvlink: ")) << run.Err;
        EXPECT_NE(std::string::npos, run.Err.find("  update\n" + sim->PtyPath() + ": zrvlink: ")) << run.Err;
    }
}

TEST(ZrvlinkParallel, ReadAllPortsIntoADirectory) {
    CDetectedDevices devices;
    ParamSet state = SampleParamSet();
    CSetupFile start(state);
    ASSERT_TRUE(devices.Add({"ttyACM0", "ttyACM1", "ttyACM2", "ttyACM3"}, {"--load", start.Path()}));
    CScratchDir out;
    const CliRunResult run = RunCli({"read", "--all", "--output-dir", out.Path()}, devices.Options());
    EXPECT_EQ(0, run.Exit) << run.Err;
    std::string expected;
    for (const char* name : {"ttyACM0", "ttyACM1", "ttyACM2", "ttyACM3"}) {
        const std::string file = PortOutputPath(out.Path(), devices.DevPath(name));
        expected += devices.DevPath(name) + ": OK " + file + "\n";
        EXPECT_EQ(SaveText(state), ReadWholeFile(file)) << name;
    }
    EXPECT_EQ(expected, run.Out);
}

TEST(ZrvlinkParallel, FileThatDoesNotLoadIsReportedOnceAndNothingIsSent) {
    CSimProcess a;
    CSimProcess b;
    ASSERT_TRUE(a.Start() && b.Start());
    CSetupFile bad(std::string("Version=2\r\n"));
    CSetupFile keyless(std::string("\xEF\xBB\xBF"));
    const std::pair<std::string, std::string> cases[] = {
        {bad.Path(), "WARNING: parameter error\n"},
        {keyless.Path(), "WARNING: parameter error: no setup key found in " + keyless.Path() + "\n"},
    };
    for (const auto& [path, err] : cases) {
        const CliRunResult run = RunCli({"write", path, "--port", a.PtyPath(), "--port", b.PtyPath()});
        EXPECT_EQ(23, run.Exit) << path;
        EXPECT_EQ("", run.Out) << path;
        EXPECT_EQ(err, run.Err) << path;
    }
    a.Stop();
    b.Stop();
    EXPECT_EQ("", ReadWholeFile(a.LogPath()) + ReadWholeFile(b.LogPath()));
}

TEST_F(ZrvlinkAgainstSim, TraceGoesToStderrAndTheFailureLineStillEndsIt) {
    const std::string port = StartDevice({"--silent-after", "3"});
    const CliRunResult run = RunCli({"read", "--port", port, "--trace"});
    EXPECT_EQ(12, run.Exit);
    EXPECT_NE(std::string::npos, run.Err.find("zrvlink: ")) << run.Err;
    EXPECT_NE(std::string::npos, run.Err.find("  vers = ZRV-Link simulator 1.0\n")) << run.Err;
    EXPECT_NE(std::string::npos, run.Err.find("  WARNING: communication timeout\n")) << run.Err;
    const std::string last = "\nWARNING: communication error\n";
    EXPECT_EQ(run.Err.size() - last.size(), run.Err.rfind(last)) << run.Err;
}

TEST_F(ZrvlinkAgainstSim, ProgressBarIsDrawnOnlyOnATerminal) {
    const std::string port = StartDevice();
    CliRunOptions terminal;
    terminal.StderrOnTerminal = true;
    const CliRunResult drawn = RunCli({"read", "--port", port}, terminal);
    EXPECT_EQ(0, drawn.Exit);
    EXPECT_NE(std::string::npos, drawn.Err.find("] 100%")) << drawn.Err;
    EXPECT_NE(std::string::npos, drawn.Err.find("#] ")) << drawn.Err;
    EXPECT_EQ('\r', drawn.Err.back()) << "the bar is cleared at the end";

    const CliRunResult plain = RunCli({"read", "--port", port});
    EXPECT_EQ(0, plain.Exit);
    EXPECT_EQ("", plain.Err);
}

// The parser library's own rules and ours, each once: what a script gets wrong, and what would otherwise
// go unnoticed (an empty value read as "not given", two ports reading into one file).
TEST(ZrvlinkUsage, UsageErrorsExitWithTwoAndTheUsage) {
    const struct {
        std::vector<std::string> Args;
        const char* Error; // a part of the line after "zrvlink: "
        const char* Usage; // the start of the usage shown
    } cases[] = {
        {{}, "no command given", "Usage: zrvlink COMMAND"},
        {{"flash"}, "flash", "Usage: zrvlink COMMAND"},
        {{"--colour"}, "--colour", "Usage: zrvlink COMMAND"},
        {{"--version", "read"}, "--version takes no command", "Usage: zrvlink read"},
        {{"read", "--colour"}, "--colour", "Usage: zrvlink read"},
        {{"read", "-p", "x"}, "-p", "Usage: zrvlink read"},
        {{"read", "--verify"}, "--verify", "Usage: zrvlink read"},
        {{"ports", "--port", "x"}, "--port", "Usage: zrvlink ports"},
        {{"read", "--port"}, "--port", "Usage: zrvlink read"},
        {{"read", "--port", ""}, "--port: needs a value", "Usage: zrvlink read"},
        {{"read", "--output="}, "--output", "Usage: zrvlink read"},
        {{"read", "--trace=1"}, "trace", "Usage: zrvlink read"},
        {{"read", "--port", "A", "extra"}, "extra", "Usage: zrvlink read"},
        {{"write"}, "FILE", "Usage: zrvlink write FILE"},
        {{"check", "a.dat", "b.dat"}, "b.dat", "Usage: zrvlink check"},
        {{"diff", "a.dat", "b.dat", "c.dat"}, "c.dat", "Usage: zrvlink diff"},
        {{"diff", "a.dat", "b.dat", "--port", "/dev/pts/1"}, "FILE2", "Usage: zrvlink diff"},
        {{"diff", "a.dat", "--port", "A", "--port", "B"}, "--port", "Usage: zrvlink diff"},
        {{"read", "--port", "A", "--port", "B"},
         "several ports need --output-dir DIR",
         "Usage: zrvlink read"},
        {{"read", "--all"}, "several ports need --output-dir DIR", "Usage: zrvlink read"},
        {{"read", "--all", "--port", "A", "--output-dir", "d"}, "--all", "Usage: zrvlink read"},
        {{"read", "--output", "a", "--output-dir", "d"}, "--output-dir", "Usage: zrvlink read"},
        {{"read", "--json", "--output", "a"}, "--json", "Usage: zrvlink read"},
        {{"write", "a.dat", "--all", "--backup", "b.dat"}, "--backup", "Usage: zrvlink write"},
        {{"write", "a.dat", "--port", "A", "--port", "B", "--backup", "b.dat"},
         "--backup takes a single port",
         "Usage: zrvlink write"},
        {{"write", "a.dat", "--json"}, "--json", "Usage: zrvlink write"},
        {{"write", "a.dat", "--port", "A", "--port", "A"},
         "ports A and A are the same device",
         "Usage: zrvlink write"},
        {{"read", "--port", "/dev/pts/3", "--port", "/dev/pts-3", "--output-dir", "out"},
         "port /dev/pts-3 would read into the file of another port",
         "Usage: zrvlink read"},
        {{"write", "a.dat", "--result-line"},
         "--result-line takes exactly one --port",
         "Usage: zrvlink write"},
        {{"read", "--port", "A", "--report-steps"},
         "--report-steps takes --result-line",
         "Usage: zrvlink read"},
        {{"provision", "--template", "b.dat", "--record", "r.csv"},
         "provision takes --plan UNITS.csv or --ip-range FIRST-LAST",
         "Usage: zrvlink provision"},
        {{"provision", "--template", "b.dat", "--record", "r.csv", "--plan", "u.csv", "--ip-range", "A-B"},
         "--plan excludes --ip-range",
         "Usage: zrvlink provision"},
        {{"provision", "--template", "b.dat", "--plan", "u.csv"}, "--record", "Usage: zrvlink provision"},
        {{"provision", "--template", "b.dat", "--plan", "u.csv", "--record", "r.csv", "--port", "A", "--port",
          "A"},
         "ports A and A are the same device",
         "Usage: zrvlink provision"},
    };
    for (const auto& c : cases) {
        const CliRunResult run = RunCli(c.Args);
        const std::string shown = Shown(c.Args);
        EXPECT_EQ(2, run.Exit) << shown;
        const std::string line = run.Err.substr(0, run.Err.find('\n'));
        EXPECT_EQ(0u, line.find("zrvlink: ")) << shown << ": " << run.Err;
        EXPECT_NE(std::string::npos, line.find(c.Error)) << shown << ": " << line;
        EXPECT_EQ(line.size() + 1, run.Err.find(c.Usage)) << shown << ": " << run.Err;
        EXPECT_EQ("", run.Out) << shown;
    }
}

TEST(ZrvlinkUsage, HelpAndVersionGoToStdout) {
    const struct {
        std::vector<std::string> Args;
        const char* Start;
    } cases[] = {
        {{"--help"}, "Usage: zrvlink COMMAND"},
        {{"ports", "--help"}, "Usage: zrvlink ports"},
        {{"read", "--help"}, "Usage: zrvlink read"},
        {{"provision", "--help"}, "Usage: zrvlink provision"},
        {{"write", "--help"}, "Usage: zrvlink write FILE"},
        {{"check", "--help"}, "Usage: zrvlink check"},
        {{"diff", "--help"}, "Usage: zrvlink diff"},
        {{"--version"}, "zrvlink 0."},
    };
    for (const auto& c : cases) {
        const CliRunResult run = RunCli(c.Args);
        EXPECT_EQ(0, run.Exit) << c.Args[0];
        EXPECT_EQ(0u, run.Out.find(c.Start)) << run.Out;
        EXPECT_EQ("", run.Err);
    }
}

// Simulators started with their own options each; their ptys as --port options.
class CSimSet {
public:
    bool Start(const std::vector<std::vector<std::string>>& simArgs) {
        for (const auto& args : simArgs) {
            m_sims.push_back(std::make_unique<CSimProcess>());
            if (!m_sims.back()->Start(args)) {
                ADD_FAILURE() << m_sims.back()->Error();
                return false;
            }
        }
        return true;
    }
    std::vector<std::string> PortOptions() const {
        std::vector<std::string> options;
        for (const auto& sim : m_sims) {
            options.insert(options.end(), {"--port", sim->PtyPath()});
        }
        return options;
    }
    CSimProcess& operator[](std::size_t i) { return *m_sims.at(i); }

private:
    std::vector<std::unique_ptr<CSimProcess>> m_sims;
};

// Each child of a device that answers every command after a second would take minutes.
const std::vector<std::string> SLOW_DEVICE = {"--delay", "1000"};

TEST(ZrvlinkParallel, HungPortIsEndedAtTheLimitWhileTheOthersReport) {
    CSimSet sims;
    ASSERT_TRUE(sims.Start({{}, SLOW_DEVICE, {}}));
    CSetupFile file(SampleParamSet());
    CliRunOptions options;
    options.Environment = {{"ZRVLINK_CHILD_LIMIT_MS", "10000"}};
    const CliRunResult run = RunCli(Joined({"write", file.Path()}, sims.PortOptions()), options);
    EXPECT_EQ(12, run.Exit) << run.Err;
    EXPECT_EQ(sims[0].PtyPath() + ": OK\n" + sims[1].PtyPath() + ": WARNING: communication error\n" +
                  sims[2].PtyPath() + ": OK\n",
              run.Out);
    sims[1].Stop();
    EXPECT_EQ(std::string::npos, ReadWholeFile(sims[1].LogPath()).find("save\r")) << "ended mid-write";
}

TEST(ZrvlinkParallel, KilledParentLeavesNoChildRunning) {
    CSimSet sims;
    ASSERT_TRUE(sims.Start({SLOW_DEVICE, SLOW_DEVICE}));
    CSetupFile file(SampleParamSet());
    CCliProcess run;
    ASSERT_TRUE(run.Start(Joined({"write", file.Path()}, sims.PortOptions())));
    const std::vector<pid_t> children = WaitForChildren(run.Pid(), 2, EVENTUALLY_MS);
    ASSERT_EQ(2u, children.size());
    CProcessWatch watch(children);
    kill(run.Pid(), SIGKILL);
    EXPECT_EQ(-1, run.Finish().Exit);
    EXPECT_TRUE(watch.WaitAllEnded(EVENTUALLY_MS)) << "a child still writes to its device";
}

// The sanitizers' own handler would turn the signal into a report of theirs.
std::string WithoutSegvHandler(const char* variable) {
    const char* options = std::getenv(variable);
    return std::string(options != nullptr ? options : "") + ":handle_segv=0";
}

// The child of `parent` that works on the simulator's port, once the simulator has received `text`;
// -1 when that did not happen in time.
pid_t ChildOnPortAfter(pid_t parent, const CSimProcess& sim, const std::string& text) {
    const std::string portOption = std::string("--port") + '\0' + sim.PtyPath() + '\0';
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(EVENTUALLY_MS);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadWholeFile(sim.LogPath()).find(text) != std::string::npos) {
            for (const pid_t pid : ChildrenOf(parent)) {
                if (CommandLineOf(pid).find(portOption) != std::string::npos) {
                    return pid;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

TEST(ZrvlinkParallel, CrashedChildIsReportedWithItsLastTraceLine) {
    CSimSet sims;
    ASSERT_TRUE(sims.Start({{}, SLOW_DEVICE}));
    CScratchDir out;
    CliRunOptions options;
    options.Environment = {{"ASAN_OPTIONS", WithoutSegvHandler("ASAN_OPTIONS")},
                           {"TSAN_OPTIONS", WithoutSegvHandler("TSAN_OPTIONS")}};
    CCliProcess run;
    ASSERT_TRUE(
        run.Start(Joined({"read", "--output-dir", out.Path(), "--trace"}, sims.PortOptions()), options));
    // The child asks for the baud rate once it has traced the version.
    const pid_t child = ChildOnPortAfter(run.Pid(), sims[1], "baudrate\r");
    ASSERT_GT(child, 0);
    kill(child, SIGSEGV);
    const CliRunResult result = run.Finish();
    EXPECT_EQ(14, result.Exit) << result.Err;
    const std::string first =
        sims[0].PtyPath() + ": OK " + PortOutputPath(out.Path(), sims[0].PtyPath()) + "\n";
    const std::string crashed = sims[1].PtyPath() + ": WARNING: crashed (signal 11): zrvlink: ";
    EXPECT_EQ(0u, result.Out.find(first + crashed)) << result.Out;
}

TEST(ZrvlinkParallel, OneDeviceUnderTwoNamesIsAUsageError) {
    CSimProcess sim;
    CScratchDir dir;
    ASSERT_TRUE(sim.Start({"--link", dir / "link"})) << sim.Error();
    fs::create_symlink("/dev/null", dir / "null");
    CSetupFile file(SampleParamSet());
    const struct {
        std::vector<std::string> Ports;
        std::string Same; // "FIRST and SECOND", or empty for ports that are different devices
    } cases[] = {
        {{sim.PtyPath(), dir / "link"}, sim.PtyPath() + " and " + (dir / "link")},
        {{dir / "link", "/dev/zero", sim.PtyPath()}, (dir / "link") + " and " + sim.PtyPath()},
        {{"/dev/null", dir / "null"}, "/dev/null and " + (dir / "null")},
        {{"/dev/null", "/dev/../dev/null"}, "/dev/null and /dev/../dev/null"},
        {{"/dev/null", "/dev/zero"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> ports;
        for (const std::string& port : c.Ports) {
            ports.insert(ports.end(), {"--port", port});
        }
        for (const auto& command : {std::vector<std::string>{"write", file.Path()},
                                    std::vector<std::string>{"read", "--output-dir", dir.Path()}}) {
            const CliRunResult run = RunCli(Joined(command, ports));
            if (c.Same.empty()) {
                EXPECT_EQ(11, run.Exit) << "neither opens as a port: " << run.Err;
                continue;
            }
            EXPECT_EQ(2, run.Exit) << c.Same;
            EXPECT_EQ(0u, run.Err.find("zrvlink: ports " + c.Same + " are the same device\nUsage: "))
                << run.Err;
            EXPECT_EQ("", run.Out);
        }
    }
    sim.Stop();
    EXPECT_EQ("", ReadWholeFile(sim.LogPath())) << "nothing reached the device";
}

TEST(ZrvlinkParallel, AllPortsReachADeviceWithTwoNamesOnce) {
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0"}));
    devices.AddAlias("ttyACM1", "ttyACM0");
    CScratchDir out;
    const CliRunResult run = RunCli({"read", "--all", "--output-dir", out.Path()}, devices.Options());
    EXPECT_EQ(0, run.Exit) << run.Err;
    const std::string port = devices.DevPath("ttyACM0");
    EXPECT_EQ(port + ": OK " + PortOutputPath(out.Path(), port) + "\n", run.Out);
}

TEST_F(ZrvlinkAgainstSim, BackupThatIsFileUnderAnotherNameIsRefused) {
    const std::string port = StartDevice();
    CScratchDir dir;
    const std::string file = dir / "setup.dat";
    {
        CSetupFile sample(SampleParamSet());
        fs::copy_file(sample.Path(), file);
    }
    const std::string before = ReadWholeFile(file);
    fs::create_hard_link(file, dir / "hard.dat");
    fs::create_symlink(file, dir / "soft.dat");
    for (const std::string& backup :
         {dir.Path() + "/./setup.dat", dir.Path() + "//setup.dat", dir / "hard.dat", dir / "soft.dat"}) {
        const CliRunResult run = RunCli({"write", file, "--port", port, "--backup", backup});
        EXPECT_EQ(2, run.Exit) << backup;
        EXPECT_EQ(0u, run.Err.find("zrvlink: --backup " + backup + " is FILE " + file + " by another name\n"))
            << run.Err;
        EXPECT_EQ(before, ReadWholeFile(file)) << backup;
    }
    EXPECT_EQ("", Received()) << "refused before the device was touched";
}

TEST(ZrvlinkOutput, StdoutThatCannotBeWrittenIsAFailure) {
    CDetectedDevices devices;
    ASSERT_TRUE(devices.Add({"ttyACM0", "ttyACM1"}));
    ParamSet other = SampleParamSet();
    other.BaudRate = 9600;
    CSetupFile left(SampleParamSet());
    CSetupFile right(other);
    CScratchDir out;
    const std::vector<std::vector<std::string>> cases = {
        {"--help"},
        {"--version"},
        {"write", "--help"},
        {"ports"},
        {"ports", "--json"},
        {"check", left.Path()},
        {"check", left.Path(), "--json"},
        {"diff", left.Path(), right.Path()},
        {"read"},
        {"read", "--all", "--output-dir", out.Path()},
        {"write", left.Path(), "--all"},
    };
    CliRunOptions options = devices.Options();
    options.StdoutPath = "/dev/full";
    for (const auto& args : cases) {
        const CliRunResult run = RunCli(args, options);
        EXPECT_EQ(22, run.Exit) << args[0] << " " << args.back();
        EXPECT_EQ("WARNING: file save error\n", run.Err) << args[0] << " " << args.back();
    }
}

} // namespace
