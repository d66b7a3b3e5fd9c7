// A line of a Linux station (zrvlink) and a Windows station (zrvlink.exe under Wine, its devices on COM
// ports) on one ledger, on a PostgreSQL server of the test's own that takes TLS only: one plan set up
// together, each reading what the other wrote, the Windows station's journal while the server is away,
// and its name taken back after it was killed. Run by run-in-own-prefix.sh in a Wine session
// (ZRV_ZRVLINK_EXE: zrvlink.exe); test side of the ledger, Linux only.
#include "CliRun.h"
#include "PostgresServer.h"

#include "provisioning/ledger/Ledger.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

const char WINE[] = "/usr/lib/wine/wine64";
const char TEMPLATE[] = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n";

// A Linux path as a Windows program under Wine names it, on drive Z:.
std::string WindowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// A path below drive C: of the Wine prefix ("C:\users\...") as Linux names it.
std::string PrefixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return EnvironmentText("WINEPREFIX") + "/drive_c" + path.substr(2);
}

// Runs `program` (zrvlink.exe, or a tool of Wine's own such as reg) under Wine.
CliRunOptions OnWine(const std::string& program = EnvironmentText("ZRV_ZRVLINK_EXE")) {
    CliRunOptions options;
    options.Program = {WINE, program};
    return options;
}

// Devices on COM ports of the Wine prefix: each a simulator whose pty the prefix maps as COMn, listed in
// the system's serial-port map as a plugged USB serial device is.
class CWinePorts {
public:
    bool Plug(int port, std::vector<std::string> simArgs = {}) {
        auto sim = std::make_unique<CSimProcess>();
        const std::string name = "COM" + std::to_string(port);
        simArgs.insert(simArgs.begin(),
                       {"--link", EnvironmentText("WINEPREFIX") + "/dosdevices/com" + std::to_string(port)});
        if (!sim->Start(simArgs)) {
            ADD_FAILURE() << sim->Error();
            return false;
        }
        m_sims[port] = std::move(sim);
        const CliRunResult listed = RunCli({"add", "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", "/v",
                                            "\\Device\\ZrvSim" + std::to_string(port), "/d", name, "/f"},
                                           OnWine("reg"));
        EXPECT_EQ(0, listed.Exit) << testing::PrintToString(listed);
        return listed.Exit == 0;
    }
    CSimProcess& Sim(int port) { return *m_sims.at(port); }

private:
    std::map<int, std::unique_ptr<CSimProcess>> m_sims;
};

class LineOnWine : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_started = s_server.Start(&s_startError, PostgresOptions{true, false, true});
    }

    void SetUp() override {
        ASSERT_TRUE(s_started) << s_startError;
        ASSERT_FALSE(EnvironmentText("WINEPREFIX").empty()) << "no Wine session (run-in-own-prefix.sh)";
        m_files.Write("base.dat", TEMPLATE);
    }

    // The database `name`, made now; the Linux stations' URL of it (verify-full against the server's root).
    void NewLedger(const std::string& name) { m_url = s_server.NewDatabase(name); }
    // The Windows stations' URL of the same: the server's root as Windows names it.
    std::string WindowsUrl() const {
        return m_url.substr(0, m_url.rfind('=') + 1) + WindowsPath(s_server.RootCertificate());
    }
    // A station on the ledger; its plan is an address range from 192.168.7.21 on.
    static std::vector<std::string> StationArgs(const std::string& station, int units, const std::string& url,
                                                const std::string& base, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"provision", "--template", base, "--ip-range",
                                   "192.168.7.21-192.168.7." + std::to_string(20 + units), "--ledger", url,
                                   "--station", station});
        return more;
    }
    std::vector<RecordRow> Rows() const {
        std::vector<RecordRow> rows;
        std::string error;
        EXPECT_TRUE(ReadLedgerRows(m_url, &rows, &error)) << error;
        return rows;
    }

    static inline CPostgresServer s_server;
    static inline bool s_started = false;
    static inline std::string s_startError;
    CScratchDir m_files;
    std::string m_url;
};

