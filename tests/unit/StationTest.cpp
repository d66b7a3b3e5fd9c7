// The station's rules against fakes: what each way a child can end decides (the table of ChildEnd.h, read
// from the child's outcome), then whole runs with ports that come and go, children that fail before or
// after their save, a port that refuses its first opens, the operator's decisions on devices still
// attached, a console that goes away and Ctrl-C; each a row of one table, with the record it leaves,
// what each device holds at the end and a line the station said.
#include "provisioning/Station.h"

#include "provisioning/RecordLog.h"

#include "persistence/SetupLines.h"

#include "SampleParams.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// What a fake child does; each ends with a report read whole.
enum class Act {
    Ok,
    RefuseOpen,    // the port does not open (permission denied, busy): nothing reaches the device
    Fail,          // communication error, "save" never announced
    FailAfterSave, // "save: next", then the device answered "save" badly
    Hang,          // runs until it is asked to stop, then reports that it stopped before its save
};

struct FakeDevice {
    std::string Port;
    Act Write; // how its first write ends; later ones do Ok
    std::string Serial;
    int Refusals;   // its port refuses this many opens first
    int64_t PlugMs; // when it appears
    ParamSet Set;
    std::string Version = "ZRV-Link 2.4.1"; // its answer to "vers"
    std::string ReadsMs = "";               // when each read of it started, on the fake clock
};

// A device fresh from the factory.
FakeDevice On(const char* port, Act write = Act::Ok, const char* serial = "", int refusals = 0,
              int64_t plugMs = 0) {
    ParamSet fresh{};
    fresh.BaudRate = 9600;
    return {port, write, serial, refusals, plugMs, fresh};
}

FakeDevice Holding(const char* port, const ParamSet& set) {
    FakeDevice device = On(port);
    device.Set = set;
    return device;
}

template <class... Devices>
std::vector<FakeDevice> Bench(Devices... devices) {
    return {devices...};
}

// Each child takes this long on the fake clock.
constexpr int64_t CHILD_MS = 100;

class CFakeChild : public IPortChild {
public:
    CFakeChild(ChildOutcome outcome, bool hang, const int64_t* now, ChildProgress progress = {})
        : m_outcome(std::move(outcome)), m_hang(hang), m_now(*now), m_endMs(*now + CHILD_MS),
          m_progress(progress) {}
    bool HasEnded() override { return (!m_hang && m_now >= m_endMs) || m_outcome.StopAsked; }
    void Stop() override { m_outcome.StopAsked = true; }
    ChildOutcome Outcome() const override { return m_outcome; }
    ChildProgress Progress() override { return m_progress; }

private:
    ChildOutcome m_outcome;
    bool m_hang;
    const int64_t& m_now;
    int64_t m_endMs;
    ChildProgress m_progress; // a write stays half-way
};

ChildOutcome Reported(int status, const char* message) {
    return {ChildEndKind::Reported, status, false, false, false, "ZRV-Link 2.4.1", message, false, {}};
}

// How a child that does `act` ends; a switch, so that an act without an end does not build.
ChildOutcome Ended(Act act) {
    switch (act) {
    case Act::Ok:
        return Reported(0, "OK");
    case Act::RefuseOpen:
        return Reported(11, "WARNING: cannot open port");
    case Act::Fail:
    case Act::Hang:
        return Reported(12, "WARNING: communication error");
    case Act::FailAfterSave:
        return Reported(13, "WARNING: hardware error");
    }
    return {};
}

