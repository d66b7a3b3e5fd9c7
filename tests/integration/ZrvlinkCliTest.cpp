// The real zrvlink program against zrvlink-sim on pseudo-terminals: its contract (output, files, exit
// statuses and their one-line messages), backup, verify, diff, the JSON documents read back by a JSON
// parser, the long port listing, parallel runs (their children hung, crashed or orphaned), usage errors
// and output that cannot be written.
#include "CliRun.h"
#include "SampleParams.h"
#include "cli/parallel/BatchPlan.h"
#include "core/IPv4.h"
#include "portdetect/CommPortDetecter.h"
#include "portkit/CommPortPaths.h"
#include "portkit/PortKit.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// The "no thread" case makes thread creation fail with a stack limit so large that the kernel lays out
// memory differently; the sanitizer runtimes keep their shadow at fixed addresses and may abort on that
// layout (ThreadSanitizer did, on some kernels). The case runs in the plain build only.
constexpr bool SANITIZED_BUILD = ZRV_SANITIZED_BUILD != 0;

std::vector<std::string> Joined(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::string Shown(const std::vector<std::string>& args) {
    return testing::PrintToString(args);
}

// The lines of a text form, without their line ends.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.substr(0, line.find_last_not_of('\r') + 1));
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
    for (const auto& [key, value] : document.items()) {
        if (key != "Targets") {
            lines.push_back(key + "=" + (value.is_string() ? value.get<std::string>() : value.dump()));
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

// `args` as text and with --json: the same status and stderr both times. The text run, and the document
// (null after a failure, which prints none).
std::pair<CliRunResult, Json> RunTextAndJson(const std::vector<std::string>& args) {
    const CliRunResult text = RunCli(args);
    const CliRunResult json = RunCli(Joined(args, {"--json"}));
    EXPECT_EQ(text.Exit, json.Exit) << Shown(args);
    EXPECT_EQ(text.Err, json.Err) << Shown(args);
    EXPECT_TRUE(text.Exit <= 1 || json.Out.empty()) << json.Out;
    return {text, text.Exit <= 1 ? ParseJson(json.Out) : Json()};
}

// Setup files in a scratch folder and simulated devices, for one test.
class ZrvlinkAgainstSim : public ::testing::Test {
protected:
    std::string File(const char* name, const ParamSet& set) { return SaveSetup(m_dir / name, set); }
    std::string File(const char* name, const std::string& text) { return m_dir.Write(name, text); }
    // A simulator started with `args`; its pty.
    std::string Device(const std::vector<std::string>& args = {}) {
        m_sims.push_back(std::make_unique<CSimProcess>());
        EXPECT_TRUE(m_sims.back()->Start(args)) << m_sims.back()->Error();
        return m_sims.back()->PtyPath();
    }
    // A simulator whose state at the start is `state`.
    std::string DeviceHolding(const ParamSet& state, const std::vector<std::string>& args = {}) {
        return Device(Joined({"--load", File("start.dat", state)}, args));
    }
    CSimProcess& Sim(std::size_t i) { return *m_sims.at(i); }
    std::string Saved(std::size_t i = 0) {
        Sim(i).Stop();
        return ReadWholeFile(Sim(i).SavedPath());
    }

    CScratchDir m_dir;
    std::vector<std::unique_ptr<CSimProcess>> m_sims;
};

// What reached the device: nothing, commands but no write, or a write.
enum DeviceGot { NOTHING, NO_WRITE, WRITE };
// What stands in the way: nothing, a stack limit that leaves no room for a thread, another program that
// holds the port, or a port that the user may not open.
enum Hindrance { NONE, HUGE_STACK, HELD, FORBIDDEN };

// The names and contents of the files in `dir`.
std::map<std::string, std::string> FilesIn(const CScratchDir& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : dir.Names()) {
        files[name] = ReadWholeFile(dir / name);
    }
    return files;
}

// Every failure leaves the files as they were. A port that does not open says why, in the user's words. A
// backup that is FILE under another name is refused before the device is touched. A name that a setup
// file would give back otherwise fails each setup-file form before a file is written or anything is sent.
TEST_F(ZrvlinkAgainstSim, EveryFailureHasItsStatusAndOneLine) {
    const std::string good = File("good.dat", SampleParamSet());
    const std::string hard = m_dir / "hard.dat";
    const std::string soft = m_dir / "soft.dat";
    fs::create_hard_link(good, hard);
    fs::create_symlink(good, soft);
    const std::string bad = File("bad.dat", std::string("BaudRate=fast\r\n"));
    const std::string keyless = File("keyless.dat", std::string("\xEF\xBB\xBF; BaudRate=9600\r\n"));
    const std::string kept = File("kept.dat", std::string("BaudRate=9600\r\n"));
    const std::string fresh = m_dir / "fresh.dat";
    const std::vector<std::string> named = {"--load", good, "--target-name", "3:41;42 "};
    const std::string uncarried =
        "file save error: Target3 holds a name that a setup file cannot carry exactly "
        "(\";\" or a blank at its end); nothing was saved (read --json shows it whole)";
    const std::string noKey = "parameter error: no setup key found in " + keyless;
    const std::string missing = "/zrv/no/x.dat";
    const std::string noSave = "file save error: " + missing + ": no such file or directory";
    const std::string noPort = "cannot open " + missing + ": no such file or directory";
    const std::string denied = "cannot open PTY: permission denied (is the user in the dialout group?)";
    const std::vector<std::string> silent = {"--silent-after", "40"};
    // A file that would block a plain open for reading until a writer came; outside the folder compared.
    const CScratchDir elsewhere;
    const std::string fifo = elsewhere / "fifo.dat";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const struct {
        std::vector<std::string> SimArgs;
        std::vector<std::string> Args; // "PORT": --port and the simulator's pty
        Hindrance Obstacle;
        int Exit;
        std::string Err; // after "WARNING: "; "PTY" stands for the simulator's pty
        DeviceGot Got;
    } cases[] = {
        {{}, {"write", good, "PORT", "--backup", hard}, NONE, 2, "", NOTHING},
        {{}, {"write", good, "PORT", "--backup", soft}, NONE, 2, "", NOTHING},
        {{}, {"read"}, NONE, 10, "communication error", NOTHING},
        {{}, {"read", "--port", missing}, NONE, 11, noPort, NOTHING},
        // Another program, a second zrvlink included, has the port.
        {{}, {"read", "PORT"}, HELD, 11, "cannot open PTY: in use by another program", NOTHING},
        // Root is denied nothing: the program then runs as another user.
        {{}, {"read", "PORT"}, FORBIDDEN, 11, denied, NOTHING},
        {silent, {"read", "PORT", "--output", kept}, NONE, 12, "communication error", NO_WRITE},
        {{"--save-reply", "NG"}, {"write", good, "PORT"}, NONE, 13, "hardware error", WRITE},
        {{}, {"read", "PORT"}, HUGE_STACK, 14, "not enoungh resouce", NOTHING},
        {{}, {"write", fifo, "PORT"}, NONE, 21, "file load error: " + fifo + ": invalid argument", NOTHING},
        {{}, {"read", "PORT", "--output", missing}, NONE, 22, noSave, NO_WRITE},
        {named, {"read", "PORT"}, NONE, 22, uncarried, NO_WRITE},
        {named, {"read", "PORT", "--output", kept}, NONE, 22, uncarried, NO_WRITE},
        {named, {"read", "PORT", "--output", fresh}, NONE, 22, uncarried, NO_WRITE},
        {named, {"write", good, "PORT", "--backup", fresh}, NONE, 22, uncarried, NO_WRITE},
        // A backup that cannot be saved stops the write.
        {{}, {"write", good, "PORT", "--backup", missing}, NONE, 22, noSave, NO_WRITE},
        {{}, {"write", bad, "PORT"}, NONE, 23, "parameter error", NOTHING},
        {{}, {"check", bad, "--json"}, NONE, 23, "parameter error", NOTHING},
        {{}, {"write", keyless, "PORT"}, NONE, 23, noKey, NOTHING},
        // In parallel, a file that does not load is reported once and no port's process starts.
        {{}, {"write", bad, "PORT", "--port", "/dev/null"}, NONE, 23, "parameter error", NOTHING},
    };
    const CliRunOptions nothingDetected = CDetectedDevices().Options();
    const std::map<std::string, std::string> before = FilesIn(m_dir);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const std::string pty = Device(c.SimArgs);
        if (c.Obstacle == HUGE_STACK && SANITIZED_BUILD) {
            continue;
        }
        std::vector<std::string> args;
        for (const std::string& arg : c.Args) {
            args = Joined(args, arg == "PORT" ? std::vector<std::string>{"--port", pty} : std::vector{arg});
        }
        const int32_t held = c.Obstacle == HELD
                                 ? CreateCommPort(RegisterCommPortPath(pty.c_str()), 9600, 8, 'N', 1, 0, 0, 0)
                                 : -1;
        ASSERT_EQ(c.Obstacle == HELD, held >= 0) << pty;
        ASSERT_TRUE(c.Obstacle != FORBIDDEN || chmod(pty.c_str(), 0) == 0) << pty;
        CliRunOptions options = nothingDetected;
        options.HugeStackLimit = c.Obstacle == HUGE_STACK;
        options.Unprivileged = c.Obstacle == FORBIDDEN;
        const CliRunResult run = RunCli(args, options);
        DestroyCommPort(held);
        std::string err = c.Exit == 2
                              ? "zrvlink: --backup " + args.back() + " is FILE " + good + " by another name"
                              : "WARNING: " + c.Err;
        if (Contains(err, "PTY")) {
            err.replace(err.find("PTY"), 3, pty);
        }
        EXPECT_EQ(c.Exit, run.Exit) << Shown(args) << run.Err;
        EXPECT_EQ(err + "\n", c.Exit == 2 ? run.Err.substr(0, err.size() + 1) : run.Err) << Shown(args);
        EXPECT_EQ("", run.Out) << Shown(args) << ": a failure prints no document";
        EXPECT_EQ(before, FilesIn(m_dir)) << Shown(args);
        const std::string received = Received(Sim(i));
        EXPECT_EQ(c.Got == NOTHING, received.empty()) << Shown(args);
        EXPECT_EQ(c.Got == WRITE, Contains(received, "target 0 ")) << Shown(args);
    }
}

// The destination at the device's own address goes disabled and the baud rate 0 is not sent: neither is
// a difference to verify. The backup holds what the device held.
TEST_F(ZrvlinkAgainstSim, WriteShowsInTheDevicesSavedStateAndVerifyCatchesAValueThatDidNotStick) {
    const std::string port = Device({"--ignore-set", "target:3"});
    ParamSet sent = SampleParamSet();
    sent.BaudRate = 0;
    sent.Target[4].Address = sent.IPAddress;
    sent.Target[4].Enable = 1;
    const std::string backup = m_dir / "old.dat";
    EXPECT_EQ((CliRunResult{15, "", "WARNING: verify error\nTarget3: 1,10.0.0.3 -> 1,0.0.0.0\n"}),
              RunCli({"write", File("sent.dat", sent), "--port", port, "--verify", "--backup", backup}));
    EXPECT_EQ(SaveText(DefaultParamSet()), ReadWholeFile(backup));
    sent.BaudRate = DefaultParamSet().BaudRate;
    sent.Target[3].Address = 0;
    sent.Target[4].Enable = 0;
    EXPECT_EQ(SaveText(sent), Saved());
}

// read prints the device as Save writes it, and --output replaces what the file held, from devices that
// put garbage before every byte, answer within the time limit but late, or send each byte on its own;
// check prints what loading made of the file, not the file; diff compares files and devices key by key.
// --json carries the same: the setup, whose "Name" is what the stored digits spell, null where they spell
// nothing exactly, whole where a setup file could not carry it; and the list of differences.
TEST_F(ZrvlinkAgainstSim, ReadCheckAndDiffPrintTheirTextAndJsonCarriesTheSame) {
    const struct {
        const char* Hex;
        Json Name;
    } names[] = {
        {"", ""},
        {"5A5256", "ZRV"},
        {"4a4b", "JK"},        // either case
        {"C3A9", "\xC3\xA9"},  // UTF-8 text
        {"4G42", nullptr},     // not a hexadecimal pair
        {"414", nullptr},      // a lone last digit
        {"41004243", nullptr}, // a zero byte inside
        {"E9", nullptr},       // no UTF-8
    };
    const std::string port =
        DeviceHolding(SampleParamSet(), {"--garbage", "--delay-command", "baudrate:1500"});
    std::string text = "; comment\nbaudrate = 9600\ntarget9=2,010.0.0.9\n";
    ParamSet loaded{};
    loaded.BaudRate = 9600;
    loaded.Target[9] = ParamTarget{1, MakeIPv4(10, 0, 0, 9), ""};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        text += "Target" + std::to_string(i) + "=1,10.0.0.1," + names[i].Hex + "\r\n";
        loaded.Target[i] = ParamTarget{1, MakeIPv4(10, 0, 0, 1), ""};
        std::strcpy(loaded.Target[i].Name, names[i].Hex);
    }
    ParamSet other = SampleParamSet();
    other.BaudRate = 9600;
    other.Target[3].Enable = 0;
    other.Target[3].Address = MakeIPv4(10, 0, 0, 33);
    std::strcpy(other.Target[31].Name, "4142");
    const std::string otherPort = DeviceHolding(other);
    const std::string left = File("left.dat", SampleParamSet());
    const std::string same = File("same.dat", SampleParamSet());
    const std::string right = File("right.dat", other);
    const std::string bad = File("bad.dat", std::string("Target40=1,1.2.3.4\r\n"));
    const std::string notFound = "WARNING: file load error: /zrv/no/x.dat: no such file or directory\n";
    const std::string bytewise = DeviceHolding(SampleParamSet(), {"--byte-by-byte"});
    const std::string sample = SaveText(SampleParamSet());
    const std::string lines = "BaudRate: 57600 -> 9600\nTarget3: 1,10.0.0.3 -> 0,10.0.0.33\nTarget31: "
                              "0,10.0.0.31 -> 0,10.0.0.31,4142\n";
    const struct {
        std::vector<std::string> Args;
        int Exit;
        std::string Out;
        std::string Err;
    } cases[] = {
        {{"read", "--port", port}, 0, sample, ""},
        {{"read", "--port", bytewise}, 0, sample, ""},
        {{"check", File("names.dat", text)}, 0, SaveText(loaded), ""},
        {{"diff", left, same}, 0, "", ""},
        {{"diff", left, right}, 1, lines, ""},
        {{"diff", left, "--port", otherPort}, 1, lines, ""},
        {{"diff", right, "--port", otherPort}, 0, "", ""},
        {{"diff", left, bad}, 23, "", "WARNING: parameter error\n"},
        {{"diff", "/zrv/no/x.dat", same}, 21, "", notFound},
    };
    for (const auto& c : cases) {
        const auto [run, document] = RunTextAndJson(c.Args);
        EXPECT_EQ((CliRunResult{c.Exit, c.Out, c.Err}), run) << Shown(c.Args);
        std::vector<std::string> listed;
        for (const Json& difference : c.Args[0] == "diff" ? document : Json()) {
            listed.push_back(difference.value("Key", "") + ": " + difference.value("Left", "") + " -> " +
                             difference.value("Right", ""));
        }
        EXPECT_EQ(LinesOf(c.Out), c.Args[0] == "diff" ? listed : SetupLinesOf(document)) << Shown(c.Args);
        for (std::size_t i = 0; c.Args[0] == "check" && i < std::size(names); ++i) {
            EXPECT_EQ(names[i].Name, document["Targets"][i].value("Name", Json("missing"))) << names[i].Hex;
        }
    }
    const std::string named = Device({"--target-name", "3:41;42 "});
    EXPECT_EQ("41;42 ",
              ParseJson(RunCli({"read", "--port", named, "--json"}).Out)["Targets"][3].value("NameHex", ""));
    // Into a file: silent, and what the file held replaced.
    const std::string output = File("output.dat", std::string("BaudRate=9600\r\n"));
    EXPECT_EQ((CliRunResult{0, "", ""}), RunCli({"read", "--port", port, "--output", output}));
    EXPECT_EQ(sample, ReadWholeFile(output));
}