// Three devices on each system, six units: the Linux station, started first, can take three at most, so
// the Windows station sets up the rest. Then zrvlink.exe reads the line as zrvlink does: the same
// units and stations, and the export byte for byte, into a file and on stdout.
TEST_F(LineOnWine, WindowsAndLinuxStationsSetUpOnePlanTogetherAndReadWhatEachOtherWrote) {
    constexpr int UNITS = 6;
    const std::vector<int> COM_PORTS = {11, 12, 13};
    NewLedger("line");
    CDetectedDevices linuxDevices;
    ASSERT_TRUE(linuxDevices.Add({"ttyACM0", "ttyACM1", "ttyACM2"}));
    CWinePorts windowsDevices;
    std::vector<std::string> ports;
    for (const int port : COM_PORTS) {
        ASSERT_TRUE(windowsDevices.Plug(port));
        ports.insert(ports.end(), {"--port", "COM" + std::to_string(port)});
    }
    CCliProcess linuxStation;
    CCliProcess windowsStation;
    ASSERT_TRUE(
        linuxStation.Start(StationArgs("lin-1", UNITS, m_url, m_files / "base.dat"), linuxDevices.Options()));
    ASSERT_TRUE(windowsStation.Start(
        StationArgs("win-1", UNITS, WindowsUrl(), WindowsPath(m_files / "base.dat"), ports), OnWine()));
    // Each ends by itself once the plan is done; one that does not would wait for ever.
    for (CCliProcess* station : {&windowsStation, &linuxStation}) {
        ASSERT_TRUE(station->WaitEnd(EVENTUALLY_MS)) << station->OutSoFar();
        const CliRunResult run = station->Finish();
        EXPECT_EQ(0, run.Exit) << testing::PrintToString(run);
    }

    // Every unit done once, on the device that holds its address now; no address on two devices.
    std::map<std::string, std::string> doneOn; // unit -> its port
    for (const RecordRow& row : Rows()) {
        EXPECT_TRUE(row.Event != RecordEvent::Done || doneOn.emplace(row.Unit, row.Port).second) << row.Unit;
    }
    EXPECT_EQ(static_cast<std::size_t>(UNITS), doneOn.size());
    std::map<std::string, std::string> held; // address -> the port of its device
    for (int i = 0; i < 3; ++i) {
        const std::string tty = "ttyACM" + std::to_string(i);
        held.emplace(SavedAddress(linuxDevices.SimOf(tty)), linuxDevices.DevPath(tty));
        const int port = COM_PORTS[static_cast<std::size_t>(i)];
        held.emplace(SavedAddress(windowsDevices.Sim(port)), "COM" + std::to_string(port));
    }
    EXPECT_EQ(doneOn, held) << "each unit's address on the device it was done on, and no address twice";

    // zrvlink.exe reads what the Linux station wrote: its events, its name and PC (the Windows station's
    // PC, the same machine, by the same name).
    const CliRunResult status = RunCli({"ledger", "status", "--ledger", WindowsUrl(), "--json"}, OnWine());
    ASSERT_EQ(0, status.Exit) << testing::PrintToString(status);
    const nlohmann::json line = nlohmann::json::parse(status.Out, nullptr, false);
    EXPECT_EQ(nlohmann::json({{"done", UNITS}}), line.value("Units", nlohmann::json())) << status.Out;
    std::map<std::string, std::string> hosts;
    for (const nlohmann::json& station : line.value("Stations", nlohmann::json::array())) {
        hosts[station.value("Name", "")] = station.value("Host", "");
    }
    char host[256] = {};
    ASSERT_EQ(0, gethostname(host, sizeof host - 1));
    EXPECT_EQ((std::map<std::string, std::string>{{"lin-1", host}, {"win-1", host}}), hosts) << status.Out;
    const CliRunResult linuxExport = RunCli({"ledger", "export", "--ledger", m_url});
    ASSERT_EQ(0, linuxExport.Exit) << testing::PrintToString(linuxExport);
    EXPECT_TRUE(Contains(linuxExport.Out, ",lin-1\r\n") && Contains(linuxExport.Out, ",win-1\r\n"));
    const CliRunResult toStdout = RunCli({"ledger", "export", "--ledger", WindowsUrl()}, OnWine());
    EXPECT_EQ(0, toStdout.Exit) << toStdout.Err;
    EXPECT_EQ(linuxExport.Out, toStdout.Out) << "the export on Windows' stdout";
    const CliRunResult toFile =
        RunCli({"ledger", "export", "--ledger", WindowsUrl(), "--output", WindowsPath(m_files / "site.csv")},
               OnWine());
    EXPECT_EQ(0, toFile.Exit) << toFile.Err;
    EXPECT_EQ(linuxExport.Out, ReadWholeFile(m_files / "site.csv")) << "the export into a file on Windows";
}

