// Several stations on one plan through a ledger on a real PostgreSQL server: three stations with
// devices of their own set up one plan together, a station killed in the middle of a write and the line's
// board, the server restarted in the middle of a run, a station with another plan or another's name, a
// unit held on one station and redone from another, a ledger of the first schema; a server not trusted.
#include "CliRun.h"
#include "FaultProxy.h"
#include "PostgresServer.h"

#include "provisioning/ledger/Ledger.h"
#include "provisioning/ledger/PgSession.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

const char TEMPLATE[] = "BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n";

// SQL that turns a ledger of the latest schema back into one as zrvlink of schema `version` (1 or 2) made
// it, rows and all.
std::string EarlierSchema(int version) {
    std::string sql = R"(
        ALTER TABLE zrvlink_ledger DROP COLUMN ledger_id;
        ALTER TABLE zrvlink_unit DROP CONSTRAINT zrvlink_unit_state;
        DROP INDEX zrvlink_event_txid;
        ALTER TABLE zrvlink_event DROP CONSTRAINT zrvlink_event_event, DROP CONSTRAINT zrvlink_event_save_sent,
            DROP COLUMN received, DROP COLUMN txid,
            ALTER COLUMN time TYPE text USING to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"+00:00"'),
            ALTER COLUMN time SET NOT NULL, DROP COLUMN utc_offset,
            ALTER COLUMN status TYPE text USING coalesce(status::text, ''), ALTER COLUMN status SET NOT NULL,
            ALTER COLUMN seconds TYPE text USING coalesce(seconds::text, ''), ALTER COLUMN seconds SET NOT NULL;
        ALTER TABLE zrvlink_station DROP COLUMN run, DROP COLUMN host, DROP COLUMN pid, DROP COLUMN backend_pid,
            DROP COLUMN lease_ms, DROP COLUMN write_limit_ms, DROP COLUMN stopped;
    )";
    if (version == 1) {
        sql += "DROP TABLE zrvlink_board; DROP INDEX zrvlink_event_unit;";
    }
    return sql + "UPDATE zrvlink_ledger SET schema_version = " + std::to_string(version) + ";";
}

class ZrvlinkLedger : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_server.Start(&error, PostgresOptions{true})) << error;
        ASSERT_TRUE(m_proxy.Start(m_server.Port(), &error)) << error;
        m_url = m_server.NewDatabase("line");
        m_files.Write("base.dat", TEMPLATE);
    }

    // A station's command line: the plan is an address range from 192.168.7.21 on.
    std::vector<std::string> Args(const std::string& station, int units, std::vector<std::string> more = {},
                                  const char* base = "base.dat", bool proxied = false) const {
        const std::string range = "192.168.7.21-192.168.7." + std::to_string(20 + units);
        const std::string url = proxied ? m_server.UrlThrough(m_proxy.Port(), "line") : m_url;
        more.insert(more.begin(), {"provision", "--template", m_files / base, "--ip-range", range, "--ledger",
                                   url, "--station", station, "--journal", m_files / (station + ".csv")});
        return more;
    }
    // A station run with --once over `devices`; one that would wait for ever is killed.
    CliRunResult Once(const std::string& station, int units, const CDetectedDevices& devices,
                      std::vector<std::string> more = {}) const {
        more.push_back("--once");
        return RunCliWithin(EVENTUALLY_MS, Args(station, units, more), devices.Options());
    }
    // Every event.
    std::vector<RecordRow> Rows() const {
        std::vector<RecordRow> rows;
        std::string error;
        EXPECT_TRUE(ReadLedgerRows(m_url, &rows, &error)) << error;
        return rows;
    }
    // "192.168.7.21: started done; ...": each unit's events, units by name.
    std::string Events() const { return EventsOf(Rows()); }

    CPostgresServer m_server;
    CFaultProxy m_proxy;
    std::string m_url;
    CScratchDir m_files;
};