// Only the device's ports, in detection order; the long forms name each one's USB device.
TEST(ZrvlinkPorts, LongListingNamesEachPortsUsbDeviceAndSerialNumber) {
    CFakeSysfs sysfs;
    CScratchDir dev;
    CliRunOptions options;
    options.Environment = {{"ZRVLINK_SYSFS_ROOT", sysfs.Root()}, {"ZRVLINK_DEV_ROOT", dev.Path()}};
    EXPECT_EQ((CliRunResult{0, "", ""}), RunCli({"ports"}, options)) << "no device is no failure";
    sysfs.AddAcmTty("ttyACM1", 0x0403, 0x6001, "A9K2LQ");                 // another USB device
    sysfs.AddVendorTty("ttyUSB0", DEVICE_USB_VID, DEVICE_USB_PID);        // no serial number
    sysfs.AddAcmTty("ttyACM2", DEVICE_USB_VID, DEVICE_USB_PID, "ZRV\t7"); // a tab would split the field
    const struct {
        const char* Tty;
        const char* Serial; // as the text form shows it
        Json SerialJson;
    } ports[] = {{"ttyACM2", "ZRV?7", "ZRV\t7"}, {"ttyUSB0", "-", nullptr}};
    std::string names;
    std::string lines;
    Json records = Json::array();
    for (const auto& port : ports) {
        const std::string location = fs::canonical(sysfs.UsbDevicePath(port.Tty)).string();
        names += dev / port.Tty + "\n";
        lines += dev / port.Tty + "\tfe5a:0016\t" + port.Serial + "\t" + location + "\n";
        records.push_back({{"Port", dev / port.Tty}, {"Vid", "fe5a"}, {"Pid", "0016"}});
        records.back()["Serial"] = port.SerialJson;
        records.back()["Location"] = location;
    }
    // --json alone gives the long fields.
    const struct {
        std::vector<std::string> Args;
        std::string Out;
    } cases[] = {{{"ports"}, names}, {{"ports", "--long"}, lines}, {{"ports", "--json"}, records.dump()}};
    for (const auto& c : cases) {
        const CliRunResult run = RunCli(c.Args, options);
        EXPECT_EQ(0, run.Exit) << run.Err;
        EXPECT_EQ(c.Out, Contains(c.Args.back(), "json") ? ParseJson(run.Out).dump() : run.Out)
            << Shown(c.Args);
    }
}