// Ports, children, clock and console of one station run, over a bench of fake devices.
class CFakeWorld : public IStationPorts,
                   public IStationChildren,
                   public IStationClock,
                   public IStationConsole {
public:
    std::vector<FakeDevice> Devices;
    int64_t Now = 0;
    int64_t ConsoleGoneMs = -1;       // from then on no line can be written
    std::string Said;                 // every line, each with its line end
    std::vector<int64_t> ChildEndsMs; // when each child started so far ends

    std::vector<StationPort> Present() override {
        std::vector<StationPort> ports;
        for (const FakeDevice& device : Devices) {
            if (device.PlugMs <= Now) {
                ports.push_back({device.Port, device.Serial});
            }
        }
        return ports;
    }
    std::unique_ptr<IPortChild> StartRead(const std::string& port) override {
        FakeDevice& device = Find(port);
        device.ReadsMs += (device.ReadsMs.empty() ? "" : " ") + std::to_string(Now);
        const Act act = device.Refusals-- > 0 ? Act::RefuseOpen : Act::Ok;
        ChildOutcome outcome = Ended(act);
        outcome.Version = device.Version;
        outcome.PortNotOpened = act == Act::RefuseOpen;
        outcome.HasDevice = act == Act::Ok;
        outcome.Device = device.Set;
        ChildEndsMs.push_back(Now + CHILD_MS);
        return std::make_unique<CFakeChild>(outcome, false, &Now);
    }
    std::unique_ptr<IPortChild> StartWrite(const std::string& port, const ParamSet& unit) override {
        FakeDevice& device = Find(port);
        const Act act = std::exchange(device.Write, Act::Ok);
        ChildOutcome outcome = Ended(act);
        outcome.SaveNext = act == Act::Ok || act == Act::FailAfterSave;
        if (outcome.SaveNext) {
            device.Set = unit;
        }
        ChildEndsMs.push_back(Now + CHILD_MS);
        return std::make_unique<CFakeChild>(outcome, act == Act::Hang, &Now,
                                            ChildProgress{PortStage::Writing, 50});
    }
    int64_t NowMs() override { return Now; }
    std::string RecordTime() override { return "2026-12-07T10:00:00+00:00"; }
    bool Say(const std::string& line) override {
        Said += line + "\n";
        return ConsoleGoneMs < 0 || Now < ConsoleGoneMs;
    }

private:
    FakeDevice& Find(const std::string& port) {
        for (FakeDevice& device : Devices) {
            if (device.Port == port) {
                return device;
            }
        }
        ADD_FAILURE() << "no device on " << port;
        return m_nowhere;
    }

    FakeDevice m_nowhere;
};

RecordRow Row(const std::string& unit, RecordEvent event, SaveSent save, const std::string& address) {
    return {
        "2026-12-06T10:00:00+00:00", unit, "/dev/ttyACM0", "", "", event, "", "", save, "", address, "", {}};
}

std::string EventsOf(const CRecordLog& record) {
    std::map<std::string, std::string> units;
    for (const RecordRow& row : record.Rows()) {
        std::string& list = units[row.Unit];
        list += std::string(list.empty() ? "" : " ") + EventName(row.Event);
        if (row.Event == RecordEvent::Failed || row.Event == RecordEvent::Interrupted) {
            list += row.Save == SaveSent::Maybe ? "(maybe)" : "(no)";
        }
    }
    std::string events;
    for (const auto& [unit, list] : units) {
        events += (events.empty() ? "" : "; ") + unit + ": " + list;
    }
    return events;
}

// What an observer heard: each port's stages in turn (a step as "writing:50", a device left as it is
// with the unit it holds), and the last plan at a glance.
class CHeardNews : public IStationObserver {
public:
    std::map<std::string, std::string> Told;
    PlanNews Plan;

    void PlanNow(const PlanNews& plan) override { Plan = plan; }
    void PortsNow(const std::vector<StationPort>&) override {}
    void PortNow(const PortNews& news) override {
        Add(news.Port, std::string(StageWord(news.Stage)) +
                           (news.Stage == PortStage::Left ? "(" + news.Unit + ")" : ""));
    }
    void PortProgress(const std::string& port, const ChildProgress& progress) override {
        Add(port, std::string(StageWord(progress.Stage)) + ":" + std::to_string(progress.Percent));
    }
    void Said(const std::string&) override {}

    std::string PlanText() const {
        return "done " + std::to_string(Plan.Done) + ", held " + std::to_string(Plan.Held) + ", failed " +
               std::to_string(Plan.Failed) + ", at work " + std::to_string(Plan.AtWork) + ", to go " +
               std::to_string(Plan.ToGo) + ", skipped " + std::to_string(Plan.Skipped);
    }

private:
    void Add(const std::string& port, const std::string& what) {
        std::string& told = Told[port];
        told += (told.empty() ? "" : " ") + what;
    }
};