TEST_F(ZrvlinkLedger, ThreeStationsSetUpOnePlanTogetherAndNoUnitGoesToTwoDevices) {
    constexpr int STATIONS = 3;
    std::vector<CDetectedDevices> devices(STATIONS);
    std::vector<CCliProcess> stations(STATIONS);
    for (int s = 0; s < STATIONS; ++s) {
        ASSERT_TRUE(stations[s].Start(Args("line-" + std::to_string(s), 30), devices[s].Options()));
    }
    // Ten devices each at once, so that the stations claim side by side; each ends once the plan is done.
    for (int i = 0; i < 10 * STATIONS; ++i) {
        ASSERT_TRUE(devices[i % STATIONS].Plug("ttyACM" + std::to_string(i / STATIONS)));
    }
    for (auto& station : stations) {
        ASSERT_TRUE(station.WaitEnd(EVENTUALLY_MS)) << Events();
        const CliRunResult run = station.Finish();
        EXPECT_EQ(0, run.Exit) << run.Out << run.Err;
    }
    // Every unit done once, on the device that holds its address now; no address on two devices.
    std::map<std::string, std::string> doneOn; // unit -> its port
    for (const RecordRow& row : Rows()) {
        EXPECT_TRUE(row.Event != RecordEvent::Done || doneOn.emplace(row.Unit, row.Port).second) << row.Unit;
    }
    EXPECT_EQ(30u, doneOn.size());
    std::map<std::string, std::string> held; // address -> the port of its device
    for (int i = 0; i < 10 * STATIONS; ++i) {
        const std::string tty = "ttyACM" + std::to_string(i / STATIONS);
        held.emplace(SavedAddress(devices[i % STATIONS].SimOf(tty)), devices[i % STATIONS].DevPath(tty));
    }
    EXPECT_EQ(doneOn, held);
}

// Started while the server is down, the station waits for it and says so; then the run goes on. While it
// runs, a station with another plan or its name is refused before it touches a device. The server away
// in the middle of a write: its end is kept, and committed once the server is back.
TEST_F(ZrvlinkLedger, ServerRestartedInTheMiddleOfARunLosesNothingAndAnotherPlanOrNameIsRefused) {
    CDetectedDevices devices;
    CCliProcess station;
    ASSERT_TRUE(m_server.Stop());
    ASSERT_TRUE(station.Start(Args("line-a", 3), devices.Options()));
    ASSERT_TRUE(station.WaitOut("cannot be reached"));
    ASSERT_TRUE(m_server.StartAgain());
    ASSERT_TRUE(station.WaitOut("station: 3 units")) << station.OutSoFar();
    CDetectedDevices others;
    ASSERT_TRUE(others.Add({"ttyACM0"}));
    m_files.Write("other.dat", "BaudRate=9600\r\n");
    const struct {
        const char* Station;
        int Units;
        const char* Template;
        const char* Err;
    } refused[] = {{"line-b", 4, "base.dat", "holds another plan"},
                   {"line-b", 3, "other.dat", "holds another plan"},
                   {"line-a", 3, "base.dat", "station line-a is running already"}};
    for (const auto& c : refused) {
        const CliRunResult run = RunCli(Args(c.Station, c.Units, {"--once"}, c.Template), others.Options());
        EXPECT_EQ(32, run.Exit) << run.Out << run.Err;
        EXPECT_TRUE(Contains(run.Err, c.Err)) << run.Err;
    }
    EXPECT_EQ("", Received(others.Sim(0)));
    ASSERT_TRUE(devices.Plug("ttyACM0", {"--delay-command", "clrname:100"}));
    ASSERT_TRUE(WaitReceived(devices.Sim(0), "clrname 0\r"));
    ASSERT_TRUE(m_server.Stop());
    ASSERT_TRUE(station.WaitOut("written and verified") && station.WaitOut("events are kept in"));
    ASSERT_TRUE(m_server.StartAgain());
    ASSERT_TRUE(station.WaitOut("is back: 1 event kept here committed")) << station.OutSoFar();
    EXPECT_EQ("192.168.7.21: started done", Events());
    EXPECT_EQ(30, station.Interrupt().Exit);
    EXPECT_EQ("192.168.7.21", SavedAddress(devices.Sim(0)));
}

