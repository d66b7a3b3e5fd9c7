// zrvlink provision over the system: the plan and the record opened, and the station's seams made of
// detection, child processes of this program, the steady clock and stdout; the station's rules are in
// provisioning/Station.h. Portable (ports, children, Ctrl-C and files through their seams).
#include "cli/station/ProvisionCommand.h"

#include "cli/board/BoardFeed.h"
#include "cli/board/StationBoard.h"
#include "cli/common/SetupFiles.h"
#include "cli/parallel/PortChild.h"
#include "cli/station/StationSteps.h"
#include "cli/station/StationWait.h"
#include "cli/system/Console.h"
#include "cli/system/Interrupt.h"
#include "cli/system/Ports.h"
#include "persistence/ExactSetup.h"
#include "persistence/ParamFile.h"
#include "platform/StdFile.h"
#include "platform/SystemError.h"
#include "provisioning/RecordLog.h"
#include "provisioning/Station.h"
#include "provisioning/ledger/Ledger.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

static_assert(int{STATION_OUTPUT_LOST} == int{EXIT_FILE_SAVE} &&
                  int{STATION_UNITS_LEFT} == int{EXIT_UNITS_LEFT} &&
                  int{STATION_UNIT_HELD} == int{EXIT_UNIT_FAILED} &&
                  int{STATION_REFUSED} == int{EXIT_REFUSED},
              "the station's ends are zrvlink's exit statuses");

namespace {

// How long a station that waits for its ledger's server waits between two tries.
constexpr int64_t RETRY_MS = 2000;

CliOutcome Refused(const std::string& why) {
    return CliOutcome{EXIT_REFUSED, {"zrvlink provision: " + why}};
}

// The ports given with --port that are there now, or the detected device ports; each with the serial
// number that detection shows for it.
class CSystemPorts : public IStationPorts {
public:
    explicit CSystemPorts(const std::vector<std::string>& given) : m_given(given) {}

    std::vector<StationPort> Present() override {
        const std::vector<PortRecord> detected = DetectPortRecords();
        std::vector<StationPort> present;
        if (m_given.empty()) {
            std::vector<std::string> names;
            for (const PortRecord& record : detected) {
                names.push_back(record.Name);
            }
            // A device that detection lists under two names is still one device.
            const std::vector<std::string> distinct = WithoutSamePorts(names);
            for (const PortRecord& record : detected) {
                if (std::find(distinct.begin(), distinct.end(), record.Name) != distinct.end()) {
                    present.push_back({record.Name, record.Usb.Serial});
                }
            }
            return present;
        }
        for (const std::string& port : m_given) {
            if (!PortIsPresent(port)) {
                continue;
            }
            const std::string identity = PortIdentity(port);
            const auto record = std::find_if(detected.begin(), detected.end(), [&](const PortRecord& r) {
                return PortIdentity(r.Name) == identity;
            });
            present.push_back({port, record != detected.end() ? record->Usb.Serial : std::string()});
        }
        return present;
    }

private:
    std::vector<std::string> m_given;
};

// What a child's end means, from what it printed and how it ended. Only a report read whole counts as
// one: a write child that could not write its stdout (exit 22) may have gone on past its save.
ChildOutcome OutcomeOf(const CPortChild& child, bool write) {
    ChildOutcome outcome;
    const ChildSteps steps = ParseChildSteps(child.Output());
    std::string report;
    outcome.Status = child.Report(&report);
    outcome.Message = ParseChildSteps(report).Result;
    outcome.Version = steps.Version;
    outcome.SaveNext = steps.SaveNext;
    outcome.StopAsked = child.StopAsked();
    if (!child.Started()) {
        outcome.Kind = ChildEndKind::NotStarted;
        return outcome;
    }
    const bool exited = !child.Killed() && child.End().Exited;
    const bool whole = exited && steps.ResultComplete && !(write && outcome.Status == EXIT_FILE_SAVE);
    outcome.Kind = whole ? ChildEndKind::Reported : ChildEndKind::Unreadable;
    outcome.PortNotOpened = whole && outcome.Status == EXIT_PORT;
    outcome.HasDevice = whole && outcome.Status == EXIT_OK && steps.DeviceWhole;
    if (outcome.HasDevice) {
        outcome.Device = steps.Device;
    }
    return outcome;
}

// A port's child: a copy of this program that reads or writes one device, shielded from the console's
// Ctrl-C, so that the station alone decides when it ends.
class CProcessChild : public IPortChild {
public:
    CProcessChild(const std::string& port, bool write, bool trace, CStationWait* wait)
        : m_child(port), m_write(write), m_trace(trace), m_wait(*wait) {
        m_wait.Add(&m_child);
    }
    ~CProcessChild() override { m_wait.Remove(&m_child); }

