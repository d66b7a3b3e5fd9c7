// The station's rules against fakes: ports that come and go, children that end in every way a process
// can (a report read whole, a crash, an exit 22 after "save: next", a port that refuses its first opens),
// the operator's decisions on devices still attached, a console that goes away and Ctrl-C; each a row
// of one table, with the record it leaves and what each device holds at the end.
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

// What a fake child does.
enum class Act {
    Ok,
    RefuseOpen,      // the port does not open (permission denied, busy): nothing reaches the device
    Fail,            // a report read whole: communication error, "save" never announced
    FailAfterSave,   // a report read whole: "save: next", then the device answered "save" badly
    Exit22AfterSave, // "save: next", the write went through, then its stdout was lost: exit 22, no result
    Crash,           // ended by a signal before it announced "save"
    Hang,            // runs until it is asked to stop, then reports that it stopped before its save
};

// How a child that does each act ends, in the order of Act; an unreadable end left no result line.
const struct {
    int Status;
    const char* Message;
    bool Unreadable;
} ENDS[] = {{0, "OK", false},
            {11, "WARNING: cannot open port", false},
            {12, "WARNING: communication error", false},
            {13, "WARNING: hardware error", false},
            {22, "", true},
            {14, "WARNING: crashed (signal 11)", true},
            {12, "WARNING: communication error", false}};

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

ChildOutcome Ended(Act act) {
    const auto& end = ENDS[static_cast<int>(act)];
    ChildOutcome outcome;
    outcome.Kind = end.Unreadable ? ChildEndKind::Unreadable : ChildEndKind::Reported;
    outcome.Status = end.Status;
    outcome.Message = end.Message;
    outcome.Version = "ZRV-Link 2.4.1";
    return outcome;
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
        outcome.SaveNext = act == Act::Ok || act == Act::FailAfterSave || act == Act::Exit22AfterSave;
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
        Add(news.Port, Word(news.Stage) + (news.Stage == PortStage::Left ? "(" + news.Unit + ")" : ""));
    }
    void PortProgress(const std::string& port, const ChildProgress& progress) override {
        Add(port, Word(progress.Stage) + ":" + std::to_string(progress.Percent));
    }
    void Said(const std::string&) override {}

    std::string PlanText() const {
        return "done " + std::to_string(Plan.Done) + ", held " + std::to_string(Plan.Held) + ", failed " +
               std::to_string(Plan.Failed) + ", at work " + std::to_string(Plan.AtWork) + ", to go " +
               std::to_string(Plan.ToGo) + ", skipped " + std::to_string(Plan.Skipped);
    }