// Each child of a device that answers every command after a second would take minutes.
const std::vector<std::string> SLOW_DEVICE = {"--delay", "1000"};

// Lines in the order of the ports, each with its own port's result, a hung port's ended at the limit while
// the others report; the status of the first that failed.
TEST_F(ZrvlinkAgainstSim, EachPortReportsInOrderAndTheStatusIsThatOfTheFirstThatFailed) {
    std::vector<std::string> args = {"write", "--verify", File("sent.dat", SampleParamSet())};
    const std::vector<std::vector<std::string>> devices = {
        {}, {"--silent-after", "10"}, {"--save-reply", "NG"}, {"--ignore-set", "name:0"}, SLOW_DEVICE, {}};
    for (const auto& device : devices) {
        args.insert(args.end(), {"--port", Device(device)});
    }
    CliRunOptions options;
    options.Environment = {{"ZRVLINK_CHILD_LIMIT_MS", "10000"}};
    const std::string lines =
        Sim(0).PtyPath() + ": OK\n" + Sim(1).PtyPath() + ": WARNING: communication error\n" +
        Sim(2).PtyPath() + ": WARNING: hardware error\n" + Sim(3).PtyPath() +
        ": WARNING: verify error; Target0: 1,10.0.0.0,5A5256 -> 1,10.0.0.0\n" + Sim(4).PtyPath() +
        ": WARNING: communication error\n" + Sim(5).PtyPath() + ": OK\n";
    EXPECT_EQ((CliRunResult{12, lines, ""}), RunCli(args, options));
    EXPECT_EQ(SaveText(SampleParamSet()), Saved(0));
    EXPECT_EQ(SaveText(SampleParamSet()), Saved(5));
    EXPECT_FALSE(Contains(Received(Sim(4)), "save\r")) << "ended mid-write";
}