    void Start(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
        m_child.Start(program, args, true, input);
    }
    bool HasEnded() override {
        const bool ended = m_child.HasEnded();
        if (ended && m_trace && !m_traced) {
            m_traced = true;
            m_child.ForwardTrace();
        }
        return ended;
    }
    void Stop() override { m_child.Stop(); }
    ChildOutcome Outcome() const override { return OutcomeOf(m_child, m_write); }
    // Only the lines that came since the last look are read.
    ChildProgress Progress() override {
        ParseProgressSteps(m_child.Output(), &m_progressRead, &m_progress);
        return m_progress;
    }

private:
    CPortChild m_child;
    bool m_write;
    bool m_trace;
    CStationWait& m_wait;
    bool m_traced = false;
    std::size_t m_progressRead = 0; // of its output
    ChildProgress m_progress;
};

class CProcessChildren : public IStationChildren {
public:
    CProcessChildren(std::string program, bool trace, CStationWait* wait)
        : m_program(std::move(program)), m_trace(trace), m_wait(wait) {}

    std::unique_ptr<IPortChild> StartRead(const std::string& port) override {
        auto child = std::make_unique<CProcessChild>(port, false, m_trace, m_wait);
        child->Start(m_program, StationReadArguments(port, m_trace), std::string());
        return child;
    }
    // The unit goes to the child through its stdin, exactly, and never through a file that other users
    // could read or that a full disk could cut.
    std::unique_ptr<IPortChild> StartWrite(const std::string& port, const ParamSet& unit) override {
        auto child = std::make_unique<CProcessChild>(port, true, m_trace, m_wait);
        child->Start(m_program, StationWriteArguments(port, m_trace), FormatExactSetup(unit));
        return child;
    }

private:
    std::string m_program;
    bool m_trace;
    CStationWait* m_wait;
};

class CSteadyClock : public IStationClock {
public:
    int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::string RecordTime() override { return RecordTimeNow(); }
};

class CStdoutConsole : public IStationConsole {
public:
    bool Say(const std::string& line) override {
        return std::printf("%s\n", line.c_str()) >= 0 && FlushStdout();
    }
};

// The plan's units, and, for a unit table, where they came from and how its cells are separated.
bool ReadPlan(const CliRequest& request, const ParamSet& base, std::vector<PlanUnit>* units,
              std::string* source, std::string* error) {
    if (request.Plan.empty()) {
        return MakeAddressRange(base, request.IpRange, units, error);
    }
    std::string text;
    std::string why;
    char separator = ',';
    if (!ReadWholeFile(request.Plan.c_str(), &text)) {
        char reason[256];
        why = SystemErrorText(LastSystemError(), reason, sizeof reason);
    }
    if (!why.empty() || !ReadUnitTable(base, text, units, &why, &separator)) {
        *error = "plan " + request.Plan + ": " + why;
        return false;
    }
    *source = "plan " + request.Plan + ", cells separated by " + SeparatorWords(separator);
    return true;
}

StationOptions OptionsOf(const CliRequest& request, const CStationWait& wait, const std::string& planSource) {
    StationOptions options;
    options.Once = request.Once;
    options.Redo = request.Redo;
    options.Skip = request.Skip;
    options.LookMs = wait.LookMs();
    options.PlanSource = planSource;
    return options;
}

// How long after its last word to the ledger a write that this station began may still run: its child's
// time limit and stop grace, the longest a claim's answer may take, and a margin for clocks.
std::chrono::milliseconds WriteLimit() {
    return ChildTimeLimit() + ChildStopGrace() + std::chrono::milliseconds(LEDGER_STATEMENT_MS) +
           std::chrono::seconds(10);
}

// The record's store: the CSV file, or the shared ledger, which a station started while its server is
// away waits for (Ctrl-C ends the wait).
class CStoreChoice {
public:
    explicit CStoreChoice(const CliRequest& request) : m_request(request) {}

    bool Open(const ParamSet& base, const std::vector<PlanUnit>& units, CliOutcome* refusal) {
        std::string error;
        if (m_request.Ledger.empty()) {
            auto record = std::make_unique<CRecordLog>();
            m_store = std::move(record);
            // A record with a Station column (a ledger's export) gets this PC's name on the station's rows.
            const RecordLogForm form{std::string(), RecordFileReaders::Everyone, HostName()};
            return static_cast<CRecordLog&>(*m_store).Open(m_request.Record, &error, form) ||
                   Refuse(error, refusal);
        }
        const std::string station = m_request.Station.empty() ? HostName() : m_request.Station;
        const std::string journal =
            m_request.Journal.empty() ? DefaultLedgerJournal(m_request.Ledger, station) : m_request.Journal;
        auto ledger = std::make_unique<CLedger>(
            LedgerRun{m_request.Ledger, station, journal, HostName(), WriteLimit().count()});
        const LedgerPlan plan{base, units};
        LedgerOpen opened = LedgerOpen::Unreachable;
        for (bool told = false; (opened = ledger->Open(plan, &error)) == LedgerOpen::Unreachable;
             told = true) {
            if (!told) {
                std::printf("%s; waiting for it (Ctrl-C stops)\n", error.c_str());
                FlushStdout();
            }
            if (!SleepUnlessInterrupted(RETRY_MS)) {
                *refusal = CliOutcome{EXIT_UNITS_LEFT, {"zrvlink provision: " + error}};
                return false;
            }
        }
        m_ledger = ledger.get();
        m_store = std::move(ledger);
        return opened == LedgerOpen::Opened || Refuse(error, refusal);
    }
    IRecordStore* Store() const { return m_store.get(); }
    // The shared ledger; null for a record.
    CLedger* Ledger() const { return m_ledger; }

private:
    static bool Refuse(const std::string& error, CliOutcome* refusal) {
        *refusal = Refused(error);
        return false;
    }