struct StationCase {
    const char* Name;
    std::vector<PlanUnit> Units;
    std::vector<RecordRow> Before; // the record at the start
    StationOptions Options;
    std::vector<FakeDevice> Devices;
    int64_t CtrlCMs;       // the first Ctrl-C; -1: none
    int64_t SecondCtrlCMs; // -1: none
    int64_t ConsoleGoneMs;
    int Exit;
    const char* Events;         // each unit's events, in the record's order
    const char* Holds;          // each device's own address at the end
    const char* SaidLine;       // a line the station said, in part
    const char* Told = nullptr; // what the observer heard of port A; null: the observer is not checked
    const char* Plan = "";      // the observer's last plan
    const char* Held = nullptr; // in the first held unit's instruction; null: none held
    // The record has a Station column (a ledger's export) and the station is named so; null: a record of
    // one station.
    const char* RecordStation = nullptr;
};

// Runs the station in steps of 100 ms of fake time, for at most two minutes of it.
void RunCase(const StationCase& c) {
    SCOPED_TRACE(c.Name);
    const CScratchDir dir;
    std::string error;
    const std::string before = FormatRecordText(c.Before, c.RecordStation != nullptr);
    dir.Write("record.csv", before);
    CFakeWorld world;
    world.Devices = c.Devices;
    world.ConsoleGoneMs = c.ConsoleGoneMs;
    CRecordLog record;
    ASSERT_TRUE(record.Open(dir / "record.csv", &error,
                            {"", RecordFileReaders::Everyone, c.RecordStation ? c.RecordStation : "pc-9"}))
        << error;
    CHeardNews heard;
    CStation station(c.Units, &record, c.Options, StationSeams{&world, &world, &world, &world, &heard});
    StationEnd end;
    if (station.Begin(&end)) {
        int interrupts = 0;
        for (; !station.Ended() && world.Now < 120000; world.Now += 100) {
            interrupts += (c.CtrlCMs == world.Now ? 1 : 0) + (c.SecondCtrlCMs == world.Now ? 1 : 0);
            station.Step(interrupts);
        }
        ASSERT_TRUE(station.Ended());
        end = station.Finish();
    }
    EXPECT_EQ(c.Exit, end.Exit);
    EXPECT_EQ(c.Events, EventsOf(record));
    std::string holds;
    for (const FakeDevice& device : world.Devices) {
        holds += (holds.empty() ? "" : " ") + AddressText(device.Set.IPAddress);
    }
    EXPECT_EQ(c.Holds, holds);
    ASSERT_NE(std::string(), c.SaidLine) << "each row names a line it expects";
    EXPECT_NE(std::string::npos, world.Said.find(c.SaidLine)) << world.Said;
    // Whatever a device sent, the console gets whole printable lines.
    EXPECT_EQ(std::string::npos, world.Said.find_first_of(std::string("\0\r\x1b\x07\x7f", 5))) << world.Said;
    // What was there stays as it was; the station's own rows follow in the record's form.
    EXPECT_EQ(before, ReadWholeFile(dir / "record.csv").substr(0, before.size()));
    for (std::size_t i = c.Before.size(); i < record.Rows().size(); ++i) {
        EXPECT_EQ(c.RecordStation ? c.RecordStation : "", record.Rows()[i].Station) << "row " << i;
    }
    if (c.Told == nullptr) {
        return;
    }
    const char* const a = "/dev/ttyACM0";
    EXPECT_EQ(c.Told, heard.Told[a]);
    EXPECT_EQ(c.Plan, heard.PlanText());
    ASSERT_EQ(c.Held != nullptr ? 1u : 0u, heard.Plan.HeldUnits.size());
    if (c.Held != nullptr) {
        EXPECT_NE(std::string::npos, heard.Plan.HeldUnits[0].Instruction.find(c.Held))
            << heard.Plan.HeldUnits[0].Instruction;
        EXPECT_EQ(a, heard.Plan.HeldUnits[0].Port);
    }
}