private:
    static std::string Word(PortStage stage) {
        const char* const words[] = {"reading", "writing", "verifying", "done", "failed", "held", "left"};
        return words[static_cast<int>(stage)];
    }
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
    const char* SaidLine;       // a line the station said, in part; empty: not checked
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
// also check each stage the observer heard of a device and the plan with what the operator must do.
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
    const StationCase cases[] = {
        {"a device written", three, none, once, Bench(On(A)), -1, -1, -1, 30, "192.168.0.21: started done",
         "192.168.0.21", "", "reading writing done",
         "done 1, held 0, failed 0, at work 0, to go 2, skipped 0"},
        {"a write whose stdout was lost after \"save: next\" is held, never \"before its save\"", three, none,
         once, Bench(On(A, Act::Exit22AfterSave)), -1, -1, -1, 31, "192.168.0.21: started failed(maybe)",
         "192.168.0.21", "See to the device on /dev/ttyACM0"},
        {"a write that crashed is held", three, none, once, Bench(On(A, Act::Crash)), -1, -1, -1, 31,
         "192.168.0.21: started failed(maybe)", "0.0.0.0", "after its save may have reached the device"},
        {"a write that failed after it announced its save is held", three, none, once,
         Bench(On(A, Act::FailAfterSave, "SN-A")), -1, -1, -1, 31, "192.168.0.21: started failed(maybe)",
         "192.168.0.21", "", "reading writing held",
         "done 0, held 1, failed 0, at work 0, to go 2, skipped 0",
         "its write on /dev/ttyACM0 (serial SN-A, 2026-12-07T10:00:00+00:00) ended badly after it may have "
         "reached the device's save; see to that device, then run again with --redo 192.168.0.21"},
        {"a device's own text reaches the console printable", three, none, once, Bench(escaping), -1, -1, -1,
         31, "192.168.0.21: started failed(maybe)", "192.168.0.21",
         "read (2.4.1?192.168.0.21 on /dev/ttyACM0: written and verified?), writing\n"
         "192.168.0.21 on /dev/ttyACM0: failed (WARNING: hardware error) after its save may have "
         "reached the "
         "device; no new device is taken. See to the device on /dev/ttyACM0 (serial SN?]0;x??[2J)"},
        {"a write that failed before its save", three, none, once, Bench(On(A, Act::Fail)), -1, -1, -1, 30,
         "192.168.0.21: started failed(no)", "0.0.0.0", "", "reading writing failed",
         "done 0, held 0, failed 1, at work 0, to go 2, skipped 0"},
        {"a port that refuses its first opens is tried again", three, none, once,
         Bench(On(A, Act::Ok, "", 2)), -1, -1, -1, 30, "192.168.0.21: started done", "192.168.0.21", ""},
        {"a port that keeps refusing is recorded once and still tried", three, none, all,
         Bench(On(A, Act::Ok, "", 10)), 15000, -1, -1, 30, "192.168.0.21: failed(no) started done",
         "192.168.0.21", "nothing was sent, the port is tried again"},
        {"a skipped unit's device still attached is left as it is", three, held, skip,
         Bench(Holding(A, three[0].Set)), -1, -1, -1, 30, "192.168.0.21: started failed(maybe) skipped",
         "192.168.0.21", "this device is skipped unit 192.168.0.21 and is left as it is"},
        {"a held unit given back goes to its device still attached", three, held, redo,
         Bench(Holding(A, three[0].Set)), -1, -1, -1, 30,
         "192.168.0.21: started failed(maybe) redo started done", "192.168.0.21", ""},
        {"a held unit stops the station at the start and names its device", three, held, all, Bench(On(A)),
         -1, -1, -1, 31, "192.168.0.21: started failed(maybe)", "0.0.0.0",
         "its write on /dev/ttyACM0 (2026-12-06T10:00:00+00:00) ended badly", "",
         "done 0, held 1, failed 0, at work 0, to go 2, skipped 0", "--skip 192.168.0.21"},
        {"a device that holds a done unit is left as it is", three, done, once,
         Bench(Holding(A, three[0].Set)), -1, -1, -1, 30, "192.168.0.21: started done", "192.168.0.21", "",
         "reading left(192.168.0.21)", "done 1, held 0, failed 0, at work 0, to go 2, skipped 0"},
        {"devices that share a serial number with a done unit are each set up", three, doneElsewhere, once,
         Bench(On(A, Act::Ok, "SAME"), On(B, Act::Ok, "SAME")), -1, -1, -1, 0,
         "192.168.0.21: started done; 192.168.0.22: started done; 192.168.0.23: done",
         "192.168.0.21 192.168.0.22", "every unit of the plan is done"},
        {"a done unit without an own address is known by its whole configuration", dhcp, dhcpDone, once,
         Bench(Holding(A, dhcp[0].Set), On(B)), -1, -1, -1, 30,
         "192.168.0.21: started done; 192.168.0.23: started done", "0.0.0.0 192.168.0.23",
         "this device is done unit 192.168.0.21 and is left as it is"},
        {"a console that went away takes no device", three, none, all, Bench(On(A)), -1, -1, 0, 22, "",
         "0.0.0.0", ""},
        {"a console lost during a write lets that write finish and takes no other device", three, none, all,
         Bench(On(A), On(B, Act::Ok, "", 0, 1000)), -1, -1, 150, 22, "192.168.0.21: started done",
         "192.168.0.21 0.0.0.0", ""},
        {"a line's record: a unit begun on another station is this station's to settle", three, line, all,
         Bench(On(A)), -1, -1, -1, 31, "192.168.0.21: started; 192.168.0.22: started done", "0.0.0.0",
         "192.168.0.21: its write on /dev/ttyACM0 (2026-12-06T10:00:00+00:00) has no end in the record",
         nullptr, "", nullptr, "pc-9"},
        {"a line's record: given back, the unit goes to the next device; a done one stays on its device",
         three, line, redo, Bench(On(A), Holding(B, three[1].Set)), -1, -1, -1, 30,
         "192.168.0.21: started redo started done; 192.168.0.22: started done", "192.168.0.21 192.168.0.22",
         "this device is done unit 192.168.0.22 and is left as it is", nullptr, "", nullptr, "pc-9"},
        {"a plan of one unit counts it in the singular", one, none, once, Bench(), -1, -1, -1, 30, "", "",
         "station: 1 unit, 0 done, 0 skipped, 1 to go; the devices attached now\nstation stopped: 1 unit "
         "left\n"},
        {"a second Ctrl-C stops a write before its save", three, none, all, Bench(On(A, Act::Hang)), 1000,
         2000, -1, 30, "192.168.0.21: started interrupted(no)", "0.0.0.0", "the station ends now",
         "reading writing writing:50 failed", "done 0, held 0, failed 1, at work 0, to go 2, skipped 0"},
    };
    for (const StationCase& c : cases) {
        RunCase(c);
    }
}