// A ledger as zrvlink of schema 1 and of schema 2 left it (no boards in 1; texts for times, statuses and
// seconds; names held by session locks) is read as it is by status and export, then upgraded in place by
// the next station, whose operator redoes the unit held on another: nothing of what was there is lost.
TEST_F(ZrvlinkLedger, UnitHeldOnOneStationIsRedoneFromAnotherOnALedgerOfAnEarlierSchemaUpgradedInPlace) {
    for (const int version : {1, 2}) {
        SCOPED_TRACE("schema " + std::to_string(version));
        const std::string database = "old" + std::to_string(version);
        m_url = m_server.NewDatabase(database);
        CDetectedDevices first;
        ASSERT_TRUE(first.Add({"ttyACM0"}, {"--save-reply", "NG"}));
        EXPECT_EQ(31, Once("line-a", 2, first).Exit);
        ASSERT_TRUE(m_server.Sql(database, EarlierSchema(version)));
        const std::vector<std::string> status = {"ledger", "status", "--ledger", m_url, "--json"};
        const CliRunResult old = RunCli(status);
        EXPECT_EQ(0, old.Exit) << old.Err;
        EXPECT_TRUE(Contains(old.Out, "\"held\": 1")) << old.Out;
        const std::vector<RecordRow> before = Rows();
        CDetectedDevices second;
        ASSERT_TRUE(second.Add({"ttyACM0"}));
        const CliRunResult redo = Once("line-b", 2, second, {"--redo", "192.168.7.21"});
        EXPECT_EQ(30, redo.Exit) << redo.Out << redo.Err;
        EXPECT_EQ("192.168.7.21: started failed redo started done", Events());
        EXPECT_EQ("192.168.7.21", SavedAddress(second.Sim(0)));
        const std::vector<RecordRow> after = Rows();
        ASSERT_LE(before.size(), after.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(FormatRecordRow(before[i], true), FormatRecordRow(after[i], true));
        }
        std::string rows;
        EXPECT_TRUE(m_server.Sql(database,
                                 "SELECT schema_version FROM zrvlink_ledger; "
                                 "SELECT station FROM zrvlink_board ORDER BY station",
                                 &rows));
        EXPECT_EQ(version == 1 ? "3\nline-b\n" : "3\nline-a\nline-b\n", rows);
        // Where the line stands, as a site's scripts see it.
        const CliRunResult now = RunCli(status);
        EXPECT_EQ(0, now.Exit) << now.Err;
        EXPECT_TRUE(Contains(now.Out, "\"Units\": {\n    \"done\": 1,\n    \"open\": 1\n  }")) << now.Out;
        EXPECT_TRUE(Contains(now.Out, "\"Name\": \"line-a\"")) << now.Out;
    }
}

// An address that libpq cannot read would be waited for for ever, and its message may quote the password:
// a usage error that never echoes it.
TEST_F(ZrvlinkLedger, LedgerAddressThatDoesNotReadIsAUsageErrorThatNeverEchoesIt) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"provision", "--template", m_files / "base.dat", "--ip-range",
                                   "192.168.7.21-192.168.7.22", "--ledger", "postgresql://u:s3cret%zz@h/d"},
          std::vector<std::string>{"ledger", "status", "--ledger", "host='s3cret"}}) {
        const CliRunResult run = RunCli(args);
        EXPECT_EQ(2, run.Exit) << run.Err;
        EXPECT_TRUE(Contains(run.Err, "--ledger: the ledger's address does not read")) << run.Err;
        EXPECT_FALSE(Contains(run.Out + run.Err, "s3cret")) << run.Err;
    }
}