// The Windows station loses the server in the middle of a write: the device's end is kept in its journal
// below the user's local application data folder, and committed when the server is back. Ctrl-C then
// ends the station under Wine as on Windows.
TEST_F(LineOnWine, WindowsStationKeepsItsJournalWhileTheServerIsAwayAndCommitsItWhenBack) {
    NewLedger("away");
    CWinePorts devices;
    // 32 names cleared one by one: several seconds of the write still to go once the first is.
    ASSERT_TRUE(devices.Plug(15, {"--delay-command", "clrname:200"}));
    CCliProcess station;
    ASSERT_TRUE(station.Start(
        StationArgs("win-away", 2, WindowsUrl(), WindowsPath(m_files / "base.dat"), {"--port", "COM15"}),
        OnWine()));
    ASSERT_TRUE(WaitReceived(devices.Sim(15), "clrname 0\r")) << station.OutSoFar();
    ASSERT_TRUE(s_server.Stop());
    const std::string kept = "events are kept in ";
    ASSERT_TRUE(station.WaitOut("written and verified") && station.WaitOut(kept)) << station.OutSoFar();
    const std::string out = station.OutSoFar();
    const std::size_t from = out.find(kept) + kept.size();
    const std::string journal = out.substr(from, out.find(" until", from) - from);
    EXPECT_EQ(0u, journal.find("C:\\users\\")) << journal;
    EXPECT_TRUE(Contains(journal, "\\AppData\\Local\\zrvlink\\ledger-win-away-")) << journal;
    const std::string whileAway = ReadWholeFile(PrefixPath(journal));
    EXPECT_TRUE(Contains(whileAway, ",COM15,") && Contains(whileAway, ",done,")) << whileAway;

    ASSERT_TRUE(s_server.StartAgain());
    ASSERT_TRUE(station.WaitOut("is back: 1 event kept here committed")) << station.OutSoFar();
    EXPECT_EQ("192.168.7.21: started done", EventsOf(Rows()));
    EXPECT_FALSE(Contains(ReadWholeFile(PrefixPath(journal)), ",done,")) << "committed, yet still kept";
    kill(station.Pid(), SIGINT);
    ASSERT_TRUE(station.WaitEnd(EVENTUALLY_MS)) << "Ctrl-C did not end the station: " << station.OutSoFar();
    const CliRunResult end = station.Finish();
    EXPECT_EQ(30, end.Exit) << testing::PrintToString(end);
    EXPECT_TRUE(Contains(end.Out, "Ctrl-C")) << testing::PrintToString(end);
}

// A Windows station killed without a word holds its name by its lease; its next run on this PC finds its
// process gone (Windows' process numbers, not Linux's) and takes the name at once, saying so, instead of
// refusing it until the lease and the writes it may have begun run out.
TEST_F(LineOnWine, KilledWindowsStationsNameIsTakenByItsNextRunOnThisPc) {
    NewLedger("killed");
    const std::vector<std::string> args =
        StationArgs("win-killed", 2, WindowsUrl(), WindowsPath(m_files / "base.dat"), {"--port", "COM16"});
    CCliProcess killed;
    ASSERT_TRUE(killed.Start(args, OnWine()));
    ASSERT_TRUE(killed.WaitOut("station: 2 units")) << killed.OutSoFar();
    kill(killed.Pid(), SIGKILL);
    killed.Finish();
    std::vector<std::string> once = args;
    once.push_back("--once");
    const CliRunResult again = RunCliWithin(EVENTUALLY_MS, once, OnWine());
    EXPECT_EQ(30, again.Exit) << testing::PrintToString(again);
    EXPECT_TRUE(Contains(again.Out, "the earlier run of station win-killed on this PC (process ") &&
                Contains(again.Out, ") ended without a word"))
        << again.Out;
}

} // namespace