// When the station looks: on its interval, at once on news of the ports, and when a port whose open
// failed is due again, whatever the interval. Read from the fake clock, in steps of 100 ms; a device
// plugged at 1000 ms whose port refuses `Refusals` opens.
TEST(Station, LooksComeWithNewsOfThePortsAndRetriesKeepTheirTimeWhateverTheInterval) {
    const struct {
        const char* Name;
        int64_t LookMs;
        std::vector<int64_t> NewsMs; // PortsChanged before the step at these times
        int Refusals;
        const char* ReadsMs; // when each read of the device started
    } cases[] = {
        {"without news, the look on its interval finds the device", PORT_POLL_MS, {}, 0, "1000"},
        {"without news, a long interval leaves the device waiting for the next look", 5000, {}, 0, "5000"},
        {"news makes the station look at once", 600000, {1000}, 0, "1000"},
        {"news that is not of a device costs a look and takes nothing", 600000, {500, 1000}, 0, "1000"},
        {"a refused open is tried again at its time, not at the next look", 600000, {1000}, 1, "1000 1600"},
        {"a port's change (its group set) tries a refused open again at once",
         600000,
         {1000, 1300},
         1,
         "1000 1300"},
        {"a port's change after its grace waits for the late retry",
         600000,
         {1000, 7000},
         20,
         "1000 1600 2200 2800 3400 4000 4600 5200 5800 6400 11500 16600 21700"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
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
            if (std::find(c.NewsMs.begin(), c.NewsMs.end(), world.Now) != c.NewsMs.end()) {
                station.PortsChanged();
            }
            station.Step(0);
            int64_t next = station.NextDueMs();
            const std::vector<int64_t>* const events[] = {&c.NewsMs, &world.ChildEndsMs};
            for (const std::vector<int64_t>* times : events) {
                for (const int64_t at : *times) {
                    next = at > world.Now ? std::min(next, at) : next;
                }
            }
            ASSERT_GT(next, world.Now) << "the station asks to be woken again at once";
            world.Now = next;
        }
        EXPECT_EQ(c.ReadsMs, world.Devices[0].ReadsMs);
    }
}

} // namespace