// Every row keeps one address per device and every kept device as it is; rows with an observer's part
// also check each stage the observer heard of a device and the plan with what the operator must do. How
// each end of a child decides is ChildEnd's table below; these rows show the station carrying it out.
TEST(Station, EveryEndOfAChildKeepsOneAddressPerDeviceAndTellsTheObserver) {
    const char* const A = "/dev/ttyACM0";
    const char* const B = "/dev/ttyACM1";
    std::vector<PlanUnit> three;
    std::string error;
    ASSERT_TRUE(MakeAddressRange(SampleParamSet(), "192.168.0.21-192.168.0.23", &three, &error)) << error;
    // A unit without an own address (its device asks DHCP), told apart by a destination of its own.
    const std::vector<PlanUnit> one(three.begin(), three.begin() + 1);
    std::vector<PlanUnit> dhcp = three;
    dhcp[0].Set.IPAddress = 0;
    std::snprintf(dhcp[0].Set.Target[5].Name, TARGET_NAME_SIZE, "%s", "4448");
    const std::string u1 = three[0].Name;
    using E = RecordEvent;
    using S = SaveSent;
    const std::vector<RecordRow> none;
    const std::vector<RecordRow> held = {Row(u1, E::Started, S::Unknown, u1),
                                         Row(u1, E::Failed, S::Maybe, u1)};
    const std::vector<RecordRow> done = {Row(u1, E::Started, S::Unknown, u1), Row(u1, E::Done, S::Yes, u1)};
    const std::vector<RecordRow> dhcpDone = {Row(u1, E::Started, S::Unknown, "0.0.0.0"),
                                             Row(u1, E::Done, S::Yes, "0.0.0.0")};
    std::vector<RecordRow> doneElsewhere = {Row(three[2].Name, E::Done, S::Yes, three[2].Name)};
    doneElsewhere[0].Serial = "SAME";
    // A device whose serial number and version would clear the terminal, set its title and print a line.
    FakeDevice escaping = On(A, Act::FailAfterSave, "SN\x1b]0;x\x07\x1b[2J");
    escaping.Version = "2.4.1\r192.168.0.21 on /dev/ttyACM0: written and verified\x7f";
    const StationOptions all, once{true, {}, {}}, skip{true, {}, {u1}}, redo{true, {u1}, {}};
    // A ledger's export: a unit begun on a station that stopped during its write, one done on another.
    const auto of = [](const char* station, RecordRow row) {
        row.Station = station;
        return row;
    };
    const std::string u2 = three[1].Name;
    const std::vector<RecordRow> line = {of("line-1", Row(u1, E::Started, S::Unknown, u1)),
                                         of("line-2", Row(u2, E::Started, S::Unknown, u2)),
                                         of("line-2", Row(u2, E::Done, S::Yes, u2))};
    // Each row named by the fault it catches.
    const StationCase cases[] = {
        {"a written device is not recorded done, or its stages do not reach the observer", three, none, once,
         Bench(On(A)), -1, -1, -1, 30, "192.168.0.21: started done", "192.168.0.21",
         "192.168.0.21 on /dev/ttyACM0: written and verified in 0.2 s; connect the next device",
         "reading writing done", "done 1, held 0, failed 0, at work 0, to go 2, skipped 0"},
        {"a write that failed after it announced its save is not held, or the operator is not told its "
         "device",
         three, none, once, Bench(On(A, Act::FailAfterSave, "SN-A")), -1, -1, -1, 31,
         "192.168.0.21: started failed(maybe)", "192.168.0.21",
         "192.168.0.21 on /dev/ttyACM0: failed (WARNING: hardware error) after its save may have reached the "
         "device; no new device is taken. See to the device on /dev/ttyACM0 (serial SN-A): it may hold the "
         "unit's configuration in part or whole",
         "reading writing held", "done 0, held 1, failed 0, at work 0, to go 2, skipped 0",
         "its write on /dev/ttyACM0 (serial SN-A, 2026-12-07T10:00:00+00:00) ended badly after it may have "
         "reached the device's save; see to that device, then run again with --redo 192.168.0.21"},
        {"a device's own text clears the terminal or adds a line", three, none, once, Bench(escaping), -1, -1,
         -1, 31, "192.168.0.21: started failed(maybe)", "192.168.0.21",
         "read (2.4.1?192.168.0.21 on /dev/ttyACM0: written and verified?), writing\n"
         "192.168.0.21 on /dev/ttyACM0: failed (WARNING: hardware error) after its save may have "
         "reached the "
         "device; no new device is taken. See to the device on /dev/ttyACM0 (serial SN?]0;x??[2J)"},
        {"a write that failed before its save is held, or counted to go rather than failed", three, none,
         once, Bench(On(A, Act::Fail)), -1, -1, -1, 30, "192.168.0.21: started failed(no)", "0.0.0.0",
         "192.168.0.21 on /dev/ttyACM0: failed (WARNING: communication error) before its save; the unit "
         "waits "
         "for the next device",
         "reading writing failed", "done 0, held 0, failed 1, at work 0, to go 2, skipped 0"},
        {"a port that refuses its first opens is recorded failed, or never tried again", three, none, once,
         Bench(On(A, Act::Ok, "", 2)), -1, -1, -1, 30, "192.168.0.21: started done", "192.168.0.21",
         "192.168.0.21 on /dev/ttyACM0: written and verified"},
        {"a port that keeps refusing is recorded at each try, or given up", three, none, all,
         Bench(On(A, Act::Ok, "", 10)), 15000, -1, -1, 30, "192.168.0.21: failed(no) started done",
         "192.168.0.21", "nothing was sent, the port is tried again"},
        {"a skipped unit's device still attached is written over", three, held, skip,
         Bench(Holding(A, three[0].Set)), -1, -1, -1, 30, "192.168.0.21: started failed(maybe) skipped",
         "192.168.0.21", "this device is skipped unit 192.168.0.21 and is left as it is"},
        {"a held unit given back does not go to its device still attached", three, held, redo,
         Bench(Holding(A, three[0].Set)), -1, -1, -1, 30,
         "192.168.0.21: started failed(maybe) redo started done", "192.168.0.21", "192.168.0.21: given back"},
        {"a held unit lets the station start, or its device is not named", three, held, all, Bench(On(A)), -1,
         -1, -1, 31, "192.168.0.21: started failed(maybe)", "0.0.0.0",
         "its write on /dev/ttyACM0 (2026-12-06T10:00:00+00:00) ended badly", "",
         "done 0, held 1, failed 0, at work 0, to go 2, skipped 0", "--skip 192.168.0.21"},
        {"a device that holds a done unit is written over", three, done, once,
         Bench(Holding(A, three[0].Set)), -1, -1, -1, 30, "192.168.0.21: started done", "192.168.0.21",
         "/dev/ttyACM0: this device is done unit 192.168.0.21 and is left as it is; connect the next device",
         "reading left(192.168.0.21)", "done 1, held 0, failed 0, at work 0, to go 2, skipped 0"},
        {"devices that share a serial number with a done unit are taken for it", three, doneElsewhere, once,
         Bench(On(A, Act::Ok, "SAME"), On(B, Act::Ok, "SAME")), -1, -1, -1, 0,
         "192.168.0.21: started done; 192.168.0.22: started done; 192.168.0.23: done",
         "192.168.0.21 192.168.0.22", "every unit of the plan is done"},
        {"a done unit without an own address is not known on its device", dhcp, dhcpDone, once,
         Bench(Holding(A, dhcp[0].Set), On(B)), -1, -1, -1, 30,
         "192.168.0.21: started done; 192.168.0.23: started done", "0.0.0.0 192.168.0.23",
         "this device is done unit 192.168.0.21 and is left as it is"},
        {"a console that went away at the start still lets a device be taken", three, none, all, Bench(On(A)),
         -1, -1, 0, 22, "", "0.0.0.0", "station stopped: 3 units left"},
        {"a console lost during a write stops that write, or lets another device be taken", three, none, all,
         Bench(On(A), On(B, Act::Ok, "", 0, 1000)), -1, -1, 150, 22, "192.168.0.21: started done",
         "192.168.0.21 0.0.0.0", "station stopped: 2 units left"},
        {"a line's record: a unit begun on another station is left to that station", three, line, all,
         Bench(On(A)), -1, -1, -1, 31, "192.168.0.21: started; 192.168.0.22: started done", "0.0.0.0",
         "192.168.0.21: its write on /dev/ttyACM0 (2026-12-06T10:00:00+00:00) has no end in the record",
         nullptr, "", nullptr, "pc-9"},
        {"a line's record: a unit given back stays away from the next device, or a done one is written over",
         three, line, redo, Bench(On(A), Holding(B, three[1].Set)), -1, -1, -1, 30,
         "192.168.0.21: started redo started done; 192.168.0.22: started done", "192.168.0.21 192.168.0.22",
         "this device is done unit 192.168.0.22 and is left as it is", nullptr, "", nullptr, "pc-9"},
        {"a plan of one unit counts it in the plural", one, none, once, Bench(), -1, -1, -1, 30, "", "",
         "station: 1 unit, 0 done, 0 skipped, 1 to go; the devices attached now\nstation stopped: 1 unit "
         "left\n"},
        {"a second Ctrl-C lets a write go on to its save, or holds its unit", three, none, all,
         Bench(On(A, Act::Hang)), 1000, 2000, -1, 30, "192.168.0.21: started interrupted(no)", "0.0.0.0",
         "the station ends now", "reading writing writing:50 failed",
         "done 0, held 0, failed 1, at work 0, to go 2, skipped 0"},
    };
    for (const StationCase& c : cases) {
        RunCase(c);
    }
}