// On a terminal a quarter of the read's commands fill a quarter of the bar, which is 40 wide and cleared
// at the end. Where stderr is no terminal, every other run shows it empty.
TEST_F(ZrvlinkAgainstSim, ProgressBarIsDrawnOnATerminal) {
    const CFd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(master.IsOpen() && grantpt(master.Get()) == 0 && unlockpt(master.Get()) == 0);
    CliRunOptions terminal;
    terminal.StderrPath = ptsname(master.Get());
    EXPECT_EQ(0, RunCli({"read", "--port", Device()}, terminal).Exit);
    std::string drawn; // all that the terminal holds once the program's side has closed
    char block[4096];
    for (ssize_t got = 0; (got = read(master.Get(), block, sizeof block)) > 0;) {
        drawn.append(block, static_cast<std::size_t>(got));
    }
    const std::string quarter = "\r[" + std::string(10, '#') + std::string(30, ' ') + "]  25%";
    EXPECT_TRUE(Contains(drawn, quarter)) << drawn;
    EXPECT_TRUE(Contains(drawn, "\r[" + std::string(40, '#') + "] 100%")) << drawn;
    const std::string cleared = "\r" + std::string(quarter.size() - 1, ' ') + "\r";
    EXPECT_EQ(cleared, drawn.substr(drawn.size() - std::min(drawn.size(), cleared.size())));
}