// Ctrl-C is answered while the server stalls, and a claim that waits for a table a site's tool holds
// never turns into a write once Ctrl-C came: the device gets nothing.
TEST_F(ZrvlinkLedger, CtrlCIsAnsweredWhateverTheServerDoesAndNoWriteBeginsAfterIt) {
    CDetectedDevices none;
    CCliProcess stalled;
    ASSERT_TRUE(stalled.Start(Args("line-a", 2, {}, "base.dat", true), none.Options()));
    ASSERT_TRUE(stalled.WaitOut("station: 2 units"));
    m_proxy.Stall();
    std::this_thread::sleep_for(std::chrono::seconds(1)); // the station's next look waits on the server
    kill(stalled.Pid(), SIGINT);
    EXPECT_TRUE(stalled.WaitOut("Ctrl-C")) << stalled.OutSoFar();
    EXPECT_EQ(30, stalled.Finish().Exit);
    m_proxy.Pass();

    CPgSession tool;
    PgError failure;
    ASSERT_TRUE(tool.Connect(m_url, "site tool", &failure)) << failure.Text();
    CDetectedDevices devices;
    CCliProcess station;
    ASSERT_TRUE(station.Start(Args("line-b", 2), devices.Options()));
    ASSERT_TRUE(station.WaitOut("station: 2 units"));
    {
        CPgTransaction holding(&tool);
        ASSERT_TRUE(holding.Begin("test", &failure) &&
                    tool.Exec("test", "LOCK TABLE zrvlink_unit", {}, &failure))
            << failure.Text();
        ASSERT_TRUE(devices.Plug("ttyACM0"));
        std::string waiting;
        ASSERT_TRUE(WaitFor([&] {
            return m_server.Sql("line", "SELECT count(*) FROM pg_locks WHERE NOT granted", &waiting) &&
                   waiting != "0\n";
        }));
        kill(station.Pid(), SIGINT);
        ASSERT_TRUE(station.WaitOut("Ctrl-C"));
    }
    EXPECT_EQ(30, station.Finish().Exit);
    EXPECT_FALSE(Contains(Received(devices.Sim(0)), "clrname")) << "a write began after Ctrl-C";
}