    const CliRequest& m_request;
    std::unique_ptr<IRecordStore> m_store;
    CLedger* m_ledger = nullptr;
};

// The ledger as a board's outlet: what the line's board shows of this station.
class CLedgerOutlet : public IBoardOutlet {
public:
    explicit CLedgerOutlet(CLedger* ledger) : m_ledger(*ledger) {}
    void Publish(const std::string& document) override { m_ledger.PublishBoard(document); }

private:
    CLedger& m_ledger;
};

class CProcessInterrupts : public IStationInterrupts {
public:
    int Count() override { return InterruptCount(); }
};

CliOutcome OutcomeOf(const StationEnd& end) {
    CliOutcome outcome{end.Exit, {}};
    for (const std::string& error : end.Errors) {
        outcome.Lines.push_back("zrvlink provision: " + error);
    }
    return outcome;
}

} // namespace

CliOutcome RunStation(const CliRequest& request) {
    // From the start: a Ctrl-C while the record is opened stops the station before any device.
    CatchInterrupts();
    SetLedgerInterrupts(InterruptCount);
    CSteadyClock clock;
    CBoardFeed feed(request.Ports, &clock);
    std::unique_ptr<CStationBoard> board;
    std::string error;
    if (request.Board) {
        board = std::make_unique<CStationBoard>();
        if (!board->Open(request.BoardHost, request.BoardPort, &feed, &error)) {
            return CliOutcome{EXIT_USAGE, {"zrvlink provision: --board: " + error}};
        }
    }
    CParamFile base;
    CliOutcome refusal;
    if (!LoadSetupFileToSend(request.Template, &base, &refusal)) {
        refusal.Exit = EXIT_REFUSED;
        return refusal;
    }
    std::vector<PlanUnit> units;
    std::string planSource;
    if (!ReadPlan(request, *base.GetParam(), &units, &planSource, &error)) {
        return Refused(error);
    }
    if (!request.Ledger.empty() && LedgerUrlHasPassword(request.Ledger)) {
        std::fprintf(stderr, "zrvlink provision: warning: the ledger's address holds a password, which every "
                             "user of this PC can read in the list of processes; give it in PGPASSWORD or "
                             "~/.pgpass instead\n");
    }
    CStoreChoice store(request);
    if (!store.Open(*base.GetParam(), units, &refusal)) {
        return refusal;
    }
    std::string program;
    if (!GetProgramPath(&program)) {
        return Failure(EXIT_RESOURCE);
    }
    // Watching starts before the first look, so that no change after it goes unheard.
    CStationWait wait(request.Ports, store.Ledger() != nullptr, &clock);
    CSystemPorts ports(request.Ports);
    CProcessChildren children(program, request.Trace, &wait);
    CStdoutConsole console;
    if (board) {
        console.Say("board: " + board->Address() + " (for scripts: " + board->Address() + "status.json)");
    }
    // On a ledger the station's board is also the line's: what it shows goes to the ledger.
    std::unique_ptr<CLedgerOutlet> line;
    if (store.Ledger() != nullptr) {
        line = std::make_unique<CLedgerOutlet>(store.Ledger());
        feed.Add(line.get(), LINE_BOARD_PACE);
    }
    CProcessInterrupts interrupts;
    CStation station(units, store.Store(), OptionsOf(request, wait, planSource),
                     StationSeams{&ports, &children, &clock, &console, feed.Observer(), &interrupts});
    StationEnd end;
    if (station.Begin(&end)) {
        int seen = InterruptCount();
        for (station.Step(seen); !station.Ended(); station.Step(seen)) {
            feed.Flush();
            if (wait.Sleep(seen, std::min(station.NextDueMs(), feed.NextDueMs()))) {
                station.PortsChanged();
            }
            seen = InterruptCount();
        }
        end = station.Finish();
    }
    feed.Close(end.Exit);
    if (board) {
        board->Close();
    }
    return OutcomeOf(end);
}