TEST_F(ZrvlinkAgainstSim, TraceGoesToStderrAndTheFailureLineStillEndsIt) {
    const CliRunResult run = RunCli({"read", "--port", Device({"--silent-after", "3"}), "--trace"});
    EXPECT_EQ(12, run.Exit);
    EXPECT_TRUE(Contains(run.Err, "  vers = ZRV-Link simulator 1.0\n")) << run.Err;
    EXPECT_TRUE(Contains(run.Err, "  WARNING: communication timeout\n")) << run.Err;
    const std::string last = "\nWARNING: communication error\n";
    EXPECT_EQ(run.Err.size() - last.size(), run.Err.rfind(last)) << run.Err;
    // A port that does not open: the port layer's line with the system's code, then the engine's.
    const CliRunResult refused = RunCli({"read", "--port", "/zrv/no/tty", "--trace"});
    EXPECT_TRUE(Contains(refused.Err, "  WARNING: cannot open \"/zrv/no/tty\": error 2\nzrvlink: "))
        << refused.Err;
    EXPECT_TRUE(Contains(refused.Err, "  WARNING: cannot open COM")) << refused.Err;
}

// The command of the usage that follows a usage error: the first word that names one.
std::string UsageOf(const std::vector<std::string>& args) {
    for (const char* command : {"ports", "read", "write", "check", "diff", "provision"}) {
        if (std::find(args.begin(), args.end(), command) != args.end()) {
            return command;
        }
    }
    return "COMMAND";
}