// A line of three stations as a site lives it: devices come one after another, some fail before their
// save, some answer "save" badly, which holds their unit until the operator sees to the device and
// redoes or skips the unit; the server is killed and started again, the network stalls, resets and cuts.
// At the end every unit is done or skipped, and no address is on two devices.
TEST_F(ZrvlinkLedger, LineOfThreeStationsKeepsOneAddressPerDeviceWhateverTheServerNetworkAndOperatorsDo) {
    constexpr int UNITS = 12;
    struct Station {
        std::string Name;
        CDetectedDevices Devices;
        std::unique_ptr<CCliProcess> Run;
        int Plugged = 0;
        int Starts = 0;
    };
    std::vector<Station> stations(3);
    const auto start = [&](Station& station, std::vector<std::string> decisions) {
        station.Run = std::make_unique<CCliProcess>();
        ++station.Starts;
        EXPECT_TRUE(station.Run->Start(Args(station.Name, UNITS, decisions, "base.dat", true),
                                       station.Devices.Options()));
    };
    // The operator of a station that stopped for a held unit: the device taken away and the unit redone,
    // or the unit skipped and left on its device, in turn.
    const auto answer = [&](Station& station) {
        LedgerLine line;
        std::string error;
        std::vector<std::string> decisions;
        EXPECT_TRUE(ReadLedgerLine(m_url, &line, &error)) << error;
        for (const LedgerUnsettledUnit& unit : line.Unsettled) {
            const bool redo = station.Starts % 2 == 1;
            if (unit.Station == station.Name && redo) {
                station.Devices.Unplug(unit.Held.Port.substr(unit.Held.Port.rfind('/') + 1));
            }
            if (unit.Station == station.Name) {
                decisions.insert(decisions.end(), {redo ? "--redo" : "--skip", unit.Held.Unit});
            }
        }
        start(station, decisions);
    };
    const std::vector<std::string> SAVE_NG = {"--save-reply", "NG"};
    const std::vector<std::vector<std::string>> kinds = {
        {}, SAVE_NG, {"--delay-command", "clrname:10"}, {"--close-after", "120"}, SAVE_NG};
    const char* const ENDS[] = {"written", "failed", "not written", "the device could not", "this device is"};
    const std::vector<std::function<void()>> faults = {
        [&] { m_proxy.Stall(), std::this_thread::sleep_for(std::chrono::seconds(3)), m_proxy.Pass(); },
        [&] { m_proxy.ResetClients(); },
        [&] { m_server.Stop(), std::this_thread::sleep_for(std::chrono::seconds(1)), m_server.StartAgain(); },
        [&] { m_proxy.CutAll(); },
        [] {},
    };
    // Every unit done or skipped.
    const auto settled = [&] {
        LedgerStatus status;
        std::string error;
        const auto& states = status.States;
        return ReadLedgerStatus(m_url, &status, &error) && !states.empty() &&
               std::all_of(states.begin(), states.end(), [](const auto& state) {
                   return state.first == "done" || state.first == "skipped" || state.second == 0;
               });
    };
    for (std::size_t i = 0; i < stations.size(); ++i) {
        stations[i].Name = "line-" + std::to_string(i);
        start(stations[i], {});
    }
    for (int round = 0; round < 40 && !settled(); ++round) {
        for (Station& station : stations) {
            const std::string tty = "ttyACM" + std::to_string(station.Plugged);
            const auto& kind = kinds[static_cast<std::size_t>(station.Plugged++) % kinds.size()];
            ASSERT_TRUE(station.Devices.Plug(tty, kind));
            const std::string port = station.Devices.DevPath(tty) + ": ";
            // Its end, or its wait for the ledger; a station that has stopped takes no device.
            WaitFor(
                [&] {
                    const std::string out = station.Run->OutSoFar();
                    return Contains(out, "then run again with --redo") ||
                           std::any_of(std::begin(ENDS), std::end(ENDS),
                                       [&](const char* end) { return Contains(out, port + end); });
                },
                20000);
        }
        faults[static_cast<std::size_t>(round) % faults.size()]();
        for (Station& station : stations) {
            if (WaitFor([&] { return Contains(station.Run->OutSoFar(), "then run again with --redo"); }, 1)) {
                const CliRunResult held = station.Run->Finish();
                EXPECT_EQ(31, held.Exit) << held.Out << held.Err;
                answer(station);
            }
        }
    }
    EXPECT_TRUE(settled()) << Events();
    std::map<std::string, int> devicesOf;
    for (Station& station : stations) {
        station.Run->Interrupt();
        for (int i = 0; i < station.Plugged; ++i) {
            ++devicesOf[SavedAddress(station.Devices.SimOf("ttyACM" + std::to_string(i)))];
        }
    }
    // A device that saved nothing holds its factory address.
    for (const auto& [address, devices] : devicesOf) {
        EXPECT_TRUE(address == "none" || address == "0.0.0.0" || devices == 1)
            << address << " on " << devices << " devices";
    }
    std::set<RecordEvent> decided;
    for (const RecordRow& row : Rows()) {
        EXPECT_TRUE(row.Event != RecordEvent::Done || devicesOf[row.Address] == 1) << row.Address << " done";
        decided.insert(row.Event);
    }
    EXPECT_EQ(1u, decided.count(RecordEvent::Redo) * decided.count(RecordEvent::Skipped)) << Events();
}