// When the station looks: on its interval, at once on news of the ports, and when a port whose open
// failed is due again, whatever the interval; each row named by the fault it catches. Read from the fake
// clock, in steps of 100 ms; a device plugged at 1000 ms whose port refuses `Refusals` opens.
TEST(Station, LooksComeWithNewsOfThePortsAndRetriesKeepTheirTimeWhateverTheInterval) {
    const struct {
        const char* Fault;
        int64_t LookMs;
        int64_t NewsMs, MoreNewsMs; // PortsChanged before the step at these times; -1: none
        int Refusals;
        const char* ReadsMs; // when each read of the device started
    } cases[] = {
        {"without news, a device is missed by the look on its interval", PORT_POLL_MS, -1, -1, 0, "1000"},
        {"without news, a long interval is cut short", 5000, -1, -1, 0, "5000"},
        {"news of the ports waits for the next look", 600000, 1000, -1, 0, "1000"},
        {"news without a device takes something, or uses up the look that later news asks for", 600000, 500,
         1000, 0, "1000"},
        {"a refused open waits for the next look instead of its retry", 600000, 1000, -1, 1, "1000 1600"},
        {"a port's change (its group set) leaves a refused open waiting for its retry", 600000, 1000, 1300, 1,
         "1000 1300"},
        {"a port's change after the grace tries a refused open at once, as within it", 600000, 1000, 7000, 20,
         "1000 1600 2200 2800 3400 4000 4600 5200 5800 6400 11500 16600 21700"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Fault);
        const CScratchDir dir;
        std::string error;
        std::vector<PlanUnit> units;
        ASSERT_TRUE(MakeAddressRange(SampleParamSet(), "192.168.0.21-192.168.0.21", &units, &error)) << error;
        CRecordLog record;
        ASSERT_TRUE(record.Open(dir / "record.csv", &error)) << error;
        CFakeWorld world;
        world.Devices = {On("/dev/ttyACM0", Act::Ok, "", c.Refusals, 1000)};
        StationOptions options;
        options.LookMs = c.LookMs;
        CStation station(units, &record, options, StationSeams{&world, &world, &world, &world, nullptr});
        StationEnd end;
        ASSERT_TRUE(station.Begin(&end));
        // As the command line's loop does: from one step to the first of the station's next look, the
        // next news and the next child's end.
        while (!station.Ended() && world.Now < 25000) {
            if (c.NewsMs == world.Now || c.MoreNewsMs == world.Now) {
                station.PortsChanged();
            }
            station.Step(0);
            int64_t next = station.NextDueMs();
            std::vector<int64_t> events = world.ChildEndsMs;
            events.insert(events.end(), {c.NewsMs, c.MoreNewsMs});
            for (const int64_t at : events) {
                next = at > world.Now ? std::min(next, at) : next;
            }
            ASSERT_GT(next, world.Now) << "the station asks to be woken again at once";
            world.Now = next;
        }
        EXPECT_EQ(c.ReadsMs, world.Devices[0].ReadsMs);
    }
}