// The parser library's rules as we set them up, and our own, each once: what a script gets wrong, and
// what would otherwise go unnoticed (an empty value read as "not given", two ports reading into one file,
// one device under two names however far apart and however spelled).
TEST(ZrvlinkUsage, UsageErrorsExitWithTwoAndTheUsage) {
    const CScratchDir dir;
    const std::string link = dir / "null";
    fs::create_symlink("/dev/null", link);
    const struct {
        std::vector<std::string> Args;
        std::string Error; // a part of the line after "zrvlink: "
    } cases[] = {
        {{}, "no command given"},
        {{"flash"}, "flash"},
        {{"--version", "read"}, "--version takes no command"},
        {{"read", "--colour"}, "--colour"},
        {{"read", "--port", ""}, "--port: needs a value"},
        {{"read", "--output="}, "--output"},
        {{"write"}, "FILE"},
        {{"diff", "a.dat", "b.dat", "c.dat"}, "c.dat"},
        {{"diff", "a.dat", "b.dat", "--port", "/dev/pts/1"}, "FILE2"},
        {{"diff", "a.dat", "--port", "A", "--port", "B"}, "--port"},
        {{"read", "--port", "A", "--port", "B"}, "several ports need --output-dir DIR"},
        {{"read", "--all"}, "several ports need --output-dir DIR"},
        {{"read", "--all", "--port", "A", "--output-dir", "d"}, "--all"},
        {{"read", "--output", "a", "--output-dir", "d"}, "--output-dir"},
        {{"read", "--json", "--output", "a"}, "--json"},
        {{"write", "a.dat", "--all", "--backup", "b.dat"}, "--backup"},
        {{"write", "a.dat", "--port", "A", "--port", "B", "--backup", "b.dat"},
         "--backup takes a single port"},
        {{"write", "a.dat", "--port", "A", "--port", "A"}, "ports A and A are the same device"},
        {{"read", "--output-dir", "d", "--port", link, "--port", "/dev/zero", "--port", "/dev/null"},
         "ports " + link + " and /dev/null are the same device"},
        {{"read", "--output-dir", "d", "--port", "/dev/null", "--port", "/dev/../dev/null"},
         "ports /dev/null and /dev/../dev/null are the same device"},
        {{"read", "--port", "/dev/pts/3", "--port", "/dev/pts-3", "--output-dir", "out"},
         "port /dev/pts-3 would read into the file of another port"},
        {{"write", "a.dat", "--result-line"}, "--result-line takes exactly one --port"},
        {{"read", "--port", "A", "--report-steps"}, "--report-steps takes --result-line"},
        {{"provision", "--template", "b.dat", "--record", "r.csv"},
         "provision takes --plan UNITS.csv or --ip-range FIRST-LAST"},
        {{"provision", "--template", "b.dat", "--record", "r.csv", "--plan", "u.csv", "--ip-range", "A-B"},
         "--plan excludes --ip-range"},
        {{"provision", "--template", "b.dat", "--plan", "u.csv"}, "--record"},
    };
    for (const auto& c : cases) {
        const CliRunResult run = RunCli(c.Args);
        const std::string shown = Shown(c.Args);
        EXPECT_EQ(2, run.Exit) << shown;
        const std::string line = run.Err.substr(0, run.Err.find('\n'));
        EXPECT_EQ(0u, line.find("zrvlink: ")) << shown << ": " << run.Err;
        EXPECT_TRUE(Contains(line, c.Error)) << shown << ": " << line;
        EXPECT_EQ(line.size() + 1, run.Err.find("Usage: zrvlink " + UsageOf(c.Args)))
            << shown << ": " << run.Err;
        EXPECT_EQ("", run.Out) << shown;
    }
}