// Station a is killed in the middle of a write while station b sets up the other units. Its unit stays
// at work on a station that may still be writing it (another station's --redo of it is refused), until
// a's restart on the same PC, where its process is known to be gone, takes the name back and names it. The
// line's board, started before any station on an empty database (a line without stations), shows every
// station under its name as it publishes its own board to the ledger, and then a as stopped with its unit
// held. Then the line leaves the ledger: its export becomes a station's record, which knows a's unit as begun
// and unsettled and the others as done, and goes on with it, keeping the stations' names.
TEST_F(ZrvlinkLedger, StationKilledInTheMiddleOfAWriteKeepsItsUnitAndTheLineBoardShowsItStopped) {
    CCliProcess board;
    ASSERT_TRUE(board.Start({"ledger", "board", "--ledger", m_url, "--listen", "127.0.0.1:0"}));
    std::string out;
    ASSERT_TRUE(WaitFor([&] { return Contains(out = board.OutSoFar(), "/status.json"); }));
    httplib::Client client("127.0.0.1", std::atoi(out.c_str() + out.find(':', out.find("127.0.0.1")) + 1));
    nlohmann::json line;
    const auto status = [&] {
        const auto got = client.Get("/status.json");
        line = got && got->status == 200 ? nlohmann::json::parse(got->body, nullptr, false)
                                         : nlohmann::json::object();
        return line;
    };
    EXPECT_EQ(true, status()["Line"]["Reachable"]) << line.dump();
    EXPECT_EQ(0u, line["Stations"].size());
    CDetectedDevices first;
    CDetectedDevices second;
    CCliProcess a;
    CCliProcess b;
    ASSERT_TRUE(a.Start(Args("line-a", 3), first.Options()));
    ASSERT_TRUE(b.Start(Args("line-b", 3), second.Options()));
    ASSERT_TRUE(first.Plug("ttyACM0", {"--delay-command", "clrname:100"}));
    ASSERT_TRUE(WaitReceived(first.Sim(0), "clrname 0\r"));
    kill(a.Pid(), SIGKILL);
    a.Finish();
    ASSERT_TRUE(second.Plug("ttyACM0"));
    ASSERT_TRUE(second.Plug("ttyACM1"));
    // Every other unit done, b's tile shows its last device done, and a's unit is at work, never held.
    ASSERT_TRUE(WaitFor([&] {
        const nlohmann::json ports = status().value("Ports", nlohmann::json::array());
        return line.value("/Plan/Done"_json_pointer, 0) == 2 &&
               std::any_of(ports.begin(), ports.end(), [](const nlohmann::json& port) {
                   return port.value("Station", "") == "line-b" && port.value("Stage", "") == "done";
               });
    })) << line.dump();
    EXPECT_EQ(1, line["Plan"]["AtWork"]) << line.dump();
    EXPECT_EQ(0u, line["Held"].size()) << line.dump();
    // Another station's operator may not give it back meanwhile: refused before any device is touched.
    CDetectedDevices third;
    ASSERT_TRUE(third.Add({"ttyACM0"}));
    const CliRunResult refused = Once("line-c", 3, third, {"--redo", "192.168.7.21"});
    EXPECT_EQ(32, refused.Exit) << refused.Out << refused.Err;
    EXPECT_TRUE(Contains(refused.Err, "192.168.7.21: station line-a ")) << refused.Err;
    EXPECT_EQ("", Received(third.Sim(0)));
    const CliRunResult again = Once("line-a", 3, first);
    EXPECT_EQ(31, again.Exit) << again.Out;
    EXPECT_TRUE(Contains(again.Out, "the earlier run of station line-a on this PC")) << again.Out;
    EXPECT_TRUE(Contains(again.Out, "192.168.7.21: its write on " + first.DevPath("ttyACM0"))) << again.Out;
    ASSERT_TRUE(WaitFor([&] { return status().value("/Stations/0/State"_json_pointer, "") == "stopped"; }))
        << line.dump();
    EXPECT_EQ("line-a", line["Stations"][0]["Name"]);
    EXPECT_EQ(true, line["Stations"][1]["Running"]);
    EXPECT_EQ(1, line["Plan"]["Held"]) << line.dump();
    ASSERT_EQ(1u, line["Held"].size()) << line.dump();
    EXPECT_EQ("line-a", line["Held"][0]["Station"]);
    EXPECT_TRUE(Contains(line["Held"][0].value("Instruction", ""), "station line-a stopped during it"))
        << line.dump();
    EXPECT_EQ(0, board.Interrupt().Exit);
    EXPECT_EQ(30, b.Interrupt().Exit);
    EXPECT_EQ("192.168.7.21: started; 192.168.7.22: started done; 192.168.7.23: started done", Events());

    const std::string site = m_files / "site.csv";
    const std::string base = m_files / "base.dat";
    const std::string range = "192.168.7.21-192.168.7.23";
    ASSERT_EQ(0, RunCli({"ledger", "export", "--ledger", m_url, "--output", site}).Exit);
    const std::string exported = ReadWholeFile(site);
    const std::vector<std::string> station = {"provision", "--template", base, "--ip-range",
                                              range,       "--record",   site, "--once"};
    const CliRunResult unsettled = RunCli(station, first.Options());
    EXPECT_EQ(31, unsettled.Exit) << unsettled.Out << unsettled.Err;
    EXPECT_TRUE(Contains(unsettled.Out, "192.168.7.21: its write on " + first.DevPath("ttyACM0") + " (" +
                                            Rows().at(0).Time + ") has no end in the record"))
        << unsettled.Out;
    // The operator takes that device away (the killed write left its port in exclusive mode) and gives
    // the unit back: the next device gets it.
    first.Unplug("ttyACM0");
    ASSERT_TRUE(first.Plug("ttyACM1"));
    std::vector<std::string> redo = station;
    redo.insert(redo.end(), {"--redo", "192.168.7.21"});
    const CliRunResult done = RunCli(redo, first.Options());
    EXPECT_EQ(0, done.Exit) << done.Out << done.Err;
    EXPECT_EQ("192.168.7.21", SavedAddress(first.SimOf("ttyACM1")));
    const std::string record = ReadWholeFile(site);
    EXPECT_EQ(exported, record.substr(0, exported.size()));
    RecordText rows;
    std::string error;
    ASSERT_TRUE(ParseRecord(record, &rows, &error)) << error;
    EXPECT_EQ(
        "192.168.7.21: started redo started done; 192.168.7.22: started done; 192.168.7.23: started done",
        EventsOf(rows.Rows));
    char host[256] = {};
    ASSERT_EQ(0, gethostname(host, sizeof host - 1));
    for (std::size_t i = Rows().size(); i < rows.Rows.size(); ++i) {
        EXPECT_EQ(host, rows.Rows[i].Station) << "row " << i;
    }
}