// The rule in words, each value by its place in its enumeration.
std::string Decision(const ChildEndRule& rule) {
    const char* const units[] = {"write", "back", "done", "held"};
    const char* const ports[] = {"served", "free", "tried again"};
    return (rule.Recorded ? std::string(EventName(rule.Event)) + "(" + SaveName(rule.Save) + ")" : "no row") +
           " " + units[static_cast<int>(rule.Unit)] + " " + ports[static_cast<int>(rule.Port)];
}

// What a child's end decides, from its outcome as the command line reads it from the process: the record's
// row (no row, or its event and whether "save" may have been sent), the unit and the port. Each row named
// by the fault it catches.
TEST(ChildEnd, EachWayAChildEndsDecidesItsRowItsUnitAndItsPort) {
    const ChildStage R = ChildStage::Reading;
    const ChildStage W = ChildStage::Writing;
    const ChildEndKind whole = ChildEndKind::Reported;
    const ChildEndKind unreadable = ChildEndKind::Unreadable;
    const struct {
        const char* Fault;
        ChildStage Stage;
        ChildEndKind Kind;
        int Status;
        bool PortNotOpened, SaveNext, StopAsked, HasDevice;
        const char* Decision;
    } cases[] = {
        {"a write whose stdout was lost after \"save: next\" (exit 22, no report) is taken as before its "
         "save",
         W, unreadable, 22, false, true, false, false, "failed(maybe) held served"},
        {"a write that crashed is taken as before its save", W, unreadable, 14, false, false, false, false,
         "failed(maybe) held served"},
        {"a write that failed after it told \"save: next\" is given to the next device", W, whole, 13, false,
         true, false, false, "failed(maybe) held served"},
        {"a write whose device went away after it told \"save: next\" is given to the next device", W, whole,
         12, false, true, false, false, "failed(maybe) held served"},
        {"a write that failed before its save is held", W, whole, 12, false, false, false, false,
         "failed(no) back served"},
        {"a write whose port did not open leaves its device unserved until it goes", W, whole, 11, true,
         false, false, false, "failed(no) back free"},
        {"a write that never ran is held", W, ChildEndKind::NotStarted, -1, false, false, false, false,
         "failed(no) back free"},
        {"a write stopped before its save is held, or recorded as failed", W, whole, 12, false, false, true,
         false, "interrupted(no) back served"},
        {"a write killed after its stop's grace is given back", W, unreadable, -1, false, false, true, false,
         "interrupted(maybe) held served"},
        {"a write that ended whole as its stop came is not done", W, whole, 0, false, true, true, false,
         "done(yes) done served"},
        {"a stopped read is recorded, or its device written", R, whole, 0, false, false, true, true,
         "no row back free"},
        {"a read that reported OK without the device whole goes on to write", R, whole, 0, false, false,
         false, false, "failed(no) back served"},
        {"a read that crashed is held, though a read sends no save", R, unreadable, 14, false, true, false,
         false, "failed(no) back served"},
        {"a read whose port did not open is given up", R, whole, 11, true, false, false, false,
         "failed(no) back tried again"},
        {"a read of the whole device is not written", R, whole, 0, false, false, false, true,
         "no row write served"},
    };
    for (const auto& c : cases) {
        const ChildOutcome outcome{c.Kind, c.Status, c.PortNotOpened, c.SaveNext, c.StopAsked,
                                   "",     "",       c.HasDevice,     {}};
        const ChildEndCase end = ChildEndCaseOf(c.Stage, outcome);
        EXPECT_EQ(end, ChildEndRuleOf(end).Case) << c.Fault << ": the end has no row of its own";
        EXPECT_EQ(c.Decision, Decision(ChildEndRuleOf(end))) << c.Fault;
    }
    EXPECT_EQ(
        "/dev/x (serial {message}) in 1.0 s: {seconds}",
        ChildEndWords("{device} in {seconds} s: {message}", "{seconds}", "1.0", "/dev/x (serial {message})"))
        << "a device's words are read as the table's";
}

} // namespace