TEST_F(ZrvlinkAgainstSim, KilledParentLeavesNoChildRunning) {
    CCliProcess run;
    ASSERT_TRUE(run.Start({"write", File("sent.dat", SampleParamSet()), "--port", Device(SLOW_DEVICE),
                           "--port", Device(SLOW_DEVICE)}));
    std::vector<pid_t> children;
    ASSERT_TRUE(WaitFor([&] { return (children = ChildrenOf(run.Pid())).size() == 2; }));
    const std::vector<CFd> watched = Watch(children);
    kill(run.Pid(), SIGKILL);
    EXPECT_EQ(-1, run.Finish().Exit);
    EXPECT_TRUE(AllEnded(watched, EVENTUALLY_MS)) << "a child still writes to its device";
}

// The sanitizers' own handler would turn the signal into a report of theirs.
std::string WithoutSegvHandler(const char* variable) {
    const char* options = std::getenv(variable);
    return std::string(options != nullptr ? options : "") + ":handle_segv=0";
}

// Every child's trace reaches stderr, each line marked with its port.
TEST_F(ZrvlinkAgainstSim, CrashedChildIsReportedWithItsLastTraceLine) {
    const std::vector<std::string> ports = {Device(), Device(SLOW_DEVICE)};
    CliRunOptions options;
    options.Environment = {{"ASAN_OPTIONS", WithoutSegvHandler("ASAN_OPTIONS")},
                           {"TSAN_OPTIONS", WithoutSegvHandler("TSAN_OPTIONS")}};
    CCliProcess run;
    ASSERT_TRUE(run.Start(
        {"read", "--output-dir", m_dir.Path(), "--trace", "--port", ports[0], "--port", ports[1]}, options));
    // The slow device's child, alone once the other has ended, asks for the baud rate after it has traced
    // the version.
    std::vector<pid_t> children;
    ASSERT_TRUE(WaitFor([&] {
        return WaitReceived(Sim(1), "baudrate\r") && (children = ChildrenOf(run.Pid())).size() == 1;
    }));
    kill(children[0], SIGSEGV);
    const CliRunResult result = run.Finish();
    EXPECT_EQ(14, result.Exit) << result.Err;
    const std::string first = ports[0] + ": OK " + PortOutputPath(m_dir.Path(), ports[0]) + "\n";
    const std::string crashed = ports[1] + ": WARNING: crashed (signal 11): zrvlink: ";
    EXPECT_EQ(0u, result.Out.find(first + crashed)) << result.Out;
    EXPECT_TRUE(Contains(result.Err, ports[0] + ": zrvlink: ") && Contains(result.Err, "  done..\n"))
        << result.Err;
    for (const std::string& line : LinesOf(result.Err)) {
        EXPECT_TRUE(line.rfind(ports[0] + ": zrvlink: ", 0) == 0 ||
                    line.rfind(ports[1] + ": zrvlink: ", 0) == 0)
            << line;
    }
}