// A server that takes TLS only, its certificate made for the test: a station connects to it as its URL
// says, and one whose URL's root did not sign the server's certificate is refused at once (status 32,
// before any device: waiting would not help), as ledger status is, with words that say so. The other
// refusals of a certificate are told alike: PqTls proves each is one.
TEST_F(ZrvlinkLedger, ServerNotTrustedIsRefusedAtOnceBeforeAnyDevice) {
    CPostgresServer tls;
    std::string error;
    ASSERT_TRUE(tls.Start(&error, PostgresOptions{true, false, true})) << error;
    const std::string trusted = tls.NewDatabase("line");
    const struct {
        std::string Url;
        int Exit;
        std::vector<std::string> Said; // parts of what it printed
    } cases[] = {
        {trusted, 30, {"written and verified"}},
        {trusted.substr(0, trusted.rfind('=') + 1) + tls.StrangerRootCertificate(),
         32,
         {"the server's certificate is not trusted: ", "SSL error: certificate verify failed"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Url);
        m_url = c.Url;
        CDetectedDevices devices;
        ASSERT_TRUE(devices.Add({"ttyACM0"}));
        const CliRunResult run = Once("tls-" + std::to_string(c.Exit), 3, devices);
        EXPECT_EQ(c.Exit, run.Exit) << run.Out << run.Err;
        EXPECT_EQ(c.Exit == 30, Contains(Received(devices.Sim(0)), "save\r")) << "the device's write";
        const CliRunResult status = RunCliWithin(EVENTUALLY_MS, {"ledger", "status", "--ledger", c.Url});
        EXPECT_EQ(c.Exit == 30 ? 0 : 32, status.Exit) << status.Err;
        for (const std::string& part : c.Said) {
            EXPECT_TRUE(Contains(run.Out + run.Err, part)) << run.Out << run.Err;
            EXPECT_TRUE(c.Exit == 30 || Contains(status.Err, part)) << status.Err;
        }
    }
}

} // namespace