// Help, the version and every command's document go to stdout, and a stdout that cannot be written is a
// failure. Without --port the first device found is read; with --all each device once, a device with two
// names too.
TEST(ZrvlinkOutput, HelpVersionAndDocumentsGoToAStdoutThatMustTakeThem) {
    CDetectedDevices devices;
    CScratchDir out;
    ParamSet other = SampleParamSet();
    other.BaudRate = 9600;
    const std::string left = SaveSetup(out / "left.dat", SampleParamSet());
    const std::string right = SaveSetup(out / "right.dat", other);
    ASSERT_TRUE(devices.Plug("ttyACM0", {"--load", left}) && devices.Plug("ttyACM2"));
    devices.AddAlias("ttyACM1", "ttyACM0");
    const auto saved = [&](const char* tty) { return PortOutputPath(out.Path(), devices.DevPath(tty)); };
    const std::string all = devices.DevPath("ttyACM0") + ": OK " + saved("ttyACM0") + "\n" +
                            devices.DevPath("ttyACM2") + ": OK " + saved("ttyACM2") + "\n";
    const struct {
        std::vector<std::string> Args;
        std::string Start; // of stdout
    } cases[] = {
        {{"--help"}, "Usage: zrvlink COMMAND"},
        {{"--version"}, "zrvlink 0."},
        {{"ports"}, devices.DevPath("ttyACM0") + "\n"},
        {{"check", left}, "BaudRate=57600\r\n"},
        {{"check", left, "--json"}, "{"},
        {{"diff", left, right}, "BaudRate: 57600 -> 9600\n"},
        {{"read"}, SaveText(SampleParamSet())},
        {{"read", "--all", "--output-dir", out.Path()}, all},
    };
    for (const auto& c : cases) {
        CliRunOptions options = devices.Options();
        const CliRunResult run = RunCli(c.Args, options);
        EXPECT_EQ(c.Args[0] == "diff" ? 1 : 0, run.Exit) << Shown(c.Args) << run.Err;
        EXPECT_EQ(0u, run.Out.find(c.Start)) << Shown(c.Args) << run.Out;
        EXPECT_EQ("", run.Err) << Shown(c.Args);
        options.StdoutPath = "/dev/full";
        const CliRunResult full = RunCli(c.Args, options);
        EXPECT_EQ(22, full.Exit) << Shown(c.Args);
        EXPECT_EQ("WARNING: file save error\n", full.Err) << Shown(c.Args);
    }
    EXPECT_EQ(SaveText(SampleParamSet()), ReadWholeFile(saved("ttyACM0")));
    EXPECT_EQ(SaveText(DefaultParamSet()), ReadWholeFile(saved("ttyACM2")));
}

} // namespace
